#include "text/window/TextCommands.h"

#include "core/ChildWindow.h"
#include "core/Dialogs.h"
#include "core/Error.h"
#include "text/window/Overrides.h"
#include "text/window/frmDocument.h"

#include <QFileInfo>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>

#include <memory>

namespace varnel::TextCommands {
namespace {

// Every file may be opened as text: no extension is required.
const QString kAllFilesFilter = QStringLiteral("All Files (*)");

bool systemPrintDialog(QPrinter& printer, QWidget* parent, const QString& title)
{
    QPrintDialog dialog(&printer, parent);
    dialog.setWindowTitle(title);
    // No page numbers to enter: the whole document is printed.
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    return dialog.exec() == QDialog::Accepted;
}

bool systemPageSetupDialog(QPrinter& printer, QWidget* parent, const QString& title)
{
    QPageSetupDialog dialog(&printer, parent);
    dialog.setWindowTitle(title);
    return dialog.exec() == QDialog::Accepted;
}

} // namespace

QPrinter& SharedPrinter()
{
    // Kept for the whole run and never destroyed: a printer torn down after the application
    // object would reach into print plug-ins that are already gone.
    static QPrinter* printer = new QPrinter(QPrinter::HighResolution);
    return *printer;
}

frmDocument* Open(QWidget* dialogParent)
{
    const QString path =
        Dialogs::OpenFile(dialogParent, QStringLiteral("Open"), QString(), kAllFilesFilter);
    if (path.isEmpty())
        return nullptr;
    auto document = std::make_unique<frmDocument>();
    if (!RunTrapped(dialogParent, kMainTrapCaption, [&] { document->LoadFile(path); }))
        return nullptr;
    return document.release();
}

void Save(TextWindow* document, QWidget* dialogParent)
{
    if (!document)
        return;
    RunTrapped(dialogParent, kMainTrapCaption, [document] { document->SaveFile(QString()); });
}

void SaveAs(TextWindow* document, QWidget* dialogParent)
{
    if (!document)
        return;
    // A name typed without a suffix takes the suffix of the document's file.
    const QString path =
        Dialogs::SaveFile(dialogParent, QStringLiteral("Save As"), QString(), kAllFilesFilter,
                          QFileInfo(document->filePath()).suffix());
    if (path.isEmpty())
        return;
    RunTrapped(dialogParent, kMainTrapCaption, [&] { document->SaveFile(path); });
}

void PageSetup(QWidget* dialogParent)
{
    // Cancelling leaves the printer as it was; printer failures are not reported.
    try {
        const PrinterDialog& dialog = overrides::PageSetupDialog();
        const QString title = QStringLiteral("Page Setup");
        if (dialog)
            dialog(SharedPrinter(), dialogParent, title);
        else
            systemPageSetupDialog(SharedPrinter(), dialogParent, title);
    } catch (...) {
        // Whatever the printer's system raises: the setup stays as it was, unsaid.
    }
}

void Print(TextWindow* document, QWidget* dialogParent)
{
    if (!document)
        return;
    try {
        QPrinter& printer = SharedPrinter();
        const PrinterDialog& dialog = overrides::PrintDialog();
        const QString title = QStringLiteral("Print");
        const bool accepted = dialog ? dialog(printer, dialogParent, title)
                                     : systemPrintDialog(printer, dialogParent, title);
        if (!accepted)
            return;
        printer.setDocName(document->filePath());
        document->Print(printer);
    } catch (...) {
        // As the page setup: a printer that fails prints nothing and nothing is said; the
        // document is untouched.
    }
}

} // namespace varnel::TextCommands

namespace varnel::overrides {

TextCommands::PrinterDialog& PrintDialog()
{
    static TextCommands::PrinterDialog dialog;
    return dialog;
}

TextCommands::PrinterDialog& PageSetupDialog()
{
    static TextCommands::PrinterDialog dialog;
    return dialog;
}

} // namespace varnel::overrides
