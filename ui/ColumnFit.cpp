#include "ui/ColumnFit.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>

namespace varnel {

int ColumnWidthFor(const QTableView& view, int column, const QString& cellText)
{
    // A cell's text stands between two margins of the style's focus frame, and the grid line
    // takes a pixel where the view draws it.
    const int margin = view.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &view) + 1;
    const int cell =
        view.fontMetrics().horizontalAdvance(cellText) + 2 * margin + (view.showGrid() ? 1 : 0);
    const QHeaderView* header = view.horizontalHeader();
    const int title = header && !header->isHidden() ? header->sectionSizeHint(column) : 0;
    return std::max(cell, title);
}

QTableView* NewRowList(const char* name, QAbstractItemModel* model, QWidget* parent)
{
    auto* view = new QTableView(parent);
    view->setObjectName(QString::fromLatin1(name));
    view->setModel(model);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setAlternatingRowColors(true);
    view->setWordWrap(false);
    view->setTabKeyNavigation(false);
    view->verticalHeader()->hide();
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 6);
    view->horizontalHeader()->setHighlightSections(false);
    view->horizontalHeader()->setStretchLastSection(true);
    return view;
}

void FitColumnsToRows(QTableView* view, int widestChars, bool titlesFirst)
{
    const bool first = !view->property("fitted").toBool();
    QHeaderView* header = view->horizontalHeader();
    const int last = view->model()->columnCount() - 1;
    if (first && view->model()->rowCount() == 0) {
        for (int c = 0; titlesFirst && c < last; ++c)
            header->resizeSection(c, header->sectionSizeHint(c));
        return;
    }
    view->setProperty("fitted", true);
    const int widest =
        widestChars > 0 ? widestChars * view->fontMetrics().averageCharWidth() : INT_MAX;
    for (int c = 0; c < last; ++c) {
        if (view->isColumnHidden(c))
            continue;
        const int fitted = std::max(
            header->sectionSizeHint(c),
            std::min(widest, static_cast<const QAbstractItemView*>(view)->sizeHintForColumn(c)));
        if (first || fitted > header->sectionSize(c))
            header->resizeSection(c, fitted);
    }
}

void SelectRow(QTableView* view, int row, const std::function<void()>& shown)
{
    if (row < 0 || row >= view->model()->rowCount()) {
        view->setCurrentIndex(QModelIndex());
        shown();
        return;
    }
    const QModelIndex index = view->model()->index(row, 0);
    if (view->currentIndex() == index) {
        shown();
        return;
    }
    view->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                       QItemSelectionModel::Rows);
}

QPushButton* NewButton(const char* name, const QString& text, QWidget* parent)
{
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    return b;
}

QSplitter* ListOverDetails(QWidget* parent, QWidget* upper, QLabel* label, QWidget* details,
                           int upperStretch, int lowerStretch)
{
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* lower = new QWidget(parent);
    auto* lowerLayout = new QVBoxLayout(lower);
    lowerLayout->setContentsMargins(0, 0, 0, 0);
    lowerLayout->addWidget(label);
    lowerLayout->addWidget(details, 1);

    auto* split = new QSplitter(Qt::Vertical, parent);
    split->setObjectName(QStringLiteral("splitter"));
    split->setChildrenCollapsible(false);
    split->addWidget(upper);
    split->addWidget(lower);
    split->setStretchFactor(0, upperStretch);
    split->setStretchFactor(1, lowerStretch);
    return split;
}

} // namespace varnel
