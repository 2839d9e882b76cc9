#include "core/AtomicSave.h"
#include "core/PrivateProfile.h"
#include "core/Windows1251.h"
#include "filesave/ReplacingFile.h"
#include "tests/support/FaultInjection.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace varnel;

namespace {

// Bytes of a literal, NULs included.
template <std::size_t N> QByteArray B(const char (&s)[N])
{
    return QByteArray(s, N - 1);
}

// Windows-1251 bytes of ASCII and Russian text.
QByteArray A(const QString& s)
{
    QByteArray out;
    for (QChar c : s) {
        const char16_t u = c.unicode();
        if (u < 0x80)
            out.append(char(u));
        else if (u >= 0x410 && u <= 0x44F)
            out.append(char(0xC0 + (u - 0x410)));
        else if (u == 0x401)
            out.append('\xA8');
        else if (u == 0x451)
            out.append('\xB8');
        else
            qFatal("no test encoding for U+%04X", unsigned(u));
    }
    return out;
}

QByteArray Utf8Bom(const QString& s)
{
    return QByteArray("\xEF\xBB\xBF") + s.toUtf8();
}

QByteArray LongLine(char c, int n)
{
    return QByteArray(n, c);
}

} // namespace

class TestPrivateProfile : public QObject {
    Q_OBJECT
private slots:
    void init();

    void getString_data();
    void getString();
    void getStringCutsToBuffer_data();
    void getStringCutsToBuffer();
    void getStringSeesEveryChange();
    void getStringFromWhatIsNoFile();
    void everyHighByteSurvivesReadAndWrite();

    void getInt_data();
    void getInt();

