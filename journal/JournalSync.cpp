#include "journal/JournalSync.h"

#include "core/Error.h"
#include "journal/JournalDocuments.h"
#include "journal/JournalStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <algorithm>

namespace varnel::journal {
namespace {

const QString kStamp = QStringLiteral("yyyyMMddHHmmsszzz");

class Round {
public:
    Round(const SyncJob& job, const std::atomic_bool* stop, SyncReport& report)
        : job_(job), stop_(stop), report_(report), store_(JournalStore::FileIn(job.folder))
    {
        store_.stopWhen(stop);
    }

    void run()
    {
        if (!QDir().mkpath(SpoolFolderOf(job_.folder))) {
            report_.failure = QStringLiteral("каталог журнала не создан: ") + job_.folder;
            return;
        }
        try {
            openStore();
            if (job_.check) {
                const QString problem = store_.check();
                if (!problem.isEmpty())
                    throw StoreError(StoreError::Kind::Corrupt, problem);
            }
            work();
        } catch (const StoreError& e) {
            // A damaged journal is set aside once and the round done again on a new one.
            if (!e.corrupt() || !report_.setAside.isEmpty() || !setAside()) {
                report_.failure = e.text();
                return;
            }
            try {
                openStore();
                work();
            } catch (const StoreError& again) {
                report_.failure = again.text();
            }
        }
    }

private:
    // Whether the round is to stop now, between files; notes it in the report. Stopping is no
    // failure: nothing is raised for it.
    bool stopping()
    {
        if (stop_ && stop_->load())
            report_.stopped = true;
        return report_.stopped;
    }

    // Whether the store stopped its last write between rows (and undid it); notes it.
    bool writeStopped()
    {
        if (store_.stopped())
            report_.stopped = true;
        return report_.stopped;
    }

    void openStore()
    {
        try {
            store_.open(true);
        } catch (const StoreError& e) {
            if (!e.corrupt())
                throw;
            if (!setAside())
                throw StoreError(StoreError::Kind::Unavailable,
                                 e.text() + QStringLiteral(" (отложить его не удалось)"));
            store_.open(true);
        }
    }

    bool setAside()
    {
        store_.close();
        report_.setAside = SetAsideDatabase(store_.path());
        return !report_.setAside.isEmpty();
    }

    void work()
    {
        recordSpool();
        if (!report_.stopped)
            takeAnswers();
    }

    void recordSpool()
    {
        QDir spool(SpoolFolderOf(job_.folder));
        const QStringList names = spool.entryList(QDir::Files, QDir::Name);
        for (const QString& name : names) {
            if (stopping())
                return;
            const std::optional<SpoolEntry> entry = ParseSpoolName(name);
            const QString path = spool.filePath(name);
            if (!entry)
                continue; // not the pipeline's; left alone
            try {
                RequestDocumentReader reader(path);
                int n = 0;
                store_.recordRequest(entry->kind, entry->file, entry->sent, entry->participant,
                                     [&](DealEntry& deal) {
                                         Attributes row;
                                         if (!reader.next(row))
                                             return false;
                                         deal = DealOfRow(++n, std::move(row));
                                         return true;
                                     });
            } catch (const Error&) {
                // The document is the pipeline's own, so this is a file damaged since: the
                // request is recorded all the same, without its deals.
                store_.recordRequest(entry->kind, entry->file, entry->sent, entry->participant,
                                     [](DealEntry&) { return false; });
            }
            if (writeStopped())
                return; // the request stays in the spool for the next round
            QFile::remove(path);
            store_.forgetUnmatchedAnswers(entry->file);
            ++report_.recorded;
        }
    }

