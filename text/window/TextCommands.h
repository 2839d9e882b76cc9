#pragma once

#include <QString>

#include <functional>

class QPrinter;
class QWidget;

namespace varnel {

class frmDocument;
class TextWindow;

// The File menu commands that act on text document windows. Each runs under its own failure
// trap (caption "Error! "): a failure is shown and the window keeps its state.
namespace TextCommands {

// Asks for a file and returns a new window holding it, not yet shown; nullptr when the user
// cancelled or the file could not be read (the failure has been shown).
frmDocument* Open(QWidget* dialogParent);
// Writes the document to its own path; a failure is shown over dialogParent.
void Save(TextWindow* document, QWidget* dialogParent = nullptr);
// Asks for a path and writes the document there; that path becomes the document's own.
void SaveAs(TextWindow* document, QWidget* dialogParent);
// The printer's page setup; what is chosen holds for later prints of this run.
void PageSetup(QWidget* dialogParent);
// Asks for a printer and prints the document's text on it.
void Print(TextWindow* document, QWidget* dialogParent);

// The printer (page setup) dialog: configures the printer and answers whether the user went
// on.
using PrinterDialog = std::function<bool(QPrinter& printer, QWidget* parent, const QString& title)>;

// The printer all prints and the page setup of this run share.
QPrinter& SharedPrinter();

} // namespace TextCommands
} // namespace varnel
