#pragma once

#include <QString>

#include <functional>

class QPrinter;
class QWidget;

namespace varnel {

class frmDocument;

// The File menu commands that act on text document windows.
namespace TextCommands {

// Asks for a file and returns a new window holding it, not yet shown; nullptr when the user
// cancelled or the file could not be read (the failure has been shown).
frmDocument* Open(QWidget* dialogParent);
// Writes the document to its own path; a failure is shown.
void Save(frmDocument* document);
// Asks for a path and writes the document there; that path becomes the document's own.
void SaveAs(frmDocument* document, QWidget* dialogParent);
// The printer's page setup; what is chosen holds for later prints of this run.
void PageSetup(QWidget* dialogParent);
// Asks for a printer and prints the document's text on it.
void Print(frmDocument* document, QWidget* dialogParent);

// The printer (page setup) dialog: configures the printer and answers whether the user went
// on. Tests replace it to print headless into a PDF file; an empty function restores the
// system's dialog.
using PrinterDialog = std::function<bool(QPrinter& printer, QWidget* parent, const QString& title)>;
void SetPrintDialog(PrinterDialog dialog);
void SetPageSetupDialog(PrinterDialog dialog);

// The printer all prints and the page setup of this run share.
QPrinter& SharedPrinter();

// Caption of the boxes that show a failed command.
inline const QString kCommandErrorCaption = QStringLiteral("Error! ");

} // namespace TextCommands
} // namespace varnel
