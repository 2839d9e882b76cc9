#pragma once

#include "journal/JournalSync.h"
#include "messages/RequestWatch.h"

#include <QMutex>
#include <QObject>
#include <QString>
#include <QWaitCondition>

#include <atomic>

class QFileSystemWatcher;
class QThread;

namespace varnel::journal {

// The sending journal of the running client. It watches the send pipeline (each request placed
// is linked into the journal's spool before it is moved, so the very document that went out
// is recorded) and the receive folder (a watch of the folder, no polling), and runs its rounds
// (RunSync) on a thread of its own, so that a big receipt never stops the window. It only
// looks: a journal that cannot be written leaves every send as it was, and says so once while
// the condition lasts (notice), for the main window's status bar.
class Journal : public QObject, public RequestWatcher {
    Q_OBJECT
public:
    explicit Journal(QObject* parent = nullptr);
    ~Journal() override;

    // Becomes the pipeline's watcher, watches the receive folder and asks for a first round,
    // which also reads the database over once.
    void start();
    // Becomes the pipeline's watcher at once and leaves the rest of start() (the watch and the
    // first round) for later: for start(), or for a waitForSync() that comes first. The main
    // window follows the requests from its start and starts the rest once it has painted.
    void followRequests();

    // The journal's folder of the work folder the settings name: <work folder>/journal; empty
    // when no work folder is set or it does not exist.
    static QString CurrentFolder();
    // The receive folder its answers are taken from; empty when the settings name none.
    static QString CurrentReceiveFolder();

    // True while a round runs or is asked for.
    bool busy() const { return running_ || again_; }

    // RequestWatcher
    void written(const RequestKind& kind, const QString& workFile) override;
    void placed(const QString& target) override;
    void notPlaced() override;

public slots:
    // Asks for a round in the background; asked while one runs, another follows it.
    void sync();
    // Asks for a round that reads the database over first (a view found it damaged).
    void checkAndSync();
    // Waits until no round runs or is asked for and its results have been handed out: the
    // end of what was asked, for the tests and for whoever needs the journal up to date.
    void waitForSync();

signals:
    void syncStarted();
    void synced(const varnel::journal::SyncReport& report);
    // A text for the main window's status bar: the journal cannot be written (once while that
    // lasts), or it was damaged and set aside.
    void notice(const QString& text);
    // The journal's database changed outside this journal's rounds: another program on the same
    // program folder (the client, a varnel-cli) recorded a request or took an answer in. What
    // shows the journal reads it again. A burst of changes is told a few times a second at most,
    // and after its last change.
    void changedElsewhere();

private:
    void startRound();
    void finishRound(const SyncReport& report);
    void watch(const QString& folder);
    // Watches the journal's folder, its database and its write-ahead log (made later, by
    // whichever program writes first).
    void watchDatabase(const QString& folder);
    void databaseChanged();
    // The size and time of the database and its log: what this journal's last round left.
    QString databaseStamp() const;
    void fault(const QString& text);
    void dropPending();

    QThread* thread_ = nullptr;
    QObject* worker_ = nullptr; // lives on thread_
    QFileSystemWatcher* watcher_ = nullptr;
    QString watched_;
    QFileSystemWatcher* database_ = nullptr;
    QString databaseFolder_;
    QString databaseStamp_;
    bool changeQueued_ = false;
    bool started_ = false;
    bool following_ = false; // followRequests() without start() yet
    bool running_ = false;
    bool again_ = false;
    bool checkNext_ = true;
    std::atomic_bool stop_{false};
    QMutex mutex_;
    QWaitCondition idle_;
    bool workerBusy_ = false; // guarded by mutex_
    bool failing_ = false;    // said so, and no round has succeeded since

    // The request being placed: its link in the spool until it is placed or not.
    QString pending_;
    QString pendingKind_;
    QString pendingParticipant_;
    int sequence_ = 0;
};

} // namespace varnel::journal
