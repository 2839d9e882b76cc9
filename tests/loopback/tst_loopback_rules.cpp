#include "ClientSettings.h"
#include "Cp1251.h"
#include "DealRules.h"
#include "Handbook.h"
#include "RequestReader.h"

#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>

using namespace loopback;

namespace {

// "Price=0;Qty=5" as attributes, in that order.
Attributes parseRow(const QString& text)
{
    Attributes row;
    for (const QString& pair : text.split(u';', Qt::SkipEmptyParts)) {
        const qsizetype eq = pair.indexOf(u'=');
        row.append({pair.left(eq), pair.mid(eq + 1)});
    }
    return row;
}

const QString kGoodDeal = QStringLiteral(
    "Participant=MC01;Issue=SNEN-AO1;Price=10.5;Qty=100;Currency=RUB;SettlCurrency=RUB;"
    "TradeDate=2024-03-15");
const QString kGoodRepo = QStringLiteral(
    "Participant=MC01;Issue=SNEN-AO1;Price=10.5;Qty=100;Currency=RUB;SettlCurrency=RUB;"
    "Amount=1050;RepurchaseAmount=1060;RepoDays=7;SettleDate1=2024-03-15;SettleDate2=2024-03-22");

// Everything the reader makes of a document: the rows' attribute counts, or the fault.
QString readAll(const QByteArray& bytes)
{
    RequestReader reader(bytes);
    if (!reader.readRoot())
        return QStringLiteral("fault: ") + reader.faultText(Language::EN);
    const KindInfo* kind = KindByRoot(reader.rootName());
    reader.expectRows(kind ? QString::fromLatin1(kind->row) : QStringLiteral("row"));
    QStringList rows;
    Attributes row;
    while (reader.nextRow(row))
        rows.append(QString::number(row.size()));
    if (reader.failed())
        return QStringLiteral("fault: ") + reader.faultText(Language::EN);
    return reader.rootName() + u' ' + rows.join(u',');
}

} // namespace

class TestLoopbackRules : public QObject {
    Q_OBJECT

private slots:
    void dealChecks_data();
    void dealChecks();
    void readerFaults_data();
    void readerFaults();
    void iniValues_data();
    void iniValues();
    void resolveFolder_data();
    void resolveFolder();
    void codePage();
};

void TestLoopbackRules::dealChecks_data()
{
    QTest::addColumn<bool>("repo");
    QTest::addColumn<QString>("changes"); // applied over the good deal: "Price=0" or "-Price"
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("text");

    auto deal = [](const char* tag, const QString& changes, const QString& code,
                   const QString& text = QString()) {
        QTest::newRow(tag) << false << changes << code << text;
    };
    auto repo = [](const char* tag, const QString& changes, const QString& code,
                   const QString& text = QString()) {
        QTest::newRow(tag) << true << changes << code << text;
    };
    deal("good", "", "");
    deal("no participant", "Participant=  ", "S5", "(S5) Не указан код участника");
    deal("ISIN instead of Issue", "Issue=;ISIN=RU000ZV01002", "");
    deal("neither Issue nor ISIN", "-Issue", "S13");
    deal("unknown issue", "Issue=NOPE", "S14", "(S14) Ценная бумага NOPE не найдена в справочнике");
    deal("unknown ISIN", "Issue=;ISIN=XX0000000000", "S14");
    deal("price zero", "Price=0.00", "S16",
         "(S16) Поле Price (0.00) должно иметь положительное значение");
    deal("price negative", "Price=-5", "S16");
    deal("price empty", "-Price", "S16");
    deal("price not a number", "Price=1abc", "S16");
    deal("price tiny", "Price=0.01", "");
    deal("fraction only", "Qty=0;QtyFrac=0.5", "");
    deal("no quantity", "Qty=0;QtyFrac=0", "S17",
         "(S17) Поле Qty (0) должно иметь положительное значение");
    deal("negative quantity", "Qty=-1;QtyFrac=0.5", "S17");
    deal("negative fraction", "QtyFrac=-0.5", "S59");
    deal("no currency", "Currency= ", "S18");
    deal("no settlement currency", "-SettlCurrency", "S55", "(S55) Не указана валюта расчетов");
    deal("day that does not exist", "TradeDate=2024-02-30", "C10",
         "(C10) Недопустимый формат даты: 2024-02-30");
    deal("display form of a date", "SettleDate=15.03.2024", "C10");
    deal("leap day", "TradeDate=2024-02-29", "");
    deal("an empty date is no date", "TradeDate=", "");
    deal("rules in order", "-Participant;Price=0", "S5");
    // A side is B or S; a letter that only looks like one is refused, and so is a small letter.
    deal("buy", "Side=B", "");
    deal("sell", "Side= S ", "");
    deal("no side", "Side=", "");
    deal("Cyrillic Ve for B", "Side=\u0412", "S15",
         "(S15) Поле Side (\u0412) должно иметь значение B или S");
    deal("Cyrillic Es for S", "Side=\u0421", "S15");
    deal("small b", "Side=b", "S15");
    deal("a word", "Side=Buy", "S15");
    deal("side before price", "Side=X;Price=0", "S15");
    repo("repo Cyrillic side", "Side=\u0421", "S15");
    repo("repo good", "", "");
    repo("repo ignores ISIN", "Issue=;ISIN=RU000ZV01002", "S13");
    repo("repo repurchase zero", "RepurchaseAmount=0", "S26");
    repo("repo amount zero", "Amount=0", "S16",
         "(S16) Поле Amount (0) должно иметь положительное значение");
    repo("repo days zero", "RepoDays=0", "");
    repo("repo days negative", "RepoDays=-1", "S27");
    repo("repo dated leg", "SettleDate2=2024-13-01", "C10");
}

