#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "FileSupport.h"
#include "tests/support/FaultInjection.h"

#include <cerrno>
#include <cstring>
#include <memory>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

namespace {

const QString kData = QStringLiteral(VARNEL_TEST_DATA_DIR "/layout");

struct Outcome {
    int exitCode = -1;
    QByteArray out;
    QString err;
};

Outcome RunQuilmer(const QStringList& arguments, qint64 fileSizeLimit = 0)
{
    QProcess process;
#ifdef Q_OS_UNIX
    if (fileSizeLimit > 0) {
        // A file that may not grow past the limit fails the way a full disk does. The signal
        // the limit raises is left at its default, which ends a process: the program itself
        // has to keep it from ending the merge.
        process.setChildProcessModifier([fileSizeLimit] {
            std::signal(SIGXFSZ, SIG_DFL);
            const rlimit limit{static_cast<rlim_t>(fileSizeLimit),
                               static_cast<rlim_t>(fileSizeLimit)};
            setrlimit(RLIMIT_FSIZE, &limit);
        });
    }
#else
    Q_UNUSED(fileSizeLimit);
#endif
    process.start(QStringLiteral(QUILMER_PATH), arguments);
    Outcome outcome;
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit)
        return outcome;
    outcome.exitCode = process.exitCode();
    outcome.out = process.readAllStandardOutput();
    outcome.err = QString::fromUtf8(process.readAllStandardError());
    return outcome;
}

} // namespace

class TestQuilmer : public QObject {
    Q_OBJECT

private slots:
    void mergesSilently();
    void reportsErrors_data();
    void reportsErrors();
    void failedWriteKeepsOldFile();
    void fullDiskKeepsOldFile_data();
    void fullDiskKeepsOldFile();
};

void TestQuilmer::mergesSilently()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("my settings"));
    const QString base = dir.filePath("my settings/base file.ini");
    const QString output = dir.filePath("my settings/merged file.ini");
    QVERIFY(QFile::copy(kData + "/base.ini", base));

    Outcome outcome = RunQuilmer({base, kData + "/values.ini", output});
    QCOMPARE(outcome.exitCode, 0);
    QCOMPARE(outcome.err, QString());
    QCOMPARE(outcome.out, QByteArray());
    QCOMPARE(ReadBytes(output), ReadBytes(kData + "/expected.ini"));
    QCOMPARE(ReadBytes(base), ReadBytes(kData + "/base.ini"));

    outcome = RunQuilmer({base, kData + "/values.ini"});
    QCOMPARE(outcome.exitCode, 0);
    QCOMPARE(ReadBytes(base), ReadBytes(kData + "/expected.ini"));
    QCOMPARE(QDir(dir.filePath("my settings")).entryList(QDir::Files).size(), 2);
}

void TestQuilmer::reportsErrors_data()
{
    QTest::addColumn<QStringList>("arguments"); // names inside the test folder
    QTest::addColumn<QString>("report");
    const QStringList usual{"base.ini", "values.ini", "out.ini"};
    QTest::newRow("no arguments") << QStringList{} << "Ошибка 9: Не заданы файлы";
    QTest::newRow("one argument") << QStringList{"base.ini"} << "Ошибка 9: Не заданы файлы";
    QTest::newRow("missing value file")
        << QStringList{"base.ini", "no such.ini", "out.ini"} << "Ошибка 53: Файл «";
    QTest::newRow("malformed line")
        << QStringList{"bad.ini", "values.ini", "out.ini"}
        << "Ошибка 9: Файл «%1/bad.ini». Строка 2. Неверная строка «A.b=1»";
    QTest::newRow("key given twice")
        << QStringList{"base.ini", "twice.ini", "out.ini"}
        << "Ошибка 457: Файл «%1/twice.ini». Строка 3. Ключ «a» уже есть в секции «Main»";
}

