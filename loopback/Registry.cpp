#include "Registry.h"

#include "Answer.h"
#include "FileOps.h"
#include "RequestReader.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <memory>
#include <optional>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace loopback {

namespace {

// The longest request name the archive keeps: its archive name (time, process and counter in
// front) and the hidden name of its answer there must fit the file system's 255 bytes.
constexpr qsizetype kMaxRequestNameBytes = 190;

// DL1A2B.xml -> DL1A2B.msg
QString answerNameOf(const QString& name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    return (dot > 0 ? name.left(dot) : name) + QStringLiteral(".msg");
}

bool processAlive(qint64 pid)
{
    if (pid <= 0)
        return false;
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

// The process that made a hidden file ".<name>.<pid>.<n>.part"; 0 when the name is not one.
qint64 partOwner(const QString& name)
{
    if (!name.startsWith(u'.') || !name.endsWith(QStringLiteral(".part")))
        return 0;
    const QStringList pieces = name.split(u'.');
    if (pieces.size() < 5)
        return 0;
    return pieces.at(pieces.size() - 3).toLongLong();
}

// The process field of an archive name.
qint64 archiveOwner(const QString& archiveName)
{
    const QStringList pieces = archiveName.split(u'-');
    return pieces.size() >= 5 ? pieces.at(2).toLongLong() : 0;
}

} // namespace

Registry::Registry(const RegistryOptions& options, Log& log) : options_(options), log_(log) {}

Registry::~Registry()
{
    stop();
}

QString Registry::requestsFolder() const
{
    return options_.archive + QStringLiteral("/requests");
}

QString Registry::answersFolder() const
{
    return options_.archive + QStringLiteral("/answers");
}

QString Registry::handbookFolder() const
{
    return options_.archive + QStringLiteral("/handbook");
}

QString Registry::databasePath() const
{
    return options_.archive + QStringLiteral("/loopback.sqlite");
}

QString Registry::logPath() const
{
    return options_.archive + QStringLiteral("/loopback.log");
}

QString Registry::RequestNameOf(const QString& archiveName)
{
    qsizetype at = -1;
    for (int i = 0; i < 4; ++i) {
        at = archiveName.indexOf(u'-', at + 1);
        if (at < 0)
            return archiveName;
    }
    return archiveName.mid(at + 1);
}

QString Registry::newArchiveName(const QString& name)
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmsszzz")) + u'-' +
           QString::number(::getpid()) + u'-' + QString::number(++counter_) + u'-' + name;
}

void Registry::note(const QString& key, const QString& text)
{
    if (notes_.contains(key))
        return;
    notes_.insert(key);
    log_.line(text);
}

void Registry::clear(const QString& key, const QString& text)
{
    if (notes_.remove(key) && !text.isEmpty())
        log_.line(text);
}

bool Registry::start(QString& error)
{
    for (const QString& folder :
         {options_.archive, requestsFolder(), answersFolder(), handbookFolder()}) {
        if (!QDir().mkpath(folder)) {
            error = QStringLiteral("cannot make the archive folder %1").arg(folder);
            return false;
        }
    }
    log_.setFile(logPath());
    try {
        store_.open(databasePath());
    } catch (const StoreError& e) {
        error = e.text();
        return false;
    }
    if (options_.handbook.isEmpty())
        handbook_.setFolder(handbookFolder());
    else
        handbook_.setFile(options_.handbook);
    log_.line(QStringLiteral("loopback registry started: send %1, receive %2, archive %3")
                  .arg(options_.send, options_.receive, options_.archive));
    started_ = true;
    refreshHandbook();
    if (!handbook_.loaded())
        log_.line(QStringLiteral("no handbook yet: securities are not checked and GetIssueList is "
                                 "refused; put one into %1 or give --handbook")
                      .arg(options_.handbook.isEmpty() ? handbookFolder() : options_.handbook));
    recoverLeftovers();
    return true;
}

void Registry::stop()
{
    if (!started_)
        return;
    started_ = false;
    store_.close();
    log_.line(QStringLiteral("loopback registry stopped"));
}