void TestLoopbackRules::dealChecks()
{
    QFETCH(bool, repo);
    QFETCH(QString, changes);
    QFETCH(QString, code);
    QFETCH(QString, text);

    Attributes row = parseRow(repo ? kGoodRepo : kGoodDeal);
    for (const QString& change : changes.split(u';', Qt::SkipEmptyParts)) {
        const bool drop = change.startsWith(u'-');
        const QString name = drop ? change.mid(1) : change.section(u'=', 0, 0);
        row.removeIf([&](const Attribute& a) { return a.name == name; });
        if (!drop)
            row.append({name, change.section(u'=', 1)});
    }

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("handbook.msg"));
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write("<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n<IssueList Language=\"RU\" "
              "Count=\"1\">\r\n<Issue Code=\"SNEN-AO1\" ISIN=\"RU000ZV01002\" />\r\n"
              "</IssueList>\r\n");
    out.close();
    Handbook handbook;
    handbook.setFile(file);
    QString reason;
    QCOMPARE(handbook.refresh(reason), Handbook::Change::Loaded);

    const std::optional<Message> message =
        CheckDeal(repo ? RequestKind::RepoDeals : RequestKind::Deals, row, Language::RU, &handbook);
    QCOMPARE(message ? message->code : QString(), code);
    if (!text.isEmpty())
        QCOMPARE(message->text, text);
    // Without a handbook every security passes.
    if (code == u"S14")
        QVERIFY(!CheckDeal(RequestKind::Deals, row, Language::RU, nullptr));
}

void TestLoopbackRules::readerFaults_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("result");

    const QByteArray decl = "<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n";
    QTest::newRow("client document")
        << decl + "<!-- Message has been generated -->\r\n<deals Language=\"RU\">\r\n"
                  "<deal A=\"1\" B=\"&amp;&quot;\" />\r\n<deal />\r\n</deals>\r\n"
        << "deals 2,0";
    QTest::newRow("empty root") << decl + "<GetIssueList Language=\"RU\" />\r\n"
                                << "GetIssueList ";
    QTest::newRow("empty file") << QByteArray() << "fault: the file is empty";
    QTest::newRow("doctype")
        << decl + "<!DOCTYPE deals [<!ENTITY x \"y\">]>\r\n<deals><deal A=\"&x;\"/></deals>"
        << "fault: a DOCTYPE declaration is not allowed";
    QTest::newRow("doctype after comment")
        << decl + "<!-- c -->\r\n<?pi x?>\r\n<!DOCTYPE deals SYSTEM \"file:///etc/passwd\">"
                  "<deals/>"
        << "fault: a DOCTYPE declaration is not allowed";
    // Past the look-ahead the parser itself reports the declaration.
    QTest::newRow("doctype after long comment")
        << decl + "<!-- " + QByteArray(70000, 'c') + " -->\r\n<!DOCTYPE deals>\r\n<deals/>"
        << "fault: a DOCTYPE declaration is not allowed";
    QTest::newRow("undefined byte")
        << decl + "<deals Language=\"RU\">\r\n<deal A=\"\x98\" />\r\n</deals>\r\n"
        << "fault: XML error";
    QTest::newRow("control character") << decl + "<deals>\r\n<deal A=\"\x01\" />\r\n</deals>\r\n"
                                       << "fault: XML error at line 3";
    QTest::newRow("undeclared entity") << decl + "<deals><deal A=\"&nope;\" /></deals>"
                                       << "fault: XML error";
    QTest::newRow("nested element") << decl + "<deals><deal A=\"1\"><x/></deal></deals>"
                                    << "fault: the element x is not allowed inside deal";
    QTest::newRow("other row") << decl + "<deals><RepoDeal A=\"1\"/></deals>"
                               << "fault: expected the element deal instead of RepoDeal";
    QTest::newRow("text") << decl + "<deals>hello<deal/></deals>"
                          << "fault: text is not allowed inside the element deals";
    QTest::newRow("element in a handbook request")
        << decl + "<GetIssueList Language=\"RU\"><x/></GetIssueList>"
        << "fault: the element x is not allowed inside GetIssueList";
    QTest::newRow("cut short") << decl + "<deals Language=\"RU\">\r\n<deal A=\"1\" />\r\n"
                               << "fault: XML error";
    QTest::newRow("junk after the end") << decl + "<deals></deals>\r\njunk"
                                        << "fault: XML error";
    QTest::newRow("two attributes of a name") << decl + "<deals><deal A=\"1\" A=\"2\"/></deals>"
                                              << "fault: XML error";
    // The parser's time grows with the square of a start tag's attributes: a tag with too
    // many is refused before the parser sees it, with its place.
    QByteArray many;
    for (int i = 0; i < 200000; ++i)
        many += " A" + QByteArray::number(i) + "=\"\"";
    QTest::newRow("200,000 attributes")
        << decl + "<deals>\r\n<deal" + many + "/>\r\n</deals>\r\n"
        << "fault: XML error at line 3, column 1: Element deal has more than 1024 attributes";
    QTest::newRow("1024 attributes")
        << decl + "<deals><deal" + many.left(many.indexOf(" A1024=")) + "/></deals>"
        << "deals 1024";
    QTest::newRow("utf-8 declared")
        << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?><deals><deal A=\"Д\"/></deals>")
        << "deals 1";
}

