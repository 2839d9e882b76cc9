#include "MergeRun.h"
#include "Windows1251.h"
#include "filesave/ReplacingFile.h"
#include "tests/support/FaultInjection.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>

#include "FileSupport.h"

#include <cstdio>

using namespace varnel;

namespace {

int ErrorOfMerge(const QStringList& arguments)
{
    try {
        RunMerge(arguments);
    } catch (const IniError& error) {
        return error.number();
    }
    return 0;
}

QString ReadAll(std::FILE* stream)
{
    std::rewind(stream);
    QByteArray bytes;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, stream))
        bytes += buffer;
    return QString::fromUtf8(bytes);
}

} // namespace

class TestMergeRun : public QObject {
    Q_OBJECT

private slots:
    void windows1251RoundTrip();
    void splitCommandLine_data();
    void splitCommandLine();
    void splitAtCrLf_data();
    void splitAtCrLf();
    void mergeFiles_data();
    void mergeFiles();
    void twoArgumentsOverwriteBase();
    void failureLeavesFilesUntouched_data();
    void failureLeavesFilesUntouched();
    void replacedFileKeepsPermissions();
    void largeFileMerged();
    void commandLineString();
    void failedStepOfTheWrite_data();
    void failedStepOfTheWrite();
    void keepValueKeys_data();
    void keepValueKeys();
    void keepValueKeysOnlyAfterOutput();
};

void TestMergeRun::windows1251RoundTrip()
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(static_cast<char>(b));
    const QString text = DecodeWindows1251(all);
    QCOMPARE(text.size(), 256);
    QCOMPARE(EncodeWindows1251(text), all);
    QCOMPARE(text.mid(0xC0, 1), "А");
    QCOMPARE(text.mid(0xFF, 1), "я");
    QCOMPARE(text.mid(0xA8, 1), "Ё");
    QCOMPARE(text.mid(0xB9, 1), "№");

    // The table agrees with the system's converter wherever the code page assigns a character.
    QStringDecoder system("windows-1251");
    if (system.isValid()) {
        for (int b = 0x80; b < 256; ++b) {
            if (b != 0x98)
                QCOMPARE(text.at(b), QString(system(all.mid(b, 1))).at(0));
        }
    }

    bool lossy = false;
    QCOMPARE(EncodeWindows1251("a€ж漢", &lossy), QByteArray("a\x88\xe6?"));
    QVERIFY(lossy);
}

void TestMergeRun::splitCommandLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("error");
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("empty") << "" << 0 << QStringList{};
    QTest::newRow("plain") << "a.ini b.ini" << 0 << QStringList{"a.ini", "b.ini"};
    QTest::newRow("runs of spaces") << "  a   b  " << 0 << QStringList{"a", "b"};
    QTest::newRow("quoted with blanks")
        << "\"my dir/a.ini\" b" << 0 << QStringList{"my dir/a.ini", "b"};
    QTest::newRow("next right after quote") << "\"a b\"c d" << 0 << QStringList{"a b", "c", "d"};
    QTest::newRow("two quoted adjacent") << "\"a\"\"b\"" << 0 << QStringList{"a", "b"};
    QTest::newRow("empty quoted") << "\"\" b" << 0 << QStringList{"", "b"};
    QTest::newRow("quote inside plain") << "a\"b c" << 0 << QStringList{"a\"b", "c"};
    QTest::newRow("tab is no separator") << "a\tb" << 0 << QStringList{"a\tb"};
    QTest::newRow("unclosed") << "a \"b c" << 5 << QStringList{};
    QTest::newRow("unclosed after quoted") << "\"a\"\"" << 5 << QStringList{};
}

void TestMergeRun::splitCommandLine()
{
    QFETCH(QString, line);
    QFETCH(int, error);
    QFETCH(QStringList, arguments);
    try {
        QCOMPARE(SplitCommandLine(line), arguments);
        QCOMPARE(error, 0);
    } catch (const IniError& e) {
        QCOMPARE(e.number(), error);
    }
}

