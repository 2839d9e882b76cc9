#pragma once

#include <QString>

#include <functional>

class QAbstractItemModel;
class QLabel;
class QPushButton;
class QSplitter;
class QTableView;
class QWidget;

namespace varnel {

// The width in pixels a list column needs to show its header text and the given text of one
// of its cells whole, in the view's font and style (with room for the sort indicator where the
// header shows one).
int ColumnWidthFor(const QTableView& view, int column, const QString& cellText);

// A list of rows over the model as the journal's and the reconciliation's windows show them:
// whole rows chosen, nothing edited, alternating colours, no row numbers, one line a row, Tab
// going on to the next control (the arrows move inside), the last column taking what is left.
QTableView* NewRowList(const char* name, QAbstractItemModel* model, QWidget* parent);

// Sizes the columns to their titles and the texts of the rows so far (sizeHintForColumn: the
// first thousand of a long list), a text no wider than widestChars average characters when it
// is not 0: exactly at the first rows the list shows, and afterwards only wider, so that a
// column the user widened stays so. Hidden columns are left alone; the last column takes what
// is left of the list's width. With no rows yet, titlesFirst sizes the columns to their titles.
void FitColumnsToRows(QTableView* view, int widestChars = 0, bool titlesFirst = false);

// Makes the row of the view current, the whole row chosen; a row out of range leaves none
// current. shown runs when the current row does not change (the same row chosen again, or none
// again), so that what follows the current row is shown anew either way.
void SelectRow(QTableView* view, int row, const std::function<void()>& shown);

// A button that is never the dialog's default.
QPushButton* NewButton(const char* name, const QString& text, QWidget* parent);

// A list above and, below it, a label telling the chosen row (wrapped, selectable) over the list
// of its details; split in two, neither side collapsing, stretched upper : lower.
QSplitter* ListOverDetails(QWidget* parent, QWidget* upper, QLabel* label, QWidget* details,
                           int upperStretch, int lowerStretch);

} // namespace varnel
