#include "core/AtomicSave.h"
#include "core/Error.h"
#include "core/TempFiles.h"
#include "filesave/ReplacingFile.h"
#include "tests/support/FaultInjection.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace varnel;
using varnel::filesave::testing::FaultPlan;
using varnel::testing::FolderEntries;

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

QByteArray contents(int size, char fill)
{
    QByteArray bytes;
    for (int i = 0; bytes.size() < size; ++i)
        bytes += "line " + QByteArray::number(i) + ' ' + QByteArray(40, fill) + "\r\n";
    bytes.truncate(size);
    return bytes;
}

// The save's failure text, empty after success.
QString save(const QString& path, const QByteArray& bytes)
{
    try {
        SaveFileAtomically(path, bytes);
    } catch (const Error& e) {
        return e.description();
    }
    return QString();
}

mode_t modeOf(const QString& path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode : 0;
}

struct FaultsOff {
    ~FaultsOff() { filesave::testing::SetFaultPlan({}); }
};

} // namespace

Q_DECLARE_METATYPE(FaultPlan)

class TestAtomicSave : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        filesave::testing::SetFaultPlan({});
    }

    // Each step that can fail, failing: the failure is reported with the system's reason, the
    // old file is whole and nothing is left beside it. A new file is not made at all.
    void failureAtEveryStep_data()
    {
        QTest::addColumn<FaultPlan>("plan");
        QTest::addColumn<bool>("create");
        QTest::addColumn<int>("error");
        const auto row = [](const char* name, FaultPlan plan, bool create, int error) {
            QTest::newRow(name) << plan << create << error;
        };
        FaultPlan p;
        p.createError = EACCES;
        row("hidden file cannot be made", p, true, EACCES);
        p = {};
        p.failWriteAfter = 0;
        row("first write fails", p, false, ENOSPC);
        p.failWriteAfter = 1000;
        row("write fails after 1000 bytes", p, false, ENOSPC);
        p.failWriteAfter = 2048;
        p.writeError = EIO;
        p.maxBytesPerWrite = 300;
        row("short writes, then an I/O error at 2048", p, false, EIO);
        p = {};
        p.syncError = EIO;
        row("fsync fails", p, false, EIO);
        p = {};
        p.chmodError = EPERM;
        row("permissions cannot be set", p, false, EPERM);
        p = {};
        p.closeError = EIO;
        row("close fails", p, false, EIO);
        p = {};
        p.renameError = EBUSY;
        row("rename fails", p, false, EBUSY);
    }

    void failureAtEveryStep()
    {
        QFETCH(FaultPlan, plan);
        QFETCH(bool, create);
        QFETCH(int, error);
        FaultsOff off;
        const QString target = dir_->filePath(QStringLiteral("report.xml"));
        const QByteArray old = contents(3000, 'o');
        writeAll(target, old);
        const QString expected = (create ? FileCreateErrorText(target, SystemErrorText(error))
                                         : FileWriteErrorText(target, SystemErrorText(error)));

        filesave::testing::SetFaultPlan(plan);
        QCOMPARE(save(target, contents(5000, 'n')), expected);
        QCOMPARE(readAll(target), old);
        QCOMPARE(FolderEntries(dir_->path()), QStringList(QStringLiteral("report.xml")));

        const QString fresh = dir_->filePath(QStringLiteral("new.xml"));
        QVERIFY(!save(fresh, contents(5000, 'n')).isEmpty());
        QCOMPARE(FolderEntries(dir_->path()), QStringList(QStringLiteral("report.xml")));
    }

    void interruptedAndShortWritesWriteEverything()
    {
        FaultsOff off;
        FaultPlan plan;
        plan.interruptWrites = true;
        plan.maxBytesPerWrite = 7;
        filesave::testing::SetFaultPlan(plan);
        const QString target = dir_->filePath(QStringLiteral("a.txt"));
        const QByteArray bytes = contents(10000, 'x');
        QCOMPARE(save(target, bytes), QString());
        QCOMPARE(readAll(target), bytes);
        QCOMPARE(FolderEntries(dir_->path()), QStringList(QStringLiteral("a.txt")));
    }

    // A file-size limit in a child process, the way a nearly full disk fails a write: small
    // contents are the ones a buffered writer lost.
    void fileSizeLimit_data()
    {
        QTest::addColumn<int>("limit");
        QTest::addColumn<int>("size");
        QTest::newRow("nothing may be written") << 0 << 10;
        QTest::newRow("1000 bytes of 1500") << 1000 << 1500;
        QTest::newRow("2048 bytes of 3000") << 2048 << 3000;
        QTest::newRow("16 KB of 40 KB") << 16384 << 40000;
    }

    void fileSizeLimit()
    {
        QFETCH(int, limit);
        QFETCH(int, size);
        const QString target = dir_->filePath(QStringLiteral("settings.ini"));
        const QByteArray old = contents(500, 'o');
        writeAll(target, old);
        const auto outcome =
            testing::RunWithFileSizeLimit(limit, [&] { return save(target, contents(size, 'n')); });
        QVERIFY(outcome);
        QCOMPARE(*outcome, FileWriteErrorText(target, SystemErrorText(EFBIG)));
        QCOMPARE(readAll(target), old);
        QCOMPARE(FolderEntries(dir_->path()), QStringList(QStringLiteral("settings.ini")));
    }

    void fullDisk()
    {
        testing::SmallDisk disk(64 * 1024);
        VARNEL_REQUIRE_DISK(disk);
        const QString target = disk.filePath(QStringLiteral("settings.ini"));
        const QByteArray old = contents(3000, 'o');
        writeAll(target, old);
        disk.fill();
        QCOMPARE(save(target, contents(3100, 'n')),
                 FileWriteErrorText(target, SystemErrorText(ENOSPC)));
        QCOMPARE(readAll(target), old);
        QCOMPARE(FolderEntries(disk.path()), QStringList(QStringLiteral("settings.ini")));
    }

    void noRoomForAnotherFile()
    {
        testing::SmallDisk disk(1024 * 1024, 8);
        VARNEL_REQUIRE_DISK(disk);
        const QString target = disk.filePath(QStringLiteral("notes.txt"));
        writeAll(target, "old");
        disk.useUpFiles();
        QCOMPARE(save(target, "new"), FileCreateErrorText(target, SystemErrorText(ENOSPC)));
        QCOMPARE(readAll(target), QByteArray("old"));
    }

    // What stands at the path and is no file is left as it is, and so is a protected file.
    void whatIsNeverReplaced()
    {
        const QString folder = dir_->filePath(QStringLiteral("folder"));
        QVERIFY(QDir().mkdir(folder));
        QCOMPARE(save(folder, "x"), FileCreateErrorText(folder, SystemErrorText(EISDIR)));
        QVERIFY(QFileInfo(folder).isDir());

        const QString fifo = dir_->filePath(QStringLiteral("pipe"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QCOMPARE(save(fifo, "x"), FileCreateErrorText(fifo, QStringLiteral("Not a regular file")));
        QVERIFY(S_ISFIFO(modeOf(fifo)));

        if (::geteuid() == 0) {
            // A device node of our own (the full device's numbers) in the test folder.
            const QString device = dir_->filePath(QStringLiteral("device"));
            QCOMPARE(::mknod(QFile::encodeName(device).constData(), S_IFCHR | 0600, makedev(1, 7)),
                     0);
            QVERIFY(!save(device, "x").isEmpty());
            QVERIFY(S_ISCHR(modeOf(device)));
        }

        // Write-protected: refused even for root, who could replace it.
        const QString locked = dir_->filePath(QStringLiteral("locked.ini"));
        writeAll(locked, "old");
        QVERIFY(QFile::setPermissions(locked, QFile::ReadOwner | QFile::ReadGroup));
        QCOMPARE(save(locked, "new"), FileWriteErrorText(locked, SystemErrorText(EACCES)));
        QCOMPARE(readAll(locked), QByteArray("old"));

        QCOMPARE(save(dir_->filePath(QStringLiteral("no/such/x")), "x"),
                 FileCreateErrorText(dir_->filePath(QStringLiteral("no/such/x")),
                                     SystemErrorText(ENOENT)));
        QStringList left{"folder", "locked.ini", "pipe"};
        if (::geteuid() == 0)
            left.prepend(QStringLiteral("device"));
        QCOMPARE(FolderEntries(dir_->path()), left);
    }

    // The file replaced is the one the links lead to; the links stay links.
    void linksAreFollowed()
    {
        QVERIFY(QDir(dir_->path()).mkdir(QStringLiteral("real")));
        const QString real = dir_->filePath(QStringLiteral("real/settings.ini"));
        writeAll(real, "old");
        // second -> real/settings.ini (relative to its folder), first -> second
        QCOMPARE(::symlink("real/settings.ini",
                           QFile::encodeName(dir_->filePath(QStringLiteral("second"))).constData()),
                 0);
        QCOMPARE(::symlink("second",
                           QFile::encodeName(dir_->filePath(QStringLiteral("first"))).constData()),
                 0);
        QCOMPARE(save(dir_->filePath(QStringLiteral("first")), "new"), QString());
        QCOMPARE(readAll(real), QByteArray("new"));
        QVERIFY(S_ISLNK(modeOf(dir_->filePath(QStringLiteral("first")))));
        QVERIFY(S_ISLNK(modeOf(dir_->filePath(QStringLiteral("second")))));
        QCOMPARE(FolderEntries(dir_->filePath(QStringLiteral("real"))),
                 QStringList(QStringLiteral("settings.ini")));

        // A link to nothing yet makes the file it names.
        QCOMPARE(
            ::symlink("real/made.ini",
                      QFile::encodeName(dir_->filePath(QStringLiteral("dangling"))).constData()),
            0);
        QCOMPARE(save(dir_->filePath(QStringLiteral("dangling")), "made"), QString());
        QCOMPARE(readAll(dir_->filePath(QStringLiteral("real/made.ini"))), QByteArray("made"));
        QVERIFY(S_ISLNK(modeOf(dir_->filePath(QStringLiteral("dangling")))));
    }

    // A new file of the user's alone: made 0600 whatever the umask, and never through what
    // stands at its name, before the save began or when it is put in place.
    void newPrivateFile_data()
    {
        QTest::addColumn<QString>("planted"); // what stands at the name: "", file, link, dangling
        QTest::addColumn<bool>("late");       // planted after the save began
        QTest::newRow("nothing") << "" << false;
        QTest::newRow("a file") << "file" << false;
        QTest::newRow("a link to the user's file") << "link" << false;
        QTest::newRow("a dangling link") << "dangling" << false;
        QTest::newRow("a link planted while writing") << "link" << true;
        QTest::newRow("a file made while writing") << "file" << true;
    }
    void newPrivateFile()
    {
        QFETCH(QString, planted);
        QFETCH(bool, late);
        const QString target = dir_->filePath(QStringLiteral("1A2B.XML"));
        const QString victim = dir_->filePath(QStringLiteral("victim.ini"));
        writeAll(victim, "the user's");
        const auto plant = [&] {
            if (planted == u"file")
                writeAll(target, "there before");
            else if (planted == u"link")
                QCOMPARE(::symlink(QFile::encodeName(victim).constData(),
                                   QFile::encodeName(target).constData()),
                         0);
            else if (planted == u"dangling")
                QCOMPARE(::symlink("made.ini", QFile::encodeName(target).constData()), 0);
        };
        if (!late)
            plant();
        const mode_t oldMask = ::umask(022);
        QString failure;
        try {
            AtomicFile file(target, AtomicFile::NewPrivateFile);
            file.write(QByteArray("new"));
            if (late)
                plant();
            file.commit();
        } catch (const Error& e) {
            failure = e.description();
        }
        ::umask(oldMask);
        QCOMPARE(readAll(victim), QByteArray("the user's"));
        QVERIFY(!QFileInfo::exists(dir_->filePath(QStringLiteral("made.ini"))));
        QStringList left{"1A2B.XML", "victim.ini"};
        QCOMPARE(FolderEntries(dir_->path()), left);
        if (planted.isEmpty()) {
            QCOMPARE(failure, QString());
            QCOMPARE(readAll(target), QByteArray("new"));
            QCOMPARE(modeOf(target) & 07777, mode_t(0600));
            return;
        }
        QVERIFY2(failure.contains(SystemErrorText(EEXIST)), qPrintable(failure));
        QVERIFY(failure.contains(target));
        if (planted == u"file")
            QCOMPARE(readAll(target), QByteArray("there before"));
        else
            QVERIFY(S_ISLNK(modeOf(target)));
    }

    // The viewers' temporary folder is a folder of this user alone (0700), never the shared
    // one, and never one that another user made or pointed elsewhere: the per-user runtime
    // folder where it is the user's, else a fresh one. Names are reserved there 0600.
    void privateTemporaryFolder_data()
    {
        QTest::addColumn<QString>("runtime"); // XDG_RUNTIME_DIR: "", private, shared, planted
        QTest::addColumn<bool>("inRuntime");
        QTest::newRow("no runtime folder") << "" << false;
        QTest::newRow("the user's runtime folder") << "private" << true;
        QTest::newRow("a runtime folder others may write") << "shared" << false;
        QTest::newRow("a link planted in the runtime folder") << "planted" << false;
    }
    void privateTemporaryFolder()
    {
        QFETCH(QString, runtime);
        QFETCH(bool, inRuntime);
        const QString folder = dir_->filePath(QStringLiteral("runtime"));
        QVERIFY(QDir().mkdir(folder));
        QVERIFY(::chmod(QFile::encodeName(folder).constData(),
                        runtime == u"shared" ? 0777 : 0700) == 0);
        if (runtime == u"planted")
            QCOMPARE(::symlink(QFile::encodeName(dir_->path()).constData(),
                               QFile::encodeName(folder + QStringLiteral("/varnel")).constData()),
                     0);
        const QByteArray previous = qgetenv("XDG_RUNTIME_DIR");
        if (runtime.isEmpty())
            qunsetenv("XDG_RUNTIME_DIR");
        else
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(folder));
        SetTemporaryFolder(QString());
        const QString temporary = TemporaryFolder();
        const QString reserved = CreateUniqueTempFile(temporary, QString(), QStringLiteral(".XML"));
        qputenv("XDG_RUNTIME_DIR", previous);
        SetTemporaryFolder(QString());

        QVERIFY(!temporary.isEmpty());
        QCOMPARE(temporary.startsWith(folder + u'/'), inRuntime);
        if (!inRuntime)
            QCOMPARE(QFileInfo(temporary).absolutePath(),
                     QFileInfo(QDir::tempPath()).absoluteFilePath());
        QVERIFY(S_ISDIR(modeOf(temporary)));
        QCOMPARE(modeOf(temporary) & 07777, mode_t(0700));
        QCOMPARE(QFileInfo(temporary).ownerId(), ::geteuid());
        QVERIFY(!reserved.isEmpty());
        QCOMPARE(modeOf(reserved) & 07777, mode_t(0600));
        QFile::remove(reserved);
        if (!inRuntime)
            QDir().rmdir(temporary);
    }

    void permissionsAreKept()
    {
        const QString target = dir_->filePath(QStringLiteral("private.ini"));
        writeAll(target, "old");
        QVERIFY(::chmod(QFile::encodeName(target).constData(), 0640) == 0);
        QCOMPARE(save(target, "new"), QString());
        QCOMPARE(modeOf(target) & 07777, mode_t(0640));

        const mode_t oldMask = ::umask(027);
        const QString fresh = dir_->filePath(QStringLiteral("fresh.ini"));
        const QString result = save(fresh, "x");
        ::umask(oldMask);
        QCOMPARE(result, QString());
        QCOMPARE(modeOf(fresh) & 07777, mode_t(0640));
    }

    // The hidden file's name is longer than the target's; the longest names still save.
    void longestNameSaves()
    {
        const QString name = QString(127, QChar(0x0416)) + QStringLiteral(".x"); // 256 bytes
        const QString shorter = QString(126, QChar(0x0416)) + QStringLiteral(".x");
        QCOMPARE(save(dir_->filePath(shorter), "x"), QString());
        QCOMPARE(readAll(dir_->filePath(shorter)), QByteArray("x"));
        QVERIFY(!save(dir_->filePath(name), "x").isEmpty()); // beyond what a name may hold
        QCOMPARE(FolderEntries(dir_->path()), QStringList(shorter));
    }

    void unfinishedFileIsDropped()
    {
        const QString target = dir_->filePath(QStringLiteral("r.xml"));
        writeAll(target, "old");
        {
            AtomicFile file(target);
            file.write(contents(100000, 'n'));
            QVERIFY(QFileInfo::exists(file.temporaryPath()));
            QVERIFY(QFileInfo(file.temporaryPath()).fileName().startsWith(u'.'));
        }
        QCOMPARE(readAll(target), QByteArray("old"));
        QCOMPARE(FolderEntries(dir_->path()), QStringList(QStringLiteral("r.xml")));
    }

private:
    std::unique_ptr<QTemporaryDir> dir_;
};

QTEST_GUILESS_MAIN(TestAtomicSave)
#include "tst_atomicsave.moc"