void TestQuilmer::reportsErrors()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, report);

    QTemporaryDir dir;
    WriteBytes(dir.filePath("base.ini"), "[Main]\r\nA=1\r\n");
    WriteBytes(dir.filePath("values.ini"), "[Main]\r\nA=2\r\n");
    WriteBytes(dir.filePath("bad.ini"), "[Main]\r\nA.b=1\r\n");
    WriteBytes(dir.filePath("twice.ini"), "[Main]\r\nA=1\r\na=2\r\n");
    WriteBytes(dir.filePath("out.ini"), "old output");
    const auto before = Snapshot(dir.path());

    QStringList paths;
    for (const QString& name : arguments)
        paths.append(dir.filePath(name));
    const Outcome outcome = RunQuilmer(paths);

    QCOMPARE(outcome.exitCode, 1);
    QVERIFY2(outcome.err.startsWith(report.contains("%1") ? report.arg(dir.path()) : report),
             qPrintable(outcome.err));
    QVERIFY(outcome.err.endsWith('\n'));
    QCOMPARE(outcome.out, QByteArray());
    QCOMPARE(Snapshot(dir.path()), before);
}

void TestQuilmer::failedWriteKeepsOldFile()
{
#ifndef Q_OS_UNIX
    QSKIP("needs a file size limit for the child process");
#endif
    QTemporaryDir dir;
    QByteArray base = "[Main]\r\n";
    for (int i = 0; i < 500; ++i)
        base += "Key" + QByteArray::number(i) + "=some value to fill the file\r\n";
    WriteBytes(dir.filePath("base.ini"), base);
    WriteBytes(dir.filePath("values.ini"), "[Main]\r\nKey1=new\r\n");
    const auto before = Snapshot(dir.path());

    // Overwriting the base file itself: the write stops at 4 KB, the old file stays whole.
    const Outcome outcome =
        RunQuilmer({dir.filePath("base.ini"), dir.filePath("values.ini")}, 4096);
    QCOMPARE(outcome.exitCode, 1);
    QVERIFY2(outcome.err.startsWith("Ошибка 57: Не удаётся записать файл"),
             qPrintable(outcome.err));
    QCOMPARE(Snapshot(dir.path()), before);
}

void TestQuilmer::fullDiskKeepsOldFile_data()
{
    QTest::addColumn<qint64>("limit"); // file-size limit of the run; 0: a full tmpfs instead
    QTest::addColumn<bool>("overwriteBase");
    // Settings files are small: a few kilobytes, written out at once.
    QTest::newRow("base file, nothing may be written") << qint64(1) << true;
    QTest::newRow("base file, limit 1000") << qint64(1000) << true;
    QTest::newRow("output file, limit 2048") << qint64(2048) << false;
    QTest::newRow("base file, full disk") << qint64(0) << true;
    QTest::newRow("output file, full disk") << qint64(0) << false;
}

void TestQuilmer::fullDiskKeepsOldFile()
{
#ifndef Q_OS_UNIX
    QSKIP("needs a file size limit for the child process");
#endif
    QFETCH(qint64, limit);
    QFETCH(bool, overwriteBase);
    QTemporaryDir scratch;
    std::unique_ptr<varnel::testing::SmallDisk> disk;
    QString folder = scratch.path();
    if (limit == 0) {
        disk = std::make_unique<varnel::testing::SmallDisk>(64 * 1024);
        VARNEL_REQUIRE_DISK(*disk);
        folder = disk->path();
    }
    QByteArray base = "[Main]\r\n";
    for (int i = 0; base.size() < 3000; ++i)
        base += "Key" + QByteArray::number(i) + "=value\r\n";
    WriteBytes(folder + "/base.ini", base);
    WriteBytes(folder + "/values.ini", "[Main]\r\nKey1=new\r\n");
    WriteBytes(folder + "/out.ini", "old output\r\n");
    if (disk)
        disk->fill();
    const auto before = Snapshot(folder);

    QStringList arguments{folder + "/base.ini", folder + "/values.ini"};
    if (!overwriteBase)
        arguments << folder + "/out.ini";
    const QString written = overwriteBase ? arguments.first() : arguments.last();
    const Outcome outcome = RunQuilmer(arguments, limit);
    QCOMPARE(outcome.exitCode, 1);
    const QString reason = QString::fromLocal8Bit(std::strerror(limit ? EFBIG : ENOSPC));
    QVERIFY2(
        outcome.err.startsWith("Ошибка 57: Не удаётся записать файл «" + written + "»: " + reason),
        qPrintable(outcome.err));
    QCOMPARE(Snapshot(folder), before);
    QCOMPARE(varnel::testing::FolderEntries(folder),
             (QStringList{"base.ini", "out.ini", "values.ini"}));
}

QTEST_GUILESS_MAIN(TestQuilmer)
#include "tst_quilmer.moc"
