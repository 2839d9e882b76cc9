#pragma once

#include "journal/JournalStore.h"
#include "journal/JournalTypes.h"

#include <QAbstractTableModel>
#include <QList>
#include <QStringList>

namespace varnel::journal {

// The list of the journal: requests newest first (or the answers that match none), with their
// time, kind, file, deals, accepted, rejected and waiting.
class RequestListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Time, Kind, File, Deals, Accepted, Rejected, Waiting, ColumnCount };

    explicit RequestListModel(QObject* parent = nullptr);

    // Reads the list anew; an empty list when the journal has no database yet. A list that
    // cannot be read is failed (StoreOutcome) and leaves the list as it was.
    varnel::Outcome reload(JournalStore* store, const RequestFilter& filter);
    void clear();

    const RequestEntry& entry(int row) const { return rows_.at(row); }
    int rows() const { return int(rows_.size()); }
    // The row of the request (or answer) of that id, -1 when it is not listed.
    int rowOf(qint64 id, bool answerOnly) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    QList<RequestEntry> rows_;
};

// The deals of one request with their results, read from the journal a page at a time as the
// view scrolls.
class DealListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        Number,
        Agreement,
        Reference,
        Participant,
        Issue,
        Direction,
        Outcome,
        RegistryId,
        Message,
        ColumnCount
    };
    static constexpr int kPage = 500;

    explicit DealListModel(QObject* parent = nullptr);

    // Shows the deals of the request (none for an answer without request). Deals that cannot
    // be read are failed (StoreOutcome) and leave the list as it was.
    varnel::Outcome show(JournalStore* store, const RequestEntry& request);
    void clear();

    const DealEntry& deal(int row) const { return rows_.at(row); }
    int rows() const { return int(rows_.size()); }
    qint64 request() const { return request_; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    // A page failing to read ends the list there.
    void fetchMore(const QModelIndex& parent) override;

private:
    JournalStore* store_ = nullptr;
    qint64 request_ = 0;
    int total_ = 0;
    QList<DealEntry> rows_;
};

// The texts the list and the deals show.
QString SentTimeText(const QString& isoTime);
QString RequestKindTitle(const RequestEntry& entry);
QString ResultText(const DealEntry& deal);
// The participant of a request: the one its deals name, "разные участники" when they name
// several, else the options' participant when it was sent; empty when none is known.
QString ParticipantText(const RequestEntry& entry);

// What the journal hands on, free of widgets.
// Rejected deals not corrected since, as the rows of their request (for a report of the same
// kind to correct).
QList<Attributes> FieldsOf(const QList<DealEntry>& deals);
// The revocation list of accepted deals not revoked yet, by their registry numbers: for
// deals Id, Agreement, Reference, Participant and an empty reason; for repo deals one row for
// each part not revoked yet (I, then S): Id, Agreement, Reference, Direction, Participant.
QList<QStringList> RevocationRowsOf(const QList<DealEntry>& deals, bool repo);

} // namespace varnel::journal
