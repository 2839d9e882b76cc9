#include "shell/ClientParts.h"

#include "revoke/RevocationDialog.h"
#include "shell/frmMain.h"

namespace varnel {

void RegisterClientParts()
{
    // Each part adds its registration here.
    frmMain::setCommandHandler(frmMain::Command::RevokeDeal,
                               [](frmMain& main) { dlgRevokeDeal::Run(&main); });
    frmMain::setCommandHandler(frmMain::Command::RevokeDealRepo,
                               [](frmMain& main) { dlgRevokeDealRepo::Run(&main); });
}

} // namespace varnel
