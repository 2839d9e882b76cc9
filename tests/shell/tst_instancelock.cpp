// The instance lock against what another user of the machine can leave where a lock is looked
// for, and the lock's life: a second client of the same title refused, a dead client's lock
// taken over.
#include "shell/InstanceLock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUuid>
#include <QtTest>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VARNEL_TEST_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define VARNEL_TEST_ASAN 1
#endif

using namespace varnel;

namespace {

// "nobody" on most systems: the owner of what "another user" leaves.
constexpr uid_t kOtherUser = 65534;

QByteArray encoded(const QString& path)
{
    return QFile::encodeName(path);
}

bool lstatOf(const QString& path, struct stat& st)
{
    return ::lstat(encoded(path).constData(), &st) == 0;
}

bool isPrivateFolder(const QString& path)
{
    struct stat st {};
    return lstatOf(path, st) && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & 0777) == 0700;
}

// What a lock attempt made in a child process came to: "held", "free" (start allowed without
// a lock), "refused", "died" (it crashed, or ran out of the memory it may take) or "hung".
QString attemptInChild(const QString& title)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return QStringLiteral("no pipe");
    const pid_t child = ::fork();
    if (child < 0)
        return QStringLiteral("no child");
    if (child == 0) {
        ::close(fds[0]);
#if !defined(VARNEL_TEST_ASAN)
        // A lock file read without end must not take the machine's memory.
        const rlimit memory{rlim_t(1) << 30, rlim_t(1) << 30};
        ::setrlimit(RLIMIT_AS, &memory);
#endif
        InstanceLock lock;
        const bool acquired = lock.acquire(title);
        const char* answer = !acquired ? "refused" : lock.isHeld() ? "held" : "free";
        const ssize_t n = ::write(fds[1], answer, std::strlen(answer));
        ::_exit(n > 0 ? 0 : 1);
    }
    ::close(fds[1]);
    // A watchdog, not a measure: an attempt stuck on what it found fails the case instead of
    // stopping the whole suite.
    pollfd ready{fds[0], POLLIN, 0};
    int polled;
    do {
        polled = ::poll(&ready, 1, 60 * 1000);
    } while (polled < 0 && errno == EINTR);
    QByteArray answer;
    if (polled > 0) {
        char buffer[32];
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n > 0)
            answer = QByteArray(buffer, n);
    }
    ::close(fds[0]);
    ::kill(child, SIGKILL);
    while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
    if (polled <= 0)
        return QStringLiteral("hung");
    return answer.isEmpty() ? QStringLiteral("died") : QString::fromLatin1(answer);
}

} // namespace

class InstanceLockTest : public QObject {
    Q_OBJECT

private:
    // Where the lock is looked for; each test sets them, and they are put back after it.
    static constexpr const char* kPlaces[] = {"TMPDIR", "XDG_RUNTIME_DIR", "XDG_CACHE_HOME"};
    QList<QByteArray> saved_;
    std::unique_ptr<QTemporaryDir> dir_;
    QString title_;

    static void setPlace(const char* name, const QString& value)
    {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, encoded(value));
    }

    QString path(const QString& name) const { return dir_->filePath(name); }
    QString temp() const { return path(QStringLiteral("tmp")); }
    // Where the lock lay before: the shared temporary folder, under the title's name.
    QString oldPlace() const
    {
        return JoinName(temp(), QFileInfo(InstanceLock::LockFilePath(title_)).fileName());
    }
    // The folder of the user's own in the temporary folder.
    QString userFolder() const
    {
        return JoinName(temp(), QStringLiteral("varnel-") + QString::number(::geteuid()));
    }
    static QString JoinName(const QString& folder, const QString& name)
    {
        return folder + u'/' + name;
    }

    // Makes `what` at `at`: another user's doing when foreign.
    bool plant(const QString& at, const QString& what, bool foreign)
    {
        const QByteArray name = encoded(at);
        const QString target = path(QStringLiteral("target"));
        if (what == u"file") {
            QFile f(at);
            if (!f.open(QIODevice::WriteOnly) || f.write("12345\nVarnelClient\nhost\n") <= 0)
                return false;
        } else if (what == u"fifo") {
            if (::mkfifo(name.constData(), 0666) != 0)
                return false;
        } else if (what == u"zero link") {
            if (::symlink("/dev/zero", name.constData()) != 0)
                return false;
        } else if (what == u"file link") {
            QFile f(target);
            if (!f.open(QIODevice::WriteOnly) || f.write("the user's file") <= 0)
                return false;
            f.close();
            if (::symlink(encoded(target).constData(), name.constData()) != 0)
                return false;
        } else if (what == u"folder link") {
            if (::mkdir(encoded(target).constData(), 0700) != 0 ||
                ::symlink(encoded(target).constData(), name.constData()) != 0)
                return false;
        } else if (what == u"folder" || what == u"open folder") {
            if (::mkdir(name.constData(), 0700) != 0)
                return false;
            if (what == u"open folder" && ::chmod(name.constData(), 0777) != 0)
                return false;
        } else {
            return false;
        }
        return !foreign || ::lchown(name.constData(), kOtherUser, kOtherUser) == 0;
    }

