#pragma once

namespace varnel {

// Registers with the main window the windows and commands that live in the other parts of the
// client (report windows, revocation dialogs, viewers, the handbook). Called once by the
// program before its main window is made; end-to-end tests call it too.
void RegisterClientParts();

} // namespace varnel
