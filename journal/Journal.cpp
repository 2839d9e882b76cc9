#include "journal/Journal.h"

#include "core/SettingKeys.h"
#include "core/Settings.h"
#include "core/Values.h"
#include "journal/JournalStore.h"
#include "messages/RequestKinds.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QThread>
#include <QTimer>

#include <libxml/parser.h>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace varnel::journal {

namespace {

// How long the changes of another program are gathered before they are told.
constexpr int kChangeSettles = 250; // ms

QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Copies the file to a new private file (where a link cannot be made: the journal lies on
// another file system); 0 or the reason it failed.
int copyPrivately(const QString& from, const QString& to)
{
    const int in = ::open(QFile::encodeName(from).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return errno;
    const int out = ::open(QFile::encodeName(to).constData(),
                           O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (out < 0) {
        const int error = errno;
        ::close(in);
        return error;
    }
    int error = 0;
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = errno;
            break;
        }
        if (n == 0)
            break;
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(out, buffer + done, size_t(n - done));
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0) {
                error = w < 0 ? errno : ENOSPC;
                break;
            }
            done += w;
        }
        if (error)
            break;
    }
    if (::close(out) != 0 && !error)
        error = errno;
    ::close(in);
    if (error)
        ::unlink(QFile::encodeName(to).constData());
    return error;
}

} // namespace

Journal::Journal(QObject* parent) : QObject(parent)
{
    // The parser's tables are made here, before a second thread may use them.
    xmlInitParser();
    // A work or receive folder changed in the options: the next round journals there and
    // watches the new receive folder, at once.
    connect(&SettingsEvents::Instance(), &SettingsEvents::changed, this,
            [this](const QString& section, const QString& key) {
                if (started_ && (settings::kFolderReceive.is(section, key) ||
                                 settings::kFolderWork.is(section, key)))
                    sync();
            });
}

Journal::~Journal()
{
    if (CurrentRequestWatcher() == this)
        SetRequestWatcher(nullptr);
    dropPending();
    stop_.store(true);
    if (thread_) {
        thread_->quit();
        thread_->wait();
        delete worker_;
    }
}

QString Journal::CurrentFolder()
{
    if (TrimSpaces(settings::kFolderWork.read()).isEmpty())
        return QString();
    const QString work = WorkFolder();
    if (!QFileInfo(work).isDir())
        return QString();
    return JoinPath(work, QStringLiteral("journal"));
}

QString Journal::CurrentReceiveFolder()
{
    if (TrimSpaces(settings::kFolderReceive.read()).isEmpty())
        return QString();
    return ReceiveFolder();
}

void Journal::start()
{
    if (started_)
        return;
    started_ = true;
    SetRequestWatcher(this);
    watcher_ = new QFileSystemWatcher(this);
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this, &Journal::sync);
    database_ = new QFileSystemWatcher(this);
    connect(database_, &QFileSystemWatcher::fileChanged, this, &Journal::databaseChanged);
    connect(database_, &QFileSystemWatcher::directoryChanged, this, &Journal::databaseChanged);
    sync();
}

void Journal::followRequests()
{
    following_ = true;
    SetRequestWatcher(this);
}

void Journal::sync()
{
    if (stop_.load())
        return;
    if (running_) {
        again_ = true;
        return;
    }
    startRound();
}

void Journal::checkAndSync()
{
    checkNext_ = true;
    sync();
}

void Journal::startRound()
{
    running_ = true;
    SyncJob job;
    job.folder = CurrentFolder();
    job.receive = CurrentReceiveFolder();
    job.check = checkNext_;
    watch(job.receive);
    watchDatabase(job.folder);
    emit syncStarted();
    if (job.folder.isEmpty()) {
        // No work folder: nothing is journaled. Said where the journal is shown.
        QMetaObject::invokeMethod(
            this, [this] { finishRound(SyncReport()); }, Qt::QueuedConnection);
        return;
    }
    checkNext_ = false;
    if (!thread_) {
        thread_ = new QThread(this);
        thread_->setObjectName(QStringLiteral("journal"));
        worker_ = new QObject;
        worker_->moveToThread(thread_);
        thread_->start(QThread::LowPriority);
    }
    {
        QMutexLocker lock(&mutex_);
        workerBusy_ = true;
    }
    QMetaObject::invokeMethod(
        worker_,
        [this, job] {
            const SyncReport report = RunSync(job, &stop_);
            // The result is on its way to the journal's thread before the round counts as over.
            QMetaObject::invokeMethod(
                this, [this, report] { finishRound(report); }, Qt::QueuedConnection);
            QMutexLocker lock(&mutex_);
            workerBusy_ = false;
            idle_.wakeAll();
        },
        Qt::QueuedConnection);
}

void Journal::finishRound(const SyncReport& report)
{
    running_ = false;
    watchDatabase(databaseFolder_);
    databaseStamp_ = databaseStamp();
    if (!report.failure.isEmpty())
        fault(QStringLiteral("Журнал отправок не записан: ") + report.failure);
    else if (!report.stopped)
        failing_ = false;
    if (!report.setAside.isEmpty())
        emit notice(QStringLiteral("Журнал отправок был поврежден: он отложен в файл ") +
                    report.setAside + QStringLiteral(", начат новый журнал"));
    emit synced(report);
    if (again_ && !stop_.load()) {
        again_ = false;
        startRound();
    }
}