void Registry::recoverLeftovers()
{
    // Hidden files a stopped run was writing: never complete, never under a final name.
    for (const QString& folder : {requestsFolder(), answersFolder(), options_.receive}) {
        const QStringList hidden =
            QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
        for (const QString& name : hidden) {
            const qint64 owner = partOwner(name);
            if (owner > 0 && !processAlive(owner))
                QFile::remove(folder + u'/' + name);
        }
    }
    // Requests moved across file systems half-way: the hidden copy in the send folder still
    // holds the whole request.
    claimsLeft_ = true;
    // Requests taken and not answered yet.
    const QStringList taken = QDir(requestsFolder()).entryList(QDir::Files, QDir::Name);
    for (const QString& name : taken) {
        try {
            if (!store_.answered(name))
                waiting_.append({name, QDeadlineTimer(0)});
        } catch (const StoreError& e) {
            waiting_.append({name, QDeadlineTimer(0)});
        }
    }
}

int Registry::poll()
{
    if (!started_)
        return 0;
    answeredThisRound_ = 0;
    refreshHandbook();
    deliverWaiting();
    answerWaiting();
    takeFromSendFolder();
    return answeredThisRound_;
}

bool Registry::idle() const
{
    return waiting_.isEmpty() && deliveryDue_.isEmpty() && !claimsLeft_ &&
           !notes_.contains(QStringLiteral("send")) && !notes_.contains(QStringLiteral("receive"));
}

void Registry::refreshHandbook()
{
    QString reason;
    switch (handbook_.refresh(reason)) {
    case Handbook::Change::None: break;
    case Handbook::Change::Loaded:
        log_.line(
            QStringLiteral("handbook %1: %2 issues").arg(handbook_.path()).arg(handbook_.size()));
        break;
    case Handbook::Change::Failed:
        log_.line(
            QStringLiteral("handbook %1 cannot be used: %2")
                .arg(options_.handbook.isEmpty() ? handbookFolder() : options_.handbook, reason));
        break;
    case Handbook::Change::Gone:
        log_.line(QStringLiteral("no handbook: securities are not checked, the handbook is not "
                                 "served"));
        break;
    }
}

void Registry::deliverWaiting()
{
    QList<DealStore::Answered> list;
    try {
        list = store_.undelivered();
        clear(QStringLiteral("db"), QString());
    } catch (const StoreError& e) {
        note(QStringLiteral("db"), QStringLiteral("database: %1; trying again").arg(e.text()));
        return;
    }
    for (const DealStore::Answered& answered : list) {
        if (stopping())
            return;
        const auto due = deliveryDue_.constFind(answered.archiveName);
        if (due != deliveryDue_.constEnd() && !due->hasExpired())
            continue;
        if (deliver(answered))
            deliveryDue_.remove(answered.archiveName);
        else
            deliveryDue_.insert(answered.archiveName, QDeadlineTimer(options_.retryDelayMs));
    }
}

void Registry::answerWaiting()
{
    for (qsizetype i = 0; i < waiting_.size();) {
        if (stopping())
            return;
        if (!waiting_.at(i).due.hasExpired()) {
            ++i;
            continue;
        }
        const QString name = waiting_.at(i).archiveName;
        switch (answer(name)) {
        case Outcome::Answered:
        case Outcome::Dropped: waiting_.removeAt(i); break;
        case Outcome::Retry:
            waiting_[i].due = QDeadlineTimer(options_.retryDelayMs);
            ++i;
            break;
        case Outcome::Stopped: return;
        }
    }
}

bool Registry::finishClaim(const QString& claimPath, const QString& archiveName)
{
    HiddenFile copy;
    int result = copy.create(requestsFolder(), archiveName);
    if (result == 0)
        result = copy.append(claimPath);
    if (result == 0)
        result = copy.finish();
    if (result == 0)
        result = copy.place(archiveName, false);
    if (result != 0 && result != EEXIST) {
        note(QStringLiteral("claim:") + archiveName,
             QStringLiteral("request %1 cannot be copied into the archive: %2; it waits in the "
                            "send folder as %3")
                 .arg(RequestNameOf(archiveName), ErrorText(result), claimPath));
        claimsLeft_ = true;
        return false;
    }
    notes_.remove(QStringLiteral("claim:") + archiveName);
    QFile::remove(claimPath);
    SyncFolder(QFileInfo(claimPath).absolutePath());
    return result == 0;
}