    void writeString_data();
    void writeString();
    void writeRefusesNamesItCannotStore_data();
    void writeRefusesNamesItCannotStore();
    void writeFailsWithoutHarm();
    void writeReplacesAtomically();
    void writeKeepsPermissionsAndLinks();
    void unreadableFile();
    void failedWriteLeavesTheFileWhole_data();
    void failedWriteLeavesTheFileWhole();

private:
    QString path(const QString& name = QStringLiteral("settings.ini")) const
    {
        return m_dir->filePath(name);
    }
    void put(const QByteArray& bytes, const QString& name = QStringLiteral("settings.ini"))
    {
        QFile f(path(name));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(f.write(bytes), bytes.size());
    }
    QByteArray get(const QString& name = QStringLiteral("settings.ini")) const
    {
        QFile f(path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestPrivateProfile::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestPrivateProfile::getString_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    const QString def = QStringLiteral("<def>");
    auto row = [&](const char* name, const QByteArray& file, const QString& section,
                   const QString& key, const QString& expected) {
        QTest::newRow(name) << file << section << key << expected;
    };

    // Names and blanks.
    row("plain", B("[Main]\r\nParticipant=1234\r\n"), "Main", "Participant", "1234");
    row("blanks around value", B("[Main]\r\nParticipant=  1234  \r\n"), "Main", "Participant",
        "1234");
    row("blanks and tabs around key", B("[Main]\r\n \t Participant \t=\t1234\t\r\n"), "Main",
        "Participant", "1234");
    row("blanks inside value kept", B("[Main]\r\nk= a  b \r\n"), "Main", "k", "a  b");
    row("blanks inside key", B("[Main]\r\nmy key=1\r\n"), "MAIN", "MY KEY", "1");
    row("blanks inside section header", B("[  Main\t]\r\nk=1\r\n"), "Main", "k", "1");
    row("indented section header", B("  [Main]\r\nk=1\r\n"), "Main", "k", "1");
    row("blanks around asked names", B("[Main]\r\nk=1\r\n"), " Main ", "\tk ", "1");
    row("text after header bracket", B("[Main] ; main part\r\nk=1\r\n"), "Main", "k", "1");
    row("header name up to last bracket", B("[a]b]\r\nk=1\r\n"), "a]b", "k", "1");
    row("ascii letter case", B("[main]\r\nPARTICIPANT=7\r\n"), "MAIN", "participant", "7");
    row("cyrillic letter case", A("[Раздел]\r\nКлюч=значение\r\n"), "РАЗДЕЛ", "кЛЮЧ", "значение");
    row("cyrillic yo letter case", A("[ёлка]\r\nЁж=1\r\n"), "ЁЛКА", "ёж", "1");
    row("cyrillic does not match latin", A("[Раздел]\r\nk=1\r\n"), "Paздел", "k", def);
    row("utf-8 with byte-order mark", Utf8Bom("[Раздел]\r\nКлюч=значение ✓\r\n"), "раздел", "КЛЮЧ",
        "значение ✓");
    row("utf-8 value starting with U+FEFF", Utf8Bom("[A]\r\nk=\uFEFF\uFEFFv\r\n"), "A", "k",
        QStringLiteral("\uFEFF\uFEFFv"));
    row("value with equals sign", B("[Main]\r\nk=a=b\r\n"), "Main", "k", "a=b");
    row("ctrl-z at the end is a blank", B("[Main]\r\nk=1\x1A"), "Main", "k", "1");
    row("non-ascii name against ascii key", A("[Main]\r\nКлюч=1\r\n"), "Main", "Kljuch", def);

    // Which line counts.
    row("first occurrence of a section", B("[A]\r\nk=1\r\n[B]\r\n[a]\r\nk=2\r\nj=3\r\n"), "A", "k",
        "1");
    row("later occurrence is not read", B("[A]\r\nk=1\r\n[B]\r\n[a]\r\nk=2\r\nj=3\r\n"), "A", "j",
        def);
    row("first line of a key", B("[A]\r\nk=1\r\nK=2\r\n"), "A", "k", "1");
    row("key of another section", B("[A]\r\nk=1\r\n[B]\r\nj=2\r\n"), "B", "k", def);
    row("key before any section", B("k=1\r\n[A]\r\nj=2\r\n"), "A", "k", def);
    row("line without equals is no key", B("[A]\r\nk\r\nk 1\r\n"), "A", "k", def);
    row("comment is no special line", B("[A]\r\n;k=1\r\n"), "A", "k", def);
    row("commented key reads under its own name", B("[A]\r\n;k=1\r\n"), "A", ";k", "1");
    row("unclosed header opens no section", B("[A]\r\n[B\r\nk=1\r\n"), "A", "k", "1");
    row("unclosed header is not a section", B("[A]\r\n[B\r\nk=1\r\n"), "B", "k", def);
    row("missing section", B("[A]\r\nk=1\r\n"), "C", "k", def);
    row("empty file", B(""), "A", "k", def);
    row("empty section name asked", B("[]\r\nk=1\r\n"), "", "k", def);

    // Values that give the default.
    row("empty value", B("[A]\r\nk=\r\n"), "A", "k", def);
    row("blank value", B("[A]\r\nk=  \t \r\n"), "A", "k", def);
    row("empty quotes", B("[A]\r\nk=\"\"\r\n"), "A", "k", def);
    row("nul first", B("[A]\r\nk=\0abc\r\n"), "A", "k", def);

    // Quotes.
    row("double quotes", B("[A]\r\nk=\"C:\\x y\"\r\n"), "A", "k", "C:\\x y");
    row("single quotes", B("[A]\r\nk='abc'\r\n"), "A", "k", "abc");
    row("quoted blanks kept", B("[A]\r\nk=\"  x  \"\r\n"), "A", "k", "  x  ");
    row("blanks outside quotes dropped", B("[A]\r\nk=  \"x\"  \r\n"), "A", "k", "x");
    row("mixed quotes kept", B("[A]\r\nk=\"abc'\r\n"), "A", "k", "\"abc'");
    row("one quote kept", B("[A]\r\nk=\"\r\n"), "A", "k", "\"");
    row("inner quotes kept", B("[A]\r\nk=a \"b\"\r\n"), "A", "k", "a \"b\"");
    row("only the outer pair goes", B("[A]\r\nk=\"a\" \"b\"\r\n"), "A", "k", "a\" \"b");
    row("quotes after nul cut", B("[A]\r\nk=\"ab\0cd\"\r\n"), "A", "k", "\"ab");

    // Bad input.
    row("nul cuts the value", B("[A]\r\nk=ab\0cd\r\n"), "A", "k", "ab");
    row("nul in another line", B("[A]\r\nx=\0\0\0\r\nk=1\r\n"), "A", "k", "1");
    row("lf line ends", B("[A]\nx=0\nk=1\n[B]\nk=2\n"), "B", "k", "2");
    row("lone cr line ends", B("[A]\rx=0\rk=1\r[B]\rk=2\r"), "A", "k", "1");
    row("lone cr ends a section", B("[A]\rx=0\r[B]\rk=2\r"), "A", "k", def);
    row("mixed line ends", B("[A]\r\nx=0\nk=1\r[B]\r\n"), "A", "k", "1");
    row("no final line break", B("[A]\r\nk=1"), "A", "k", "1");
    row("cr cr lf", B("[A]\r\r\nk=1\r\r\n"), "A", "k", "1");
    row("garbage lines", B("\xFF\xFE garbage\r\n]]][[[\r\n[A]\r\n%%%\r\n==\r\nk=1\r\n"), "A", "k",
        "1");
    row("header with garbage bytes", B("[\xC0\xFF\x98]\r\nk=1\r\n"),
        QString::fromUtf16(u"а\u044f\u0098"), "k", "1");
    row("long garbage line before", LongLine('x', 100000) + B("\r\n[A]\r\nk=1\r\n"), "A", "k", "1");
    row("long key line before", B("[A]\r\n") + LongLine('y', 100000) + B("=2\r\nk=1\r\n"), "A", "k",
        "1");
    row("long header before", B("[") + LongLine('z', 100000) + B("]\r\nk=0\r\n[A]\r\nk=1\r\n"), "A",
        "k", "1");
    row("binary junk", QByteArray(4096, '\x01') + B("\r\n[A]\r\nk=1\r\n"), "A", "k", "1");
}

void TestPrivateProfile::getString()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    put(file);
    bool found = true;
    const QString got = PrivateProfile::GetString(path(), section, key, "<def>", 2048, &found);
    QCOMPARE(got, expected);
    QCOMPARE(found, expected != "<def>");
}

void TestPrivateProfile::getStringCutsToBuffer_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("bufferSize");
    QTest::addColumn<int>("expected");
    QTest::newRow("2045 of 2048") << 2045 << 2048 << 2045;
    QTest::newRow("2046 of 2048") << 2046 << 2048 << 2046;
    QTest::newRow("2047 of 2048") << 2047 << 2048 << 2046;
    QTest::newRow("100000 of 2048") << 100000 << 2048 << 2046;
    QTest::newRow("10 of 10") << 10 << 10 << 8;
}

