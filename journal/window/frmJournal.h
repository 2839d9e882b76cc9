#pragma once

#include "core/ChildWindow.h"
#include "journal/JournalModels.h"
#include "journal/JournalStore.h"
#include "journal/JournalSync.h"
#include "messages/RequestKinds.h"
#include "ui/WindowPlacement.h"

#include <QList>
#include <QStringList>
#include <QWidget>

#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTableView;

namespace varnel {

class DateLineEdit;

namespace journal {
class Journal;
}

// "Журнал отправок": a view over the sending journal. The requests newest first above (time,
// kind, file, deals, accepted, rejected, waiting), filtered by a period and a state; the deals of
// the request chosen below with their results. From there the rejected deals of a report go to
// a new report window of its kind, the accepted deals chosen to the revocation dialog of their
// kind, the answer to the message viewer, the list to a workbook, and a back office's file to its
// reconciliation with the journal. The window does none of
// that itself: the main window's parts do it through Actions.
class frmJournal : public PlacedChildWidget, public ChildWindow {
    Q_OBJECT
public:
    struct Actions {
        // A new report window of the kind holding these deals (the rows of a request).
        std::function<void(ReportKind kind, const QList<journal::Attributes>& deals)> correct;
        // The revocation dialog of the kind (repo or not) holding these rows.
        std::function<void(bool repo, const QList<QStringList>& rows)> revoke;
        // The answer in the message viewer.
        std::function<void(const QString& path)> openAnswer;
        // A back office's file reconciled with the journal.
        std::function<void()> reconcile;
    };

    frmJournal(journal::Journal& journal, Actions actions, QWidget* parent = nullptr);
    ~frmJournal() override;

    // ChildWindow
    ChildKind childKind() const override { return ChildKind::Journal; }

    journal::RequestListModel& requests() { return requests_; }
    journal::DealListModel& deals() { return deals_; }
    QTableView* lvRequests() const { return lvRequests_; }
    QTableView* lvDeals() const { return lvDeals_; }
    QPushButton* button(const QString& name) const;
    QString stateText() const;
    QString requestText() const;

    // The filter as the user sets it.
    void setFilter(journal::RequestFilter::Status status, const QDate& from = {},
                   const QDate& to = {});
    journal::RequestFilter filter() const;
    // Chooses a request of the list, and deals of its list.
    void selectRequest(int row);
    void selectDeals(const QList<int>& rows);
    // The current request; null when none is chosen.
    const journal::RequestEntry* currentRequest() const;

    // Puts the window where its record says, once it is in the frame.

public slots:
    // Reads the list again, keeping the request chosen.
    void refresh();
    // Chooses the newest request, now and once the round the journal runs has ended: the
    // window opened (or brought back) by its command shows what was sent last.
    void showNewest();
    // Asks the journal to take in what has come.
    void takeInAnswers();
    void correctRejected();
    void revokeAccepted();
    void openAnswer();
    // Saves the list as shown (its filter applied) in a workbook, or a CSV file when the name
    // chosen ends in .csv.
    void exportList();

protected:
private:
    void build();
    void followJournal();
    void showCurrentRequest();
    void updateButtons();
    void showState();
    // Runs a read of the journal; false when it failed, its text then in problem_. A damaged
    // database is handed to the journal to set aside.
    bool read(const std::function<Outcome()>& action);
    bool openStore();

    journal::Journal& journal_;
    Actions actions_;
    journal::JournalStore* store_ = nullptr;
    journal::RequestListModel requests_;
    journal::DealListModel deals_;
    QString folder_;
    QString problem_;
    bool newest_ = false; // choose the newest request until the journal's round has ended

    QCheckBox* chkPeriod_ = nullptr;
    DateLineEdit* dtFrom_ = nullptr;
    DateLineEdit* dtTo_ = nullptr;
    QComboBox* cbStatus_ = nullptr;
    QPushButton* cmdRefresh_ = nullptr;
    QTableView* lvRequests_ = nullptr;
    QLabel* lblRequest_ = nullptr;
    QTableView* lvDeals_ = nullptr;
    QPushButton* cmdCorrect_ = nullptr;
    QPushButton* cmdRevoke_ = nullptr;
    QPushButton* cmdOpenAnswer_ = nullptr;
    QPushButton* cmdExport_ = nullptr;
    QPushButton* cmdReconcile_ = nullptr;
    QLabel* lblState_ = nullptr;
};

} // namespace varnel
