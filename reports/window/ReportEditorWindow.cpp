// The report window's side of its document, and the commands of its panel.
#include "reports/window/ReportEditorWindow.h"

#include "core/AppContext.h"
#include "core/Dialogs.h"
#include "reports/ReportModel.h"
#include "ui/BusyTask.h"
#include "ui/DatePicker.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>

namespace varnel {
namespace {

const QString kChangedMarker = QStringLiteral(" * ");
const QString kNoDealSelected = QStringLiteral("Не выбрана текущая сделка");

QDate today()
{
    return QDate::currentDate();
}

} // namespace

ReportEditorWindow::ReportEditorWindow(ReportKind kind, QWidget* parent)
    : QWidget(parent), kind_(kind)
{
    setObjectName(QLatin1String(TraitsOf(kind).windowName));
    setAttribute(Qt::WA_DeleteOnClose, false);
    document_ = new ReportDocument(kind, this);
    // Reading and writing a big report run beside the window, which keeps painting; past half
    // a second a progress dialog says what is being done, and the user's input waits.
    document_->setLongStepRunner([this](const QString& what, const std::function<void()>& work) {
        RunBusy(this, kAppTitle, [&](BusyProgress& progress) {
            progress.stage(what);
            work();
        });
    });
    editor_.reset(new ReportEditor(*document_, *this));
    createControls();
    followDocument();
    connect(qApp, &QApplication::focusChanged, this, &ReportEditorWindow::followPickerFocus);
    buildFromLayout();
}

ReportEditorWindow::~ReportEditorWindow()
{
    // Destroying the child widgets moves the focus; the window must no longer hear of it, its
    // own members being gone by then.
    if (qApp)
        disconnect(qApp, nullptr, this, nullptr);
}

ChildKind ReportEditorWindow::childKind() const
{
    return kind_ == ReportKind::Repo ? ChildKind::RepoReport : ChildKind::Report;
}

// ---------------------------------------------------------------------------------------------
// The document's state, shown as it changes

void ReportEditorWindow::followDocument()
{
    connect(document_, &ReportDocument::fileNameChanged, lblFileName_, &QLabel::setText);
    connect(document_, &ReportDocument::changedChanged, this, [this](bool changed) {
        lblChanged_->setText(changed ? QStringLiteral("1") : QStringLiteral("0"));
        showCaption();
    });
    connect(document_, &ReportDocument::layoutFailedChanged, this, [this](bool failed) {
        lblLoadFail_->setText(failed ? QStringLiteral("1") : QStringLiteral("0"));
    });
    connect(document_, &ReportDocument::rowCountChanged, this, [this] {
        showCount();
        showEnabling();
    });
    connect(document_, &ReportDocument::loadStarted, this, [this](const QString& path) {
        stbPanel2_->setText(QStringLiteral("Загружается файл ") + path + QStringLiteral("..."));
    });
    connect(document_, &ReportDocument::saveStarted, this, [this](const QString& path) {
        stbPanel2_->setText(QStringLiteral("Сохраняется файл ") + path + QStringLiteral("..."));
    });
}

void ReportEditorWindow::buildFromLayout()
{
    const Outcome built = document_->buildFromLayout();
    if (built.failed()) {
        // The window is never shown: the main window discards it.
        Dialogs::Critical(this, built.failure, kAppTitle);
        return;
    }
    editor_->bindColumns();
    showFields();
    // The layout's initial values only: the configured participant comes with the first add,
    // change, shown deal or clearing of the fields.
    editor_->fillInitialValues(today());
    layoutLoaded_ = true;
    arrangeFirst();
    showCount();
}

void ReportEditorWindow::changeEvent(QEvent* event)
{
    // A caption given from outside (the main window's "[New Report N]") is the caption the
    // changed mark goes after.
    if (event->type() == QEvent::WindowTitleChange && !showingCaption_)
        caption_ = windowTitle();
    QWidget::changeEvent(event);
}

void ReportEditorWindow::showCaption()
{
    showingCaption_ = true;
    setWindowTitle(document_->isChanged() && !caption_.contains(kChangedMarker)
                       ? caption_ + kChangedMarker
                       : caption_);
    showingCaption_ = false;
}

void ReportEditorWindow::showCount()
{
    stbPanel1_->setText(QStringLiteral("Записей: ") + QString::number(document_->rowCount()));
}

void ReportEditorWindow::showEnabling()
{
    const bool rows = document_->rowCount() > 0;
    cmdEdit_->setEnabled(rows);
    cmdDel_->setEnabled(rows);
}

bool ReportEditorWindow::loadFailed() const
{
    return document_->layoutFailed();
}

QString ReportEditorWindow::fileName() const
{
    return document_->fileName();
}

bool ReportEditorWindow::isChanged() const
{
    return document_->isChanged();
}

ReportModel& ReportEditorWindow::model() const
{
    return document_->rows();
}

const ReportTable& ReportEditorWindow::lvDeals() const
{
    return document_->rows();
}

Outcome ReportEditorWindow::IsReportCorrect() const
{
    return document_->isCorrect();
}

QString ReportEditorWindow::statusText(int panel) const
{
    return panel == 1 ? stbPanel1_->text() : stbPanel2_->text();
}

QPushButton* ReportEditorWindow::button(const QString& name) const
{
    for (QPushButton* b : {cmdAdd_, cmdEdit_, cmdDel_, cmdClear_, cmdPick_}) {
        if (b->objectName() == name)
            return b;
    }
    return nullptr;
}

int ReportEditorWindow::selectedRow() const
{
    const QModelIndexList rows = lvDeals_->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void ReportEditorWindow::selectRow(int row)
{
    if (row < 0 || row >= document_->rowCount()) {
        lvDeals_->clearSelection();
        return;
    }
    const QModelIndex index = document_->rows().index(row, 0);
    lvDeals_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                           QItemSelectionModel::Rows);
    lvDeals_->scrollTo(index);
}

// ---------------------------------------------------------------------------------------------
// Loading and saving: the document does them, the window reports how they ended

void ReportEditorWindow::LoadFile(const QString& path)
{
    const bool exists = QFileInfo::exists(path);
    const Outcome loaded = document_->load(path);
    caption_ = path;
    showCaption();
    stbPanel2_->clear();
    if (loaded.failed()) {
        Dialogs::Critical(this, loaded.failure, kAppTitle);
        return;
    }
    if (!exists)
        return;
    lvDeals_->setFocus();
    if (document_->rowCount() > 0) {
        selectRow(0);
        editor_->showDeal(0);
    }
}

bool ReportEditorWindow::reportSaveOutcome(const Outcome& outcome)
{
    switch (outcome.status) {
    case Outcome::Status::Done:
        caption_ = document_->fileName();
        showCaption();
        stbPanel2_->clear();
        return true;
    case Outcome::Status::Cancelled: return false;
    case Outcome::Status::Failed: break;
    }
    stbPanel2_->setText(outcome.failure);
    if (!outcome.failure.isEmpty())
        Dialogs::Critical(this, outcome.failure, kAppTitle);
    return false;
}

bool ReportEditorWindow::SaveFile()
{
    return reportSaveOutcome(document_->save(this));
}

bool ReportEditorWindow::SaveFileAs(const QString& path)
{
    return reportSaveOutcome(document_->saveAs(path, this));
}

QString ReportEditorWindow::nameOfReport() const
{
    // A report never saved has no file yet: its caption names it ("[New Report 1]").
    return document_->fileName().isEmpty() ? caption_ : document_->fileName();
}

bool ReportEditorWindow::confirmClose()
{
    if (!document_->isChanged())
        return true;
    // The question is about the window in front.
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()); sub && sub->mdiArea())
        sub->mdiArea()->setActiveSubWindow(sub);
    switch (Dialogs::AskYesNoCancel(this,
                                    QStringLiteral("Вы внесли изменения в отчет. Сохранить файл ") +
                                        nameOfReport() + QStringLiteral(" ?"),
                                    kAppTitle)) {
    case Answer::Yes: return SaveFile();
    case Answer::No: return true;
    default: return false;
    }
}

