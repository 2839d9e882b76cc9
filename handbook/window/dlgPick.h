#pragma once

#include "handbook/window/PickDialogBase.h"

#include <QVariant>

namespace varnel {

struct PickRequest;

// "Выбор из справочника" over a small fixed list written into the field's pick tag: rows
// separated by "|", columns by Tab. No sorting and no search.
class dlgPick : public PickDialogBase {
    Q_OBJECT

public:
    explicit dlgPick(QWidget* parent = nullptr);
    ~dlgPick() override;

    // The pick on a new dialog: the fixed list tag, the corner in screen twips, the settings
    // key. Returns the chosen row's text, empty when nothing was picked.
    QString PickData(const QString& sTag, int x, int y, const QVariant& vKey);
    // The pick function of the report editors: a new dialog owned by the main window.
    static QString Pick(const PickRequest& request);

protected:
    void resizeEvent(QResizeEvent* event) override;
};

} // namespace varnel
