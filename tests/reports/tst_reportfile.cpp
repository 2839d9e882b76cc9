// Report files read back into the grid: attribute matching, date and number rules, hostile
// files, large files, and the round trip through the document writer.
#include "core/Error.h"
#include "messages/DocumentWriters.h"
#include "reports/ReportFile.h"
#include "reports/ReportModel.h"

#include "ReportTestSupport.h"

#include <QtTest>

using namespace varnel;
using namespace varnel::test;

namespace {

ReportColumn column(const char* name, const char* type, const char* def = "")
{
    ReportColumn c;
    c.name = QString::fromLatin1(name);
    c.type = QString::fromLatin1(type);
    c.def = QString::fromUtf8(def);
    c.descriptor =
        QStringLiteral("name=%1;type=%2;fmt=;def=%3;empty=;pick=").arg(c.name, c.type, c.def);
    return c;
}

QList<ReportColumn> columns()
{
    return {ReportColumn::rowNumber(),          column("Agreement", ""),
            column("TradeDate", "D", "%DATE%"), column("Price", "N", "0"),
            column("Comment", "", "нет"),       column("Amount", "n", "1")};
}

QByteArray document(const QByteArray& rows, const QByteArray& encoding = "Windows-1251")
{
    return "<?xml version=\"1.0\" encoding=\"" + encoding + "\"?>\r\n<deals Language=\"RU\">\r\n" +
           rows + "</deals>\r\n";
}

} // namespace

class ReportFileTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TestProgramFolder> folder_;

    QString file(const QByteArray& bytes)
    {
        const QString path = folder_->file(QStringLiteral("report.xml"));
        WriteBytes(path, bytes);
        return path;
    }

    QString failure(const QString& path)
    {
        try {
            ReadReportRows(path, columns());
        } catch (const Error& e) {
            return e.description();
        }
        return QString();
    }

