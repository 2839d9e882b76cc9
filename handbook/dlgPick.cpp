#include "handbook/dlgPick.h"

#include "core/AppContext.h"
#include "core/Dialogs.h"
#include "core/PickSeam.h"
#include "handbook/PickDefinition.h"
#include "handbook/PickModel.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTableView>

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
        placeAt(x, y);

        const FixedList list = ParseFixedList(sTag);
        QList<PickColumn> columns(list.columnCount);
        model_->setColumns(columns);
        QList<int> widths;
        for (int c = 0; c < list.columnCount; ++c)
            widths.append(storedColumnWidth(c, kDefaultPickColumnTwips));
        applyColumnWidths(widths);

        model_->beginRows();
        for (const QStringList& row : list.rows)
            model_->appendRow(row);
        model_->endRows();
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