bool Registry::claim(const QString& name, QString& archiveName)
{
    const QString from = options_.send + u'/' + name;
    archiveName = newArchiveName(name);
    int result = MoveNoReplace(from, requestsFolder() + u'/' + archiveName);
    if (result == 0) {
        SyncFolder(requestsFolder());
        SyncFolder(options_.send);
        return true;
    }
    if (result == ENOENT) // taken by another registry
        return false;
    if (result != EXDEV) {
        note(QStringLiteral("take:") + name, QStringLiteral("request %1 cannot be taken from the "
                                                            "send folder: %2; trying again")
                                                 .arg(name, ErrorText(result)));
        return false;
    }
    // Across file systems: a hidden name in the send folder first, so that no other registry
    // takes the request meanwhile, then a copy into the archive.
    const QString claimPath =
        options_.send + QStringLiteral("/.") + archiveName + QStringLiteral(".claim");
    result = MoveNoReplace(from, claimPath);
    if (result != 0) {
        if (result != ENOENT)
            note(QStringLiteral("take:") + name,
                 QStringLiteral("request %1 cannot be taken from the send folder: %2; trying "
                                "again")
                     .arg(name, ErrorText(result)));
        return false;
    }
    return finishClaim(claimPath, archiveName);
}

void Registry::takeFromSendFolder()
{
    const QFileInfo send(options_.send);
    if (!send.isDir()) {
        note(QStringLiteral("send"),
             QStringLiteral("send folder %1 is missing; waiting for it").arg(options_.send));
        return;
    }
    clear(QStringLiteral("send"), QStringLiteral("send folder %1 is back").arg(options_.send));
    if (!QFileInfo(requestsFolder()).isDir() && !QDir().mkpath(requestsFolder())) {
        note(QStringLiteral("archive"), QStringLiteral("archive folder %1 cannot be made; requests "
                                                       "stay in the send folder")
                                            .arg(requestsFolder()));
        return;
    }
    clear(QStringLiteral("archive"), QString());

    if (claimsLeft_) {
        claimsLeft_ = false;
        const QStringList hidden =
            QDir(options_.send)
                .entryList({QStringLiteral(".*.claim")}, QDir::Files | QDir::Hidden, QDir::Name);
        for (const QString& claimName : hidden) {
            const QString archiveName = claimName.mid(1, claimName.size() - 7);
            const qint64 owner = archiveOwner(archiveName);
            if (owner != ::getpid() && processAlive(owner))
                continue; // another registry is copying it
            const QString claimPath = options_.send + u'/' + claimName;
            if (QFileInfo::exists(requestsFolder() + u'/' + archiveName)) {
                QFile::remove(claimPath); // the copy was complete
                continue;
            }
            if (finishClaim(claimPath, archiveName))
                waiting_.append({archiveName, QDeadlineTimer(0)});
        }
        answerWaiting();
    }

    // The names as the file system keeps them: a name its encoding cannot hold would not be
    // listed at all otherwise, and never taken nor told of.
    struct Entry {
        QString name;
        qint64 modified = 0;
    };
    QList<Entry> entries;
    for (const QByteArray& raw : FolderNames(options_.send)) {
        if (raw.startsWith('.'))
            continue; // a hidden file: written under a name of its own, not a request yet
        const QString name = QFile::decodeName(raw);
        if (QFile::encodeName(name) != raw) {
            const QString shown = QString::fromLatin1(raw.toPercentEncoding(" ._-()"));
            note(QStringLiteral("encoding:") + shown,
                 QStringLiteral("%1 in the send folder has a name that is not valid in the file "
                                "system's encoding; left there")
                     .arg(shown));
            continue;
        }
        struct stat st {};
        const QByteArray path = QFile::encodeName(options_.send) + '/' + raw;
        if (::lstat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        entries.append({name, qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000});
    }
    // In the order they arrived; equal times by name.
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        return a.modified != b.modified ? a.modified < b.modified : a.name < b.name;
    });
    for (const Entry& entry : entries) {
        if (stopping())
            return;
        const QString& name = entry.name;
        if (QFileInfo(name).suffix().compare(u"xml", Qt::CaseInsensitive) != 0) {
            note(QStringLiteral("other:") + name,
                 QStringLiteral("%1 in the send folder is not a request; left there").arg(name));
            continue;
        }
        const qsizetype bytes = QFile::encodeName(name).size();
        if (bytes > kMaxRequestNameBytes) {
            note(QStringLiteral("long:") + name,
                 QStringLiteral("%1 in the send folder has a name too long to be kept in the "
                                "archive (%2 bytes, at most %3); left there")
                     .arg(name)
                     .arg(bytes)
                     .arg(kMaxRequestNameBytes));
            continue;
        }
        // A request is taken once it is complete: nobody writes it any more.
        if (IsBeingWritten(options_.send + u'/' + name))
            continue;
        QString archiveName;
        if (!claim(name, archiveName))
            continue;
        notes_.remove(QStringLiteral("take:") + name);
        switch (answer(archiveName)) {
        case Outcome::Answered:
        case Outcome::Dropped: break;
        case Outcome::Retry:
            waiting_.append({archiveName, QDeadlineTimer(options_.retryDelayMs)});
            break;
        case Outcome::Stopped: waiting_.append({archiveName, QDeadlineTimer(0)}); return;
        }
    }
}