private slots:
    void init() { folder_ = std::make_unique<TestProgramFolder>(); }
    void cleanup() { folder_.reset(); }

    void cells_data()
    {
        QTest::addColumn<QByteArray>("row");
        QTest::addColumn<QStringList>("cells");
        const auto row = [](const char* label, const QByteArray& element,
                            const QStringList& cells) { QTest::newRow(label) << element << cells; };
        row("all attributes",
            "<deal Agreement=\"A-1\" TradeDate=\"2024-03-07\" Price=\"12.5\" Comment=\"x\" "
            "Amount=\"3\" />",
            {"1", "A-1", "07.03.2024", "12.5", "x", "3"});
        row("missing attributes take the defaults", "<deal />",
            {"1", "", "%DATE%", "0", "нет", "1"});
        row("empty number takes the default, empty text stays",
            "<deal Price=\"\" Amount=\"\" Comment=\"\" TradeDate=\"\" />",
            {"1", "", "", "0", "", "1"});
        row("seven-character date", "<deal TradeDate=\"2024-03\" />",
            {"1", "", "  .03.2024", "0", "нет", "1"});
        row("blank date stays", "<deal TradeDate=\"  \" />", {"1", "", "  ", "0", "нет", "1"});
        row("attribute names compared with case",
            "<deal agreement=\"x\" price=\"5\" Unknown=\"u\" />",
            {"1", "", "%DATE%", "0", "нет", "1"});
        row("Cyrillic and entities",
            QByteArray("<deal Agreement=\"\xc4\xee\xe3\xee\xe2\xee\xf0 \xb9"
                       "5\" "
                       "Comment=\"&lt;&amp;&quot;&#1025;\" />"),
            {"1", "Договор №5", "%DATE%", "0", "<&\"Ё", "1"});
        row("element names are not examined", "<anything Agreement=\"z\"><child/></anything>",
            {"1", "z", "%DATE%", "0", "нет", "1"});
    }

    void cells()
    {
        QFETCH(QByteArray, row);
        QFETCH(QStringList, cells);
        const QList<QStringList> rows = ReadReportRows(file(document(row + "\r\n")), columns());
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows.first(), cells);
    }

    void refused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("part");
        QTest::newRow("cut short")
            << document("<deal Agreement=\"1\" />\r\n<deal ").left(120) << "Строка: ";
        QTest::newRow("doctype")
            << QByteArray("<?xml version=\"1.0\"?>\n<!DOCTYPE deals SYSTEM \"http://x/y.dtd\">\n"
                          "<deals/>")
            << "DTD is prohibited.";
        QTest::newRow("invalid UTF-8")
            << document("<deal Agreement=\"\xff\xfe\" />\r\n", "UTF-8") << "Строка: 3";
        QTest::newRow("not XML") << QByteArray("Agreement;Price\r\n1;2\r\n") << "Строка: 1";
        QTest::newRow("duplicate attribute")
            << document("<deal Price=\"1\" Price=\"2\" />\r\n") << "Строка: 3";
    }

    // A file the parser refuses gives the loading rule's text and no rows at all, however
    // many it read before the fault.
    void refused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, part);
        const QString path = file(bytes);
        const QString message = failure(path);
        QVERIFY2(message.startsWith(QStringLiteral("Ошибка загрузки файла ") + path +
                                    QStringLiteral(": \r\n")),
                 qPrintable(message));
        QVERIFY2(message.contains(part), qPrintable(message));
    }

    // What a report window saves it reads back as it was: numbers to the last digit, dates,
    // texts beyond the code page, markup characters and all.
    void roundTrip()
    {
        ReportModel grid(false);
        grid.setColumns(columns());
        grid.appendDeal({"Дог. «1» & <2>", "07.03.2024", "1234567890123456.1234567890", "中文 😀 ‰",
                         "0.0000000001"});
        grid.appendDeal({"", "", "", "", ""});
        const QString path = folder_->file(QStringLiteral("saved.xml"));
        WriteDealsXml(path, grid);
        const QList<QStringList> rows = ReadReportRows(path, grid.columns());
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows.at(0), *grid.rowCells(0));
        // Empty cells are not written; reading gives the defaults again.
        QCOMPARE(rows.at(1), (QStringList{"2", "", "%DATE%", "0", "нет", "1"}));
    }

    // Fifty thousand deals stream through without a whole document in memory.
    void largeFile()
    {
        const QString path = folder_->file(QStringLiteral("large.xml"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n<deals Language=\"RU\">\r\n");
        for (int i = 0; i < 50000; ++i)
            f.write(QStringLiteral("<deal Agreement=\"A-%1\" TradeDate=\"2024-01-%2\" "
                                   "Price=\"%3.25\" />\r\n")
                        .arg(i)
                        .arg(1 + i % 28, 2, 10, QChar(u'0'))
                        .arg(i)
                        .toLatin1());
        f.write("</deals>\r\n");
        f.close();
        const QList<QStringList> rows = ReadReportRows(path, columns());
        QCOMPARE(rows.size(), 50000);
        QCOMPARE(rows.last(),
                 (QStringList{"50000", "A-49999", "20.01.2024", "49999.25", "нет", "1"}));

        // Read in parts: full parts but the last, numbered on, the same rows in the end; the
        // same file cut short hands over the parts read before it fails.
        QList<QStringList> joined;
        QList<qsizetype> sizes;
        ReadReportRowsInParts(path, columns(), 4096, [&](QList<QStringList>&& part) {
            sizes.append(part.size());
            joined.append(std::move(part));
        });
        QCOMPARE(sizes.size(), 13);
        QCOMPARE(sizes.count(4096), 12);
        QCOMPARE(joined, rows);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.resize(f.size() - 30));
        f.close();
        sizes.clear();
        QVERIFY_THROWS_EXCEPTION(
            Error, ReadReportRowsInParts(path, columns(), 4096, [&](QList<QStringList>&& part) {
                sizes.append(part.size());
            }));
        QCOMPARE(sizes, QList<qsizetype>(12, 4096));
    }
};

QTEST_MAIN(ReportFileTest)
#include "tst_reportfile.moc"