void TestMergeRun::splitAtCrLf_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("empty") << "" << QStringList{};
    QTest::newRow("one line") << "a" << QStringList{"a"};
    QTest::newRow("final break") << "a\r\n" << QStringList{"a", ""};
    QTest::newRow("only a break") << "\r\n" << QStringList{"", ""};
    QTest::newRow("blank line kept") << "a\r\n\r\nb" << QStringList{"a", "", "b"};
    QTest::newRow("lone LF and CR") << "a\nb\rc\r\nd" << QStringList{"a\nb\rc", "d"};
    QTest::newRow("LF CR is no break") << "a\n\rb" << QStringList{"a\n\rb"};
}

void TestMergeRun::splitAtCrLf()
{
    QFETCH(QString, text);
    QFETCH(QStringList, lines);
    QCOMPARE(SplitAtCrLf(text), lines);
}

void TestMergeRun::mergeFiles_data()
{
    QTest::addColumn<QString>("name");
    for (const char* name : {"layout", "lf_key", "lf_comment", "empty_base", "lone_breaks"})
        QTest::newRow(name) << QString(name);
}

void TestMergeRun::mergeFiles()
{
    QFETCH(QString, name);
    const QString data = QStringLiteral(VARNEL_TEST_DATA_DIR "/") + name;
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString base = dir.filePath("base.ini");
    QVERIFY(QFile::copy(data + "/base.ini", base));
    const QByteArray baseBefore = ReadBytes(base);

    RunMerge({base, data + "/values.ini", dir.filePath("out.ini")});
    QCOMPARE(ReadBytes(dir.filePath("out.ini")), ReadBytes(data + "/expected.ini"));
    QCOMPARE(ReadBytes(base), baseBefore);
}

void TestMergeRun::twoArgumentsOverwriteBase()
{
    const QString data = QStringLiteral(VARNEL_TEST_DATA_DIR "/layout");
    QTemporaryDir dir;
    const QString base = dir.filePath("base.ini");
    QVERIFY(QFile::copy(data + "/base.ini", base));
    RunMerge({base, data + "/values.ini"});
    QCOMPARE(ReadBytes(base), ReadBytes(data + "/expected.ini"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"base.ini"});
    // Arguments after the third are ignored.
    RunMerge({base, data + "/values.ini", dir.filePath("out.ini"), "anything", "else"});
    QCOMPARE(ReadBytes(dir.filePath("out.ini")), ReadBytes(data + "/expected.ini"));
}

void TestMergeRun::failureLeavesFilesUntouched_data()
{
    QTest::addColumn<QByteArray>("base");
    QTest::addColumn<QByteArray>("values");
    QTest::addColumn<QStringList>("arguments"); // names inside the test folder
    QTest::addColumn<int>("error");

    const QByteArray good = "[Main]\r\nA=1\r\n";
    const QStringList usual{"base.ini", "values.ini", "out.ini"};
    QTest::newRow("no arguments") << good << good << QStringList{} << 9;
    QTest::newRow("one argument") << good << good << QStringList{"base.ini"} << 9;
    QTest::newRow("missing base") << good << good << QStringList{"none.ini", "values.ini"} << 53;
    QTest::newRow("missing values") << good << good << QStringList{"base.ini", "none.ini"} << 53;
    QTest::newRow("base is a folder") << good << good << QStringList{"sub", "values.ini"} << 75;
    QTest::newRow("malformed base") << QByteArray("[Main]\r\nA.b=1") << good << usual << 9;
    QTest::newRow("malformed values") << good << QByteArray("[Main]\r\n\tA=1") << usual << 9;
    QTest::newRow("duplicate key in values")
        << good << QByteArray("[Main]\r\nA=1\r\n[MAIN]\r\na=2") << usual << 457;
    QTest::newRow("LF-only file beginning with a header")
        << good << QByteArray("[Main]\nA=2\n") << usual << 9;
    QTest::newRow("output is a folder")
        << good << good << QStringList{"base.ini", "values.ini", "sub"} << 75;
    QTest::newRow("output folder missing")
        << good << good << QStringList{"base.ini", "values.ini", "none/out.ini"} << 76;
    QTest::newRow("write-protected output") << good << good << usual << 70;
    QTest::newRow("write-protected base overwritten")
        << good << good << QStringList{"base.ini", "values.ini"} << 70;
}