Registry::Outcome Registry::answer(const QString& archiveName)
{
    const QString requestName = RequestNameOf(archiveName);
    const QString path = requestsFolder() + u'/' + archiveName;
    const QString stagedName = answerNameOf(archiveName);
    const QString stagedPath = answersFolder() + u'/' + stagedName;
    const QString dbKey = QStringLiteral("db");
    // The transaction and the request's file are held by owners: whatever way the judging
    // ends (a request left for later, a database that fails half-way), the transaction is
    // rolled back and the file closed.
    std::optional<StoreTransaction> transaction;
    try {
        transaction.emplace(store_);
    } catch (const StoreError& e) {
        note(dbKey, QStringLiteral("database: %1; request %2 waits in the archive")
                        .arg(e.text(), requestName));
        return Outcome::Retry;
    }
    Plan plan;
    try {
        // Another registry on the same archive may have answered it meanwhile.
        if (store_.answered(archiveName))
            return Outcome::Dropped;
        store_.mark();
        const OpenFile file(::open(QFile::encodeName(path).constData(),
                                   O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        const int openError = file.fd() < 0 ? errno : 0;
        struct stat st {};
        if (openError == ENOENT) {
            log_.line(QStringLiteral("request %1 is gone from the archive (%2); not answered")
                          .arg(requestName, path));
            return Outcome::Dropped;
        }
        if (openError == ELOOP ||
            (file.fd() >= 0 && (::fstat(file.fd(), &st) != 0 || !S_ISREG(st.st_mode)))) {
            refuse(KindByFileName(requestName), Language::RU, QString(), QString(), requestName,
                   MakeMessage(Code::S98, Language::RU,
                               FormatFaultText(FormatFault::NotRegular, Language::RU)),
                   plan);
        } else if (openError != 0) {
            note(QStringLiteral("read:") + archiveName,
                 QStringLiteral("request %1 cannot be read: %2; trying again")
                     .arg(requestName, ErrorText(openError)));
            return Outcome::Retry;
        } else {
            RequestReader reader(file.fd());
            const Outcome outcome = judge(reader, requestName, plan);
            if (outcome == Outcome::Retry && reader.ioError() != 0)
                note(QStringLiteral("read:") + archiveName,
                     QStringLiteral("request %1 cannot be read: %2; trying again")
                         .arg(requestName, ErrorText(reader.ioError())));
            if (outcome == Outcome::Stopped)
                log_.line(QStringLiteral("request %1 left unanswered in the archive: stopping")
                              .arg(requestName));
            if (outcome != Outcome::Answered)
                return outcome;
        }

        // The answer is kept in the archive first, in the same transaction as the deals it
        // reports: a crash before the commit leaves the request unanswered, after it the
        // answer is delivered again from here.
        HiddenFile staged;
        int result = staged.create(answersFolder(), stagedName);
        if (result == 0 && !plan.copyOf.isEmpty()) {
            result = staged.append(plan.copyOf);
        } else if (result == 0) {
            result = staged.write(plan.head);
            if (result == 0 && plan.rows)
                result = plan.rows->writeTo(staged);
            if (result == 0)
                result = staged.write(plan.tail);
        }
        if (result == 0)
            result = staged.finish();
        if (result == 0)
            result = staged.place(stagedName, true);
        if (result != 0) {
            note(QStringLiteral("stage:") + archiveName,
                 QStringLiteral("request %1 waits unanswered in the archive: the answer cannot be "
                                "written to %2: %3; trying again")
                     .arg(requestName, answersFolder(), ErrorText(result)));
            return Outcome::Retry;
        }
        store_.recordAnswered(
            {archiveName, requestName, answerNameOf(requestName), stagedPath, QString()},
            CreatedText());
        transaction->commit();
    } catch (const StoreError& e) {
        note(dbKey, QStringLiteral("database: %1; request %2 waits in the archive")
                        .arg(e.text(), requestName));
        return Outcome::Retry;
    }
    notes_.remove(QStringLiteral("stage:") + archiveName);
    notes_.remove(QStringLiteral("read:") + archiveName);
    clear(dbKey, QString());
    ++answeredThisRound_;
    log_.line(QStringLiteral("request %1: %2").arg(requestName, plan.summary));

    const DealStore::Answered answered{archiveName, requestName, answerNameOf(requestName),
                                       stagedPath, QString()};
    if (!deliver(answered))
        deliveryDue_.insert(archiveName, QDeadlineTimer(options_.retryDelayMs));
    return Outcome::Answered;
}

bool Registry::deliver(const DealStore::Answered& answered)
{
    const QString key = QStringLiteral("deliver:") + answered.archiveName;
    if (!QFileInfo(options_.receive).isDir()) {
        note(QStringLiteral("receive"),
             QStringLiteral("receive folder %1 is missing; answers wait in the archive")
                 .arg(options_.receive));
        return false;
    }
    clear(QStringLiteral("receive"),
          QStringLiteral("receive folder %1 is back").arg(options_.receive));
    if (!IsPlainFile(answered.staged)) {
        note(key, QStringLiteral("answer %1 to %2 is missing from the archive (%3)")
                      .arg(answered.answerName, answered.request, answered.staged));
        return false;
    }
    const QString base = answered.answerName;
    const QString stem = base.left(base.size() - 4);
    HiddenFile copy;
    bool copied = false;
    QString delivered;
    // The name of the request, unless an older answer of another request holds it: that one
    // stays, and this answer takes the next free name.
    for (int n = 1; n < 10000 && delivered.isEmpty(); ++n) {
        const QString name =
            n == 1 ? base : stem + u'_' + QString::number(n) + QStringLiteral(".msg");
        const QString target = options_.receive + u'/' + name;
        if (QFileInfo::exists(target) || QFileInfo(target).isSymLink()) {
            if (IsPlainFile(target) && SameContent(target, answered.staged))
                delivered = name; // delivered before the record of it was kept
            continue;
        }
        int result = 0;
        if (!copied) {
            result = copy.create(options_.receive, base);
            if (result == 0)
                result = copy.append(answered.staged);
            if (result == 0)
                result = copy.finish();
            copied = result == 0;
        }
        if (result == 0)
            result = copy.place(name, false);
        if (result == EEXIST)
            continue;
        if (result != 0) {
            note(key, QStringLiteral("answer %1 to %2 cannot be placed in %3: %4; it waits in the "
                                     "archive")
                          .arg(base, answered.request, options_.receive, ErrorText(result)));
            return false;
        }
        delivered = name;
    }
    if (delivered.isEmpty())
        return false;
    try {
        store_.recordDelivered(answered.archiveName, delivered, CreatedText());
    } catch (const StoreError& e) {
        note(QStringLiteral("db"), QStringLiteral("database: %1").arg(e.text()));
        return false;
    }
    notes_.remove(key);
    log_.line(QStringLiteral("answer %1 to %2 placed in %3")
                  .arg(delivered, answered.request, options_.receive));
    return true;
}

} // namespace loopback
