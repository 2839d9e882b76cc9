#pragma once

#include <QDateTime>
#include <QString>

#include <atomic>
#include <optional>

namespace varnel::journal {

// What one round of the journal does: the requests placed since the last round recorded, then
// the answers of the receive folder not seen before taken in.
struct SyncJob {
    QString folder;     // the journal's folder (<work folder>/journal)
    QString receive;    // the receive folder; empty: none
    bool check = false; // read the whole database over first
};

struct SyncReport {
    QString failure;  // why the journal could not be written or read; empty when it could
    QString setAside; // a damaged database moved to this file, a new journal begun
    int recorded = 0; // requests recorded
    int taken = 0;    // answers taken in
    bool stopped = false;
};

// Runs one round on the calling thread, with a connection of its own; stops between files and
// rows once stop is set. Nothing is lost by a failure or a stop: a request waiting in the spool
// stays there, and an answer not taken in is read again by the next round.
SyncReport RunSync(const SyncJob& job, const std::atomic_bool* stop = nullptr);

// The spool: a link to each request document the send pipeline placed, named for when and as
// what it was placed, until a round records it.
QString SpoolFolderOf(const QString& journalFolder);
QString SpoolName(const QDateTime& placed, int sequence, const QString& kind,
                  const QString& participant, const QString& file);
struct SpoolEntry {
    QString sent; // yyyy-MM-ddTHH:mm:ss.zzz
    QString kind;
    QString participant;
    QString file;
};
std::optional<SpoolEntry> ParseSpoolName(const QString& name);

// Moves a damaged database (and its log) aside as <file>.damaged-<time>; returns the new name,
// empty when it could not be moved.
QString SetAsideDatabase(const QString& path);

} // namespace varnel::journal
