#pragma once

// The fixture of the suites that drive reports through the main window: a program folder, a
// login of its own, the scripted dialogs and the main window, made fresh for each test.

#include "reports/ReportDocument.h"
#include "reports/frmReport.h"
#include "shell/ClientParts.h"
#include "shell/Startup.h"
#include "shell/frmMain.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/ShellOverrides.h"

#include "ReportTestSupport.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QObject>
#include <QUuid>
#include <QtTest>

#include <memory>
#include <optional>

namespace varnel::test {

class MainWindowRoad : public QObject {
protected:
    std::unique_ptr<TestProgramFolder> folder_;
    std::unique_ptr<ScriptedDialogs> dialogs_;
    std::unique_ptr<frmMain> main_;
    std::optional<testing::ScopedLoginName> login_;
    std::optional<testing::ScopedMainRegistry> registry_;

    // Called from the suite's init(): the folder (its settings, or the report suites' own), a
    // login, the client's parts and a running main window, shown.
    void startMainWindow(const QStringList& settings = {})
    {
        folder_ = std::make_unique<TestProgramFolder>(settings);
        login_.emplace(QStringLiteral("tst-") +
                       QUuid::createUuid().toString(QUuid::Id128).left(12));
        registry_.emplace();
        RegisterClientParts();
        dialogs_ = std::make_unique<ScriptedDialogs>();
        main_ = std::make_unique<frmMain>();
        QCOMPARE(main_->startupResult(), StartupResult::Running);
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
        main_.reset();
        QCOMPARE(dialogs_->pending(), 0);
        dialogs_.reset();
        registry_.reset();
        login_.reset();
        folder_.reset();
    }

    ReportEditorWindow* active() const
    {
        QMdiSubWindow* sub = main_->mdiArea()->currentSubWindow();
        return sub ? qobject_cast<ReportEditorWindow*>(sub->widget()) : nullptr;
    }
    int windows() const { return int(main_->mdiArea()->subWindowList().size()); }
};

} // namespace varnel::test
