#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace varnel {

// Where exported workbooks are kept: the user's documents folder (made when it is missing), or
// the home folder where there is none. Tests point it elsewhere (SetWorkbookFolder).
QString WorkbookFolder();
// Points WorkbookFolder() at another folder (tests); an empty folder restores the user's.
void SetWorkbookFolder(const QString& folder);

// Opens a workbook with the desktop's application, or a folder in the desktop's file manager;
// false when there is none. Tests replace it (nullptr restores the desktop's).
using WorkbookOpener = std::function<bool(const QString& path)>;
void SetWorkbookOpener(WorkbookOpener opener);

// Opens the written workbook; where nothing opens it, tells the user where it is and offers to
// show its folder.
void ShowWorkbook(QWidget* parent, const QString& path);

} // namespace varnel
