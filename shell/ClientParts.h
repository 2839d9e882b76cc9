#pragma once

namespace varnel {

// Registers with the main window the windows and commands that live in the other parts of the
// client (report windows, revocation dialogs, viewers, the handbook). Called once by the
// program before its main window is made; end-to-end tests call it too.
void RegisterClientParts();

// What the program sets up on its application object before the main window: name, version,
// icon, the Qt dialogs behind the dialog facade and Qt's own texts in Russian; the C library's
// numbers in the C locale (see UseCNumbers); and a write beyond a file-size limit fails as a
// write, instead of ending the program. The start-up bench calls it too, so it times the
// program's own start.
void PrepareClientApplication();

} // namespace varnel