void TestMergeRun::failureLeavesFilesUntouched()
{
    QFETCH(QByteArray, base);
    QFETCH(QByteArray, values);
    QFETCH(QStringList, arguments);
    QFETCH(int, error);

    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("sub"));
    WriteBytes(dir.filePath("base.ini"), base);
    WriteBytes(dir.filePath("values.ini"), values.replace("A=1", "A=new"));
    WriteBytes(dir.filePath("out.ini"), "old output");
    if (QString(QTest::currentDataTag()).startsWith("write-protected")) {
        const QString target = arguments.size() > 2 ? arguments.at(2) : arguments.at(0);
        QVERIFY(QFile::setPermissions(dir.filePath(target), QFileDevice::ReadOwner));
    }
    const auto before = Snapshot(dir.path());

    QStringList paths;
    for (const QString& name : arguments)
        paths.append(dir.filePath(name));
    QCOMPARE(ErrorOfMerge(paths), error);
    QCOMPARE(Snapshot(dir.path()), before);
}

void TestMergeRun::replacedFileKeepsPermissions()
{
    QTemporaryDir dir;
    const QString base = dir.filePath("base.ini");
    WriteBytes(base, "[Main]\r\nA=1");
    WriteBytes(dir.filePath("values.ini"), "[Main]\r\nA=2");
    const auto permissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                             QFileDevice::ReadGroup | QFileDevice::ReadUser;
    QVERIFY(QFile::setPermissions(base, permissions));
    RunMerge({base, dir.filePath("values.ini")});
    QCOMPARE(ReadBytes(base), QByteArray("[Main]\r\nA=2"));
    const auto ownerGroupOther = QFileDevice::Permissions(0x70FF); // without the user bits
    QCOMPARE(QFile::permissions(base) & ownerGroupOther, permissions & ownerGroupOther);
}

void TestMergeRun::largeFileMerged()
{
    // 200 sections of 100 keys, about 1 MB; the value file names every other key in other
    // letter case and brings keys of its own.
    constexpr int kSections = 200;
    constexpr int kKeys = 100;
    QString base;
    QString values;
    QString expected;
    for (int s = 0; s < kSections; ++s) {
        const QString section = QStringLiteral("Раздел_%1").arg(s);
        base += QStringLiteral("; раздел %1\r\n[%2]\r\n").arg(s).arg(section);
        expected += QStringLiteral("; раздел %1\r\n[%2]\r\n").arg(s).arg(section);
        values += QStringLiteral("[%1]\r\n").arg(section.toUpper());
        for (int k = 0; k < kKeys; ++k) {
            const QString key = QStringLiteral("Key_%1_Ключ_%2").arg(s).arg(k);
            const QString old =
                QStringLiteral(" base value of %1/%2 ; a comment after it").arg(s).arg(k);
            base += key + " =" + old + "\r\n";
            if (k % 2 == 0) {
                const QString taken = QStringLiteral("merged %1/%2 ").arg(s).arg(k);
                values += key.toLower() + '=' + taken + "\r\n";
                expected += key + '=' + taken + "\r\n";
            } else {
                expected += key + '=' + old + "\r\n";
            }
        }
        values += QStringLiteral("Extra_%1=dropped\r\n").arg(s);
    }
    QTemporaryDir dir;
    WriteBytes(dir.filePath("base.ini"), EncodeWindows1251(base));
    WriteBytes(dir.filePath("values.ini"), EncodeWindows1251(values));
    QVERIFY(QFileInfo(dir.filePath("base.ini")).size() > 1'000'000);

    RunMerge({dir.filePath("base.ini"), dir.filePath("values.ini"), dir.filePath("out.ini")});
    QCOMPARE(ReadBytes(dir.filePath("out.ini")), EncodeWindows1251(expected));
}

