#include "handbook/PickModel.h"

#include "core/XmlLoad.h"
#include "handbook/PickCollation.h"

#include <QHashFunctions>

#include <algorithm>
#include <limits>
#include <new>
#include <numeric>

namespace varnel {

struct PickModel::SearchText {
    int column = -1;
    bool stale = true;
    LargeVector<char16_t> text;
    LargeVector<quint32> starts; // where each row's cell begins, in list order
};

struct PickModel::ColumnOrder {
    LargeVector<int> ascending;    // document indexes in ascending order
    LargeVector<bool> sameAsPrior; // the text equals the one before it in `ascending`
};

PickModel::PickModel(QObject* parent)
    : QAbstractTableModel(parent), search_(std::make_unique<SearchText>())
{
}

PickModel::~PickModel() = default;

void PickModel::setColumns(const QList<PickColumn>& columns)
{
    beginResetModel();
    columns_ = columns;
    rows_ = 0;
    text_.clear();
    starts_.assign(1, 0);
    order_.clear();
    position_.clear();
    attributeHint_.assign(std::size_t(columns_.size()), 0);
    imageColumn_ = -1;
    dropCaches();
    endResetModel();
}

void PickModel::clearRows()
{
    if (filling_)
        return;
    // Rows go without a reset, so the header keeps its column widths.
    if (rows_ > 0)
        beginRemoveRows(QModelIndex(), 0, rows_ - 1);
    const bool removed = rows_ > 0;
    rows_ = 0;
    text_.clear();
    starts_.assign(1, 0);
    order_.clear();
    position_.clear();
    dropCaches();
    if (removed)
        endRemoveRows();
}

void PickModel::dropCaches()
{
    orders_.clear();
    orders_.resize(std::size_t(columns_.size()));
    search_->stale = true;
    search_->text.clear();
    search_->starts.clear();
}

void PickModel::beginRows(qint64 expectedBytes)
{
    if (filling_)
        return;
    filling_ = true;
    firstNewRow_ = rows_;
    expectedBytes_ = expectedBytes;
    sampleBytes_ = 0;
    if (starts_.empty())
        starts_.assign(1, 0);
}

namespace {

void Append(LargeVector<char16_t>& to, QStringView text)
{
    to.insert(to.end(), text.utf16(), text.utf16() + text.size());
}

// Rows read before the storage is reserved for the whole file.
constexpr int kSampleRows = 256;

} // namespace

void PickModel::appendElement(const XmlElement& element)
{
    const auto& attributes = element.attributes;
    const int count = int(attributes.size());
    if (expectedBytes_ > 0 && rows_ - firstNewRow_ < kSampleRows) {
        // An element takes about its names and values, a blank, "=" and two quotes each.
        sampleBytes_ += element.name.size() + 6;
        for (const auto& a : attributes)
            sampleBytes_ += a.first.size() + a.second.size() + 4;
        if (rows_ - firstNewRow_ == kSampleRows - 1 && sampleBytes_ > 0) {
            const double rowsExpected = double(expectedBytes_) / sampleBytes_ * kSampleRows;
            const double scale = rowsExpected / kSampleRows * 1.1;
            const double chars = double(text_.size()) * scale;
            const double cells = double(starts_.size()) * scale;
            if (chars < double(std::numeric_limits<quint32>::max()) && cells < 1e9) {
                text_.reserve(std::size_t(chars) + 16);
                starts_.reserve(std::size_t(cells) + 16);
            }
        }
    }
    for (int c = 0; c < int(columns_.size()); ++c) {
        const QString& name = columns_.at(c).name;
        int found = -1;
        int& hint = attributeHint_[std::size_t(c)];
        if (hint < count && attributes.at(hint).first == name) {
            found = hint;
        } else if (!name.isEmpty()) {
            for (int a = 0; a < count; ++a) {
                if (attributes.at(a).first == name) {
                    found = a;
                    hint = a;
                    break;
                }
            }
        }
        if (found >= 0) {
            const QString& value = attributes.at(found).second;
            if (value.size() > 259)
                Append(text_, ShortenedCell(value));
            else
                Append(text_, value);
        }
        pushCellEnd();
    }
    ++rows_;
}

void PickModel::pushCellEnd()
{
    // Cells are found by 32-bit offsets: far more text than any memory holds as a list.
    if (text_.size() >= std::size_t(std::numeric_limits<quint32>::max()))
        throw std::bad_alloc();
    starts_.push_back(quint32(text_.size()));
}

void PickModel::appendRow(const QStringList& cells)
{
    for (int c = 0; c < int(columns_.size()); ++c) {
        if (c < cells.size())
            Append(text_, cells.at(c));
        pushCellEnd();
    }
    ++rows_;
}

void PickModel::endRows()
{
    if (!filling_)
        return;
    const bool inserted = rows_ > firstNewRow_;
    // Views learn of the new rows at once, while they still count the old ones.
    if (inserted)
        beginInsertRows(QModelIndex(), firstNewRow_, rows_ - 1);
    filling_ = false;
    order_.reserve(std::size_t(rows_));
    position_.reserve(std::size_t(rows_));
    for (int i = firstNewRow_; i < rows_; ++i) {
        order_.push_back(i);
        position_.push_back(int(order_.size()) - 1);
    }
    dropCaches();
    if (inserted)
        endInsertRows();
}

QStringView PickModel::documentCell(int index, int column) const
{
    const std::size_t cell =
        std::size_t(index) * std::size_t(columns_.size()) + std::size_t(column);
    const qsizetype from = starts_[cell];
    return QStringView(text_.data() + from, qsizetype(starts_[cell + 1] - from));
}

QStringView PickModel::cellAt(int row, int column) const
{
    if (row < 0 || row >= rowCount() || column < 0 || column >= columns_.size())
        return {};
    return documentCell(order_[std::size_t(row)], column);
}

QStringList PickModel::rowCells(int row) const
{
    QStringList cells;
    for (int c = 0; c < int(columns_.size()); ++c)
        cells.append(cellAt(row, c).toString());
    return cells;
}

const PickModel::ColumnOrder& PickModel::orderOf(int column)
{
    std::unique_ptr<ColumnOrder>& cached = orders_[std::size_t(column)];
    if (cached)
        return *cached;

    // Each distinct text is ranked once: a handbook repeats its issuers, types and currencies
    // thousands of times. The texts are told apart in an open-addressing table of row numbers,
    // which allocates once, whatever the number of rows.
    LargeVector<int> uniqueOf(static_cast<std::size_t>(rows_));
    LargeVector<QStringView> uniques;
    uniques.reserve(std::size_t(rows_));
    {
        std::size_t capacity = 16;
        while (capacity < std::size_t(rows_) * 2)
            capacity *= 2;
        LargeVector<int> table(capacity, -1); // unique index, or -1 for an empty slot
        const std::size_t mask = capacity - 1;
        for (int i = 0; i < rows_; ++i) {
            const QStringView cell = documentCell(i, column);
            std::size_t slot = qHash(cell) & mask;
            while (table[slot] >= 0 && uniques[std::size_t(table[slot])] != cell)
                slot = (slot + 1) & mask;
            if (table[slot] < 0) {
                table[slot] = int(uniques.size());
                uniques.push_back(cell);
            }
            uniqueOf[std::size_t(i)] = table[slot];
        }
    }
    const LargeVector<int> uniqueRank = CollationRanks(uniques);
    const int rankCount =
        uniqueRank.empty() ? 0 : *std::max_element(uniqueRank.begin(), uniqueRank.end()) + 1;

    // Rows by rank, each rank in document order.
    LargeVector<int> firstOfRank(std::size_t(rankCount) + 1, 0);
    for (int i = 0; i < rows_; ++i)
        ++firstOfRank[std::size_t(uniqueRank[std::size_t(uniqueOf[std::size_t(i)])]) + 1];
    std::partial_sum(firstOfRank.begin(), firstOfRank.end(), firstOfRank.begin());
    auto order = std::make_unique<ColumnOrder>();
    order->ascending.resize(std::size_t(rows_));
    order->sameAsPrior.assign(std::size_t(rows_), true);
    for (int r = 0; r < rankCount; ++r) {
        if (firstOfRank[std::size_t(r)] < rows_)
            order->sameAsPrior[std::size_t(firstOfRank[std::size_t(r)])] = false;
    }
    LargeVector<int> next(firstOfRank.begin(), firstOfRank.end() - 1);
    for (int i = 0; i < rows_; ++i) {
        const int rank = uniqueRank[std::size_t(uniqueOf[std::size_t(i)])];
        order->ascending[std::size_t(next[std::size_t(rank)]++)] = i;
    }
    cached = std::move(order);
    return *cached;
}

void PickModel::sortByColumn(int column, bool ascending)
{
    if (column < 0 || column >= columns_.size() || filling_)
        return;
    const ColumnOrder& sorted = orderOf(column);
    LargeVector<int> order;
    if (ascending) {
        order = sorted.ascending;
    } else {
        // Groups of equal texts from the last to the first, each in document order.
        order.reserve(sorted.ascending.size());
        std::size_t end = sorted.ascending.size();
        while (end > 0) {
            std::size_t begin = end - 1;
            while (begin > 0 && sorted.sameAsPrior[begin])
                --begin;
            order.insert(order.end(), sorted.ascending.begin() + std::ptrdiff_t(begin),
                         sorted.ascending.begin() + std::ptrdiff_t(end));
            end = begin;
        }
    }
    applyOrder(std::move(order));
}

void PickModel::applyOrder(LargeVector<int> order)
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    QList<int> documentIndexes;
    documentIndexes.reserve(before.size());
    for (const QModelIndex& index : before)
        documentIndexes.append(order_[std::size_t(index.row())]);

