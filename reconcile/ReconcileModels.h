#pragma once

#include "reconcile/Reconcile.h"

#include <QAbstractTableModel>
#include <QList>

namespace varnel::reconcile {

// The lines of a reconciliation as the window lists them, those of one state or all: the cells
// of ReconcileTable, so that the list shows what the export writes.
class LineListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit LineListModel(QObject* parent = nullptr);

    // Shows the lines of the result (kept by the caller for as long as the model shows it).
    void show(const ReconcileResult* result);
    // Only the lines of the state; all of them when none is given.
    void setFilter(std::optional<State> state);
    std::optional<State> filter() const { return filter_; }

    // The indexes of the lines listed, in the result's lines.
    const QList<int>& shown() const { return shown_; }
    const Line* line(int row) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    void select();

    const ReconcileResult* result_ = nullptr;
    std::optional<State> filter_;
    QList<int> shown_;
    QStringList titles_;
};

// The requests of one line, oldest first, with what the registry said of the deal in each; the
// one the line takes its state from in bold.
class SentRequestModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { File, Sent, Number, Outcome, RegistryId, Receipt, Message, ColumnCount };

    explicit SentRequestModel(QObject* parent = nullptr);
    void show(const Line* line);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    const Line* line_ = nullptr;
};

// What the registry said of a deal in one request: "принята", "отклонена", "ждет ответа",
// "принята, удалена в реестре".
QString OutcomeText(const SentRequest& request);

} // namespace varnel::reconcile