private slots:
    void init()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        QVERIFY(QDir().mkpath(temp()));
        saved_.clear();
        for (const char* name : kPlaces)
            saved_.append(qgetenv(name));
        setPlace("TMPDIR", temp());
        setPlace("XDG_RUNTIME_DIR", QString());
        setPlace("XDG_CACHE_HOME", path(QStringLiteral("cache")));
        // A title of its own keeps parallel runs apart.
        title_ = QStringLiteral("Varnel. Клиентский модуль (2.1) - tst-") +
                 QUuid::createUuid().toString(QUuid::Id128).left(12);
    }

    void cleanup()
    {
        for (qsizetype i = 0; i < saved_.size(); ++i)
            setPlace(kPlaces[i], saved_[i].isNull() ? QString() : QFile::decodeName(saved_[i]));
    }

    // Whatever another user leaves where a lock is looked for, the client takes its lock in a
    // folder of the user's alone, at once, without following a link or reading what it found;
    // and two clients of the same title still meet there.
    void othersLeavingsDoNotBlock_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<QString>("what");
        QTest::addColumn<bool>("foreign");
        for (const char* what : {"file", "fifo", "zero link", "file link", "folder"})
            QTest::addRow("shared temporary folder: %s", what) << "old" << what << true;
        for (const char* what : {"file", "fifo", "zero link", "folder link", "open folder"})
            QTest::addRow("user's folder in the temporary one: %s", what)
                << "folder" << what << false;
        QTest::newRow("user's folder in the temporary one: another user's folder")
            << "folder"
            << "folder" << true;
        QTest::newRow("runtime folder: the user's") << "runtime"
                                                    << "folder" << false;
        QTest::newRow("runtime folder: open to all") << "runtime"
                                                     << "open folder" << false;
        QTest::newRow("runtime folder: another user's") << "runtime"
                                                        << "folder" << true;
        QTest::newRow("runtime folder: a link") << "runtime"
                                                << "folder link" << false;
        QTest::newRow("runtime folder: a file") << "runtime"
                                                << "file" << false;
    }

    void othersLeavingsDoNotBlock()
    {
        QFETCH(QString, where);
        QFETCH(QString, what);
        QFETCH(bool, foreign);
        if (foreign && ::geteuid() != 0)
            QSKIP("only root can leave a file of another user's here");
        QString at;
        if (where == u"old") {
            at = oldPlace();
        } else if (where == u"folder") {
            at = userFolder();
        } else {
            at = path(QStringLiteral("runtime"));
            setPlace("XDG_RUNTIME_DIR", at);
        }
        QVERIFY(plant(at, what, foreign));
        struct stat planted {};
        QVERIFY(lstatOf(at, planted));

        QCOMPARE(attemptInChild(title_), QStringLiteral("held"));

        InstanceLock first;
        QVERIFY(first.acquire(title_));
        QVERIFY(first.isHeld());
        const QString folder = QFileInfo(InstanceLock::LockFilePath(title_)).path();
        QVERIFY2(isPrivateFolder(folder), qPrintable(folder));
        const bool trusted = where == u"runtime" && what == u"folder" && !foreign;
        QCOMPARE(folder == at, trusted);
        // What was found is left as it was.
        struct stat after {};
        QVERIFY(lstatOf(at, after));
        QCOMPARE(after.st_ino, planted.st_ino);
        QCOMPARE(after.st_mode, planted.st_mode);
        if (what == u"file link")
            QCOMPARE(QFileInfo(path(QStringLiteral("target"))).size(), qint64(15));

        InstanceLock second;
        QVERIFY(!second.acquire(QStringLiteral("  ") + title_.toUpper() + u' '));
        QVERIFY(!second.isHeld());
        QVERIFY(first.isHeld());
        first.release();
        QVERIFY(second.acquire(title_));
        QVERIFY(second.isHeld());
    }

    // The lock of a client that ended without letting it go (killed) does not block.
    void deadClientsLockIsTaken()
    {
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            InstanceLock lock;
            if (!lock.acquire(title_) || !lock.isHeld())
                ::_exit(1);
            ::raise(SIGKILL);
            ::_exit(2);
        }
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        QVERIFY(WIFSIGNALED(status));
        QVERIFY(QFileInfo::exists(InstanceLock::LockFilePath(title_)));
        InstanceLock lock;
        QVERIFY(lock.acquire(title_));
        QVERIFY(lock.isHeld());
    }

    // Where no lock can be had, the client starts without one: nothing there says another
    // client runs.
    void lockThatCannotBeMadeDoesNotRefuse_data()
    {
        QTest::addColumn<QString>("what");
        QTest::newRow("no folder can be made") << "no folder";
        QTest::newRow("a link at the lock's name") << "file link";
        QTest::newRow("a pipe at the lock's name") << "fifo";
    }

    void lockThatCannotBeMadeDoesNotRefuse()
    {
        QFETCH(QString, what);
        if (what == u"no folder") {
            const QString notAFolder = path(QStringLiteral("not-a-folder"));
            QFile f(notAFolder);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.close();
            setPlace("TMPDIR", notAFolder);
            setPlace("XDG_CACHE_HOME", notAFolder);
        } else {
            QVERIFY(plant(InstanceLock::LockFilePath(title_), what, false));
        }
        QCOMPARE(attemptInChild(title_), QStringLiteral("free"));
        if (what == u"file link")
            QCOMPARE(QFileInfo(path(QStringLiteral("target"))).size(), qint64(15));
    }
};

QTEST_GUILESS_MAIN(InstanceLockTest)
#include "tst_instancelock.moc"
