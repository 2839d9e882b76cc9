#pragma once

#include "core/Outcome.h"

#include <QString>

class QWidget;

namespace varnel {

struct PageSource;

// A viewer's export command: the page exported to a new workbook (ExportPage) beside the
// user-interface thread (RunBusy: the windows keep painting, a progress dialog shows past half a
// second, its Cancel stops the export and leaves nothing), then put on the clipboard as HTML and
// as text, and the workbook opened (ShowWorkbook). The workbook's path goes to *workbook when
// the export is done; a failure is handed back, not shown.
Outcome ExportPageToWorkbook(QWidget* parent, const PageSource& page, const QString& baseName,
                             QString* workbook = nullptr);
// The same for a page in a file.
Outcome ExportPageToWorkbook(QWidget* parent, const QString& pageFile, const QString& baseName,
                             QString* workbook = nullptr);

} // namespace varnel