void TestLoopbackRules::readerFaults()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, result);
    const QString got = readAll(bytes);
    QVERIFY2(got.startsWith(result), qPrintable(got));
}

void TestLoopbackRules::iniValues_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("value");

    QTest::newRow("plain") << QByteArray("[Path]\r\nFolderSend=.\\send\r\n") << ".\\send";
    QTest::newRow("any letter case, blanks")
        << QByteArray("[ path ]\r\n  folderSEND =  out  \r\n") << "out";
    QTest::newRow("quoted") << QByteArray("[Path]\nFolderSend=\" a b \"\n") << " a b ";
    QTest::newRow("first of two keys")
        << QByteArray("[Path]\nFolderSend=one\nFolderSend=two\n") << "one";
    QTest::newRow("first section only")
        << QByteArray("[Path]\nFolderWork=w\n[Main]\nX=1\n[Path]\nFolderSend=late\n") << "";
    QTest::newRow("other section") << QByteArray("[Main]\nFolderSend=no\n") << "";
    QTest::newRow("Windows-1251") << QByteArray("[Path]\nFolderSend=C:\\\xCE\xF2\xEF\xF0\n")
                                  << "C:\\Отпр";
    QTest::newRow("UTF-8 with mark")
        << QByteArray("\xEF\xBB\xBF[Path]\nFolderSend=\xD0\x94\n") << "Д";
}

void TestLoopbackRules::iniValues()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, value);
    QCOMPARE(ReadIniValue(text, QStringLiteral("Path"), QStringLiteral("FolderSend")), value);
}

void TestLoopbackRules::resolveFolder_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("folder");
    QTest::newRow("dot") << "."
                         << "/p";
    QTest::newRow("dot backslash") << ".\\"
                                   << "/p";
    QTest::newRow("inside") << ".\\send"
                            << "/p/send";
    QTest::newRow("inside, deeper") << "./a\\b"
                                    << "/p/a/b";
    QTest::newRow("absolute") << "/srv/send"
                              << "/srv/send";
    QTest::newRow("windows path stays") << "C:\\out"
                                        << "C:\\out";
}

void TestLoopbackRules::resolveFolder()
{
    QFETCH(QString, value);
    QFETCH(QString, folder);
    QCOMPARE(ResolveFolder(QStringLiteral("/p/"), value), folder);
}

void TestLoopbackRules::codePage()
{
    // Every byte decodes as the system's own table does.
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        if (b != 0x98)
            all += char(b);
    QStringDecoder reference("windows-1251");
    QVERIFY(reference.isValid());
    const QString expected = reference.decode(all);
    QCOMPARE(DecodeCp1251(all), expected);

    // And encodes back byte for byte, the markup escaped.
    QByteArray encoded;
    AppendAttributeValue(encoded, expected.mid(0x7F));
    QCOMPARE(encoded, all.mid(0x7F));

    QByteArray value;
    AppendAttributeValue(value, QStringLiteral("Д&<>'\"\r\n\t€ 中😀"));
    QCOMPARE(value,
             QByteArray("\xC4&amp;&lt;&gt;&apos;&quot;&#13;&#10;&#9;\x88 &#20013;&#128512;"));
}

QTEST_GUILESS_MAIN(TestLoopbackRules)
#include "tst_loopback_rules.moc"