void Journal::waitForSync()
{
    // A start left for later comes now: its first round is part of what is waited for.
    if (following_ && !started_)
        start();
    for (;;) {
        {
            QMutexLocker lock(&mutex_);
            while (workerBusy_)
                idle_.wait(&mutex_);
        }
        QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
        if (!running_)
            return;
    }
}

void Journal::watch(const QString& folder)
{
    if (!watcher_ || folder == watched_)
        return;
    if (!watched_.isEmpty())
        watcher_->removePath(watched_);
    watched_.clear();
    if (!folder.isEmpty() && QFileInfo(folder).isDir() && watcher_->addPath(folder))
        watched_ = folder;
}

void Journal::watchDatabase(const QString& folder)
{
    if (!database_)
        return;
    if (folder != databaseFolder_) {
        if (const QStringList watched = database_->files() + database_->directories();
            !watched.isEmpty())
            database_->removePaths(watched);
        databaseFolder_ = folder;
    }
    if (folder.isEmpty())
        return;
    const QString file = JournalStore::FileIn(folder);
    for (const QString& path : {folder, file, file + QStringLiteral("-wal")}) {
        if (!database_->files().contains(path) && !database_->directories().contains(path) &&
            QFileInfo::exists(path))
            database_->addPath(path);
    }
}

void Journal::databaseChanged()
{
    // A write-ahead log made since, or a database set aside and made anew, is watched too.
    watchDatabase(databaseFolder_);
    // This journal's own round says what it wrote when it ends (synced); a change told after
    // it ended that leaves the files as the round left them was the round's own.
    if (running_ || changeQueued_)
        return;
    const QString stamp = databaseStamp();
    if (stamp == databaseStamp_)
        return;
    databaseStamp_ = stamp;
    // Told a little after the first change of a burst (another program's round writes its log
    // many times a second), so that a window reads the journal a few times a second at most
    // while the other program writes, and once more after its last write.
    changeQueued_ = true;
    QTimer::singleShot(kChangeSettles, this, [this] {
        changeQueued_ = false;
        if (!running_)
            emit changedElsewhere();
    });
}

QString Journal::databaseStamp() const
{
    if (databaseFolder_.isEmpty())
        return QString();
    QString stamp;
    const QString file = JournalStore::FileIn(databaseFolder_);
    for (const QString& path : {file, file + QStringLiteral("-wal")}) {
        const QFileInfo info(path);
        stamp += QStringLiteral("%1:%2;")
                     .arg(info.size())
                     .arg(info.exists() ? info.lastModified().toMSecsSinceEpoch() : -1);
    }
    return stamp;
}

void Journal::fault(const QString& text)
{
    // Once while the journal cannot be written, whatever the step that found it.
    if (failing_)
        return;
    failing_ = true;
    emit notice(text);
}

void Journal::dropPending()
{
    if (!pending_.isEmpty())
        QFile::remove(pending_);
    pending_.clear();
}

void Journal::written(const RequestKind& kind, const QString& workFile)
{
    dropPending();
    const QString folder = CurrentFolder();
    if (folder.isEmpty())
        return;
    const QString spool = SpoolFolderOf(folder);
    if (!QDir().mkpath(spool)) {
        fault(QStringLiteral("Журнал отправок не записан: каталог не создан: ") + spool);
        return;
    }
    // The process's own name: a client and command-line programs share the spool.
    const QString pending = JoinPath(
        spool,
        QStringLiteral(".%1-%2.part").arg(QCoreApplication::applicationPid()).arg(++sequence_));
    QFile::remove(pending);
    const QByteArray from = QFile::encodeName(workFile);
    int error = ::link(from.constData(), QFile::encodeName(pending).constData()) == 0 ? 0 : errno;
    // Another file system (the journal's folder is a link), or one without links: a copy.
    if (error == EXDEV || error == EPERM || error == EOPNOTSUPP || error == EMLINK)
        error = copyPrivately(workFile, pending);
    if (error) {
        fault(QStringLiteral("Журнал отправок не записан: ") + systemText(error));
        return;
    }
    pending_ = pending;
    pendingKind_ = kind.nameText();
    pendingParticipant_ = DefaultParticipant();
}

void Journal::placed(const QString& target)
{
    if (pending_.isEmpty())
        return;
    const QString name = SpoolName(QDateTime::currentDateTime(), sequence_, pendingKind_,
                                   pendingParticipant_, QFileInfo(target).fileName());
    const QString final = JoinPath(QFileInfo(pending_).path(), name);
    if (::rename(QFile::encodeName(pending_).constData(), QFile::encodeName(final).constData()) !=
        0) {
        fault(QStringLiteral("Журнал отправок не записан: ") + systemText(errno));
        dropPending();
        return;
    }
    pending_.clear();
    sync();
}

void Journal::notPlaced()
{
    dropPending();
}

} // namespace varnel::journal
