#pragma once

#include "DealStore.h"
#include "Handbook.h"
#include "Log.h"
#include "Request.h"
#include "Texts.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <atomic>
#include <functional>

namespace loopback {

class RequestReader;
class RowSpool;

struct RegistryOptions {
    QString send;     // the folder the client places its requests in
    QString receive;  // the folder the answers go to
    QString archive;  // requests taken, answers kept, the database and the log
    QString handbook; // the handbook served; empty: the newest in the archive's handbook folder
    int retryDelayMs = 5000;
};

// The registry's side of the road for one program folder. Each request is taken from the send
// folder by moving it into the archive (so that it is answered once, also across restarts and
// beside a second registry), read as a stream, judged against every deal accepted before and
// answered with one document. The answer is kept in the archive together with the changes it
// reports, in one transaction, and then delivered into the receive folder under a hidden name
// and renamed into place. Whatever cannot be done now (a folder gone, a full disk, a locked
// database) is logged and tried again on a later round; nothing is lost and nothing answered
// twice.
class Registry {
public:
    Registry(const RegistryOptions& options, Log& log);
    ~Registry();
    Registry(const Registry&) = delete;
    Registry& operator=(const Registry&) = delete;

    // Makes the archive's folders, opens the database and picks up what an earlier run left
    // half done. False with a reason when the archive cannot be used at all.
    bool start(QString& error);
    void stop();

    // One round: the handbook looked at, waiting answers delivered, waiting requests answered,
    // then every request of the send folder. Answers how many requests were answered.
    int poll();
    // Nothing waits for another try.
    bool idle() const;

    // Checked between requests and between rows: a request interrupted so is left unanswered
    // in the archive and answered on the next start.
    void setStopFlag(const std::atomic_bool* stop) { stop_ = stop; }
    void setRetryDelay(int ms) { options_.retryDelayMs = ms; }

    QString requestsFolder() const;
    QString answersFolder() const;
    QString handbookFolder() const;
    QString databasePath() const;
    QString logPath() const;
    const Handbook& handbook() const { return handbook_; }

    // The archive name of a request taken at that moment: time, process, a counter and the
    // name it had in the send folder.
    static QString RequestNameOf(const QString& archiveName);

private:
    enum class Outcome { Answered, Retry, Dropped, Stopped };
    struct Plan {
        QByteArray head; // declaration and document element
        std::unique_ptr<RowSpool> rows;
        QByteArray tail;
        QString copyOf; // a handbook served as it is
        QString summary;
    };
    struct Waiting {
        QString archiveName;
        QDeadlineTimer due;
    };

    void refreshHandbook();
    void deliverWaiting();
    void answerWaiting();
    void takeFromSendFolder();
    void recoverLeftovers();
    bool claim(const QString& name, QString& archiveName);
    bool finishClaim(const QString& claimPath, const QString& archiveName);
    QString newArchiveName(const QString& name);

    Outcome answer(const QString& archiveName);
    Outcome judge(RequestReader& reader, const QString& requestName, Plan& plan);
    // Judges a request's rows one at a time (judgeRow makes the row's answer line and says
    // whether the row was accepted), then makes the answer's head and tail around them.
    using RowJudge =
        std::function<bool(const Attributes& row, int n, const QString& at, QByteArray& line)>;
    Outcome judgeRows(RequestReader& reader, RequestKind kind, Language language,
                      const QString& languageText, const QString& replyType,
                      const QString& requestName, Plan& plan, const RowJudge& judgeRow);
    Outcome judgeDeals(RequestReader& reader, RequestKind kind, Language language,
                       const QString& languageText, const QString& requestName, Plan& plan);
    Outcome judgeRevocations(RequestReader& reader, RequestKind kind, Language language,
                             const QString& languageText, const QString& replyType,
                             const QString& requestName, Plan& plan);
    void refuse(const KindInfo* shape, Language language, const QString& languageText,
                const QString& replyType, const QString& requestName, const Message& message,
                Plan& plan);
    // The rows of a request judged up to a fault of its own: what they did to the store is
    // undone and the whole request refused; Retry when the file could not be read.
    Outcome refuseUnread(RequestReader& reader, RequestKind kind, Language language,
                         const QString& languageText, const QString& replyType,
                         const QString& requestName, Plan& plan);
    // Keeps an answer row in the plan's spool; false (noted) when the spool cannot take it.
    bool keepRow(Plan& plan, const QByteArray& line);
    bool deliver(const DealStore::Answered& answered);

    // Logs a condition once while it lasts, and once more when it ends.
    void note(const QString& key, const QString& text);
    void clear(const QString& key, const QString& text);
    bool stopping() const { return stop_ && stop_->load(); }

    RegistryOptions options_;
    Log& log_;
    DealStore store_;
    Handbook handbook_;
    const std::atomic_bool* stop_ = nullptr;
    QList<Waiting> waiting_;                     // taken, not answered yet
    QHash<QString, QDeadlineTimer> deliveryDue_; // answered, delivery failed
    QSet<QString> notes_;
    int counter_ = 0;
    bool started_ = false;
    bool claimsLeft_ = false;
    int answeredThisRound_ = 0;
};

} // namespace loopback
