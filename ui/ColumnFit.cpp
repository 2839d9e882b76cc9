#include "ui/ColumnFit.h"

#include <QHeaderView>
#include <QStyle>
#include <QTableView>

#include <algorithm>

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

} // namespace varnel
