// Telling a handbook from other incoming messages by its text fields.
#include "core/Error.h"
#include "handbook/HandbookFields.h"

#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace varnel;

class tst_HandbookFields : public QObject {
    Q_OBJECT

private slots:
    void verdict_data();
    void verdict();
    void readingStopsAtTheRootElement();
    void unreadableFileIsAFailure();
};

void tst_HandbookFields::verdict_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("handbook");

    const QByteArray decl = "<?xml version=\"1.0\" encoding=\"windows-1251\"?>";
    QTest::newRow("CR LF") << decl + "\r\n<IssueList Date=\"2025-03-10\">\r\n<Issue/>" << true;
    QTest::newRow("LF") << decl + "\n<IssueList Date=\"x\">\n" << true;
    QTest::newRow("CR") << decl + "\r<IssueList Date=\"x\">\r" << true;
    QTest::newRow("blank lines and blanks before the root")
        << decl + "\r\n\r\n    <IssueList a=\"1\">" << true;
    QTest::newRow("marker is the last thing in the file") << decl + "\n<IssueList " << true;
    QTest::newRow("a comment line between")
        << decl + "\n<!-- list -->\n<IssueList a=\"1\">" << true;
    // A comma ends a field, so a marker after one starts a field of its own.
    QTest::newRow("after a comma") << decl + "\n<Other a=\"1,<IssueList x\"/>" << true;
    // A field that begins with a quote runs to the next quote and begins after it.
    QTest::newRow("quoted field") << decl + "\n\"<IssueList a\"" << true;
    QTest::newRow("comma inside quotes") << decl + "\n\"text, <IssueList a\"\n<Other/>" << false;
    QTest::newRow("line end inside quotes") << decl + "\n\"text\n<IssueList a\"" << false;
    QTest::newRow("text after the closing quote is dropped")
        << decl + "\n\"x\"<IssueList a=\"1\">" << false;
    QTest::newRow("unterminated quote") << decl + "\n\"<IssueLis" << false;
    QTest::newRow("capitals") << decl + "\n<ISSUELIST Date=\"x\">" << false;
    QTest::newRow("lower case") << decl + "\n<issuelist Date=\"x\">" << false;
    QTest::newRow("no attributes, no blank") << decl + "\n<IssueList>\n</IssueList>" << false;
    QTest::newRow("declaration in capitals")
        << QByteArray("<?XML version=\"1.0\"?>\n<IssueList a>") << false;
    QTest::newRow("no declaration") << QByteArray("<IssueList a=\"1\">") << false;
    QTest::newRow("root before the declaration")
        << QByteArray("<IssueList a=\"1\">\n") + decl + "\n<IssueList b=\"2\">" << false;
    QTest::newRow("declaration and root on one line") << decl + "<IssueList a=\"1\">" << false;
    QTest::newRow("tab before the root") << decl + "\n\t<IssueList a=\"1\">" << false;
    QTest::newRow("byte-order mark")
        << QByteArray("\xEF\xBB\xBF") + decl + "\n<IssueList a>" << false;
    QTest::newRow("receipts") << decl + "\n<RECEIPTS Date=\"x\">\n<Receipt Id=\"1\"/>" << false;
    QTest::newRow("empty") << QByteArray() << false;
    QByteArray binary(4096, '\0');
    for (int i = 0; i < binary.size(); ++i)
        binary[i] = char((i * 131 + 7) % 256);
    QTest::newRow("binary") << binary << false;
    QTest::newRow("binary with the markers after NULs")
        << QByteArray("\0\0\0", 3) + decl + "\n<IssueList a>" << false;
}

void tst_HandbookFields::verdict()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, handbook);
    QCOMPARE(IsHandbookText(text), handbook);

    // The verdict does not depend on where the reads split the file.
    for (int step : {1, 2, 3, 7}) {
        HandbookFieldReader reader;
        for (qsizetype at = 0; at < text.size(); at += step)
            reader.feed(text.constData() + at, std::min<qsizetype>(step, text.size() - at));
        QCOMPARE(reader.finish() == HandbookFieldReader::Verdict::Handbook, handbook);
    }

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("m.msg"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
    file.close();
    QCOMPARE(IsHandbookFile(path), handbook);
}

// A large handbook is read only up to its root element: a pipe whose writer keeps it open
// after the first lines would block a reader that goes on to the end.
void tst_HandbookFields::readingStopsAtTheRootElement()
{
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("pipe.msg")));
    QVERIFY(::mkfifo(path.constData(), 0600) == 0);
    std::atomic<bool> readerDone{false};
    std::atomic<bool> closedEarly{false};
    std::thread writer([&] {
        const int fd = ::open(path.constData(), O_WRONLY);
        if (fd < 0)
            return;
        const char head[] = "<?xml version=\"1.0\"?>\r\n<IssueList Date=\"x\">\r\n<Issue A=\"1\"/>";
        [[maybe_unused]] const auto written = ::write(fd, head, sizeof head - 1);
        for (int i = 0; i < 500 && !readerDone; ++i)
            ::usleep(10000);
        closedEarly = !readerDone;
        ::close(fd);
    });
    const bool handbook = IsHandbookFile(QFile::decodeName(path));
    readerDone = true;
    writer.join();
    QVERIFY(handbook);
    QVERIFY2(!closedEarly, "the reader waited for the end of the file");
}

void tst_HandbookFields::unreadableFileIsAFailure()
{
    QTemporaryDir dir;
    try {
        IsHandbookFile(dir.path());
        QFAIL("a folder read as a file");
    } catch (const Error& e) {
        QVERIFY2(
            e.description().startsWith(QStringLiteral("Не удалось прочитать файл ") + dir.path()),
            qPrintable(e.description()));
    }
}

QTEST_GUILESS_MAIN(tst_HandbookFields)
#include "tst_handbookfields.moc"