    order_ = std::move(order);
    search_->stale = true;
    for (std::size_t row = 0; row < order_.size(); ++row)
        position_[std::size_t(order_[row])] = int(row);

    QModelIndexList after;
    after.reserve(before.size());
    for (qsizetype i = 0; i < before.size(); ++i)
        after.append(index(position_[std::size_t(documentIndexes.at(i))], before.at(i).column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void PickModel::setSortImage(int column, const QIcon& image)
{
    const int previous = imageColumn_;
    imageColumn_ = column;
    image_ = image;
    if (previous >= 0 && previous < columns_.size())
        emit headerDataChanged(Qt::Horizontal, previous, previous);
    if (column >= 0 && column < columns_.size())
        emit headerDataChanged(Qt::Horizontal, column, column);
}

namespace {

// A character upper-cased one for one, as the system's upper-casing of a text does it (a
// letter whose capital is two letters stays).
inline char16_t UpperUnit(char16_t c)
{
    if (c < 0x80)
        return c >= u'a' && c <= u'z' ? char16_t(c - 0x20) : c;
    if (c >= 0x430 && c <= 0x44F) // а-я
        return char16_t(c - 0x20);
    if (c >= 0x450 && c <= 0x45F) // ѐ-џ, ё among them
        return char16_t(c - 0x50);
    if (QChar::isSurrogate(c))
        return c;
    const char32_t upper = QChar::toUpper(char32_t(c));
    return upper <= 0xFFFF ? char16_t(upper) : c;
}

template <typename Text> void AppendUpper(Text& to, QStringView text)
{
    const std::size_t at = std::size_t(to.size());
    to.resize(qsizetype(at) + text.size());
    char16_t* out = reinterpret_cast<char16_t*>(to.data()) + at;
    for (const QChar c : text)
        *out++ = UpperUnit(c.unicode());
}

} // namespace

void PickModel::prepareSearch(int column) const
{
    if (search_->column == column && !search_->stale)
        return;
    // The column's cells upper-cased, in list order, each after a NUL: one search of this text
    // finds the first matching row, and no match runs from one cell into the next.
    search_->column = column;
    search_->stale = false;
    search_->text.clear();
    search_->starts.assign(std::size_t(rows_), 0);
    qsizetype length = 0;
    for (int i = 0; i < rows_; ++i)
        length += documentCell(i, column).size() + 1;
    search_->text.reserve(std::size_t(length) + 1);
    for (int row = 0; row < rows_; ++row) {
        search_->text.push_back(u'\0');
        search_->starts[std::size_t(row)] = quint32(search_->text.size());
        AppendUpper(search_->text, documentCell(order_[std::size_t(row)], column));
    }
    search_->text.push_back(u'\0');
}

int PickModel::findRow(int column, const QString& needle, bool inside, int from) const
{
    if (column < 0 || column >= columns_.size() || filling_ || from >= rows_)
        return -1;
    QString pattern;
    if (!inside)
        pattern += QChar(u'\0');
    QString text = needle;
    text.remove(QChar(u'\0'));
    if (text.isEmpty())
        return -1;
    AppendUpper(pattern, text);
    prepareSearch(column);
    const auto& starts = search_->starts;
    const qsizetype start = starts[std::size_t(std::max(from, 0))] - (inside ? 0 : 1);
    const QStringView all(search_->text.data(), qsizetype(search_->text.size()));
    const qsizetype found = all.indexOf(pattern, start);
    if (found < 0)
        return -1;
    const qsizetype cellStart = inside ? found : found + 1;
    // The row whose cell holds the match: the last that starts at or before it.
    const auto it = std::upper_bound(starts.begin(), starts.end(), cellStart);
    return int(it - starts.begin()) - 1;
}

int PickModel::rowOfDocumentIndex(int index) const
{
    if (index < 0 || index >= int(position_.size()))
        return -1;
    return position_[std::size_t(index)];
}

int PickModel::documentIndexOf(int row) const
{
    if (row < 0 || row >= int(order_.size()))
        return -1;
    return order_[std::size_t(row)];
}

int PickModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    return filling_ ? firstNewRow_ : rows_;
}

int PickModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(columns_.size());
}

namespace {

Qt::Alignment AlignmentOf(PickColumn::Align align)
{
    switch (align) {
    case PickColumn::Align::Left: return Qt::AlignLeft | Qt::AlignVCenter;
    case PickColumn::Align::Right: return Qt::AlignRight | Qt::AlignVCenter;
    case PickColumn::Align::Center: return Qt::AlignHCenter | Qt::AlignVCenter;
    }
    return Qt::AlignLeft | Qt::AlignVCenter;
}

} // namespace

QVariant PickModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columns_.size())
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole: return cellAt(index.row(), index.column()).toString();
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(AlignmentOf(columns_.at(index.column()).align));
    default: return {};
    }
}

QVariant PickModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= columns_.size())
        return {};
    switch (role) {
    case Qt::DisplayRole: return columns_.at(section).title;
    case Qt::TextAlignmentRole: return QVariant::fromValue(AlignmentOf(columns_.at(section).align));
    case Qt::DecorationRole:
        if (section == imageColumn_ && !image_.isNull())
            return image_;
        return {};
    default: return {};
    }
}

Qt::ItemFlags PickModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

} // namespace varnel
