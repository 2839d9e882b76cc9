#include "TestSupport.h"

#include "core/AtomicSave.h"
#include "core/DecimalText.h"
#include "core/Error.h"
#include "core/Values.h"
#include "filesave/ReplacingFile.h"
#include "messages/DocumentWriters.h"
#include "messages/SimpleData.h"
#include "tests/support/FaultInjection.h"

#include <QStringEncoder>
#include <QtTest>

using namespace varnel;
using namespace varnel::test;

namespace {

const QString kDataDir = QStringLiteral(VARNEL_TEST_DATA_DIR);

QStringList dealColumns()
{
    return {
        QStringLiteral("name=;type=;fmt=;def=;empty=;pick="),
        QStringLiteral("name=DealNum;type=C;fmt=;def=;empty=;pick="),
        QStringLiteral("name=TradeDate;type=D;fmt=dd.mm.yyyy;def=;empty=;pick="),
        QStringLiteral("name=Price;type=N;fmt=;def=;empty=0;pick="),
        QStringLiteral("name=Amount;type=N;fmt=;def=;empty=0;pick="),
        QStringLiteral("name=Note;type=C;fmt=;def=;empty=-;pick="),
        QStringLiteral("name=Counterparty;type=C;fmt=;def=;empty=;pick="),
    };
}

SimpleReportTable dealsTable()
{
    SimpleReportTable t(dealColumns());
    t.addRow({"1", "D-001", "05.03.2016", "1,5", "1234567890123456,1234567890",
              QStringLiteral("Тест & \"кавычки\" O'Neil"), QStringLiteral("ООО Ромашка")});
    t.addRow({"2", "D-002", "5.3.16", "0,000", "0.00", "-", "Line1\r\nLine2"});
    t.addRow({"3", "", "", "", "", "", ""});
    t.addRow({"4", QStringLiteral("€ 中 😀"), "", "0", "1e3", "x<y>", "a\rb\nc"});
    return t;
}

SimpleReportTable repoTable()
{
    SimpleReportTable t({QStringLiteral("name=;type="), QStringLiteral("name=RepoNum;type=C"),
                         QStringLiteral("name=Date1;type=D;fmt=dd.mm.yyyy"),
                         QStringLiteral("name=Rate;type=N;fmt=;def=;empty=0.00;pick="),
                         QStringLiteral("name=Side;type=C;fmt=;def=;empty=Buy;pick=")},
                        true);
    t.addRow({"1", "R-1", "31.12.2015", "7,25", "Sell"});
    t.addRow({"2", "R-2", "29.02.2016", "0", "Buy"});
    t.addRow({"3", "R-3", "", "0,0000", "buy"});
    return t;
}

SimpleRevocationList revokeList()
{
    SimpleRevocationList l;
    l.addRow({"1001", "AG-1", "REF-1", "P01", QStringLiteral("Ошибка ввода")});
    l.addRow({"  1002 ", "", "", "P02", "Reason & \"quoted\""});
    l.addRow({"1003", "", "  ", "", "two\r\nlines"});
    l.addRow({"", "", "", "", ""});
    return l;
}

SimpleRevocationList repoRevokeList()
{
    SimpleRevocationList l(QStringLiteral("Full"));
    l.addRow({"2001", "AG-2", "REF-2", "Buy", "P03"});
    l.addRow({"2002", "", "", "Sell", ""});
    return l;
}

// The expected document with this build's version in its comment line.
QByteArray expectedFile(const QString& name)
{
    QByteArray bytes = ReadBytes(kDataDir + u'/' + name);
    bytes.replace("version 2.1.0 -->", "version " + VersionString().toLatin1() + " -->");
    return bytes;
}

} // namespace

