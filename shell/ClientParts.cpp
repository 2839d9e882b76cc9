#include "shell/ClientParts.h"

#include "shell/frmMain.h"

namespace varnel {

void RegisterClientParts()
{
    // Each part adds its registration here.
}

} // namespace varnel
