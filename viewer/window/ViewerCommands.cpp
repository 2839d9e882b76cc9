#include "viewer/window/ViewerCommands.h"

#include "answers/IncomingMessage.h"
#include "core/AppContext.h"
#include "core/Dialogs.h"
#include "core/Error.h"
#include "core/SettingKeys.h"
#include "core/TempFiles.h"
#include "ui/BusyTask.h"
#include "viewer/ViewerFiles.h"
#include "viewer/window/frmBrowseXML.h"
#include "viewer/window/frmIssue.h"

#include <QFileInfo>

namespace varnel {
namespace {

const QString kMessageFilter =
    QStringLiteral("msg-files (*.msg);;xml-files (*.xml);;all files (*)");

} // namespace

frmBrowseXML* BrowseIncomingMessage(QWidget* parent, const AddChildWindow& addChild)
{
    QString path;
    RunTrapped(parent, kAppTitle, [&] {
        path = Dialogs::OpenFile(parent, QStringLiteral("Открыть сообщение"), ReceiveFolder(),
                                 kMessageFilter);
    });
    return path.isEmpty() ? nullptr : BrowseMessageFile(parent, path, addChild);
}

frmBrowseXML* BrowseMessageFile(QWidget* parent, const QString& path,
                                const AddChildWindow& addChild)
{
    frmBrowseXML* shown = nullptr;
    RunTrapped(parent, kAppTitle, [&] {
        if (!IsViewerExtension(path))
            Fail(WrongViewerExtensionText());
        MessageCopy copy;
        TemporaryFolder();
        RunBusy(parent, kAppTitle, [&](BusyProgress& progress) {
            progress.stage(QStringLiteral("Чтение сообщения ") + path);
            copy = MakeMessageCopy(path);
        });

        auto* window = new frmBrowseXML;
        window->adoptTemporaryFiles(copy.copy.files());
        window->setCopyOrigin(copy.origin);
        window->setOriginalFile(path);
        shown = window;
        window->setShowHandler([&addChild](QWidget* w) { addChild(w); });
        window->BrowseDoc(copy.kind->name, copy.copy.path);
    });
    return shown;
}

frmIssue* BrowseHandbook(QWidget* parent, const AddChildWindow& addChild)
{
    auto* window = new frmIssue;
    window->LoadHandbook(parent);
    if (window->loadFailed()) {
        delete window;
        return nullptr;
    }
    addChild(window);
    window->restorePlacement();
    return window;
}

} // namespace varnel
