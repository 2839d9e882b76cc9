// The field check on leaving a field, the deal check before add and change with its duplicate
// rules, and the save check, with their coded texts in both languages.
#include "core/MessageTexts.h"
#include "core/Settings.h"
#include "reports/DealChecks.h"
#include "reports/FieldRules.h"
#include "reports/ReportModel.h"

#include "ReportTestSupport.h"

#include <QtTest>

using namespace varnel;
using namespace varnel::test;

namespace {

ReportColumn column(const char* name, const char* type, const char* format = "",
                    const char* def = "")
{
    ReportColumn c;
    c.name = QString::fromLatin1(name);
    c.type = QString::fromLatin1(type);
    c.format = QString::fromLatin1(format);
    c.def = QString::fromLatin1(def);
    c.descriptor = QStringLiteral("name=%1;type=%2;fmt=%3;def=%4;empty=;pick=")
                       .arg(c.name, c.type, c.format, c.def);
    return c;
}

using Deal = QHash<QString, QString>;

Deal goodDeal()
{
    return {{"Participant", "MC0001"},
            {"Issue", "RU000A0JX0J2"},
            {"ISIN", ""},
            {"Price", "101.5"},
            {"Qty", "10"},
            {"QtyFrac", ""},
            {"Currency", "RUB"},
            {"Agreement", "AG-1"},
            {"Reference", "R-1"},
            {"RepurchaseAmount", "1020"},
            {"Amount", "1015"},
            {"RepoDays", "7"}};
}

} // namespace

class ChecksTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TestProgramFolder> folder_;
    std::unique_ptr<ReportModel> grid_;

    QString check(ReportKind kind, const Deal& deal, DealCheckMode mode = DealCheckMode::Add,
                  int row = -1)
    {
        const DealCheck result = CheckDeal(
            kind, [&](const QString& name) { return deal.value(name); }, *grid_, mode, row);
        // A failed check always has its text, a passed one none.
        if (result.passed != result.failure.isEmpty())
            return QStringLiteral("check and text disagree");
        return result.failure;
    }

    void addRow(const QString& agreement, const QString& reference)
    {
        grid_->appendDeal({agreement, reference, QStringLiteral("05.03.2016")});
    }

