#pragma once

#include <QStyledItemDelegate>

namespace varnel {

// For lists whose rows are chosen whole: the cell under the pointer gets no focus frame of its
// own.
class RowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->state &= ~QStyle::State_HasFocus;
    }
};

} // namespace varnel