void TestPrivateProfile::getStringCutsToBuffer()
{
    QFETCH(int, length);
    QFETCH(int, bufferSize);
    QFETCH(int, expected);
    QByteArray value;
    for (int i = 0; i < length; ++i)
        value.append(char('a' + i % 26));
    // The quotes go before the value is cut; a Cyrillic line after it must not leak in.
    put(B("[A]\r\nk=\"") + value + B("\"\r\nj=") + A("ж") + B("\r\n"));
    const QString got = PrivateProfile::GetString(path(), "A", "k", "def", bufferSize);
    QCOMPARE(got.size(), expected);
    QCOMPARE(got, QString::fromLatin1(value.left(expected)));
}

void TestPrivateProfile::getStringSeesEveryChange()
{
    put(B("[A]\r\nk=1\r\n"));
    QCOMPARE(PrivateProfile::GetString(path(), "A", "k", "d"), "1");
    put(B("[A]\r\nk=2\r\n"));
    QCOMPARE(PrivateProfile::GetString(path(), "A", "k", "d"), "2");
    QVERIFY(PrivateProfile::WriteString(path(), "A", "k", "3").done());
    QCOMPARE(PrivateProfile::GetString(path(), "A", "k", "d"), "3");
    QVERIFY(QFile::remove(path()));
    QCOMPARE(PrivateProfile::GetString(path(), "A", "k", "d"), "d");
}

