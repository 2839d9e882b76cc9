#pragma once

#include <QString>

class QTableView;

namespace varnel {

// The width in pixels a list column needs to show its header text and the given text of one
// of its cells whole, in the view's font and style (with room for the sort indicator where the
// header shows one).
int ColumnWidthFor(const QTableView& view, int column, const QString& cellText);

} // namespace varnel
