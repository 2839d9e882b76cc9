#include "shell/ClientParts.h"

#include "core/PickSeam.h"
#include "handbook/HandbookDiscovery.h"
#include "handbook/dlgPick.h"
#include "handbook/dlgPickXMLFile.h"
#include "shell/Startup.h"
#include "shell/frmMain.h"

namespace varnel {

void RegisterClientParts()
{
    // Each part adds its registration here.

    // Handbook: finding the current handbook, and the two pick lists of the report editors.
    frmMain::setCommandHandler(frmMain::Command::HandbookFind, [](frmMain& main) {
        HandbookFindContext context;
        context.parent = &main;
        context.dateTimeText = GeneralDateTimeText;
        context.currentHandbookChanged = [&main] { main.SetStatusInfo(1, HandbookStatusText()); };
        RunFindHandbook(context);
    });
    SetPickFunction(PickList::Handbook, &dlgPickXMLFile::Pick);
    SetPickFunction(PickList::Fixed, &dlgPick::Pick);
}

} // namespace varnel