void TestPrivateProfile::getStringFromWhatIsNoFile()
{
    QCOMPARE(PrivateProfile::GetString(path("missing.ini"), "A", "k", "d"), "d");
    QVERIFY(QDir(m_dir->path()).mkdir("folder.ini"));
    QCOMPARE(PrivateProfile::GetString(path("folder.ini"), "A", "k", "d"), "d");
    QCOMPARE(PrivateProfile::GetInt(path("folder.ini"), "A", "k", 5), 5);
    QCOMPARE(PrivateProfile::GetString(QString(), "A", "k", "d"), "d");
    // A pipe or a device would be read without end (or block): it reads as no file, and a
    // write leaves it as it is.
    QCOMPARE(::mkfifo(QFile::encodeName(path("pipe.ini")).constData(), 0600), 0);
    QCOMPARE(PrivateProfile::GetString(path("pipe.ini"), "A", "k", "d"), "d");
    const QString failure = PrivateProfile::WriteString(path("pipe.ini"), "A", "k", "1").failure;
    QVERIFY(!failure.isEmpty());
    QVERIFY2(failure.startsWith("Не удалось записать файл " + path("pipe.ini")),
             qPrintable(failure));
    QVERIFY(QFileInfo(path("pipe.ini")).exists() && !QFileInfo(path("pipe.ini")).isFile());
    if (QFileInfo::exists("/dev/zero"))
        QCOMPARE(PrivateProfile::GetString("/dev/zero", "A", "k", "d"), "d");
}

void TestPrivateProfile::everyHighByteSurvivesReadAndWrite()
{
    QByteArray high;
    for (int b = 0x80; b <= 0xFF; ++b)
        high.append(char(b));
    put(B("[A]\r\nk=") + high + B("\r\n"));
    const QString got = PrivateProfile::GetString(path(), "A", "k", "");
    QCOMPARE(got, FromWindows1251(high));
    QVERIFY(PrivateProfile::WriteString(path(), "A", "j", got).done());
    QCOMPARE(get(), B("[A]\r\nk=") + high + B("\r\nj=") + high + B("\r\n"));
}

void TestPrivateProfile::getInt_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<int>("expected");
    QTest::newRow("decimal") << B("1440") << 1440;
    QTest::newRow("blanks") << B("   42   ") << 42;
    QTest::newRow("digits then text") << B("12abc") << 12;
    QTest::newRow("digits then blank") << B("1 2") << 1;
    QTest::newRow("decimal point") << B("1.5") << 1;
    QTest::newRow("text") << B("abc") << 0;
    QTest::newRow("zero") << B("0") << 0;
    QTest::newRow("empty gives default") << B("") << -7;
    QTest::newRow("quoted") << B("\"15\"") << 15;
    // Only leading decimal digits count: no sign, no other base.
    QTest::newRow("minus") << B("-5") << 0;
    QTest::newRow("plus") << B("+7") << 0;
    QTest::newRow("sign alone") << B("-") << 0;
    QTest::newRow("hexadecimal prefix") << B("0x1A") << 0;
    QTest::newRow("hexadecimal lower digits") << B("0xff") << 0;
    QTest::newRow("upper X") << B("0X1A") << 0;
    QTest::newRow("prefix alone") << B("0x") << 0;
    QTest::newRow("octal prefix") << B("0o17") << 0;
    QTest::newRow("binary prefix") << B("0b101") << 0;
    QTest::newRow("binary prefix, then 2") << B("0b12") << 0;
    QTest::newRow("digits before a letter digit") << B("7f") << 7;
    QTest::newRow("blank inside after trimming") << B("  \t 8 9") << 8;
    QTest::newRow("control character first") << QByteArray(1, '\x01') + B("5") << 0;
    QTest::newRow("largest") << B("2147483647") << 2147483647;
    QTest::newRow("smallest") << B("-2147483648") << 0;
    QTest::newRow("beyond 32 bits") << B("2147483648") << 0;
    QTest::newRow("far beyond 32 bits") << B("99999999999") << 0;
    QTest::newRow("leading zeros") << B("0000000000000000000000000012") << 12;
    QTest::newRow("nul") << B("12\0"
                              "34")
                         << 12;
    QTest::newRow("cyrillic") << A("ж12") << 0;
}

