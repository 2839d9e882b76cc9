#pragma once

#include "messages/RequestData.h"

#include <QList>
#include <QStringList>

namespace varnel {

// A report table held in memory: column descriptors and rows of cell texts. A row shorter
// than the column list reads as empty cells.
class SimpleReportTable : public ReportTable {
public:
    SimpleReportTable() = default;
    explicit SimpleReportTable(QStringList descriptors, bool repo = false)
        : descriptors_(std::move(descriptors)), repo_(repo)
    {
    }

    void setColumns(QStringList descriptors) { descriptors_ = std::move(descriptors); }
    void setRepo(bool repo) { repo_ = repo; }
    void addRow(QStringList cells) { rows_.append(std::move(cells)); }
    void clearRows() { rows_.clear(); }

    int columnCount() const override { return int(descriptors_.size()); }
    QString columnDescriptor(int column) const override { return descriptors_.value(column); }
    int rowCount() const override { return int(rows_.size()); }
    QString cell(int row, int column) const override
    {
        if (row < 0 || row >= rows_.size())
            return QString();
        const QStringList& cells = rows_.at(row);
        return column >= 0 && column < cells.size() ? cells.at(column) : QString();
    }
    const QStringList* rowCells(int row) const override
    {
        return row >= 0 && row < rows_.size() ? &rows_.at(row) : nullptr;
    }
    bool isRepo() const override { return repo_; }

private:
    QStringList descriptors_;
    QList<QStringList> rows_;
    bool repo_ = false;
};

// A revocation list held in memory: rows of five texts and the reply type of the repo list.
class SimpleRevocationList : public RevocationList {
public:
    SimpleRevocationList() = default;
    explicit SimpleRevocationList(QString replyType) : replyType_(std::move(replyType)) {}

    void setReplyType(QString replyType) { replyType_ = std::move(replyType); }
    // Missing texts are empty; texts beyond the fifth are ignored.
    void addRow(QStringList cells);
    void clearRows() { rows_.clear(); }

    int rowCount() const override { return int(rows_.size()); }
    QString cell(int row, int column) const override { return rows_.value(row).value(column); }
    QString replyType() const override { return replyType_; }

private:
    QList<QStringList> rows_;
    QString replyType_;
};

} // namespace varnel
