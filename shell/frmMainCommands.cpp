// The commands the main window carries out itself, and those it passes to the active child
// window through the child window protocol. Each runs under one failure trap, "Error! ".
#include "shell/frmMain.h"

#include "core/AppContext.h"
#include "core/ChildWindow.h"
#include "core/Dialogs.h"
#include "core/Error.h"
#include "core/SettingKeys.h"
#include "messages/SendPipeline.h"
#include "reports/ReportKind.h"
#include "shell/MdiWindows.h"
#include "shell/SettingsUpdate.h"
#include "shell/frmAbout.h"
#include "shell/frmOptions.h"
#include "text/window/TextCommands.h"
#include "text/window/frmDocument.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

namespace varnel {
namespace {

TextWindow* textOf(ChildWindow* child)
{
    return child ? child->asText() : nullptr;
}

// The child window protocol of a window; null for a widget that does not speak it.
ChildWindow* protocolOf(QWidget* window)
{
    return dynamic_cast<ChildWindow*>(window);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// File menu: text documents and the settings

void frmMain::openTextDocument()
{
    RunTrapped(this, kMainTrapCaption, [this] {
        if (frmDocument* document = TextCommands::Open(this))
            addChildWindow(document);
    });
}

void frmMain::saveTextDocument()
{
    RunTrapped(this, kMainTrapCaption, [this] { TextCommands::Save(textOf(activeChild()), this); });
}

void frmMain::saveTextDocumentAs()
{
    RunTrapped(this, kMainTrapCaption,
               [this] { TextCommands::SaveAs(textOf(activeChild()), this); });
}

void frmMain::setUpPrinterPage()
{
    RunTrapped(this, kMainTrapCaption, [this] { TextCommands::PageSetup(this); });
}

void frmMain::printTextDocument()
{
    RunTrapped(this, kMainTrapCaption,
               [this] { TextCommands::Print(textOf(activeChild()), this); });
}

void frmMain::updateSettingsFile()
{
    RunTrapped(this, kMainTrapCaption, [this] {
        RunSettingsUpdate(this);
        // The update may have set the message language.
        SetStatusInfo(2, LanguageStatusText());
    });
}

void frmMain::exitClient()
{
    close();
}

// ---------------------------------------------------------------------------------------------
// Reports

QWidget* frmMain::makeReportWindow(ReportKind kind)
{
    const WindowFactory& factory = kind == ReportKind::Repo ? registry().repo : registry().ordinary;
    if (!factory)
        return nullptr;
    QWidget* window = factory();
    ChildWindow* child = protocolOf(window);
    ReportWindow* report = child ? child->asReport() : nullptr;
    if (!report) {
        delete window;
        return nullptr;
    }
    if (report->loadFailed()) {
        // The window has told the user what went wrong; it is never shown.
        window->deleteLater();
        return nullptr;
    }
    return window;
}

QWidget* frmMain::openNewReport(ReportKind kind)
{
    const bool repo = kind == ReportKind::Repo;
    int& counter = repo ? newRepoReports_ : newReports_;
    // The counters are 16-bit numbers.
    if (counter >= 32767)
        FailOverflow();
    ++counter;
    QWidget* window = makeReportWindow(kind);
    if (!window)
        return nullptr;
    addChildWindow(window);
    window->setWindowTitle(QString::fromLatin1(TraitsOf(kind).newCaption).arg(counter));
    return window;
}

void frmMain::newReport(ReportKind kind)
{
    RunTrapped(this, kMainTrapCaption, [this, kind] { openNewReport(kind); });
}

void frmMain::openReport(ReportKind kind)
{
    RunTrapped(this, kMainTrapCaption, [this, kind] {
        const bool repo = kind == ReportKind::Repo;
        // The dialog opens in the work folder, where reports are saved, when it exists.
        const QString work = WorkFolder();
        const QString path =
            Dialogs::OpenFile(this,
                              repo ? QStringLiteral("Загрузить отчет РЕПО из файла")
                                   : QStringLiteral("Загрузить отчет из файла"),
                              QFileInfo(work).isDir() ? work : QString(), ReportFileFilter());
        if (path.isEmpty())
            return;

        // A report of this kind already open from this file comes to the front instead. The
        // file name is compared too, not the caption alone: a changed report's caption carries
        // " * ", and a second window on that file would let one save overwrite the other's
        // changes.
        const ChildKind wanted = repo ? ChildKind::RepoReport : ChildKind::Report;
        if (QMdiSubWindow* open = FindSubWindow(*mdiArea_, [&](QMdiSubWindow* sub) {
                ChildWindow* child = protocolOf(sub->widget());
                ReportWindow* report = child ? child->asReport() : nullptr;
                return report && child->childKind() == wanted &&
                       (sub->widget()->windowTitle() == path || report->fileName() == path);
            })) {
            BringToFront(*mdiArea_, open);
            return;
        }

        QWidget* window = makeReportWindow(kind);
        if (!window)
            return;
        addChildWindow(window);
        protocolOf(window)->asReport()->LoadFile(path);
    });
}

void frmMain::newDealReport()
{
    newReport(ReportKind::Deals);
}

void frmMain::newRepoReport()
{
    newReport(ReportKind::Repo);
}

void frmMain::openDealReport()
{
    openReport(ReportKind::Deals);
}

void frmMain::openRepoReport()
{
    openReport(ReportKind::Repo);
}

void frmMain::saveReport()
{
    // The report window reports its own failures (core/ChildWindow.h); the trap is for the
    // main window's own.
    RunTrapped(this, kMainTrapCaption, [this] {
        if (ReportWindow* report = activeReport())
            report->SaveFile();
    });
}

void frmMain::saveReportAs()
{
    RunTrapped(this, kMainTrapCaption, [this] {
        ReportWindow* report = activeReport();
        if (!report)
            return;
        const QString path =
            Dialogs::SaveFile(this, QStringLiteral("Сохранить отчет в файле"), WorkFolder(),
                              ReportFileFilter(), ReportFileSuffix());
        if (path.isEmpty())
            return;
        report->SaveFileAs(path);
    });
}

void frmMain::sendReport()
{
    RunTrapped(this, kMainTrapCaption, [this] {
        ReportWindow* report = activeReport();
        if (!report)
            return;
        const ReportKind kind = activeChild()->childKind() == ChildKind::RepoReport
                                    ? ReportKind::Repo
                                    : ReportKind::Deals;
        RequestData data;
        data.report = &report->lvDeals();
        SendRequest(RequestName(ReportRequest(kind)), data, this);
    });
}

// ---------------------------------------------------------------------------------------------
// Commands of the other parts, and the handbook requests

void frmMain::runHandler(Command command)
{
    RunTrapped(this, kMainTrapCaption, [this, command] {
        const auto it = registry().handlers.find(command);
        if (it != registry().handlers.end() && it->second)
            it->second(*this);
    });
    comeBack();
}

void frmMain::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    // Active again (a dialog of a child window closed, the user came back): the focus is in a
    // window of this one.
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        comeBack();
}

void frmMain::comeBack()
{
    // Once the dialogs of the command are gone and the window system has had its say.
    QTimer::singleShot(0, this, [this] {
        if (!isVisible() || QApplication::activeModalWidget() || QApplication::activePopupWidget())
            return;
        if (!isActiveWindow())
            activateWindow();
        QWidget* focus = QApplication::focusWidget();
        if (!focus || focus->window() != this)
            focusActiveChild();
    });
}

void frmMain::importDeals()
{
    runHandler(Command::ImportDeals);
}

void frmMain::exportReport()
{
    runHandler(Command::ExportReport);
}

void frmMain::revokeDeals()
{
    runHandler(Command::RevokeDeal);
}

void frmMain::revokeRepoDeals()
{
    runHandler(Command::RevokeDealRepo);
}

void frmMain::browseHandbook()
{
    runHandler(Command::HandbookViewer);
}

void frmMain::findHandbook()
{
    runHandler(Command::HandbookFind);
}

void frmMain::requestHandbook()
{
    SendRequest(RequestName(OutgoingRequest::GetIssueList), {}, this);
}

void frmMain::subscribeToHandbook()
{
    SendRequest(RequestName(OutgoingRequest::SubscribeIssueList), {}, this);
}

void frmMain::unsubscribeFromHandbook()
{
    SendRequest(RequestName(OutgoingRequest::UnsubscribeIssueList), {}, this);
}

void frmMain::browseIncomingMessages()
{
    runHandler(Command::IncomingViewer);
}

void frmMain::showSendingJournal()
{
    runHandler(Command::SendingJournal);
}

void frmMain::reconcileWithFile()
{
    runHandler(Command::Reconcile);
}

void frmMain::exportToSpreadsheet()
{
    RunTrapped(this, kMainTrapCaption, [this] {
        if (ChildWindow* child = activeChild(); child && child->asViewer())
            child->asViewer()->ExportExcel();
    });
}

// ---------------------------------------------------------------------------------------------
// View and window arrangement

void frmMain::toggleToolbar()
{
    // The item has already changed its check mark.
    tbToolBar_->setVisible(actions_.viewToolbar->isChecked());
}

void frmMain::toggleStatusBar()
{
    statusBar()->setVisible(actions_.viewStatusBar->isChecked());
}

void frmMain::cascadeWindows()
{
    mdiArea_->cascadeSubWindows();
}

void frmMain::tileWindowsHorizontally()
{
    TileSubWindows(*mdiArea_, Qt::Vertical);
}

void frmMain::tileWindowsVertically()
{
    TileSubWindows(*mdiArea_, Qt::Horizontal);
}

void frmMain::arrangeIcons()
{
    ArrangeMinimized(*mdiArea_);
}

// ---------------------------------------------------------------------------------------------
// Options, help, about

void frmMain::editOptions()
{
    RunTrapped(this, kMainTrapCaption, [this] {
        frmOptions dialog(this);
        connect(&dialog, &frmOptions::statusInfo, this, &frmMain::SetStatusInfo);
        Dialogs::RunModal(dialog);
        SetStatusInfo(2, LanguageStatusText());
    });
    comeBack();
}

void frmMain::showHelpContents()
{
    Dialogs::Notice(this,
                    QStringLiteral("Unable to display Help Contents. There is no Help associated "
                                   "with this project."),
                    kAppTitle, MessageIcon::Information);
}

void frmMain::searchHelp()
{
    showHelpContents();
}

void frmMain::showAbout()
{
    RunTrapped(this, kMainTrapCaption, [this] {
        frmAbout dialog(this);
        Dialogs::RunModal(dialog);
    });
}

} // namespace varnel