void TestPrivateProfile::getInt()
{
    QFETCH(QByteArray, value);
    QFETCH(int, expected);
    put(B("[Grid_Reports]\r\nWidth=") + value + B("\r\n"));
    QCOMPARE(PrivateProfile::GetInt(path(), "grid_reports", "WIDTH", -7), expected);
    QCOMPARE(PrivateProfile::GetInt(path(), "grid_reports", "Height", -7), -7);
}

void TestPrivateProfile::writeString_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("after");

    auto row = [](const char* name, const QByteArray& before, const QString& section,
                  const QString& key, const QString& value, const QByteArray& after) {
        QTest::newRow(name) << before << section << key << value << after;
    };

    // Replacing a key's line: only that line changes.
    row("replace in place",
        B("; settings\r\n\r\n[Main]\r\nParticipant=1\r\nLanguage=RU\r\n\r\n[Path]\r\n"), "Main",
        "Participant", "22",
        B("; settings\r\n\r\n[Main]\r\nParticipant=22\r\nLanguage=RU\r\n\r\n[Path]\r\n"));
    row("replace keeps the file's spelling", B("[main]\r\nparticipant=1\r\n"), "MAIN",
        "PARTICIPANT", "2", B("[main]\r\nparticipant=2\r\n"));
    row("replace drops blanks of the old line", B("[A]\r\n  k  =  1  \r\nj=2\r\n"), "A", "k", "3",
        B("[A]\r\nk=3\r\nj=2\r\n"));
    row("replace first line of a key only", B("[A]\r\nk=1\r\nk=2\r\n"), "A", "k", "3",
        B("[A]\r\nk=3\r\nk=2\r\n"));
    row("replace in first occurrence only", B("[A]\r\nk=1\r\n[A]\r\nk=2\r\n"), "a", "K", "3",
        B("[A]\r\nk=3\r\n[A]\r\nk=2\r\n"));
    row("replace keeps lf lines around", B("[A]\nx=0\nk=1\ny=2\n"), "A", "k", "3",
        B("[A]\nx=0\nk=3\r\ny=2\n"));
    row("replace keeps lone cr lines around", B("[A]\rx=0\rk=1\ry=2\r"), "A", "k", "3",
        B("[A]\rx=0\rk=3\r\ny=2\r"));
    row("replace last line without break", B("[A]\r\nk=1"), "A", "k", "2", B("[A]\r\nk=2\r\n"));
    row("replace cyrillic names", A("[Раздел]\r\nКлюч=1\r\n"), "РАЗДЕЛ", "ключ", "значение",
        A("[Раздел]\r\nКлюч=значение\r\n"));
    row("replace keeps nul bytes and garbage of other lines",
        B("[A]\r\nx=\0\xFF\r\n%%%\r\nk=1\r\n"), "A", "k", "2",
        B("[A]\r\nx=\0\xFF\r\n%%%\r\nk=2\r\n"));
    row("replace beside a long line", B("[A]\r\n") + LongLine('x', 100000) + B("\r\nk=1\r\n"), "A",
        "k", "2", B("[A]\r\n") + LongLine('x', 100000) + B("\r\nk=2\r\n"));

    // Adding a key: after the last key line of the section, so the blank lines and comments
    // in front of the next section stay with that section.
    row("add after last key line", B("[A]\r\nk=1\r\n\r\n; about B\r\n[B]\r\nj=2\r\n"), "A", "n",
        "3", B("[A]\r\nk=1\r\nn=3\r\n\r\n; about B\r\n[B]\r\nj=2\r\n"));
    row("add keeps comments inside the section",
        B("[A]\r\n; k is this\r\nk=1\r\n; trailing\r\n[B]\r\n"), "A", "n", "3",
        B("[A]\r\n; k is this\r\nk=1\r\nn=3\r\n; trailing\r\n[B]\r\n"));
    row("add to section without keys", B("[A]\r\n\r\n[B]\r\n"), "A", "n", "3",
        B("[A]\r\nn=3\r\n\r\n[B]\r\n"));
    row("add beside a line that is no key", B("[A]\r\njunk\r\n"), "A", "junk", "1",
        B("[A]\r\njunk=1\r\njunk\r\n"));
    row("add to last section", B("[A]\r\nk=1\r\n"), "A", "n", "3", B("[A]\r\nk=1\r\nn=3\r\n"));
    row("add after key without final break", B("[A]\r\nk=1"), "A", "n", "3",
        B("[A]\r\nk=1\r\nn=3\r\n"));
    row("add after header without final break", B("[A]"), "A", "n", "3", B("[A]\r\nn=3\r\n"));
    row("add to first occurrence", B("[A]\r\nk=1\r\n[A]\r\nn=2\r\n"), "A", "n", "3",
        B("[A]\r\nk=1\r\nn=3\r\n[A]\r\nn=2\r\n"));
    row("add ignores key before any section", B("n=1\r\n[A]\r\n"), "A", "n", "3",
        B("n=1\r\n[A]\r\nn=3\r\n"));
    row("add into lf file", B("[A]\nk=1\n[B]\n"), "A", "n", "3", B("[A]\nk=1\nn=3\r\n[B]\n"));
    row("add with blanks around names", B("[A]\r\n"), " A ", "\tn ", "3", B("[A]\r\nn=3\r\n"));

    // Adding a section, and the file.
    row("new section at the end", B("[A]\r\nk=1\r\n"), "B", "n", "3",
        B("[A]\r\nk=1\r\n[B]\r\nn=3\r\n"));
    row("new section after missing final break", B("[A]\r\nk=1"), "B", "n", "3",
        B("[A]\r\nk=1\r\n[B]\r\nn=3\r\n"));
    row("new section after lone cr", B("[A]\r"), "B", "n", "3", B("[A]\r[B]\r\nn=3\r\n"));
    row("new section into empty file", B(""), "Main", "Language", "EN",
        B("[Main]\r\nLanguage=EN\r\n"));
    row("section of key before any section", B("n=1\r\n"), "B", "n", "3",
        B("n=1\r\n[B]\r\nn=3\r\n"));
    row("new cyrillic section", B("[A]\r\n"), "Раздел", "Ключ", "да",
        B("[A]\r\n") + A("[Раздел]\r\nКлюч=да\r\n"));

    // Values.
    row("value written as given", B("[A]\r\n"), "A", "k", "  \"x\"  ", B("[A]\r\nk=  \"x\"  \r\n"));
    row("empty value", B("[A]\r\nk=1\r\n"), "A", "k", "", B("[A]\r\nk=\r\n"));
    row("line breaks become blanks", B("[A]\r\n"), "A", "k", "a\r\n[B]\r\nk=evil\nz\r",
        B("[A]\r\nk=a [B] k=evil z \r\n"));
    row("value ends at nul", B("[A]\r\n"), "A", "k", QString::fromUtf16(u"ab\0cd", 5),
        B("[A]\r\nk=ab\r\n"));
    row("unencodable characters", B("[A]\r\n"), "A", "k", QString::fromUtf16(u"€ä😀№"),
        B("[A]\r\nk=\x88??\xB9\r\n"));
    row("utf-8 file stays utf-8", Utf8Bom("[Раздел]\r\nk=1\r\n"), "РАЗДЕЛ", "ключ", "ä😀ж",
        Utf8Bom("[Раздел]\r\nk=1\r\nключ=ä😀ж\r\n"));
    row("byte-order mark alone", B("\xEF\xBB\xBF"), "A", "k", "ж", Utf8Bom("[A]\r\nk=ж\r\n"));
}