bool ReportEditorWindow::PrepareToClose()
{
    closeAgreed_ = closeAgreed_ || confirmClose();
    return closeAgreed_;
}

void ReportEditorWindow::closeEvent(QCloseEvent* event)
{
    if (!closeAgreed_ && !confirmClose()) {
        event->ignore();
        return;
    }
    closeAgreed_ = true;
    // Changes the user chose not to save go with the window.
    document_->discardChanges();
    if (layoutLoaded_ && !loadFailed()) {
        saveColumnWidths();
        savePlacement();
    }
    event->accept();
}

// ---------------------------------------------------------------------------------------------
// Commands

bool ReportEditorWindow::refused(const Outcome& outcome)
{
    if (!outcome.failed())
        return false;
    Dialogs::Critical(this, outcome.failure, kAppTitle);
    return true;
}

void ReportEditorWindow::addDeal()
{
    if (!runPendingCheck())
        return;
    int row = -1;
    if (refused(editor_->addDeal(&row)))
        return;
    selectRow(row);
}

void ReportEditorWindow::changeSelectedDeal()
{
    if (!runPendingCheck())
        return;
    const int row = selectedRow();
    if (row < 0) {
        refused(Outcome::Failed(kNoDealSelected));
        return;
    }
    refused(editor_->changeDeal(row));
}

void ReportEditorWindow::deleteSelectedDeal()
{
    const int row = selectedRow();
    if (row < 0) {
        refused(Outcome::Failed(kNoDealSelected));
        return;
    }
    if (Dialogs::AskYesNo(this, QStringLiteral("Удалить текущую сделку ?"), kAppTitle) !=
        Answer::Yes)
        return;
    pendingCheck_ = -1; // the editors are about to show another deal
    document_->deleteDeal(row);
    const int next = std::min(row, document_->rowCount() - 1);
    selectRow(next);
    if (next >= 0)
        editor_->showDeal(next);
    lvDeals_->setFocus();
}

void ReportEditorWindow::clearFields()
{
    pendingCheck_ = -1;
    editor_->clearFields(today());
}

void ReportEditorWindow::showDealOfRow(int row)
{
    if (!runPendingCheck())
        return;
    editor_->showDeal(row);
}

void ReportEditorWindow::showDealAt(const QPoint& viewportPos)
{
    const QModelIndex index = lvDeals_->indexAt(viewportPos);
    if (!index.isValid())
        return;
    if (!runPendingCheck())
        return;
    selectRow(index.row());
    editor_->showDeal(index.row());
}

} // namespace varnel
