#pragma once

#include <QString>

namespace varnel {

// Makes the Qt boxes and dialogs the ones the program shows (the application's provider of the
// dialog facade, core/Dialogs.h). The program calls it once, after creating its QApplication.
void InstallQtDialogs();

// A message box's text with a break opportunity after every "/" and "\", so that a long path
// wraps at its separators instead of in the middle of a name. The opportunity is a zero-width
// space: nothing changes where the line has room.
QString WithPathBreaks(const QString& text);

} // namespace varnel