void TestMergeRun::commandLineString()
{
    const QString data = QStringLiteral(VARNEL_TEST_DATA_DIR "/layout");
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("my settings"));
    const QString base = dir.filePath("my settings/base.ini");
    QVERIFY(QFile::copy(data + "/base.ini", base));

    std::FILE* errors = std::tmpfile();
    QVERIFY(errors);
    // The output path follows the closing quote without a blank.
    const QString line = QStringLiteral("\"C:\\Program Files\\Quilmer.exe\"  \"%1\" \"%2\"\"%3\"")
                             .arg(base, data + "/values.ini", dir.filePath("my settings/out.ini"));
    QCOMPARE(QuilmerMainFromCommandLine(line, errors), 0);
    QCOMPARE(ReadAll(errors), QString());
    QCOMPARE(ReadBytes(dir.filePath("my settings/out.ini")), ReadBytes(data + "/expected.ini"));

    QCOMPARE(QuilmerMainFromCommandLine("Quilmer.exe \"" + base + " " + base, errors), 1);
    QVERIFY2(ReadAll(errors).startsWith("Ошибка 5: "), qPrintable(ReadAll(errors)));
    std::fclose(errors);
}

void TestMergeRun::failedStepOfTheWrite_data()
{
    using filesave::testing::FaultPlan;
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("text");
    QTest::newRow("output cannot be made") << 0 << EACCES << 70 << "Не удаётся создать файл";
    QTest::newRow("write fails half-way") << 1 << ENOSPC << 57 << "Не удаётся записать файл";
    QTest::newRow("fsync fails") << 2 << EIO << 57 << "Не удаётся записать файл";
    QTest::newRow("close fails") << 3 << EIO << 57 << "Не удаётся записать файл";
    QTest::newRow("rename fails") << 4 << EBUSY << 57 << "Не удаётся записать файл";
}

// Each step of putting the result in place, failing: the error says which file and why, the
// old file is whole and nothing is left beside it.
void TestMergeRun::failedStepOfTheWrite()
{
    QFETCH(int, step);
    QFETCH(int, error);
    QFETCH(int, number);
    QFETCH(QString, text);
    QTemporaryDir dir;
    const QString base = dir.filePath("base.ini");
    WriteBytes(base, "[Main]\r\nA=1\r\nB=2");
    WriteBytes(dir.filePath("values.ini"), "[Main]\r\nA=new");
    const auto before = Snapshot(dir.path());

    filesave::testing::FaultPlan plan;
    (step == 0   ? plan.createError
     : step == 1 ? plan.writeError
     : step == 2 ? plan.syncError
     : step == 3 ? plan.closeError
                 : plan.renameError) = error;
    if (step == 1)
        plan.failWriteAfter = 5;
    filesave::testing::SetFaultPlan(plan);
    int got = 0;
    QString description;
    try {
        RunMerge({base, dir.filePath("values.ini")});
    } catch (const IniError& e) {
        got = e.number();
        description = e.description();
    }
    filesave::testing::SetFaultPlan({});
    QCOMPARE(got, number);
    QCOMPARE(description,
             QStringLiteral("%1 «%2»: %3")
                 .arg(text, QDir::toNativeSeparators(base), filesave::ErrorDescription(error)));
    QCOMPARE(Snapshot(dir.path()), before);
    QCOMPARE(testing::FolderEntries(dir.path()), (QStringList{"base.ini", "values.ini"}));
}

