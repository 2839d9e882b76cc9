// Incoming messages: recognition of the six kinds, the temporary copy made byte for byte with
// the stylesheet instruction in front of the root, the handbook viewer's copy, and the
// temporary files the viewers leave and clean up.
#include "answers/IncomingMessage.h"
#include "core/AppContext.h"
#include "core/AtomicSave.h"
#include "core/Error.h"
#include "core/TempFiles.h"
#include "core/XmlLoad.h"
#include "viewer/ViewerFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include <sys/stat.h>
#include <utime.h>

using namespace varnel;

namespace {

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

// The href of the instruction in a copy, decoded as an attribute value and as a URL.
QString HrefPath(const QByteArray& text)
{
    const qsizetype start = text.indexOf("href=\"");
    if (start < 0)
        return QString();
    const qsizetype end = text.indexOf('"', start + 6);
    QString href = QString::fromUtf8(text.mid(start + 6, end - start - 6));
    href.replace(QStringLiteral("&quot;"), QStringLiteral("\""));
    href.replace(QStringLiteral("&apos;"), QStringLiteral("'"));
    href.replace(QStringLiteral("&lt;"), QStringLiteral("<"));
    href.replace(QStringLiteral("&gt;"), QStringLiteral(">"));
    href.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    return QUrl(href).toLocalFile();
}

QString KindOf(const QByteArray& text)
{
    const MessageKind* kind = RecognizeMessageKind(UpperCasedText(text));
    return kind ? kind->name : QString();
}

} // namespace

class IncomingMessageTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir_;
    QString temp_;

    QString settings(const QByteArray& pathSection)
    {
        WriteFile(dir_->filePath(QStringLiteral("varnel_client.ini")),
                  "[Path]\r\n" + pathSection + "[IssueList]\r\n");
        return dir_->path();
    }
    QStringList tempFiles() const
    {
        return QDir(temp_).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

private slots:
    void init()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        SetProgramFolder(dir_->path());
        temp_ = dir_->filePath(QStringLiteral("tmp"));
        QDir().mkpath(temp_);
        SetTemporaryFolder(temp_);
        settings("SchemaDeals=.\\xsl\\receipts.xsl\r\n");
    }
    void cleanup() { SetTemporaryFolder(QString()); }

    void recognition_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("kind");
        QTest::newRow("receipts") << QByteArray("<?xml?><Receipts a=\"1\"></Receipts>")
                                  << "RECEIPTS";
        QTest::newRow("lower case") << QByteArray("<receipts/>") << "RECEIPTS";
        QTest::newRow("repo receipts")
            << QByteArray("<RepoReceipts></RepoReceipts>") << "REPORECEIPTS";
        QTest::newRow("handbook") << QByteArray("<IssueList Count=\"0\"/>") << "ISSUELIST";
        QTest::newRow("handbook in capitals") << QByteArray("<ISSUELIST/>") << "ISSUELIST";
        QTest::newRow("subscription")
            << QByteArray("<SubscribeResult Status=\"Accepted\" />") << "SUBSCRIBERESULT";
        QTest::newRow("revocation by its closing tag")
            << QByteArray("<RevokeReceipts>\r\n</RevokeReceipts>") << "REVOKERECEIPTS";
        QTest::newRow("revocation without closing tag is none")
            << QByteArray("<RevokeReceipts />") << QString();
        QTest::newRow("repo revocation")
            << QByteArray("<RepoRevokeReceipts></RepoRevokeReceipts>") << "REPOREVOKERECEIPTS";
        QTest::newRow("table order: receipts before revocation")
            << QByteArray("<RevokeReceipts><RECEIPTS/></RevokeReceipts>") << "RECEIPTS";
        QTest::newRow("a row element is no root marker")
            << QByteArray("<Receipt N=\"1\"/>") << QString();
        QTest::newRow("nothing") << QByteArray("\x00\x01\xff binary", 10) << QString();
    }
    void recognition()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, kind);
        QCOMPARE(KindOf(text), kind);
    }

    void cuts_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("copy");
        QTest::newRow("bytes before the declaration dropped")
            << QByteArray("Message-Id: 1\r\n\r\n<?xml version=\"1.0\"?>\r\n<Receipts/>\r\n")
            << QByteArray("<?xml version=\"1.0\"?>\r\n<Receipts/>\r\n");
        QTest::newRow("declaration in capitals")
            << QByteArray("junk<?XML version=\"1.0\"?><receipts/>")
            << QByteArray("<?XML version=\"1.0\"?><receipts/>");
        QTest::newRow("subscription: one character after its element")
            << QByteArray("<?xml?>\r\n<SubscribeResult Status=\"Accepted\" />\r\n-- end --\r\n")
            << QByteArray("<?xml?>\r\n<SubscribeResult Status=\"Accepted\" />\r");
        QTest::newRow("subscription: one character left as it is")
            << QByteArray("<SubscribeResult/>\n") << QByteArray("<SubscribeResult/>\n");
        QTest::newRow("subscription: none left as it is")
            << QByteArray("<SubscribeResult/>") << QByteArray("<SubscribeResult/>");
        QTest::newRow("revocation: one character after the last closing tag")
            << QByteArray("<RevokeReceipts></RevokeReceipts>\r\n</RevokeReceipts>\r\ntrailer")
            << QByteArray("<RevokeReceipts></RevokeReceipts>\r\n</RevokeReceipts>\r");
        QTest::newRow("revocation: one trailing character kept")
            << QByteArray("<RevokeReceipts></RevokeReceipts>\n")
            << QByteArray("<RevokeReceipts></RevokeReceipts>\n");
        QTest::newRow("repo revocation")
            << QByteArray("<RepoRevokeReceipts></reporevokereceipts>xyz")
            << QByteArray("<RepoRevokeReceipts></reporevokereceipts>x");
        QTest::newRow("receipts are not cut") << QByteArray("<Receipts></Receipts>\r\ntrailer")
                                              << QByteArray("<Receipts></Receipts>\r\ntrailer");
    }
    void cuts()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, copy);
        const PreparedMessage prepared = PrepareIncomingMessage(file);
        QVERIFY(prepared.kind);
        QCOMPARE(prepared.text, copy);
    }

    // The instruction goes right in front of the root, every other byte as it was read.
    void instructionBeforeTheRoot()
    {
        static const char bytes[] =
            "<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n<!-- \xc0\xe1\xe2 -->\r\n"
            "<receipts Language=\"RU\">\r\n<Receipt Text=\"\xcf\xee\xeb\xe5\x00\xff\"/>\r\n"
            "</receipts>\r\n";
        QByteArray text(bytes, sizeof bytes - 1);
        const QByteArray original = text;
        QVERIFY(AttachStylesheet(text, "<RECEIPTS", QStringLiteral("/opt/x/deals.xsl")));
        const QByteArray instruction =
            "<?xml-stylesheet type=\"text/xsl\" href=\"file:///opt/x/deals.xsl\"?>\r\n";
        const qsizetype at = original.indexOf("<receipts");
        QCOMPARE(text.left(at), original.left(at));
        QCOMPARE(text.mid(at, instruction.size()), instruction);
        QCOMPARE(text.mid(at + instruction.size()), original.mid(at));
    }

    void instructionLeftOut_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("stylesheet");
        QTest::newRow("already named")
            << QByteArray("<?xml?><?XML-STYLESHEET TYPE=\"TEXT/XSL\" href=\"own.xsl\"?><Receipts/>")
            << "/x.xsl";
        QTest::newRow("no stylesheet set") << QByteArray("<Receipts/>") << QString();
        QTest::newRow("no opening marker") << QByteArray("<x></RevokeReceipts>") << "/x.xsl";
    }
    void instructionLeftOut()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, stylesheet);
        const QByteArray before = text;
        const QByteArray marker = text.contains("Revoke") ? "<REVOKERECEIPTS" : "<RECEIPTS";
        QVERIFY(!AttachStylesheet(text, marker, stylesheet));
        QCOMPARE(text, before);
    }

    // A path holding quotes, an ampersand, angle brackets, blanks or Cyrillic letters breaks
    // neither the instruction nor the message: it is written as an escaped file URL.
    void pathsThatNeedEscaping_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("quote") << QStringLiteral("/srv/a\"b/deals.xsl");
        QTest::newRow("ampersand") << QStringLiteral("/srv/R&D/deals.xsl");
        QTest::newRow("angle brackets") << QStringLiteral("/srv/<x>/deals.xsl");
        QTest::newRow("apostrophe and blank") << QStringLiteral("/srv/it's here/deals.xsl");
        QTest::newRow("cyrillic and percent") << QStringLiteral("/srv/Схемы 100%/deals.xsl");
        QTest::newRow("hash and question") << QStringLiteral("/srv/#1?/deals.xsl");
    }
    void pathsThatNeedEscaping()
    {
        QFETCH(QString, path);
        const QByteArray instruction = StylesheetInstruction(path);
        for (const char c : instruction.left(instruction.size() - 2))
            QVERIFY2(uchar(c) >= 0x20 && uchar(c) < 0x7f, instruction.constData());
        QByteArray text = "<?xml version=\"1.0\"?>\r\n<Receipts A=\"1\"/>\r\n";
        QVERIFY(AttachStylesheet(text, "<RECEIPTS", path));
        QCOMPARE(HrefPath(text), path);
        // The copy is still well-formed: the instruction closes where it should.
        QCOMPARE(text.count("?>"), 2);
        QVERIFY(text.endsWith("?>\r\n<Receipts A=\"1\"/>\r\n"));
    }

    void stylesheetSetting_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>(
            "expected"); // relative to the program folder when it starts with /
        QTest::newRow("backslash") << ".\\receipts.xsl"
                                   << "/receipts.xsl";
        QTest::newRow("nested") << ".\\xsl\\deals.xsl"
                                << "/xsl/deals.xsl";
        QTest::newRow("slash") << "./xsl/deals.xsl"
                               << "/xsl/deals.xsl";
        QTest::newRow("absolute") << "/etc/deals.xsl"
                                  << "=/etc/deals.xsl";
        QTest::newRow("empty") << ""
                               << "=";
        QTest::newRow("blanks") << "   "
                                << "=";
    }
    void stylesheetSetting()
    {
        QFETCH(QString, value);
        QFETCH(QString, expected);
        const QString resolved = ResolveStylesheetSetting(value);
        if (expected.startsWith(u'='))
            QCOMPARE(resolved, expected.mid(1));
        else
            QCOMPARE(resolved, ProgramFolder() + expected);
    }

    // The whole copy: read, cut, recognised, the kind's stylesheet attached, written to a new
    // ".XML" in the temporary folder beside the empty name the system reserved.
    void messageCopy()
    {
        const QString message = dir_->filePath(QStringLiteral("DL1A2B.msg"));
        const QByteArray body = "<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n"
                                "<Receipts Total=\"1\">\r\n<Receipt N=\"1\" Text=\"\xd4\" />\r\n"
                                "</Receipts>\r\n";
        WriteFile(message, "header\r\n" + body);
        const MessageCopy copy = MakeMessageCopy(message);
        QVERIFY(copy.kind);
        QCOMPARE(copy.kind->name, QStringLiteral("RECEIPTS"));
        QCOMPARE(QFileInfo(copy.copy.path).suffix(), QStringLiteral("XML"));
        QCOMPARE(QFileInfo(copy.copy.path).absolutePath(), QFileInfo(temp_).absoluteFilePath());
        QCOMPARE(QFileInfo(copy.copy.reserved).size(), 0);
        QCOMPARE(QFileInfo(copy.copy.reserved).completeBaseName(),
                 QFileInfo(copy.copy.path).completeBaseName());
        const QByteArray written = ReadAll(copy.copy.path);
        QCOMPARE(HrefPath(written), ProgramFolder() + QStringLiteral("/xsl/receipts.xsl"));
        QByteArray expected = body;
        expected.insert(
            expected.indexOf("<Receipts"),
            StylesheetInstruction(ProgramFolder() + QStringLiteral("/xsl/receipts.xsl")));
        QCOMPARE(written, expected);
        // The chosen file stays as it was.
        QCOMPARE(ReadAll(message), "header\r\n" + body);
    }

    // A failing copy leaves nothing in the temporary folder and names its reason.
    void messageCopyFailures()
    {
        const QString notMessage = dir_->filePath(QStringLiteral("plain.msg"));
        WriteFile(notMessage, "<?xml version=\"1.0\"?><Other/>");
        try {
            MakeMessageCopy(notMessage);
            QFAIL("a file without a kind was copied");
        } catch (const Error& e) {
            QCOMPARE(e.description(), QStringLiteral("Файл ") + notMessage +
                                          QStringLiteral("\r\nне содержит сообщения одного из "
                                                         "допустимых типов: \r\nReceipts, "
                                                         "IssueList, SubscribeResult, "
                                                         "RevokeReceipts, RepoRecepts, "
                                                         "RepoRevokeReceipts"));
        }
        try {
            MakeMessageCopy(dir_->filePath(QStringLiteral("missing.msg")));
            QFAIL("a missing file was copied");
        } catch (const Error& e) {
            QVERIFY(e.description().contains(QStringLiteral("missing.msg")));
        }
        // Both viewers refuse a file beyond their own limit by its size alone, naming the limit.
        const QString huge = dir_->filePath(QStringLiteral("huge.msg"));
        {
            QFile f(huge);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.resize(kViewerMaxFileBytes + 1));
        }
        const QString tooBig = QStringLiteral("Файл ") + huge +
                               QStringLiteral(" слишком велик для просмотра: 513 МБ (не более "
                                              "512 МБ)");
        for (const bool handbook : {false, true}) {
            try {
                handbook ? (void)PrepareHandbookFile(huge) : (void)MakeMessageCopy(huge);
                QFAIL("a file beyond the viewers' limit was read");
            } catch (const Error& e) {
                QCOMPARE(e.description(), tooBig);
            }
        }
        QFile::remove(huge);
        QCOMPARE(tempFiles(), QStringList());

        SetTemporaryFolder(dir_->filePath(QStringLiteral("no such folder")));
        try {
            MakeMessageCopy(notMessage);
            QFAIL("copied into a folder that does not exist");
        } catch (const Error& e) {
            QCOMPARE(e.description(), NoTemporaryNameText());
        }
        SetTemporaryFolder(QStringLiteral("/") + QString(520, u'x'));
        try {
            MakeMessageCopy(notMessage);
            QFAIL("copied into a folder name of 521 characters");
        } catch (const Error& e) {
            QCOMPARE(e.description(), NoTemporaryFolderText());
        }
    }

    // The viewers' files are the user's alone, and a name another user plants a link at
    // between the reservation and the write is never written through.
    void temporaryFilesArePrivate()
    {
        const QString victim = dir_->filePath(QStringLiteral("report.xml"));
        WriteFile(victim, "the user's report");
        const TemporaryFile planted = ReserveTemporaryFile(QStringLiteral(".XML"));
        QVERIFY(QFile::link(victim, planted.path));
        try {
            WriteTemporaryFile(planted, "<Receipts/>");
            QFAIL("written through a link");
        } catch (const Error& e) {
            QVERIFY2(e.description().contains(SystemErrorText(EEXIST)),
                     qPrintable(e.description()));
        }
        QCOMPARE(ReadAll(victim), QByteArray("the user's report"));
        QVERIFY(QFileInfo(planted.path).isSymLink());

        const TemporaryFile file = ReserveTemporaryFile(QStringLiteral(".XML"));
        WriteTemporaryFile(file, "<Receipts/>");
        for (const QString& path : {file.reserved, file.path}) {
            struct stat st {};
            QCOMPARE(::lstat(QFile::encodeName(path).constData(), &st), 0);
            QCOMPARE(st.st_mode & 07777, mode_t(0600));
        }
        RemoveFiles(file.files() + planted.files());
        QCOMPARE(tempFiles(), QStringList());
    }

    // A failure found in a copy is told about the file the user chose: its path, and the line
    // and column there, although the copy lacks the envelope and has the instruction as a line
    // of its own. Where the chosen file loads by itself, the text is exactly the one its own
    // load gives.
    void failuresNameTheChosenFile_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("place"); // empty: the chosen file's own failure
        const QByteArray declaration = "<?xml version=\"1.0\" encoding=\"Windows-1251\"?>";
        QTest::newRow("after the root")
            << declaration + "\r\n<Receipts>\r\n<Receipt A=\"\x01\" />\r\n</Receipts>\r\n"
            << "";
        QTest::newRow("in the root's tag")
            << declaration + "\r\n  <Receipts A=\"\x01\">\r\n</Receipts>\r\n"
            << "";
        QTest::newRow("root on the declaration's line")
            << declaration + "<Receipts><Receipt A=\"\x01\" /></Receipts>"
            << "";
        QTest::newRow("before the root")
            << declaration + "\r\n<!DOCTYPE Receipts>\r\n<Receipts/>\r\n"
            << "";
        // The parser's reason names the open tag's line of the copy, one below its own.
        QTest::newRow("root not closed")
            << declaration + "\r\n<Receipts>\r\n<Receipt A=\"1\" />\r\n"
            << "";
        QTest::newRow("root not closed after an envelope")
            << "ENVELOPE\r\n" + declaration + "\r\n<Receipts>\r\n<Receipt A=\"1\" />\r\n"
            << "Premature end of data in tag Receipts line 3\r\nСтрока: 5, поз: 1";
        QTest::newRow("after an envelope of two lines")
            << "ENVELOPE 1\r\nENVELOPE 2\r\n" + declaration +
                   "\r\n<Receipts>\r\n<Receipt A=\"\x01\" />\r\n</Receipts>\r\n"
            << "Строка: 5, поз: 13";
        QTest::newRow("root after an envelope on the declaration's line")
            << "ENV " + declaration + "<Receipts A=\"\x01\"/>"
            << "Строка: 1, поз: 63";
        QTest::newRow("after an envelope on the declaration's line")
            << "ENV " + declaration + "\r\n<!DOCTYPE Receipts>\r\n<Receipts/>\r\n"
            << "Строка: 2, поз: 1";
    }
    void failuresNameTheChosenFile()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, place);
        const QString chosen = dir_->filePath(QStringLiteral("DL1A2B.msg"));
        WriteFile(chosen, text);
        const MessageCopy copy = MakeMessageCopy(chosen);
        QString own;
        try {
            XmlDocument::Load(chosen);
        } catch (const Error& e) {
            own = e.description();
        }
        try {
            XmlDocument::Load(copy.copy.path);
            QFAIL("the copy loaded");
        } catch (const Error& e) {
            const QString told = copy.origin.describe(e.description());
            QVERIFY2(told.startsWith(QStringLiteral("Ошибка загрузки файла ") + chosen + u':'),
                     qPrintable(told));
            if (place.isEmpty())
                QCOMPARE(told, own);
            else
                QVERIFY2(told.endsWith(u'\n' + place), qPrintable(told));
        }
        RemoveFiles(copy.copy.files());
    }

    void handbookFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("schema");
        QTest::addColumn<bool>("copied");
        QTest::addColumn<QString>("failure"); // empty: none
        const QByteArray handbook =
            "<?xml version=\"1.0\"?>\r\n<IssueList Count=\"0\">\r\n</IssueList>\r\n";
        const QByteArray schema = "SchemaIssueList=.\\xsl\\issue_list.xsl\r\n";
        QTest::newRow("copy with the stylesheet") << "h.msg" << handbook << schema << true << "";
        QTest::newRow("capitals pass")
            << "h.xml" << QByteArray("<?XML?><ISSUELIST/>") << schema << true << "";
        QTest::newRow("mixed case, its instruction anywhere: shown from its place")
            << "h.msg"
            << QByteArray("<?XmL?><iSSueList/>\r\n<!-- <?XML-Stylesheet TYPE=\"text/xsl\" -->")
            << schema << false << "";
        QTest::newRow("mixed case, copied")
            << "h.msg" << QByteArray("<?xMl?><<issueLIST/>") << schema << true << "";
        QTest::newRow("own stylesheet: shown from its place")
            << "h.msg"
            << QByteArray("<?xml?><?xml-stylesheet type=\"text/xsl\" href=\"a.xsl\"?><IssueList/>")
            << schema << false << "";
        QTest::newRow("no stylesheet set: shown from its place")
            << "h.msg" << handbook << QByteArray() << false << "";
        QTest::newRow("htm shown without a look inside")
            << "page.htm" << QByteArray("\x01\x02 no markers") << schema << false << "";
        QTest::newRow("no declaration")
            << "h.msg" << QByteArray("<IssueList/>") << schema << false << "handbook";
        QTest::newRow("no handbook")
            << "h.xml" << QByteArray("<?xml?><Receipts/>") << schema << false << "handbook";
    }
    void handbookFile()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, schema);
        QFETCH(bool, copied);
        QFETCH(QString, failure);
        settings(schema);
        const QString path = dir_->filePath(name);
        WriteFile(path, "prefix " + text);
        try {
            const HandbookFile file = PrepareHandbookFile(path);
            QVERIFY(failure.isEmpty());
            QCOMPARE(!file.copy.isNull(), copied);
            if (!copied) {
                QCOMPARE(file.shown, path);
                QCOMPARE(tempFiles(), QStringList());
                return;
            }
            QCOMPARE(file.shown, file.copy.path);
            const QByteArray written = ReadAll(file.shown);
            // Unlike a message, nothing before the declaration is dropped.
            QVERIFY(written.startsWith("prefix <?"));
            QCOMPARE(HrefPath(written), ProgramFolder() + QStringLiteral("/xsl/issue_list.xsl"));
            QVERIFY(written.indexOf("<?xml-stylesheet") <
                    UpperCasedText(written).indexOf("<ISSUELIST"));
        } catch (const Error& e) {
            QCOMPARE(e.description(), NotAHandbookText(path));
            QCOMPARE(failure, QStringLiteral("handbook"));
        }
    }

    // Only what a viewer left, and only when it is older than the limit: an empty "<hex>.tmp"
    // of this user together with its twin.
    void staleFiles()
    {
        const QDateTime old = QDateTime::currentDateTime().addDays(-2);
        const auto make = [&](const QString& name, const QByteArray& bytes, bool aged) {
            const QString path = QDir(temp_).filePath(name);
            WriteFile(path, bytes);
            if (aged) {
                QFile f(path);
                QVERIFY(f.open(QIODevice::ReadWrite));
                QVERIFY(f.setFileTime(old, QFileDevice::FileModificationTime));
            }
        };
        make(QStringLiteral("1A2B.tmp"), "", true);
        make(QStringLiteral("1A2B.XML"), "<x/>", true);
        make(QStringLiteral("1A2C.tmp"), "", true);
        make(QStringLiteral("1A2C.htm"), "<p>", true);
        make(QStringLiteral("FFFF.tmp"), "", false); // young
        make(QStringLiteral("FFFF.XML"), "<x/>", false);
        make(QStringLiteral("ABCD.tmp"), "", true);     // no twin: not provably ours
        make(QStringLiteral("BEEF.tmp"), "data", true); // not empty
        make(QStringLiteral("BEEF.XML"), "<x/>", true);
        make(QStringLiteral("report.tmp"), "", true); // another name
        make(QStringLiteral("report.XML"), "", true);
        make(QStringLiteral("1234.XML"), "<x/>", true); // twin without its reservation
        QCOMPARE(RemoveStaleViewerFiles(temp_, QDateTime::currentDateTime().addDays(-1)), 4);
        QCOMPARE(tempFiles(), (QStringList{"1234.XML", "ABCD.tmp", "BEEF.XML", "BEEF.tmp",
                                           "FFFF.XML", "FFFF.tmp", "report.XML", "report.tmp"}));

        // A private folder a client left: emptied of the viewer's files and removed, unless
        // something else is left in it.
        for (const char* name : {"varnel-Ab12Cd", "varnel-Ef34Gh"}) {
            temp_ = dir_->filePath(QString::fromLatin1(name));
            QVERIFY(QDir().mkdir(temp_));
            make(QStringLiteral("1A2B.tmp"), "", true);
            make(QStringLiteral("1A2B.XML"), "<x/>", true);
        }
        make(QStringLiteral("Book.xlsx"), "PK", true);
        for (const char* name : {"varnel-Ab12Cd", "varnel-Ef34Gh"}) {
            const utimbuf times{old.toSecsSinceEpoch(), old.toSecsSinceEpoch()};
            QCOMPARE(::utime(QFile::encodeName(dir_->filePath(QString::fromLatin1(name))), &times),
                     0);
        }
        QCOMPARE(RemoveStaleViewerFolders(dir_->path(), QDateTime::currentDateTime().addDays(-1)),
                 1);
        QVERIFY(!QFileInfo::exists(dir_->filePath(QStringLiteral("varnel-Ab12Cd"))));
        QCOMPARE(tempFiles(), QStringList(QStringLiteral("Book.xlsx")));
    }

    void extensions_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("viewer");
        QTest::addColumn<bool>("html");
        QTest::newRow("msg") << "/r/a.msg" << true << false;
        QTest::newRow("MSG") << "/r/a.MSG" << true << false;
        QTest::newRow("xml") << "/r/a.Xml" << true << false;
        QTest::newRow("htm") << "/r/a.htm" << true << true;
        QTest::newRow("HTML") << "/r/a.HTML" << true << true;
        QTest::newRow("txt") << "/r/a.txt" << false << false;
        QTest::newRow("none") << "/r/a" << false << false;
        QTest::newRow("dot in a folder") << "/r.msg/a" << false << false;
        QTest::newRow("trailing dot") << "/r/a.msg." << false << false;
    }
    void extensions()
    {
        QFETCH(QString, path);
        QFETCH(bool, viewer);
        QFETCH(bool, html);
        QCOMPARE(IsViewerExtension(path), viewer);
        QCOMPARE(IsHtmlExtension(path), html);
    }
};

QTEST_GUILESS_MAIN(IncomingMessageTest)
#include "tst_incomingmessage.moc"