void TestPrivateProfile::writeString()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QByteArray, after);
    put(before);
    QVERIFY(PrivateProfile::WriteString(path(), section, key, value).done());
    QCOMPARE(get(), after);
}

void TestPrivateProfile::writeRefusesNamesItCannotStore_data()
{
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::newRow("empty section") << ""
                                   << "k";
    QTest::newRow("blank section") << "  "
                                   << "k";
    QTest::newRow("empty key") << "A"
                               << "";
    QTest::newRow("key with equals") << "A"
                                     << "a=b";
    QTest::newRow("key like a header") << "A"
                                       << "[B]";
    QTest::newRow("line break in key") << "A"
                                       << "k\r\nj";
    QTest::newRow("line break in section") << "A]\r\n[B"
                                           << "k";
    QTest::newRow("nul in key") << "A" << QString::fromUtf16(u"k\0j", 3);
}

void TestPrivateProfile::writeRefusesNamesItCannotStore()
{
    QFETCH(QString, section);
    QFETCH(QString, key);
    const QByteArray before = B("[A]\r\nk=1\r\n");
    put(before);
    QVERIFY(PrivateProfile::WriteString(path(), section, key, "v").failed());
    QCOMPARE(get(), before);
}

void TestPrivateProfile::writeFailsWithoutHarm()
{
    // A missing folder is not created.
    QVERIFY(PrivateProfile::WriteString(path("no/such/folder.ini"), "A", "k", "1").failed());
    QVERIFY(!QFileInfo::exists(path("no")));
    // A folder in place of the file.
    QVERIFY(QDir(m_dir->path()).mkdir("folder.ini"));
    QVERIFY(PrivateProfile::WriteString(path("folder.ini"), "A", "k", "1").failed());
    QVERIFY(QFileInfo(path("folder.ini")).isDir());
    // A read-only file stays as it was, even for root, who could replace it.
    const QByteArray before = B("[A]\r\nk=1\r\n");
    put(before);
    QVERIFY(QFile::setPermissions(path(), QFile::ReadOwner | QFile::ReadGroup));
    QVERIFY(PrivateProfile::WriteString(path(), "A", "k", "2").failed());
    QVERIFY(PrivateProfile::WriteString(path(), "B", "k", "2").failed());
    QCOMPARE(get(), before);
    QCOMPARE(PrivateProfile::GetString(path(), "A", "k", "d"), "1");
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList("settings.ini"));
}

