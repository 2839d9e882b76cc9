#pragma once

#include <QString>

#include <functional>

class QMdiSubWindow;
class QWidget;

namespace varnel {

class frmBrowseXML;
class frmIssue;

// Puts a new window into the main window's frame and shows it.
using AddChildWindow = std::function<QMdiSubWindow*(QWidget* window)>;

// The command that views an incoming message: asks for the file in the receive folder, makes
// its temporary copy with the kind's stylesheet attached and shows it in a new frmBrowseXML.
// Every failure is shown here; nothing is raised. Returns the new window, or nullptr.
frmBrowseXML* BrowseIncomingMessage(QWidget* parent, const AddChildWindow& addChild);
// The same for a message already chosen (the sending journal opens an answer so).
frmBrowseXML* BrowseMessageFile(QWidget* parent, const QString& path,
                                const AddChildWindow& addChild);

// The command that views a securities handbook in a new frmIssue; a window whose loading
// failed is discarded. Returns the new window, or nullptr.
frmIssue* BrowseHandbook(QWidget* parent, const AddChildWindow& addChild);

} // namespace varnel
