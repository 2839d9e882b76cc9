#pragma once

#include "core/ChildWindow.h"
#include "reconcile/ReconcileModels.h"
#include "ui/WindowPlacement.h"

#include <QList>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTableView;

namespace varnel {

class DateLineEdit;

// "Сверка с файлом": a back office's table of deals reconciled with the sending journal. The
// file, its kind and the period above, with the counts of each state; the deals of the file
// (and those it lacks) filtered by state; the requests of the deal chosen below. The deals not
// sent or rejected go to a new report of the kind through Actions; the list to a workbook or a
// CSV file. The reconciliation runs beside the window with its progress.
class frmReconcile : public PlacedChildWidget, public ChildWindow {
    Q_OBJECT
public:
    struct Actions {
        // A new report window of the kind holding these deals (field cells, column 1 onwards).
        std::function<void(ReportKind kind, const QList<QStringList>& deals)> send;
    };

    explicit frmReconcile(Actions actions, QWidget* parent = nullptr);
    ~frmReconcile() override;

    // ChildWindow
    ChildKind childKind() const override { return ChildKind::Reconcile; }

    reconcile::LineListModel& lines() { return lines_; }
    reconcile::SentRequestModel& requests() { return requests_; }
    const reconcile::ReconcileResult* result() const { return result_.get(); }
    QTableView* lvLines() const { return lvLines_; }
    QTableView* lvRequests() const { return lvRequests_; }
    QPushButton* button(const QString& name) const;
    QString countsText() const;
    QString lineText() const;

    // The kind and the period as the user sets them (a null date: taken from the file).
    void setKind(ReportKind kind);
    ReportKind kind() const;
    void setPeriod(const QDate& from, const QDate& to);
    // Lists only the lines of the state; all of them when none is given.
    void setStateFilter(std::optional<reconcile::State> state);
    void selectLine(int row);

    // Puts the window where its record says, once it is in the frame.

public slots:
    // Asks for a file and reconciles it; nothing when the user cancels.
    void chooseFile();
    // Reconciles the file (again); true when it was done.
    bool reconcileFile(const QString& path);
    void sendUnsent();
    // Saves the lines shown in a workbook, or a CSV file when the name chosen ends in .csv.
    void exportLines();

protected:
private:
    void build();
    void showResult();
    void showCurrentLine();
    void fillStates();

    Actions actions_;
    std::unique_ptr<reconcile::ReconcileResult> result_;
    reconcile::LineListModel lines_;
    reconcile::SentRequestModel requests_;
    QString path_;

    QComboBox* cbKind_ = nullptr;
    QLabel* lblFile_ = nullptr;
    QCheckBox* chkPeriod_ = nullptr;
    DateLineEdit* dtFrom_ = nullptr;
    DateLineEdit* dtTo_ = nullptr;
    QPushButton* cmdOpen_ = nullptr;
    QPushButton* cmdAgain_ = nullptr;
    QLabel* lblCounts_ = nullptr;
    QComboBox* cbState_ = nullptr;
    QTableView* lvLines_ = nullptr;
    QLabel* lblLine_ = nullptr;
    QTableView* lvRequests_ = nullptr;
    QPushButton* cmdSend_ = nullptr;
    QPushButton* cmdExport_ = nullptr;
};

} // namespace varnel
