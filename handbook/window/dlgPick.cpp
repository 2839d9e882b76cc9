#include "handbook/window/dlgPick.h"

#include "core/AppContext.h"
#include "core/Dialogs.h"
#include "core/PickSeam.h"
#include "handbook/PickDefinition.h"
#include "handbook/PickModel.h"
#include "ui/ColumnFit.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTableView>

#include <algorithm>
#include <cmath>

namespace varnel {
namespace {

constexpr int kDesignWidth = 5400;
constexpr int kDesignHeight = 3600;

} // namespace

dlgPick::dlgPick(QWidget* parent) : PickDialogBase(parent, QSize(kDesignWidth, kDesignHeight))
{
    setObjectName(QStringLiteral("dlgPick"));
    setSizeGripEnabled(true);
    lvGrid_->setGeometry(rect());
    watchKeys(this);
}

dlgPick::~dlgPick() = default;

QString dlgPick::Pick(const PickRequest& request)
{
    dlgPick dialog(request.parent ? request.parent->window() : nullptr);
    return dialog.PickData(request.source, request.xTwips, request.yTwips, request.settingsKey);
}

QString dlgPick::PickData(const QString& sTag, int x, int y, const QVariant& vKey)
{
    beginPick(vKey.toString());
    const bool ready = RunTrapped(parentWidget(), kAppTitle, [&] {
        restoreSize();

        const FixedList list = ParseFixedList(sTag);
        QList<PickColumn> columns(list.columnCount);
        model_->setColumns(columns);
        // A column no width was stored for shows its widest text whole (a currency's name),
        // and is never narrower than the usual width.
        QList<int> widths;
        for (int c = 0; c < list.columnCount; ++c) {
            int fitted = 0;
            for (const QStringList& row : list.rows)
                fitted = std::max(fitted, ColumnWidthFor(*lvGrid_, c, row.value(c)));
            const int fittedTwips = int(std::ceil(fitted * twipsPerPixel()));
            widths.append(storedColumnWidth(c, std::max(kDefaultPickColumnTwips, fittedTwips)));
        }
        applyColumnWidths(widths);

        model_->beginRows();
        for (const QStringList& row : list.rows)
            model_->appendRow(row);
        model_->endRows();
        fitToColumns();
        placeAt(x, y);
        if (model_->rowTotal() > 0)
            lvGrid_->selectionModel()->setCurrentIndex(model_->index(0, 0),
                                                       QItemSelectionModel::ClearAndSelect |
                                                           QItemSelectionModel::Rows);
        lvGrid_->setFocus();
    });
    if (!ready)
        return QString();
    runPick();
    return resultText();
}

void dlgPick::resizeEvent(QResizeEvent* event)
{
    PickDialogBase::resizeEvent(event);
    lvGrid_->setGeometry(rect());
}

} // namespace varnel