void TestPrivateProfile::writeReplacesAtomically()
{
    put(B("[A]\r\nk=1\r\n"));
    struct stat before {};
    QCOMPARE(::stat(QFile::encodeName(path()).constData(), &before), 0);
    // A reader that opened the old file keeps the old content: the file is replaced, not
    // rewritten in place.
    QFile reader(path());
    QVERIFY(reader.open(QIODevice::ReadOnly));
    QVERIFY(PrivateProfile::WriteString(path(), "A", "k", "2").done());
    struct stat after {};
    QCOMPARE(::stat(QFile::encodeName(path()).constData(), &after), 0);
    QVERIFY(before.st_ino != after.st_ino);
    QCOMPARE(reader.readAll(), B("[A]\r\nk=1\r\n"));
    QCOMPARE(get(), B("[A]\r\nk=2\r\n"));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
             QStringList("settings.ini"));
    // A new file is created whole as well.
    QVERIFY(PrivateProfile::WriteString(path("new.ini"), "A", "k", "1").done());
    QCOMPARE(get("new.ini"), B("[A]\r\nk=1\r\n"));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden | QDir::System).size(), 2);
}

void TestPrivateProfile::writeKeepsPermissionsAndLinks()
{
    put(B("[A]\r\nk=1\r\n"));
    const auto permissions = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
    QVERIFY(QFile::setPermissions(path(), permissions));
    QVERIFY(PrivateProfile::WriteString(path(), "A", "k", "2").done());
    struct stat st {};
    QCOMPARE(::stat(QFile::encodeName(path()).constData(), &st), 0);
    QCOMPARE(st.st_mode & 07777, mode_t(0640));
    // Through a link the target is written and the link stays.
    QVERIFY(QFile::link(path(), path("link.ini")));
    QVERIFY(PrivateProfile::WriteString(path("link.ini"), "A", "k", "3").done());
    QVERIFY(QFileInfo(path("link.ini")).isSymLink());
    QCOMPARE(get(), B("[A]\r\nk=3\r\n"));
}