    void takeAnswers()
    {
        if (job_.receive.isEmpty() || !QFileInfo(job_.receive).isDir())
            return;
        QFileInfoList files = QDir(job_.receive).entryInfoList(QDir::Files, QDir::NoSort);
        // Oldest first, so that a later answer to the same request has the last word.
        std::stable_sort(files.begin(), files.end(), [](const QFileInfo& a, const QFileInfo& b) {
            const qint64 ta = a.lastModified().toMSecsSinceEpoch();
            const qint64 tb = b.lastModified().toMSecsSinceEpoch();
            return ta != tb ? ta < tb : a.fileName() < b.fileName();
        });
        const QSet<QString> known = store_.knownAnswers();
        for (const QFileInfo& info : files) {
            if (stopping())
                return;
            // A link is not followed, whatever it leads to.
            if (info.isSymLink())
                continue;
            const AnswerFile file{info.absoluteFilePath(), info.size(),
                                  info.lastModified().toMSecsSinceEpoch()};
            if (known.contains(JournalStore::AnswerKey(file)))
                continue;
            takeAnswer(file);
        }
    }

    void takeAnswer(const AnswerFile& file)
    {
        try {
            AnswerReader reader(file.path);
            const AnswerHead& head = reader.head();
            if (head.kind == AnswerKind::None) {
                store_.keepUnreadable(file, QStringLiteral("не ответ реестра: ") + head.root);
                return;
            }
            const qint64 request = store_.matchRequest(head, file.path);
            store_.takeAnswer(file, head, request,
                              [&](AnswerRow& row) { return reader.next(row); });
            if (writeStopped())
                return; // read again by the next round
            ++report_.taken;
        } catch (const Error& e) {
            store_.keepUnreadable(file, e.description());
        }
    }

    const SyncJob& job_;
    const std::atomic_bool* stop_;
    SyncReport& report_;
    JournalStore store_;
};

} // namespace

SyncReport RunSync(const SyncJob& job, const std::atomic_bool* stop)
{
    SyncReport report;
    if (job.folder.isEmpty())
        return report;
    Round(job, stop, report).run();
    return report;
}

QString SpoolFolderOf(const QString& journalFolder)
{
    return journalFolder + QStringLiteral("/spool");
}

QString SpoolName(const QDateTime& placed, int sequence, const QString& kind,
                  const QString& participant, const QString& file)
{
    // Only letters, digits, "-" and "~" of the participant stay as they are.
    const QByteArray code = QUrl::toPercentEncoding(participant.left(40), QByteArray(), "_.");
    return placed.toString(kStamp) + u'_' + QStringLiteral("%1").arg(sequence, 4, 10, QChar(u'0')) +
           u'_' + kind + u'_' + QString::fromLatin1(code) + u'_' + file;
}

std::optional<SpoolEntry> ParseSpoolName(const QString& name)
{
    QStringList parts;
    qsizetype from = 0;
    for (int i = 0; i < 4; ++i) {
        const qsizetype bar = name.indexOf(u'_', from);
        if (bar < 0)
            return std::nullopt;
        parts << name.mid(from, bar - from);
        from = bar + 1;
    }
    const QDateTime placed = QDateTime::fromString(parts.at(0), kStamp);
    const QString file = name.mid(from);
    if (!placed.isValid() || parts.at(2).isEmpty() || file.isEmpty())
        return std::nullopt;
    SpoolEntry entry;
    entry.sent = placed.toString(Qt::ISODateWithMs);
    entry.kind = parts.at(2);
    entry.participant = QString::fromUtf8(QByteArray::fromPercentEncoding(parts.at(3).toLatin1()));
    entry.file = file;
    return entry;
}

QString SetAsideDatabase(const QString& path)
{
    const QString aside =
        path + QStringLiteral(".damaged-") +
        QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    if (QFileInfo::exists(path) && !QFile::rename(path, aside))
        return QString();
    // The log belongs to the damaged file; the shared memory index is made anew.
    if (QFileInfo::exists(path + QStringLiteral("-wal")))
        QFile::rename(path + QStringLiteral("-wal"), aside + QStringLiteral("-wal"));
    QFile::remove(path + QStringLiteral("-shm"));
    return aside;
}

} // namespace varnel::journal
