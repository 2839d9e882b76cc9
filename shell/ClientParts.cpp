#include "shell/ClientParts.h"

#include "handbook/ViewerCommands.h"
#include "handbook/ViewerFiles.h"
#include "shell/frmMain.h"

#include <QCoreApplication>
#include <QTimer>

namespace varnel {

void RegisterClientParts()
{
    // Each part adds its registration here.

    // Incoming message viewer and handbook viewer.
    frmMain::setCommandHandler(frmMain::Command::IncomingViewer, [](frmMain& main) {
        BrowseIncomingMessage(&main, [&main](QWidget* w) { return main.addChildWindow(w); });
    });
    frmMain::setCommandHandler(frmMain::Command::HandbookViewer, [](frmMain& main) {
        BrowseHandbook(&main, [&main](QWidget* w) { return main.addChildWindow(w); });
    });
    // Copies of messages a client left behind in the temporary folder go once the client runs.
    if (QCoreApplication* app = QCoreApplication::instance())
        QTimer::singleShot(0, app, [] { RemoveStaleViewerFiles(); });
}

} // namespace varnel
