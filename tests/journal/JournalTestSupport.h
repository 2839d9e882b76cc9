#pragma once

// The journal suite's fixture: a program folder with its work, send and receive folders, a
// started journal, the send pipeline driven with scripted answers, and the journal's state as
// text to compare.

#include "core/Dialogs.h"
#include "journal/Journal.h"
#include "journal/JournalModels.h"
#include "journal/JournalStore.h"
#include "messages/SendPipeline.h"
#include "messages/SimpleData.h"
#include "tests/support/ProgramFolder.h"
#include "tests/support/ScriptedDialogs.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSignalSpy>
#include <QStringEncoder>
#include <QTest>

#include <algorithm>
#include <memory>

namespace varnel::testing {

// A program folder whose journal runs: requests are sent through the pipeline (every question
// answered Yes), answers are written into the receive folder, and each step waits for the
// journal's rounds to end.
class JournalFixture {
public:
    // The options name the participant given.
    explicit JournalFixture(const QString& participant = QStringLiteral("MC0001200000"))
        : folder_({QStringLiteral("[Main]"), QStringLiteral("Participant=") + participant,
                   QStringLiteral("[Path]"), QStringLiteral("FolderWork=.\\work"),
                   QStringLiteral("FolderSend=.\\send"),
                   QStringLiteral("FolderReceive=.\\receive")})
    {
    }

    const TestProgramFolder& folder() const { return folder_; }
    journal::Journal& journal() { return *journal_; }
    ScriptedDialogs& dialogs() { return dialogs_; }
    QString journalFolder() const { return folder_.work(QStringLiteral("journal")); }

    // Starts the journal and waits for its first round.
    void start()
    {
        journal_ = std::make_unique<journal::Journal>();
        notices_ = std::make_unique<QSignalSpy>(journal_.get(), &journal::Journal::notice);
        journal_->start();
        journal_->waitForSync();
    }
    void stop()
    {
        notices_.reset();
        journal_.reset();
    }

    // The notices the journal gave so far.
    QStringList notices() const
    {
        QStringList texts;
        for (const QList<QVariant>& args : *notices_)
            texts << args.at(0).toString();
        return texts;
    }

    // Sends a request through the pipeline and waits for the journal; returns the name the
    // request got in the send folder, empty when it was not sent.
    QString send(const QString& name, const RequestData& data = {})
    {
        dialogs_.answer(Answer::Yes);
        dialogs_.answer(Answer::Ok);
        SendRequest(name, data);
        if (journal_)
            journal_->waitForSync();
        const QString text = dialogs_.last().text;
        const QString sent = name + QStringLiteral(" отправлен:\r\n");
        const qsizetype at = text.indexOf(sent);
        return at < 0 ? QString() : QFileInfo(text.mid(at + sent.size())).fileName();
    }

    // A report of deals given as Participant, Issue, Agreement, Reference, TradeDate, Price.
    static SimpleReportTable Report(const QList<QStringList>& deals, bool repo = false)
    {
        SimpleReportTable table(
            {QString(), QStringLiteral("name=Participant"), QStringLiteral("name=Issue"),
             QStringLiteral("name=Agreement"), QStringLiteral("name=Reference"),
             QStringLiteral("name=TradeDate;type=D"), QStringLiteral("name=Price;type=N")},
            repo);
        int n = 0;
        for (const QStringList& deal : deals)
            table.addRow(QStringList{QString::number(++n)} + deal);
        return table;
    }

    // Writes an answer into the receive folder (Windows-1251, CR LF) and waits for the journal
    // to take it in.
    void receive(const QString& name, const QString& text, const QByteArray& header = {},
                 const QByteArray& trailer = {})
    {
        drop(name, text, header, trailer);
        round();
    }
    // Writes an answer without a round; modified, when given, is its file time.
    void drop(const QString& name, const QString& text, const QByteArray& header = {},
              const QByteArray& trailer = {}, const QDateTime& modified = {})
    {
        QStringEncoder cp1251("windows-1251");
        QString lines = text;
        lines.replace(u'\n', QStringLiteral("\r\n"));
        const QString path = folder_.receive(name);
        QVERIFY(WriteBytes(path, header + cp1251.encode(lines) + trailer));
        if (modified.isValid()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(modified, QFileDevice::FileModificationTime));
        }
    }
    // One round of the journal, to its end.
    void round()
    {
        journal_->sync();
        journal_->waitForSync();
    }

    // The journal as text, oldest request first: each request with its counts and its
    // refusal or notice, then its deals with their results.
    QString dump(journal::RequestFilter::Status status = journal::RequestFilter::Status::All)
    {
        journal::JournalStore store(journal::JournalStore::FileIn(journalFolder()));
        if (!store.open(false))
            return QStringLiteral("<no journal>");
        journal::RequestFilter filter;
        filter.status = status;
        QList<journal::RequestEntry> list = store.requests(filter);
        std::reverse(list.begin(), list.end());
        QStringList lines;
        for (const journal::RequestEntry& r : list) {
            lines << QStringLiteral("%1 %2: %3 deals, %4 accepted, %5 rejected, %6 waiting%7")
                         .arg(r.kind, r.answerOnly ? r.file : names_.value(r.file, r.file))
                         .arg(r.deals)
                         .arg(r.accepted)
                         .arg(r.rejected)
                         .arg(r.answerOnly ? 0 : r.waiting())
                         .arg(r.text.isEmpty() ? QString() : QStringLiteral(" | ") + r.text);
            if (r.answerOnly)
                continue;
            for (const journal::DealEntry& d : store.deals(r.id, 0, 1000))
                lines << QStringLiteral("  ") +
                             QStringLiteral("%1 %2 %3 %4 %5 %6")
                                 .arg(d.n)
                                 .arg(d.agreement.isEmpty() ? d.target : d.agreement, d.reference,
                                      journal::ResultText(d), d.registryId, d.code)
                                 .simplified();
        }
        return lines.join(u'\n');
    }

    // Names the request file in dumps, for files whose names are made at random.
    void name(const QString& file, const QString& label) { names_.insert(file, label); }

private:
    TestProgramFolder folder_;
    ScriptedDialogs dialogs_;
    std::unique_ptr<journal::Journal> journal_;
    std::unique_ptr<QSignalSpy> notices_;
    QHash<QString, QString> names_;
};

// A receipt of the shape the registry answers a deal report with.
inline QString Receipt(const QString& root, const QString& request, const QStringList& rows,
                       const QString& more = QString())
{
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\n<") + root +
           QStringLiteral(" Language=\"RU\" Created=\"2024-03-15T10:42:07\" Request=\"") + request +
           u'"' + more + QStringLiteral(">\n") + rows.join(u'\n') +
           (rows.isEmpty() ? QString() : QStringLiteral("\n")) + QStringLiteral("</") + root +
           QStringLiteral(">\n");
}

} // namespace varnel::testing
