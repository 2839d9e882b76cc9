#pragma once

#include "core/ReportTable.h"

#include <QAbstractTableModel>
#include <QList>
#include <QStringList>

namespace varnel {

enum class RevocationKind {
    Deal, // ordinary deals: Id, Agreement, Reference, Participant, Reason
    Repo  // one part of a repo deal each: Id, Agreement, Reference, Direction, Participant
};

// The list of a revocation dialog: rows of five texts in the order they were added, shown by
// the dialog's view and read by the document writers as they stand. The repo list also
// carries the reply type the dialog attaches on sending.
class RevocationModel : public QAbstractTableModel, public RevocationList {
    Q_OBJECT

public:
    static constexpr int kColumns = 5;

    explicit RevocationModel(RevocationKind kind, QObject* parent = nullptr);

    RevocationKind kind() const { return kind_; }

    // The view's side. Without a default argument here, rowCount() on the model is the list's.
    int rowCount(const QModelIndex& parent) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    bool removeRows(int row, int count, const QModelIndex& parent = QModelIndex()) override;

    // The writers' side.
    int rowCount() const override { return int(rows_.size()); }
    QString cell(int row, int column) const override;
    QString replyType() const override { return replyType_; }

    void setReplyType(const QString& replyType) { replyType_ = replyType; }
    // Appends a row; missing texts are empty, texts beyond the fifth are ignored.
    void appendRow(const QStringList& cells);
    // Overwrites the first cells of a row (all five, or four to keep the last one).
    void replaceCells(int row, const QStringList& cells);
    // The five texts of a row.
    QStringList row(int r) const { return rows_.value(r); }

private:
    static QStringList padded(const QStringList& cells);

    RevocationKind kind_;
    QList<QStringList> rows_;
    QString replyType_;
};

} // namespace varnel
