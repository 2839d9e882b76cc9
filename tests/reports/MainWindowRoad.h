#pragma once

// The fixture of the suites that drive reports through the main window: a program folder, a
// login of its own, the scripted dialogs and the main window, made fresh for each test.

#include "reports/ReportDocument.h"
#include "reports/window/frmReport.h"
#include "tests/support/MainWindowSuite.h"

#include "ReportTestSupport.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QtTest>

#include <memory>

namespace varnel::test {

class MainWindowRoad : public testing::MainWindowSuite {
protected:
    std::unique_ptr<TestProgramFolder> folder_;

    // Called from the suite's init(): the folder (its settings, or the report suites' own), a
    // login, the client's parts and a running main window, shown.
    void startMainWindow(const QStringList& settings = {})
    {
        folder_ = std::make_unique<TestProgramFolder>(settings);
        QCOMPARE(openClient(), StartupResult::Running);
        main_->show();
    }

    // Called from the suite's cleanup(): every report window closes without a question, and no
    // scripted answer may be left unused.
    void closeMainWindow()
    {
        if (main_) {
            for (QMdiSubWindow* sub : main_->mdiArea()->subWindowList()) {
                if (auto* w = qobject_cast<ReportEditorWindow*>(sub->widget()))
                    w->document().discardChanges(); // nothing left to ask about
            }
            main_->mdiArea()->closeAllSubWindows();
        }
        const int unused = closeClient();
        folder_.reset();
        QCOMPARE(unused, 0);
    }

    ReportEditorWindow* active() const
    {
        QMdiSubWindow* sub = main_->mdiArea()->currentSubWindow();
        return sub ? qobject_cast<ReportEditorWindow*>(sub->widget()) : nullptr;
    }
    int windows() const { return int(main_->mdiArea()->subWindowList().size()); }
};

} // namespace varnel::test
