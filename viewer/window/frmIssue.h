#pragma once

#include "viewer/window/BrowserWindow.h"

class QLabel;

namespace varnel {

// The handbook viewer: a securities handbook shown through the handbook stylesheet. All
// handbook windows share one placement record.
class frmIssue : public BrowserWindow {
    Q_OBJECT

public:
    explicit frmIssue(QWidget* parent = nullptr);

    // Asks for the handbook (the current one proposed), checks it, makes a copy when a
    // stylesheet must be attached and shows it. Every failure is shown here (a cancelled
    // dialog shows nothing) and sets the load-failed flag.
    void LoadHandbook(QWidget* dialogParent);
    // lblLoadFail: "1" when loading failed.
    bool loadFailed() const;
    QLabel* lblLoadFail() const { return lblLoadFail_; }

protected:
    QString placementApplication() const override;
    bool savesPlacement() const override { return !loadFailed(); }
    QString exportName() const override;
    QString rowsNoun() const override { return QStringLiteral("Инструменты"); }

private:
    QLabel* lblLoadFail_ = nullptr;
};

} // namespace varnel