void TestMergeRun::keepValueKeys_data()
{
    // Texts with "\n" for CR LF.
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("values");
    QTest::addColumn<QString>("expected");

    QTest::newRow("own sections appended in value order")
        << "[Main]\nParticipant=\nLanguage=RU\n"
        << "[Grid_Reports]\nTradeDate=1500\nPrice=900\n[main]\nparticipant=1234\n"
           "[Grid_Issue]\n3=700\n"
        << "[Main]\nParticipant=1234\nLanguage=RU\n\n[Grid_Reports]\nTradeDate=1500\n"
           "Price=900\n\n[Grid_Issue]\n3=700\n";
    QTest::newRow("own key after the section's last key, value as written")
        << "[Main]\nA=1\n\n; paths\n[Path]\nW=x\n"
        << "[MAIN]\n  Own = v ; note\nA=2\n"
        << "[Main]\nA=2\nOwn= v ; note\n\n; paths\n[Path]\nW=x\n";
    QTest::newRow("into the first block of a section given twice")
        << "[A]\nx=1\n[B]\ny=1\n[a]\nz=1\n"
        << "[a]\nw=2\nz=3\n"
        << "[A]\nx=1\nw=2\n[B]\ny=1\n[a]\nz=3\n";
    QTest::newRow("section with a header only") << "[A]\n[B]\nb=1"
                                                << "[A]\nk=v\nl=w"
                                                << "[A]\nk=v\nl=w\n[B]\nb=1";
    QTest::newRow("keys before any header") << "top=1\n[A]\nx=1\n"
                                            << "own=2\n[A]\nx=3\n"
                                            << "top=1\nown=2\n[A]\nx=3\n";
    QTest::newRow("base without a final line break") << "[A]\nx=1"
                                                     << "[B]\ny=2\n"
                                                     << "[A]\nx=1\n\n[B]\ny=2";
    QTest::newRow("base ending in a blank line") << "[A]\nx=1\n\n"
                                                 << "[B]\ny=2"
                                                 << "[A]\nx=1\n\n[B]\ny=2\n";
    QTest::newRow("empty base") << ""
                                << "[B]\ny=2\n"
                                << "[B]\ny=2";
    QTest::newRow("Cyrillic names in other letter case") << "[Раздел]\nK_Ключ=1\n"
                                                         << "[РАЗДЕЛ]\nk_ключ=2\nK_Ёлка=3\n"
                                                         << "[Раздел]\nK_Ключ=2\nK_Ёлка=3\n";
    QTest::newRow("nothing of its own") << "; top\n[A]\nx = 1\n"
                                        << "[A]\nx=2\n"
                                        << "; top\n[A]\nx=2\n";
}

void TestMergeRun::keepValueKeys()
{
    QFETCH(QString, base);
    QFETCH(QString, values);
    QFETCH(QString, expected);
    const auto crlf = [](QString text) { return EncodeWindows1251(text.replace("\n", "\r\n")); };

    QTemporaryDir dir;
    WriteBytes(dir.filePath("base.ini"), crlf(base));
    WriteBytes(dir.filePath("values.ini"), crlf(values));
    RunMerge({dir.filePath("base.ini"), dir.filePath("values.ini"), dir.filePath("out.ini"),
              "--keep-value-keys"});
    QCOMPARE(QString::fromUtf8(ReadBytes(dir.filePath("out.ini"))),
             QString::fromUtf8(crlf(expected)));

    // The merged text loads again, and merging the value file once more changes nothing.
    RunMerge({dir.filePath("out.ini"), dir.filePath("values.ini"), dir.filePath("again.ini"),
              "--keep-value-keys"});
    QCOMPARE(ReadBytes(dir.filePath("again.ini")), ReadBytes(dir.filePath("out.ini")));
}

void TestMergeRun::keepValueKeysOnlyAfterOutput()
{
    QTemporaryDir dir;
    WriteBytes(dir.filePath("base.ini"), "[Main]\r\nA=1\r\n");
    WriteBytes(dir.filePath("values.ini"), "[Main]\r\nA=2\r\nOwn=3\r\n");
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));

    // In third place the option is what it always was there: the output file's name.
    RunMerge({"base.ini", "values.ini", "--keep-value-keys"});
    QCOMPARE(ReadBytes("--keep-value-keys"), QByteArray("[Main]\r\nA=2\r\n"));
    QCOMPARE(ReadBytes("base.ini"), QByteArray("[Main]\r\nA=1\r\n"));
    // Later, among other arguments, it keeps the value file's own keys.
    RunMerge({"base.ini", "values.ini", "out.ini", "other", "--keep-value-keys"});
    QCOMPARE(ReadBytes("out.ini"), QByteArray("[Main]\r\nA=2\r\nOwn=3\r\n"));
    // A malformed value file still fails the run before anything is written.
    WriteBytes("values.ini", "[Main]\r\n\tOwn=3\r\n");
    QCOMPARE(ErrorOfMerge({"base.ini", "values.ini", "out.ini", "--keep-value-keys"}), 9);
    QCOMPARE(ReadBytes("out.ini"), QByteArray("[Main]\r\nA=2\r\nOwn=3\r\n"));
    QVERIFY(QDir::setCurrent(previous));
}

QTEST_APPLESS_MAIN(TestMergeRun)
#include "tst_mergerun.moc"
