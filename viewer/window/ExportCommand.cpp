#include "viewer/window/ExportCommand.h"

#include "core/AppContext.h"
#include "ui/BusyTask.h"
#include "viewer/SpreadsheetExport.h"
#include "viewer/WorkbookPlace.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>

namespace varnel {

Outcome ExportPageToWorkbook(QWidget* parent, const PageSource& page, const QString& baseName,
                             QString* workbook)
{
    PageExport made;
    Outcome outcome;
    RunBusy(parent, kAppTitle, [&](BusyProgress& progress) {
        progress.allowStop();
        outcome = ExportPage(page, baseName, progress, &made);
    });
    if (!outcome.done())
        return outcome;
    auto* mime = new QMimeData;
    mime->setHtml(made.html);
    mime->setText(made.text);
    QApplication::clipboard()->setMimeData(mime);
    ShowWorkbook(parent, made.workbook);
    if (workbook)
        *workbook = made.workbook;
    return outcome;
}

Outcome ExportPageToWorkbook(QWidget* parent, const QString& pageFile, const QString& baseName,
                             QString* workbook)
{
    PageSource page;
    const Outcome opened = Trapping([&] { page = PageFileSource(pageFile); });
    if (!opened.done())
        return opened;
    return ExportPageToWorkbook(parent, page, baseName, workbook);
}

} // namespace varnel