void TestPrivateProfile::unreadableFile()
{
    if (::geteuid() == 0)
        QSKIP("root reads every file; an unreadable file cannot be made");
    const QByteArray before = B("[A]\r\nk=1\r\n");
    put(before);
    QVERIFY(QFile::setPermissions(path(), QFile::WriteOwner));
    QCOMPARE(PrivateProfile::GetString(path(), "A", "k", "d"), "d");
    QCOMPARE(PrivateProfile::GetInt(path(), "A", "k", 9), 9);
    // A file that cannot be read is never overwritten: its other lines would be lost.
    QVERIFY(PrivateProfile::WriteString(path(), "A", "j", "2").failed());
    QVERIFY(QFile::setPermissions(path(), QFile::ReadOwner | QFile::WriteOwner));
    QCOMPARE(get(), before);
}

// A full disk while the settings file is replaced: the write is reported as failed, the file
// keeps every byte and nothing is left beside it. Settings files are small, and small contents
// were the ones a buffered writer lost while reporting success.
void TestPrivateProfile::failedWriteLeavesTheFileWhole_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("limit");
    QTest::newRow("file-size limit 0") << "limit" << 0;
    QTest::newRow("file-size limit 1000") << "limit" << 1000;
    QTest::newRow("file-size limit 2048") << "limit" << 2048;
    QTest::newRow("write fails after 1000 bytes") << "write" << 1000;
    QTest::newRow("fsync fails") << "fsync" << 0;
    QTest::newRow("full disk") << "disk" << 0;
}

void TestPrivateProfile::failedWriteLeavesTheFileWhole()
{
    QFETCH(QString, fault);
    QFETCH(int, limit);
    std::unique_ptr<testing::SmallDisk> disk;
    QString folder = m_dir->path();
    if (fault == u"disk") {
        disk = std::make_unique<testing::SmallDisk>(64 * 1024);
        VARNEL_REQUIRE_DISK(*disk);
        folder = disk->path();
    }
    const QString file = folder + QStringLiteral("/varnel_client.ini");
    QByteArray before = B("[Main]\r\nParticipant=MC0001\r\nLanguage=RU\r\n[Path]\r\n");
    while (before.size() < 2500)
        before += "Folder" + QByteArray::number(before.size()) + "=./work\r\n";
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(before), before.size());
    }
    const auto write = [&] {
        const Outcome written = PrivateProfile::WriteString(file, "Main", "Language", "EN");
        return written.done() ? QStringLiteral("written") : written.failure;
    };

    QString outcome;
    int error = EFBIG;
    if (fault == u"limit") {
        const auto child = testing::RunWithFileSizeLimit(limit, write);
        QVERIFY(child);
        outcome = *child;
    } else {
        filesave::testing::FaultPlan plan;
        if (fault == u"write") {
            plan.failWriteAfter = limit;
            error = ENOSPC;
        } else if (fault == u"fsync") {
            plan.syncError = EIO;
            error = EIO;
        } else {
            disk->fill();
            error = ENOSPC;
        }
        filesave::testing::SetFaultPlan(plan);
        outcome = write();
        filesave::testing::SetFaultPlan({});
    }
    QCOMPARE(outcome, FileWriteErrorText(file, SystemErrorText(error)));
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), before);
    QCOMPARE(testing::FolderEntries(folder), QStringList("varnel_client.ini"));
    QCOMPARE(PrivateProfile::GetString(file, "Main", "Language", "d"), "RU");
}

QTEST_GUILESS_MAIN(TestPrivateProfile)
#include "tst_privateprofile.moc"