// A report that hands out its cells one by one, as a grid on the screen does.
class CellByCellTable : public ReportTable {
public:
    explicit CellByCellTable(const ReportTable& source) : source_(source) {}
    int columnCount() const override { return source_.columnCount(); }
    QString columnDescriptor(int column) const override { return source_.columnDescriptor(column); }
    int rowCount() const override { return source_.rowCount(); }
    QString cell(int row, int column) const override { return source_.cell(row, column); }
    bool isRepo() const override { return source_.isRepo(); }

private:
    const ReportTable& source_;
};

class DocumentsTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString out_;
    std::optional<ScopedProgramSettings> program_;

    void setLanguage(const QString& lang)
    {
        useSettings(dir_.path(), {QStringLiteral("[Main]"), QStringLiteral("Language=") + lang});
    }

    // One cell in a deal column of the given type and marker; the attribute as written.
    QString writeOneCell(const QString& type, const QString& marker, const QString& value,
                         bool* present)
    {
        SimpleReportTable t({QStringLiteral("name="), QStringLiteral("name=V;type=") + type +
                                                          QStringLiteral(";empty=") + marker});
        t.addRow({"1", value});
        WriteDealsXml(out_, t);
        XmlDocPtr doc = parseDocument(out_);
        if (!doc) {
            *present = false;
            return QStringLiteral("<not well-formed>");
        }
        const QString v = firstRowAttribute(doc.get(), "V");
        *present = !v.isNull();
        return v;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        program_.emplace(dir_.path());
        out_ = dir_.filePath(QStringLiteral("out.xml"));
        setLanguage(QStringLiteral("RU"));
    }

    void cleanupTestCase() { program_.reset(); }

    // Every document kind, byte for byte, in both languages.
    void documents_data()
    {
        QTest::addColumn<QString>("request");
        QTest::addColumn<QString>("expected");
        for (const char* l : {"RU", "EN"}) {
            const QString lang = QString::fromLatin1(l);
            const QString sfx = u'_' + lang + QStringLiteral(".xml");
            auto row = [&](const char* label, const QString& request, const QString& file) {
                QTest::newRow(qPrintable(QString::fromLatin1(label) + u' ' + lang))
                    << request << file + sfx;
            };
            row("get", QStringLiteral("GetIssueList"), QStringLiteral("GetIssueList"));
            row("get any case", QStringLiteral("getissuelist"), QStringLiteral("GetIssueList"));
            row("subscribe", QStringLiteral("SubscribeIssueList"),
                QStringLiteral("SubscribeIssueList"));
            row("unsubscribe", QStringLiteral("UNSUBSCRIBEISSUELIST"),
                QStringLiteral("UnsubscribeIssueList"));
            row("revoke", QStringLiteral("RevokeDeals"), QStringLiteral("RevokeDeals"));
            row("repo revoke", QStringLiteral("RepoRevokeDeals"),
                QStringLiteral("RepoRevokeDeals"));
            row("deals", QStringLiteral("Deals"), QStringLiteral("Deals"));
            row("repo deals", QStringLiteral("repodeals"), QStringLiteral("RepoDeals"));
            row("empty report", QStringLiteral("empty"), QStringLiteral("EmptyDeals"));
            row("unknown name", QStringLiteral("Whatever"), QStringLiteral("Unknown"));
        }
    }

    void documents()
    {
        QFETCH(QString, request);
        QFETCH(QString, expected);
        setLanguage(expected.section(u'_', 1, 1).left(2));
        const SimpleReportTable deals = dealsTable();
        const SimpleReportTable repo = repoTable();
        const SimpleReportTable empty(dealColumns());
        const SimpleRevocationList revoke = revokeList();
        const SimpleRevocationList repoRevoke = repoRevokeList();
        RequestData data;
        data.revocation =
            request.startsWith(QStringLiteral("Repo"), Qt::CaseInsensitive) ? &repoRevoke : &revoke;
        data.report =
            request.compare(QStringLiteral("repodeals"), Qt::CaseInsensitive) == 0 ? &repo : &deals;
        QFile::remove(out_);
        if (request == u"empty")
            WriteDealsXml(out_, empty);
        else
            WriteRequestXml(request, out_, data);
        QCOMPARE(ReadBytes(out_), expectedFile(expected));
        QVERIFY(request == u"Whatever" || parseDocument(out_));
    }

    // A refused date ends the writing; the file the document was to replace stays byte for byte
    // and no part of the new one is left beside it.
    void badDateEndsTheWriting_data()
    {
        QTest::addColumn<int>("rowsBefore");
        QTest::newRow("one row before") << 1;
        QTest::newRow("rows beyond one write block") << 3000;
    }

    void badDateEndsTheWriting()
    {
        QFETCH(int, rowsBefore);
        setLanguage(QStringLiteral("RU"));
        SimpleReportTable t(dealColumns());
        for (int r = 0; r < rowsBefore; ++r)
            t.addRow({QString::number(r + 1), "D-001", "05.03.2016"});
        t.addRow({"x", "D-002", "31.04.2016"});
        t.addRow({"y", "D-003", "01.01.2017"});
        WriteBytes(out_, QByteArray(5000, 'x')); // an older, longer file is replaced
        QString message;
        try {
            WriteDealsXml(out_, t);
        } catch (const Error& e) {
            message = e.description();
            QCOMPARE(e.number(), 514);
        }
        QCOMPARE(message, QStringLiteral("(C10) Недопустимый формат даты: 31.04.2016"));
        QCOMPARE(ReadBytes(out_), QByteArray(5000, 'x'));
        const QDir folder = QFileInfo(out_).absoluteDir();
        QCOMPARE(folder.entryList({QStringLiteral(".*")}, QDir::Files | QDir::Hidden),
                 QStringList());
    }

    // A disk that fills while a report is saved over an older one: the failure names the file
    // and the system's reason, the older report stays byte for byte, nothing is left beside it.
    void fullDiskKeepsTheOlderReport_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("rows");
        QTest::newRow("file-size limit 1000, small report") << "limit" << 30;
        QTest::newRow("file-size limit 1000, report beyond one block") << "limit" << 3000;
        QTest::newRow("fsync fails") << "fsync" << 5;
        QTest::newRow("full disk") << "disk" << 400;
    }

    void fullDiskKeepsTheOlderReport()
    {
        QFETCH(QString, fault);
        QFETCH(int, rows);
        setLanguage(QStringLiteral("RU"));
        std::unique_ptr<varnel::testing::SmallDisk> disk;
        QString folder = dir_.filePath(QStringLiteral("reports"));
        QVERIFY(QDir().mkpath(folder));
        if (fault == u"disk") {
            disk = std::make_unique<varnel::testing::SmallDisk>(64 * 1024);
            VARNEL_REQUIRE_DISK(*disk);
            folder = disk->path();
        }
        const QString report = folder + QStringLiteral("/report.xml");
        const QByteArray older = QByteArray("<deals Language=\"RU\">older</deals>\r\n");
        WriteBytes(report, older);
        if (disk)
            disk->fill();
        SimpleReportTable t(dealColumns());
        for (int r = 0; r < rows; ++r)
            t.addRow({QString::number(r + 1), "D-001", "05.03.2016"});
        const auto save = [&] {
            try {
                WriteDealsXml(report, t);
            } catch (const Error& e) {
                return e.description();
            }
            return QStringLiteral("saved");
        };
        QString outcome;
        int error = ENOSPC;
        if (fault == u"limit") {
            const auto child = varnel::testing::RunWithFileSizeLimit(1000, save);
            QVERIFY(child);
            outcome = *child;
            error = EFBIG;
        } else {
            filesave::testing::FaultPlan plan;
            if (fault == u"fsync") {
                plan.syncError = EIO;
                error = EIO;
            }
            filesave::testing::SetFaultPlan(plan);
            outcome = save();
            filesave::testing::SetFaultPlan({});
        }
        QCOMPARE(outcome, FileWriteErrorText(report, SystemErrorText(error)));
        QCOMPARE(ReadBytes(report), older);
        QCOMPARE(varnel::testing::FolderEntries(folder), QStringList(QStringLiteral("report.xml")));
    }

    void unwritablePath_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("messageStart");
        const QString create = QStringLiteral("Не удалось создать файл ");
        QTest::newRow("no such folder") << "/nonexistent-varnel/x.xml" << create;
        QTest::newRow("a folder") << "/tmp" << create;
        QTest::newRow("proc") << "/proc/varnel.xml" << create;
        // A device is never replaced by a document.
        QTest::newRow("a device") << "/dev/full" << create;
    }

    void unwritablePath()
    {
        QFETCH(QString, path);
        QFETCH(QString, messageStart);
        if ((path.startsWith(u"/proc") || path.startsWith(u"/dev")) &&
            !QFileInfo::exists(path.section(u'/', 0, 1)))
            QSKIP("not on this system");
        const SimpleReportTable report = dealsTable();
        QString message;
        try {
            WriteRequestXml(QStringLiteral("Deals"), path, {&report, nullptr});
        } catch (const Error& e) {
            message = e.description();
        }
        QVERIFY2(message.startsWith(messageStart + path), qPrintable(message));
    }

    // Hostile cell texts: the document stays well-formed and reads back as the value meant.
    void badInput_data()
    {
        QTest::addColumn<QString>("cell");
        QTest::addColumn<QString>("dealValue");   // line breaks removed
        QTest::addColumn<QString>("revokeValue"); // trimmed, line breaks kept
        auto row = [](const char* label, const QString& cell, const QString& deal,
                      const QString& revoke) { QTest::newRow(label) << cell << deal << revoke; };
        row("markup", "<a href=\"x\">&amp;</a>", "<a href=\"x\">&amp;</a>",
            "<a href=\"x\">&amp;</a>");
        row("apostrophes", "it's 'q'", "it's 'q'", "it's 'q'");
        row("cdata end", "]]>", "]]>", "]]>");
        row("crlf", "a\r\nb", "ab", "a\r\nb");
        row("lf", "a\nb", "ab", "a\nb");
        row("lone cr", "a\rb", "ab", "a\rb");
        row("lf cr", "a\n\rb", "ab", "a\n\rb");
        row("tab", "a\tb", "a\tb", "a\tb");
        row("nul", QString("a") + QChar(0) + "b", "ab", "ab");
        row("controls", QString("a") + QChar(1) + QChar(0x1B) + QChar(0x1F) + "b", "ab", "ab");
        row("noncharacters", QString("a") + QChar(0xFFFE) + QChar(0xFFFF) + "b", "ab", "ab");
        row("lone high surrogate", QString("a") + QChar(0xD83D) + "b", "ab", "ab");
        row("lone low surrogate", QString("a") + QChar(0xDE00) + "b", "ab", "ab");
        row("beyond the code page", QStringLiteral("中文 😀 ∑ Ω"), QStringLiteral("中文 😀 ∑ Ω"),
            QStringLiteral("中文 😀 ∑ Ω"));
        row("code page", QStringLiteral("Ёж € № ‰ «»"), QStringLiteral("Ёж € № ‰ «»"),
            QStringLiteral("Ёж € № ‰ «»"));
        row("blanks", "  x  ", "  x  ", "x");
        row("byte the code page lacks", QString(QChar(0x98)), QString(QChar(0x98)),
            QString(QChar(0x98)));
        row("entity lookalike", "&#65; &lt;", "&#65; &lt;", "&#65; &lt;");
    }

    void badInput()
    {
        QFETCH(QString, cell);
        QFETCH(QString, dealValue);
        QFETCH(QString, revokeValue);

        SimpleReportTable t({QStringLiteral("name="), QStringLiteral("name=V;type=C")});
        t.addRow({"1", cell});
        WriteDealsXml(out_, t);
        XmlDocPtr doc = parseDocument(out_);
        QVERIFY2(doc, ReadBytes(out_).constData());
        QCOMPARE(firstRowAttribute(doc.get(), "V"), dealValue);
        QVERIFY(!ReadBytes(out_).split('\n').value(3).contains('?')); // nothing lost to "?"

        SimpleRevocationList l;
        l.addRow({"1", "", "", "", cell});
        RequestData data;
        data.revocation = &l;
        WriteRequestXml(QStringLiteral("RevokeDeals"), out_, data);
        doc = parseDocument(out_);
        QVERIFY2(doc, ReadBytes(out_).constData());
        QCOMPARE(firstRowAttribute(doc.get(), "Reason"), revokeValue);
    }

    // Values from the settings and the dialog cannot break the document either; a request
    // without its list is refused before anything is written.
    void hostileFrameValues()
    {
        setLanguage(QStringLiteral("E\"N<&"));
        SimpleRevocationList l(QStringLiteral(" a\"b "));
        l.addRow({"1"});
        WriteRequestXml(QStringLiteral("RepoRevokeDeals"), out_, {nullptr, &l});
        XmlDocPtr doc = parseDocument(out_);
        QVERIFY(doc);
        xmlNode* root = xmlDocGetRootElement(doc.get());
        auto prop = [&](const char* name) {
            xmlChar* v = xmlGetProp(root, reinterpret_cast<const xmlChar*>(name));
            const QString s = QString::fromUtf8(reinterpret_cast<const char*>(v));
            xmlFree(v);
            return s;
        };
        QCOMPARE(prop("Language"), QStringLiteral("E\"N<&"));
        QCOMPARE(prop("ReplyType"), QStringLiteral(" a\"b "));
        setLanguage(QStringLiteral("RU"));

        QFile::remove(out_);
        for (const char* name : {"RevokeDeals", "Deals"}) {
            QVERIFY_THROWS_EXCEPTION(Error, WriteRequestXml(QString::fromLatin1(name), out_));
            QVERIFY(!QFileInfo::exists(out_));
        }
    }

    // Every character of the code page is escaped as EscapeXmlAttribute does it and written as
    // Qt's own converter writes it.
    void codePageAsQtWritesIt()
    {
        QStringDecoder decoder("windows-1251");
        QByteArray all;
        for (int b = 0x20; b < 0x100; ++b) {
            if (b != 0x98) // no character of the code page
                all.append(char(b));
        }
        const QString text = decoder.decode(all) + QStringLiteral("&amp;&&<<>>''\"\"");
        SimpleReportTable t({QStringLiteral("name="), QStringLiteral("name=V")});
        t.addRow({"1", text});
        WriteDealsXml(out_, t);
        QStringEncoder encoder("windows-1251");
        const QByteArray encoded = encoder.encode(EscapeXmlAttribute(text));
        QVERIFY(!encoder.hasError());
        QVERIFY(ReadBytes(out_).contains("<deal V=\"" + encoded + "\" />\r\n"));
    }

    // The writer takes common characters (printable ASCII, А to я) in blocks: a character
    // that needs more, at any place of values of every length, is written as alone.
    void oddCharacterAtEveryPlace_data()
    {
        QTest::addColumn<QString>("odd");
        QTest::addColumn<QByteArray>("asText");
        QTest::addColumn<QByteArray>("asNumber");
        auto row = [](const char* label, const QString& odd, const char* text, const char* number) {
            QTest::newRow(label) << odd << QByteArray(text) << QByteArray(number);
        };
        row("ampersand", QStringLiteral("&"), "&amp;", "&amp;");
        row("less", QStringLiteral("<"), "&lt;", "&lt;");
        row("greater", QStringLiteral(">"), "&gt;", "&gt;");
        row("apostrophe", QStringLiteral("'"), "&apos;", "&apos;");
        row("quote", QStringLiteral("\""), "&quot;", "&quot;");
        row("comma", QStringLiteral(","), ",", ".");
        row("Yo", QStringLiteral("Ё"), "\xA8", "\xA8");
        row("yo", QStringLiteral("ё"), "\xB8", "\xB8");
        row("opening guillemet", QStringLiteral("«"), "\xAB", "\xAB");
        row("closing guillemet", QStringLiteral("»"), "\xBB", "\xBB");
        row("numero", QStringLiteral("№"), "\xB9", "\xB9");
        row("no-break space", QString(QChar(0xA0)), "\xA0", "\xA0");
        row("U+0098", QString(QChar(0x98)), "&#152;", "&#152;");
        row("no byte", QStringLiteral("漢"), "&#28450;", "&#28450;");
        row("pair", QStringLiteral("😀"), "&#128512;", "&#128512;");
        row("lone half", QString(QChar(0xDC00)), "", "");
        row("tab", QStringLiteral("\t"), "&#9;", "&#9;");
        row("line break", QStringLiteral("\n"), "", "");
        row("DEL", QString(QChar(0x7F)), "\x7F", "\x7F");
        row("space", QStringLiteral(" "), " ", " ");
    }

    void oddCharacterAtEveryPlace()
    {
        QFETCH(QString, odd);
        QFETCH(QByteArray, asText);
        QFETCH(QByteArray, asNumber);
        const QString base = QStringLiteral("Ab1 жЯ-zZ9.Ъэ0qWюа#%");
        QStringEncoder encoder("windows-1251");
        const QByteArray baseBytes = encoder.encode(base);
        QCOMPARE(baseBytes.size(), base.size());
        SimpleReportTable t({QStringLiteral("name="), QStringLiteral("name=T"),
                             QStringLiteral("name=N;type=N;empty=")});
        QByteArray expected;
        for (int length = 0; length <= base.size(); ++length) {
            for (int at = 0; at <= length; ++at) {
                const QString text = base.left(at) + odd + base.mid(at, length - at);
                t.addRow({QStringLiteral("1"), text, text});
                const QByteArray before = baseBytes.left(at);
                const QByteArray after = baseBytes.mid(at, length - at);
                expected += "<deal T=\"" + before + asText + after + "\" N=\"" + before + asNumber +
                            after + "\" />\r\n";
            }
        }
        WriteDealsXml(out_, t);
        const QByteArray written = ReadBytes(out_);
        QVERIFY2(written.contains("<deals Language=\"RU\">\r\n" + expected + "</deals>"),
                 written.constData());
    }

    // A report read cell by cell is written as one whose rows are read whole.
    void cellByCellAsRowByRow()
    {
        SimpleReportTable rows(dealColumns());
        rows.addRow({"1", "D-1", "01.02.2016", "12,50", "0", "-", "ООО «Ромашка» & Co"});
        rows.addRow({"2", "D-2", "01.02.2016", "0,00", "1e3", "note"});
        rows.addRow({"3"});
        rows.addRow({"4", "D-4", "29.02.2016", "7", "0.000", "", "A\"B'<>"});
        WriteDealsXml(out_, rows);
        const QByteArray rowByRow = ReadBytes(out_);
        WriteDealsXml(out_, CellByCellTable(rows));
        QCOMPARE(ReadBytes(out_), rowByRow);
        QVERIFY(rowByRow.contains("<deal DealNum=\"D-2\" TradeDate=\"2016-02-01\" Amount=\"1e3\" "
                                  "Note=\"note\" />"));
    }

    // The empty marker: numbers compare as decimals, without binary floating point.
    void emptyMarker_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("marker");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("written"); // empty: omitted
        auto row = [](const char* label, const char* type, const QString& marker,
                      const QString& value, const QString& written) {
            QTest::newRow(label) << QString::fromLatin1(type) << marker << value << written;
        };
        row("zero", "N", "0", "0", "");
        row("zero with point", "N", "0", "0.00", "");
        row("zero with comma", "N", "0", "0,000", "");
        row("negative zero", "N", "0", "-0", "");
        row("padded", "N", "0", "000.0", "");
        row("blanks around", "N", "0", " 0 ", "");
        row("comma marker", "N", "1,50", "1.5", "");
        row("exponent", "N", "1000", "1e3", "");
        row("one", "N", "0", "1", "1");
        row("comma written as point", "N", "0", "1,5", "1.5");
        row("26 digits differ in the last", "N", "12345678901234567890123456",
            "12345678901234567890123457", "12345678901234567890123457");
        row("26 digits equal", "N", "1234567890123456.1234567890", "1234567890123456,123456789",
            "");
        row("beyond double", "N", "0.1", "0.10000000000000001", "0.10000000000000001");
        row("tiny", "N", "0", "0.0000000000000000000000001", "0.0000000000000000000000001");
        row("sign differs", "N", "5", "-5", "-5");
        row("number text vs marker text", "N", "n/a", "n/a", "");
        row("letters not a number", "N", "0", "O", "O");
        row("text exact", "C", "-", "-", "");
        row("text case counts", "C", "Buy", "buy", "buy");
        row("text not numeric", "C", "0", "0.0", "0.0");
        row("text separators", "C", "1,5", "1.5", "");
        row("date marker", "D", "01.01.1900", "01.01.1900", "");
    }

    void emptyMarker()
    {
        QFETCH(QString, type);
        QFETCH(QString, marker);
        QFETCH(QString, value);
        QFETCH(QString, written);
        bool present = false;
        const QString v = writeOneCell(type, marker, value, &present);
        QCOMPARE(present, !written.isEmpty());
        if (present)
            QCOMPARE(v, written);
    }

    // Numbers as the user's locale writes them.
    void localeNumbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("decimal");
        QTest::addColumn<QString>("group");
        QTest::addColumn<QString>("digits");
        QTest::addColumn<qint64>("exponent");
        QTest::addColumn<bool>("number");
        const QString nbsp = QString(QChar(0xA0));
        auto row = [](const char* label, const QString& text, const QString& dec,
                      const QString& grp, const QString& digits, qint64 exp, bool ok) {
            QTest::newRow(label) << text << dec << grp << digits << exp << ok;
        };
        row("ru decimal", "1234,50", ",", nbsp, "12345", -1, true);
        row("ru grouped", "1" + nbsp + "234,5", ",", nbsp, "12345", -1, true);
        row("ru point is no separator", "1.5", ",", nbsp, "", 0, false);
        row("c grouped", "1,000.25", ".", ",", "100025", -2, true);
        row("group at the start", ",100", ".", ",", "", 0, false);
        row("trailing zeros", "1500", ".", ",", "15", 2, true);
        row("only point", ".", ".", ",", "", 0, false);
        row("leading point", ".5", ".", ",", "5", -1, true);
        row("empty", "", ".", ",", "", 0, false);
        row("two signs", "--1", ".", ",", "", 0, false);
        row("bare exponent", "1e", ".", ",", "", 0, false);
        row("huge exponent", "1e9999999999", ".", ",", "", 0, false);
        row("inner blank", "1 0", ".", ",", "", 0, false);
    }

    void localeNumbers()
    {
        QFETCH(QString, text);
        QFETCH(QString, decimal);
        QFETCH(QString, group);
        QFETCH(QString, digits);
        QFETCH(qint64, exponent);
        QFETCH(bool, number);
        const auto v = ParseLocaleDecimal(text, decimal.at(0), group.at(0));
        QCOMPARE(v.has_value(), number);
        if (v) {
            QCOMPARE(QString::fromStdString(v->digits), digits);
            QCOMPARE(v->exponent, exponent);
        }
    }
};

QTEST_GUILESS_MAIN(DocumentsTest)
#include "tst_documents.moc"
