#pragma once

// The base of the suites that drive the main window: a login of its own, the main window's
// registrations, the scripted dialogs and the main window, opened and closed by each suite
// around its own program folder.

#include "core/PickSeam.h"
#include "shell/ClientParts.h"
#include "shell/Startup.h"
#include "shell/frmMain.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/ShellOverrides.h"

#include <QObject>
#include <QString>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>

namespace varnel::testing {

class MainWindowSuite : public QObject {
protected:
    std::optional<ScopedLoginName> login_;
    std::optional<ScopedMainRegistry> registrations_;
    std::unique_ptr<ScriptedDialogs> dialogs_;
    std::unique_ptr<frmMain> main_;
    QString user_;

    // Called once the suite's program folder stands: a login of the prefix and 12 hex digits,
    // the registrations registerParts makes (the client's own parts unless the suite brings
    // its own), the scripted dialogs and the main window, not yet shown. The suite checks the
    // result.
    StartupResult openClient(const std::function<void()>& registerParts = RegisterClientParts,
                             const QString& loginPrefix = QStringLiteral("tst-"))
    {
        user_ = loginPrefix + QUuid::createUuid().toString(QUuid::Id128).left(12);
        login_.emplace(user_);
        registrations_.emplace();
        registerParts();
        dialogs_ = std::make_unique<ScriptedDialogs>();
        main_ = std::make_unique<frmMain>();
        return main_->startupResult();
    }

    // Takes down what openClient() made, in reverse, and puts the pick lists back to their
    // defaults. Returns how many scripted answers were left unused once the window was gone.
    int closeClient()
    {
        main_.reset();
        const int unused = dialogs_ ? dialogs_->pending() : 0;
        dialogs_.reset();
        registrations_.reset();
        SetPickFunction(PickList::Handbook, {});
        SetPickFunction(PickList::Fixed, {});
        login_.reset();
        return unused;
    }
};

} // namespace varnel::testing
