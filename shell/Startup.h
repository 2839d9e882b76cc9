#pragma once

#include "core/Error.h"
#include "core/Twips.h"

#include <QDateTime>
#include <QRect>
#include <QString>

class QWidget;

namespace varnel {

class InstanceLock;

// Main window placement in twips, as the per-user store keeps it.
struct MainPlacement {
    double left = 1000;
    double top = 1000;
    double width = 6500;
    double height = 6500;
    // True when the store held at least one of the four values (not written).
    bool stored = false;
};

// MainLeft, MainTop, MainWidth, MainHeight of the per-user store (application "Varnel",
// section Settings), by the placement rule of ui/WindowPlacement.h.
MainPlacement ReadMainPlacement();
void WriteMainPlacement(const MainPlacement& placement);

// What shutdown stores for a window whose geometry in pixels is now: a value the window still
// has as it was read (its pixels those of the twips read) goes back as it was read, so that
// twips rounded to pixels and back do not move the window a little at every start; the others
// are the window's own, in twips.
MainPlacement PlacementToStore(const MainPlacement& read, const QRect& now, double dpiX,
                               double dpiY);

// Where the main window opens, in pixels: the wanted rectangle, at least atLeast in size (the
// room a window needs when no placement is stored), and pulled into the available area of the
// screen when it lies outside it (made smaller first where it is larger than that area).
QRect FitMainWindow(const QRect& wanted, const QRect& available, const QSize& atLeast);

// True when the file's owner may not write it. Raises Error when the file cannot be examined
// (it does not exist).
bool IsFileReadOnly(const QString& path);
// "Файл <path> не должен иметь атрибут 'read_only'. Снимите защиту от записи !"
QString ReadOnlySettingsText(const QString& path);

// "Varnel. Клиентский модуль (2.1)"
QString ProductCaption();
// The product caption, " - " and the user name; in the demo program folder (Main/Demo "1")
// followed by " (демонстрация)", so that the demo runs beside the user's own client.
QString MainWindowTitle(const QString& userName);

// A file time as the status bar and the handbook questions show it (the locale's short date,
// then the time with seconds).
QString GeneralDateTimeText(const QDateTime& time);
// Status panel 1: the current securities handbook, or "Справочник ЦБ не установлен".
QString HandbookStatusText();
// What panel 1 shows of such a text: the handbook's file name in place of its path (the whole
// text is the panel's tool tip). Any other text is shown as it is.
QString HandbookStatusShownText(const QString& statusText);
// Status panel 2: "язык сообщ: " and Main/Language (default "RU").
QString LanguageStatusText();

// Whether spreadsheet export is available. On this platform the export writes its workbook
// itself, so the answer is true unless a test says otherwise.
bool IsExcelAvailable();

// What start-up and shutdown need of the main window.
class MainWindowHost {
public:
    virtual ~MainWindowHost() = default;
    // Parent of the boxes start-up shows.
    virtual QWidget* boxParent() = 0;
    virtual void applyPlacement(const MainPlacement& placement) = 0;
    virtual MainPlacement currentPlacement() const = 0;
    virtual bool isMinimizedNow() const = 0;
    virtual void setTitle(const QString& title) = 0;
    virtual void setStatusInfo(int panel, const QString& text) = 0;
    virtual void hideSpreadsheetExport() = 0;
};

enum class StartupResult {
    Running,    // every step done
    Incomplete, // a step failed; the window stays, the later steps were skipped
    Refused     // the fatal flag: the window is to be closed without being shown
};

// The start-up sequence in its order, under one trap captioned "Error! ": user name, settings
// path, log generations, placement, write-protected settings file, title, second client,
// status panels, spreadsheet test. The lock is taken for the title and kept while the client
// runs.
StartupResult RunStartup(MainWindowHost& host, InstanceLock& lock);

// Shutdown: writes the placement unless the window is minimized, under its own trap.
void RunShutdown(MainWindowHost& host);

} // namespace varnel
