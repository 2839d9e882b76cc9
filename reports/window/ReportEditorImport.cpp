// The report window's import of deals from a table file and its export as a table, and the two
// commands of the main window that lead to them.
#include "reports/window/ReportEditorWindow.h"

#include "core/AppContext.h"
#include "core/Dialogs.h"
#include "core/Error.h"
#include "core/SettingKeys.h"
#include "reports/ImportFlow.h"
#include "reports/ImportModels.h"
#include "reports/ReportExport.h"
#include "reports/ReportModel.h"
#include "reports/window/ImportDialogs.h"
#include "reports/window/frmReport.h"
#include "ui/BusyTask.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QTableView>

namespace varnel {
namespace {

const QString kImportFilter =
    QStringLiteral("Таблицы CSV и Excel (*.csv *.txt *.xlsx);;Все файлы (*)");
const QString kExportFilter = QStringLiteral("Книга Excel (*.xlsx);;CSV, разделитель «;» (*.csv)");

ReportEditorWindow* reportWindowOf(ChildWindow* child)
{
    return child && child->asReport() ? dynamic_cast<ReportEditorWindow*>(child) : nullptr;
}

// The report's own name with the workbook's extension: beside its file, or for a report not
// saved yet its caption in the work folder. A caption's characters a file name cannot hold
// become "_".
QString ProposedExportPath(const ReportEditorWindow& window)
{
    const QString file = window.fileName();
    if (!file.isEmpty()) {
        const QFileInfo info(file);
        return info.dir().filePath(info.completeBaseName() + QStringLiteral(".xlsx"));
    }
    QString name = window.nameOfReport().trimmed();
    static const QString kNotInNames = QStringLiteral("\\/:*?\"<>|");
    for (QChar& c : name) {
        if (kNotInNames.contains(c) || c.unicode() < 0x20)
            c = u'_';
    }
    if (name.isEmpty())
        name = QStringLiteral("Отчет");
    const QString work = WorkFolder();
    return (work.isEmpty() ? QDir::current() : QDir(work)).filePath(name + QStringLiteral(".xlsx"));
}

} // namespace

bool ReportEditorWindow::importDeals(const QString& path)
{
    const auto failed = [this](const Outcome& outcome) {
        stbPanel2_->clear();
        if (outcome.failed())
            Dialogs::Critical(this, outcome.failure, kAppTitle);
        return false;
    };
    // The title row and the first rows, for the mapping and its preview.
    ImportRun run(*document_);
    Outcome outcome;
    RunBusy(this, kAppTitle, [&](BusyProgress& progress) { outcome = run.open(path, progress); });
    if (!outcome.done())
        return failed(outcome);

    // Where the columns go: as the user chose for files of these titles before, else by the
    // titles, else as the user chooses now.
    const std::optional<ImportMapping> mapping = SettleImportMapping(this, *document_, run);
    if (!mapping)
        return false;

    // Every row through the checks, beside the window; nothing is added before the whole file
    // has been read.
    run.start(*mapping);
    RunBusy(this, kAppTitle, [&](BusyProgress& progress) {
        progress.allowStop();
        outcome = run.check(progress);
    });
    if (!outcome.done())
        return failed(outcome);

    DealImport& import = run.result();
    const int loaded = int(import.deals().size());
    const int last = document_->rowCount();
    document_->appendDeals(import.takeDeals());
    const QString summary = ImportStatusText(loaded, import.records(), import.refusedRecords());
    stbPanel2_->setText(summary);
    if (loaded > 0)
        selectRow(last);
    if (!import.refused().isEmpty())
        dlgImportResult::Show(this, import.refused(), summary, import.refusedRecords());
    return true;
}

bool ReportEditorWindow::exportTable(const QString& path)
{
    const TableFormat format = TableFormatOfPath(path);
    try {
        RunBusy(this, kAppTitle, [&](BusyProgress& progress) {
            progress.stage(QStringLiteral("Выгрузка отчета в файл ") + QFileInfo(path).fileName(),
                           document_->rowCount());
            TableWriteOptions options;
            options.progress = [&](int written) { progress.advance(written); };
            const ReportExportTable table(document_->rows(), kind_, format, options);
            WriteTableFile(path, table, format, options);
        });
    } catch (const Error& e) {
        stbPanel2_->setText(e.description());
        Dialogs::Critical(this, e.description(), kAppTitle);
        return false;
    }
    stbPanel2_->setText(QStringLiteral("Отчет выгружен в файл ") + path);
    return true;
}

void RunImportDealsCommand(QWidget* parent, ChildWindow* active,
                           const std::function<QWidget*(ReportKind)>& openReport)
{
    ReportEditorWindow* window = reportWindowOf(active);
    std::optional<ReportKind> kind;
    if (!window) {
        kind = dlgImportKind::Ask(parent);
        if (!kind)
            return;
    }
    const QString path = Dialogs::OpenFile(parent, QStringLiteral("Импорт сделок из файла"),
                                           WorkFolder(), kImportFilter);
    if (path.isEmpty())
        return;
    const bool opened = !window;
    if (opened) {
        window = dynamic_cast<ReportEditorWindow*>(openReport(*kind));
        if (!window)
            return;
    }
    // A report opened for a file that could not be read is of no use: it goes again.
    if (!window->importDeals(path) && opened && !window->isChanged()) {
        if (QWidget* frame = window->parentWidget(); frame && frame->inherits("QMdiSubWindow"))
            frame->close();
        else
            window->close();
    }
}

void RunExportReportCommand(QWidget* parent, ChildWindow* active)
{
    ReportEditorWindow* window = reportWindowOf(active);
    if (!window)
        return;
    QString path = Dialogs::SaveFile(parent, QStringLiteral("Экспорт отчета в таблицу"),
                                     ProposedExportPath(*window), kExportFilter);
    if (path.isEmpty())
        return;
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix != u"xlsx" && suffix != u"csv")
        path += QStringLiteral(".xlsx");
    window->exportTable(path);
}

} // namespace varnel