private slots:
    void init()
    {
        folder_ = std::make_unique<TestProgramFolder>();
        grid_ = std::make_unique<ReportModel>(false);
        // Found with letter case ignored.
        grid_->setColumns({ReportColumn::rowNumber(), column("agreement", ""),
                           column("REFERENCE", ""), column("TradeDate", "D")});
    }
    void cleanup()
    {
        grid_.reset();
        folder_.reset();
    }

    void fieldCheck_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("def");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("text");    // what the field holds afterwards
        QTest::addColumn<QString>("failure"); // empty: passed
        const int D = int(ReportKind::Deals);
        const int R = int(ReportKind::Repo);
        const QString today = QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy"));
        const auto row = [](const char* label, int kind, const char* name, const char* type,
                            const char* format, const char* def, const QString& typed,
                            const QString& text, const QString& failure) {
            QTest::newRow(label) << kind << QString::fromLatin1(name) << QString::fromLatin1(type)
                                 << QString::fromLatin1(format) << QString::fromLatin1(def) << typed
                                 << text << failure;
        };
        const QString c10 = QStringLiteral("(C10) Недопустимый формат даты: ");
        row("short date", D, "TradeDate", "D", "dd.mm.yyyy", "", "7/3/24", "07.03.2024", "");
        row("date picture", D, "TradeDate", "D", "d.m.yyyy", "", "07.03.2024", "7.3.2024", "");
        row("bad day", D, "TradeDate", "D", "", "", "31.04.2024", "31.04.2024", c10 + "31.04.2024");
        row("date part beyond 16 bits", D, "TradeDate", "D", "", "", "99999.1.2024", "99999.1.2024",
            TooLargeValueText());
        row("empty date with default", R, "TradeDate", "D", "", "01.01.2000", "", today, "");
        row("empty date without default", D, "TradeDate", "D", "", "", "", "", "");
        row("number comma", D, "Price", "N", "", "", "1234,5", "1234.5", "");
        row("number trimmed", D, "Price", "N", "0.00", "", "  12 ", "12.00", "");
        row("deal number empty", D, "Price", "N", "0.00", "5", "  ", "", "");
        row("deal letters", D, "Price", "N", "", "", "abc", "abc",
            "Поле Price должно иметь числовой формат");
        row("deal too large", D, "Price", "N", "", "", "123456789012345678901234567890",
            "123456789012345678901234567890", TooLargeValueText());
        row("numeric(26,10) exactly", D, "Price", "N", "", "", "1234567890123456.1234567891",
            "1234567890123456.1234567891", "");
        row("repo empty takes default", R, "RepoDays", "N", "0", "7", "", "7", "");
        row("repo empty without default", R, "Amount", "N", "", "", "", "",
            "Поле Amount должно иметь числовой формат");
        row("repo S1", R, "Qty", "N", "", "", "x1", "x1",
            "(S1) Поле Qty (x1) должно иметь формат numeric(16,0)");
        row("repo S2", R, "price", "N", "", "", "x2", "x2",
            "(S2) Поле Price (x2) должно иметь формат numeric(16,10)");
        row("repo S3", R, "RepurchaseAmount", "N", "", "", "x3", "x3",
            "(S3) Поле Amount (x3) должно иметь формат numeric(1)");
        row("repo S4", R, "RepoRate", "N", "", "", "x4", "x4",
            "(S4) Поле RepaRate (x4) должно иметь формат numeric(1)");
        row("repo too large", R, "Price", "N", "", "", "1e30", "1e30", TooLargeValueText());
        row("text empty takes default", D, "Side", "", "", "B", "", "B", "");
        row("text kept as typed", D, "Side", "", "", "B", " s ", " s ", "");
    }

    void fieldCheck()
    {
        QFETCH(int, kind);
        QFETCH(QString, name);
        QFETCH(QString, type);
        QFETCH(QString, format);
        QFETCH(QString, def);
        QFETCH(QString, typed);
        QFETCH(QString, text);
        QFETCH(QString, failure);
        ReportColumn c = column(name.toLatin1().constData(), type.toLatin1().constData(),
                                format.toLatin1().constData(), def.toLatin1().constData());
        const FieldCheck result = CheckFieldValue(c, typed, ReportKind(kind), QDate::currentDate());
        QCOMPARE(result.failure, failure);
        QCOMPARE(result.passed(), failure.isEmpty());
        QCOMPARE(result.text, text);
    }

    void dealRules_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<Deal>("changes");
        QTest::addColumn<QString>("failure");
        const int D = int(ReportKind::Deals);
        const int R = int(ReportKind::Repo);
        const auto row = [](const char* label, int kind, const Deal& changes,
                            const QString& failure) {
            QTest::newRow(label) << kind << changes << failure;
        };
        row("good deal", D, {}, "");
        row("good repo deal", R, {}, "");
        row("no participant", D, {{"Participant", "  "}}, "(S5) Не указан код участника");
        row("ISIN instead of Issue", D, {{"Issue", ""}, {"ISIN", "RU0009029540"}}, "");
        row("no issue", D, {{"Issue", " "}}, "(S13) Не указан код ЦБ");
        row("repo needs Issue", R, {{"Issue", ""}, {"ISIN", "RU0009029540"}},
            "(S13) Не указан код ЦБ");
        const QString s16 = QStringLiteral("(S16) Поле Price (%1) должно иметь положительное "
                                           "значение");
        row("price 0.00", D, {{"Price", "0.00"}}, s16.arg("0.00"));
        row("price -5", D, {{"Price", "-5"}}, s16.arg("-5"));
        row("price empty", D, {{"Price", ""}}, s16.arg(""));
        row("price 0.01", D, {{"Price", "0.01"}}, "");
        row("price trimmed in the text", D, {{"Price", " -1 "}}, s16.arg("-1"));
        row("qty 0 with fraction", D, {{"Qty", "0"}, {"QtyFrac", "0.5"}}, "");
        row("qty and fraction zero", D, {{"Qty", "0"}, {"QtyFrac", "0"}},
            "(S17) Поле Qty (0) должно иметь положительное значение");
        row("qty negative", D, {{"Qty", " -3"}},
            "(S17) Поле Qty ( -3) должно иметь положительное значение");
        row("fraction negative", D, {{"QtyFrac", "-0.5"}},
            "(S59) Поле QtyFrac (-0.5) должно иметь неотрицательное значение");
        row("no currency", D, {{"Currency", ""}}, "(S18) Не указана валюта");
        row("repurchase zero", R, {{"RepurchaseAmount", "0"}},
            "(S26) Поле RepurchaseAmount (0) должно иметь положительное значение");
        row("amount zero", R, {{"Amount", "0.00"}},
            "(S16) Поле Amount (0.00) должно иметь положительное значение");
        row("repo days zero", R, {{"RepoDays", "0"}}, "");
        row("repo days negative", R, {{"RepoDays", "-1"}},
            "(S27) Поле RepoDays (-1) должно иметь положительное значение");
        // The first rule that fails wins.
        row("order deals", D, {{"Currency", ""}, {"Price", "0"}}, s16.arg("0"));
        row("order repo", R, {{"Qty", "-1"}, {"RepoDays", "-1"}},
            "(S27) Поле RepoDays (-1) должно иметь положительное значение");
    }

    void dealRules()
    {
        QFETCH(int, kind);
        QFETCH(Deal, changes);
        QFETCH(QString, failure);
        Deal deal = goodDeal();
        for (auto it = changes.begin(); it != changes.end(); ++it)
            deal[it.key()] = it.value();
        QCOMPARE(check(ReportKind(kind), deal), failure);
    }

    void duplicates()
    {
        const QString s52 = QStringLiteral("(S52) Сделка участника MC0001 с внутренним номером "
                                           "R-1 уже существует в базе данных");
        const QString s54 = QStringLiteral("(S54) Сделка участника MC0001 с номером договора "
                                           "AG-1 и пустым внутренним номером уже существует в "
                                           "базе данных");
        Deal deal = goodDeal();
        QCOMPARE(check(ReportKind::Deals, deal), QString()); // no rows: nothing to compare
        addRow(QStringLiteral("AG-0"), QStringLiteral("R-0"));
        addRow(QStringLiteral("AG-1"), QStringLiteral("R-1"));
        addRow(QStringLiteral("AG-2"), QStringLiteral(""));
        QCOMPARE(check(ReportKind::Deals, deal), s52);
        QCOMPARE(check(ReportKind::Repo, deal), s52);
        // Changing a row to its own Reference passes; to another row's fails.
        QCOMPARE(check(ReportKind::Deals, deal, DealCheckMode::Change, 1), QString());
        QCOMPARE(check(ReportKind::Deals, deal, DealCheckMode::Change, 0), s52);
        // The participant named is the configured one, not the deal's.
        deal["Participant"] = QStringLiteral("OTHER");
        QCOMPARE(check(ReportKind::Deals, deal), s52);
        // Empty Reference: the Agreement of any row, whatever that row's Reference.
        deal["Reference"] = QStringLiteral("  ");
        QCOMPARE(check(ReportKind::Deals, deal), s54);
        deal["Agreement"] = QStringLiteral("AG-9");
        QCOMPARE(check(ReportKind::Deals, deal), QString());
        // Compared exactly, after trimming the deal's values.
        deal["Reference"] = QStringLiteral(" r-1 ");
        QCOMPARE(check(ReportKind::Deals, deal), QString());
        deal["Reference"] = QStringLiteral(" R-1 ");
        QCOMPARE(check(ReportKind::Deals, deal), s52);
    }

    // The update command's texts follow the language; without them the built-in Russian
    // texts are shown, English setting or not.
    void languages()
    {
        Deal deal = goodDeal();
        deal["Currency"].clear();
        WriteSetting(QStringLiteral("Main"), QStringLiteral("Language"), QStringLiteral("EN"));
        QCOMPARE(check(ReportKind::Deals, deal), QStringLiteral("(S18) Не указана валюта"));
        for (const StockMessage& m : StockMessages()) {
            WriteSetting(QStringLiteral("ErrorMessage"), m.code + QStringLiteral("_RU"), m.ru);
            WriteSetting(QStringLiteral("ErrorMessage"), m.code + QStringLiteral("_EN"), m.en);
        }
        QCOMPARE(check(ReportKind::Deals, deal),
                 QStringLiteral("(S18) No field Currency in the message"));
        deal = goodDeal();
        deal["Amount"] = QStringLiteral("0");
        QCOMPARE(check(ReportKind::Repo, deal),
                 QStringLiteral("(S16) The field Price (0) must be positive"));
        WriteSetting(QStringLiteral("Main"), QStringLiteral("Language"), QStringLiteral("RU"));
        QCOMPARE(check(ReportKind::Repo, deal),
                 QStringLiteral("(S16) Поле Price (0) должно иметь положительное значение"));
        const FieldCheck block = CheckFieldValue(column("RepurchaseAmount", "N"), "x",
                                                 ReportKind::Repo, QDate::currentDate());
        QCOMPARE(block.failure, QStringLiteral("(S3) Поле Block (x) должно иметь формат "
                                               "numeric(1)"));
    }

    void saveCheck()
    {
        QVERIFY(IsReportCorrect(*grid_).done());
        addRow(QStringLiteral("A"), QStringLiteral("1"));
        grid_->appendDeal({"B", "2", ""}); // empty dates are not looked at
        QVERIFY(IsReportCorrect(*grid_).done());
        grid_->appendDeal({"C", "3", "%DATE%"});
        const Outcome checked = IsReportCorrect(*grid_);
        QVERIFY(checked.failed());
        QCOMPARE(checked.failure, QStringLiteral("(C10) Недопустимый формат даты: %DATE%"));
    }

    void zeroAndNegativeTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("zero");
        QTest::addColumn<bool>("negative");
        QTest::newRow("empty") << "" << true << false;
        QTest::newRow("0.00") << "0.00" << true << false;
        QTest::newRow("-0") << "-0" << true << true;
        QTest::newRow("letters") << "abc" << true << false;
        QTest::newRow("0.01") << "0.01" << false << false;
        QTest::newRow("blank minus") << "  -5" << false << true;
        QTest::newRow("minus later") << "5-" << false << false;
    }

    void zeroAndNegativeTexts()
    {
        QFETCH(QString, text);
        QFETCH(bool, zero);
        QFETCH(bool, negative);
        QCOMPARE(IsZeroText(text), zero);
        QCOMPARE(IsNegativeText(text), negative);
    }
};

QTEST_MAIN(ChecksTest)
#include "tst_checks.moc"
