// Reading report layout files: fields, slots, descriptors, widths, initial editor values, and
// layouts that must be refused with a message rather than half shown.
#include "core/Error.h"
#include "reports/FieldRules.h"
#include "reports/ReportLayout.h"
#include "reports/ReportModel.h"

#include "ReportTestSupport.h"

#include <QtTest>

using namespace varnel;
using namespace varnel::test;

class LayoutTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TestProgramFolder> folder_;

    QString layout(const QStringList& fields, const QByteArray& raw = QByteArray())
    {
        const QString path = folder_->file(QStringLiteral("layout.xml"));
        WriteBytes(path, raw.isEmpty() ? layoutXml(fields) : raw);
        return path;
    }

    QString refusal(const QString& path, int slotCount = 29)
    {
        try {
            ReadReportLayout(path, slotCount);
        } catch (const Error& e) {
            return e.description();
        }
        return QString();
    }

private slots:
    void init() { folder_ = std::make_unique<TestProgramFolder>(); }
    void cleanup() { folder_.reset(); }

    void fieldsAndSlots()
    {
        const ReportLayout l = ReadReportLayout(
            layout({"Name=\"A\" Title=\"Альфа\" Width=\"1200\" Align=\"R\" Type=\"N\" "
                    "Format=\"0.00\" Default=\"1\" Empty=\"0\" Pick=\"x.XML\"",
                    "Name=\"Hidden\" Visible=\"0\" Width=\"oops\"",
                    "Name=\"D\" Type=\"D\" Default=\"%DATE%\" Width=\"abc\" Align=\"X\"",
                    "Name=\"T\" Type=\"d\" Visible=\"00\""}),
            29);
        QCOMPARE(l.fields.size(), 4);
        QCOMPARE(l.fields[0].descriptor(),
                 QStringLiteral("name=A;type=N;fmt=0.00;def=1;empty=0;pick=x.XML"));
        QCOMPARE(l.fields[0].alignment, Qt::AlignRight);
        QCOMPARE(l.fields[0].widthTwips, 1200);
        QVERIFY(!l.fields[1].visible);
        QCOMPARE(l.fields[2].slot, 2); // the hidden field keeps its slot
        // A date without a format keeps "fmt=" empty in its descriptor.
        QCOMPARE(l.fields[2].descriptor(),
                 QStringLiteral("name=D;type=D;fmt=;def=%DATE%;empty=;pick="));
        QCOMPARE(l.fields[2].widthTwips, 1000);
        QCOMPARE(l.fields[2].alignment, Qt::AlignHCenter);
        QVERIFY(l.fields[3].visible); // only "0" hides
        QCOMPARE(l.fields[3].alignment, Qt::AlignLeft);
    }

    void widths_data()
    {
        QTest::addColumn<QString>("width");
        QTest::addColumn<int>("twips");
        QTest::newRow("number") << "1500" << 1500;
        QTest::newRow("blanks") << " 1500 " << 1500;
        QTest::newRow("fraction") << "1500.6" << 1501;
        QTest::newRow("comma") << "1500,4" << 1500;
        QTest::newRow("letters") << "wide" << 1000;
        QTest::newRow("empty") << "" << 1000;
        QTest::newRow("negative") << "-5" << 1000;
        QTest::newRow("absurd") << "1e30" << 144000;
    }

    void widths()
    {
        QFETCH(QString, width);
        QFETCH(int, twips);
        const ReportLayout l =
            ReadReportLayout(layout({QStringLiteral("Name=\"A\" Width=\"%1\"").arg(width)}), 29);
        QCOMPARE(l.fields[0].widthTwips, twips);
    }

    void refused_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<int>("slotCount");
        QTest::addColumn<QString>("messageStart");
        QTest::addColumn<QString>("messagePart");
        const QByteArray ok = layoutXml({"Name=\"A\""});
        QTest::newRow("doctype")
            << QByteArray("<?xml version=\"1.0\"?>\n<!DOCTYPE x [<!ENTITY e \"boom\">]>\n"
                          "<x><f Name=\"&e;\"/></x>")
            << 29 << "Ошибка загрузки файла "
            << "DTD is prohibited.";
        QTest::newRow("not well-formed")
            << QByteArray("<x><f Name=\"A\"></x>") << 29 << "Ошибка загрузки файла "
            << "Строка: 1";
        QTest::newRow("empty file") << QByteArray() << 29 << "Ошибка загрузки файла "
                                    << "";
        QStringList many;
        for (int i = 0; i < 25; ++i)
            many << QStringLiteral("Name=\"F%1\"").arg(i);
        QTest::newRow("more children than slots") << layoutXml(many) << 24 << "Ошибка в файле "
                                                  << "полей в нем 25";
        QTest::newRow("semicolon in a default")
            << layoutXml({"Name=\"A\" Default=\"1;2\""}) << 29 << "Ошибка в файле "
            << "атрибута Default поля A";
        QTest::newRow("semicolon in a pick list")
            << layoutXml({"Name=\"A\" Pick=\"1&#9;a;b\""}) << 29 << "Ошибка в файле "
            << "атрибута Pick поля A";
        QTest::newRow("name of no attribute")
            << layoutXml({"Name=\"Trade Date\""}) << 29 << "Ошибка в файле "
            << "Trade Date";
        QTest::newRow("name twice")
            << layoutXml({"Name=\"A\"", "Name=\"A\""}) << 29 << "Ошибка в файле "
            << "поле A описано дважды";
        QTest::newRow("invalid bytes")
            << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?><x><f Name=\"\xff\"/></x>")
            << 29 << "Ошибка загрузки файла "
            << "";
        Q_UNUSED(ok);
    }

    void refused()
    {
        QFETCH(QByteArray, xml);
        QFETCH(int, slotCount);
        QFETCH(QString, messageStart);
        QFETCH(QString, messagePart);
        const QString path = layout({}, xml.isEmpty() ? QByteArray(" ") : xml);
        const QString message = refusal(path, slotCount);
        QVERIFY2(message.startsWith(messageStart + path), qPrintable(message));
        QVERIFY2(message.contains(messagePart), qPrintable(message));
    }

    void refusedHiddenFieldsAreNotExamined()
    {
        // A hidden field is never read or written: what it holds does not matter.
        const QString path = layout({"Name=\"A;B\" Visible=\"0\"", "Name=\"A\"",
                                     "Name=\"A\" "
                                     "Visible=\"0\""});
        QCOMPARE(refusal(path), QString());
    }

    void missingFile()
    {
        const QString path = folder_->file(QStringLiteral("nowhere.xml"));
        QCOMPARE(refusal(path), QStringLiteral("Файл ") + path + QStringLiteral(" не найден"));
    }

    void shippedLayouts_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("deals") << int(ReportKind::Deals);
        QTest::newRow("repo") << int(ReportKind::Repo);
    }

    // The layouts that ship carry every field the window logic relies on, with pick sources
    // for the instrument, the currencies and the side, and ISIN and RegNum where a pick of the
    // instrument can fill them.
    void shippedLayouts()
    {
        QFETCH(int, kind);
        const ReportKind k = ReportKind(kind);
        const ReportLayout l = ReadReportLayout(LayoutPathOf(k), TraitsOf(k).slotCount);
        QHash<QString, LayoutField> byName;
        for (const LayoutField& f : l.fields) {
            QVERIFY(f.visible);
            QVERIFY(!f.title.isEmpty());
            byName.insert(f.name, f);
        }
        QStringList needed{"Participant", "Issue",     "Price",     "Qty",       "QtyFrac",
                           "Currency",    "Agreement", "Reference", "TradeDate", "Side"};
        if (k == ReportKind::Deals)
            needed << "ISIN"
                   << "RegNum"
                   << "SettleDate"
                   << "Amount"
                   << "AccruedInt"
                   << "SettlCurrency";
        else
            needed << "RepurchaseAmount"
                   << "Amount"
                   << "RepoDays"
                   << "RepoRate";
        for (const QString& name : needed)
            QVERIFY2(byName.contains(name), qPrintable(name));
        QCOMPARE(byName["Issue"].pick, QStringLiteral("issuelist_pick.xml"));
        QVERIFY(byName["Currency"].pick.startsWith(QStringLiteral("RUB\tРоссийский рубль|")));
        QVERIFY(byName["Side"].pick.contains(u'\t'));
        if (k == ReportKind::Deals) {
            QVERIFY(byName["ISIN"].slot >= 1 && byName["ISIN"].slot <= 10);
            QVERIFY(byName["RegNum"].slot >= 1 && byName["RegNum"].slot <= 10);
            QCOMPARE(byName["TradeDate"].def, QStringLiteral("%DATE%"));
        }
        // Every optional number of the repo window has a default: an empty number there
        // takes its default, and one without would be refused.
        for (const LayoutField& f : l.fields) {
            if (k == ReportKind::Repo && f.type == u"N" && !f.empty.isEmpty())
                QVERIFY2(!f.def.isEmpty(), qPrintable(f.name));
        }
    }

    void initialValues_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("def");
        QTest::addColumn<QString>("deals");
        QTest::addColumn<QString>("repo");
        QTest::addColumn<QString>("cleared");
        const QString today = QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy"));
        QTest::newRow("date %DATE%") << "D"
                                     << ""
                                     << "%DATE%" << today << today << today;
        QTest::newRow("date fixed") << "D"
                                    << "dd.mm.yyyy"
                                    << "01.02.2023"
                                    << "01.02.2023" << today << "01.02.2023";
        QTest::newRow("date in words") << "D"
                                       << ""
                                       << "%DATE% г." << today + " г." << today << "%DATE% г.";
        QTest::newRow("date empty") << "D"
                                    << ""
                                    << ""
                                    << "" << today << "";
        QTest::newRow("date short picture")
            << "D"
            << "d.m.yy"
            << "%DATE%" << QDate::currentDate().toString("d.M.yy")
            << QDate::currentDate().toString("d.M.yy") << QDate::currentDate().toString("d.M.yy");
        QTest::newRow("number empty") << "N"
                                      << ""
                                      << ""
                                      << ""
                                      << "0"
                                      << "0";
        QTest::newRow("number formatted") << "N"
                                          << "0.00"
                                          << "5"
                                          << "5.00"
                                          << "5.00"
                                          << "5.00";
        QTest::newRow("number empty formatted") << "N"
                                                << "#,##0.00"
                                                << ""
                                                << ""
                                                << "0.00"
                                                << "0.00";
        QTest::newRow("number not a number") << "N"
                                             << "0.00"
                                             << "n/a"
                                             << "n/a"
                                             << "n/a"
                                             << "n/a";
        QTest::newRow("text") << ""
                              << ""
                              << "OTC"
                              << "OTC"
                              << "OTC"
                              << "OTC";
        QTest::newRow("type compared with case") << "n"
                                                 << "0.00"
                                                 << "5"
                                                 << "5"
                                                 << "5"
                                                 << "5";
    }

    void initialValues()
    {
        QFETCH(QString, type);
        QFETCH(QString, format);
        QFETCH(QString, def);
        QFETCH(QString, deals);
        QFETCH(QString, repo);
        QFETCH(QString, cleared);
        ReportColumn c;
        c.name = QStringLiteral("F");
        c.type = type;
        c.format = format;
        c.def = def;
        const QDate today = QDate::currentDate();
        QCOMPARE(InitialEditorValue(c, ReportKind::Deals, today), deals);
        QCOMPARE(InitialEditorValue(c, ReportKind::Repo, today), repo);
        QCOMPARE(ClearedEditorValue(c, today), cleared);
    }
};

QTEST_MAIN(LayoutTest)
#include "tst_layout.moc"
