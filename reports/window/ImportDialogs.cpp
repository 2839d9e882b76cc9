#include "reports/window/ImportDialogs.h"

#include "core/AppContext.h"
#include "core/Dialogs.h"
#include "core/SettingKeys.h"
#include "reports/ImportFlow.h"
#include "reports/ImportModels.h"
#include "reports/ReportDocument.h"
#include "reports/ReportModel.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QVBoxLayout>

namespace varnel {
namespace {

QTableView* makeTable(QWidget* parent, const char* name, QAbstractItemModel* model)
{
    auto* view = new QTableView(parent);
    view->setObjectName(QLatin1String(name));
    view->setModel(model);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setTabKeyNavigation(false); // Tab goes on to the next control, the arrows move inside
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->horizontalHeader()->setStretchLastSection(true);
    return view;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// dlgImportKind

dlgImportKind::dlgImportKind(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("dlgImportKind"));
    setWindowTitle(QStringLiteral("Импорт сделок"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Нет открытого отчета. В какой новый отчет "
                                                "загрузить сделки?"),
                                 this));
    optDeals_ = new QRadioButton(QStringLiteral("Отчет о сделках"), this);
    optDeals_->setObjectName(QStringLiteral("optDeals"));
    optDeals_->setChecked(true);
    optRepo_ = new QRadioButton(QStringLiteral("Отчет о сделках РЕПО"), this);
    optRepo_->setObjectName(QStringLiteral("optRepo"));
    layout->addWidget(optDeals_);
    layout->addWidget(optRepo_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

ReportKind dlgImportKind::kind() const
{
    return optRepo_->isChecked() ? ReportKind::Repo : ReportKind::Deals;
}

std::optional<ReportKind> dlgImportKind::Ask(QWidget* parent)
{
    dlgImportKind dialog(parent);
    if (Dialogs::RunModal(dialog) != QDialog::Accepted)
        return std::nullopt;
    return dialog.kind();
}

// ---------------------------------------------------------------------------------------------
// dlgImportMapping

dlgImportMapping::dlgImportMapping(ImportMappingModel& model, const QString& fileName,
                                   QWidget* parent)
    : QDialog(parent), model_(model)
{
    setObjectName(QStringLiteral("dlgImportMapping"));
    setWindowTitle(QStringLiteral("Импорт сделок: столбцы файла"));
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(QStringLiteral("Файл ") + fileName +
                                 QStringLiteral(". Выберите для каждого столбца файла поле "
                                                "отчета, в которое он загружается."),
                             this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    lvColumns_ = makeTable(this, "lvColumns", &model_);
    const QStringList choices = model_.choices();
    for (int row = 0; row < model_.rowCount(); ++row) {
        auto* combo = new QComboBox(lvColumns_);
        combo->setObjectName(QStringLiteral("cmbField%1").arg(row));
        combo->addItems(choices);
        combo->setCurrentIndex(model_.choice(row));
        connect(combo, &QComboBox::currentIndexChanged, this,
                [this, row](int index) { model_.choose(row, index); });
        lvColumns_->setIndexWidget(model_.index(row, 1), combo);
    }
    lvColumns_->resizeColumnsToContents();
    lvColumns_->setColumnWidth(1, std::max(lvColumns_->columnWidth(1), 220));
    layout->addWidget(lvColumns_, 1);
    // The focus shows where it is: the first column of the file current, its field's list
    // focused; Tab goes on through the lists.
    if (model_.rowCount() > 0) {
        lvColumns_->selectionModel()->setCurrentIndex(
            model_.index(0, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        if (QComboBox* first = cmbField(0))
            first->setFocus(Qt::OtherFocusReason);
    }

    lblUnfilled_ = new QLabel(this);
    lblUnfilled_->setObjectName(QStringLiteral("lblUnfilled"));
    lblUnfilled_->setWordWrap(true);
    layout->addWidget(lblUnfilled_);
    lblProblem_ = new QLabel(this);
    lblProblem_->setObjectName(QStringLiteral("lblProblem"));
    lblProblem_->setWordWrap(true);
    lblProblem_->setStyleSheet(QStringLiteral("color: #b00000"));
    layout->addWidget(lblProblem_);

    buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons_->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Загрузить"));
    buttons_->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("cmdLoad"));
    connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons_);

    connect(&model_, &ImportMappingModel::mappingChanged, this, &dlgImportMapping::showState);
    showState();
    resize(760, 480);
}

QComboBox* dlgImportMapping::cmbField(int fileColumn) const
{
    return qobject_cast<QComboBox*>(lvColumns_->indexWidget(model_.index(fileColumn, 1)));
}

QPushButton* dlgImportMapping::cmdLoad() const
{
    return buttons_->button(QDialogButtonBox::Ok);
}

void dlgImportMapping::showState()
{
    const QString problem = model_.problem();
    lblProblem_->setText(problem);
    lblProblem_->setVisible(!problem.isEmpty());
    const QString unfilled = model_.unfilledText();
    lblUnfilled_->setText(unfilled);
    lblUnfilled_->setVisible(!unfilled.isEmpty());
    cmdLoad()->setEnabled(problem.isEmpty());
}

std::optional<ImportMapping> dlgImportMapping::Ask(QWidget* parent, const ReportModel& report,
                                                   const ImportMapping& proposal,
                                                   const QList<QStringList>& preview,
                                                   const QString& fileName,
                                                   const UnfilledFields& unfilled)
{
    ImportMappingModel model(report, proposal, preview, unfilled);
    dlgImportMapping dialog(model, fileName, parent);
    if (Dialogs::RunModal(dialog) != QDialog::Accepted || !model.problem().isEmpty())
        return std::nullopt;
    return model.mapping();
}

// ---------------------------------------------------------------------------------------------
// dlgImportResult

dlgImportResult::dlgImportResult(RefusedRowsModel& model, const QString& summary, int refusedRows,
                                 QWidget* parent)
    : QDialog(parent), model_(model)
{
    setObjectName(QStringLiteral("dlgImportResult"));
    setWindowTitle(QStringLiteral("Импорт сделок: отклоненные строки"));
    auto* layout = new QVBoxLayout(this);
    const QString note = RefusedListNote(refusedRows);
    auto* label =
        new QLabel(summary + QStringLiteral(". Отклоненные строки не добавлены") +
                       (note.isEmpty() ? QString() : QStringLiteral(" (") + note + u')') + u':',
                   this);
    label->setObjectName(QStringLiteral("lblSummary"));
    layout->addWidget(label);
    lvRefused_ = makeTable(this, "lvRefused", &model_);
    lvRefused_->resizeColumnsToContents();
    layout->addWidget(lvRefused_, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    cmdCopy_ = buttons->addButton(QStringLiteral("Копировать"), QDialogButtonBox::ActionRole);
    cmdCopy_->setObjectName(QStringLiteral("cmdCopy"));
    cmdSave_ =
        buttons->addButton(QStringLiteral("Сохранить в CSV..."), QDialogButtonBox::ActionRole);
    cmdSave_->setObjectName(QStringLiteral("cmdSave"));
    buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("Закрыть"));
    connect(cmdCopy_, &QPushButton::clicked, this, &dlgImportResult::copyRows);
    connect(cmdSave_, &QPushButton::clicked, this, &dlgImportResult::saveRows);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(820, 420);
}

void dlgImportResult::copyRows()
{
    QApplication::clipboard()->setText(TableText(model_.table()));
}

void dlgImportResult::saveRows()
{
    RunTrapped(this, kAppTitle, [this] {
        QString path = Dialogs::SaveFile(this, QStringLiteral("Сохранить отклоненные строки"),
                                         WorkFolder(), QStringLiteral("CSV (*.csv)"));
        if (path.isEmpty())
            return;
        if (TableFormatOfPath(path) != TableFormat::Csv)
            path += QStringLiteral(".csv");
        WriteTableFile(path, model_.table(), TableFormat::Csv);
    });
}

void dlgImportResult::Show(QWidget* parent, const QList<RefusedRow>& rows, const QString& summary,
                           int refusedRows)
{
    RefusedRowsModel model(rows);
    dlgImportResult dialog(model, summary, refusedRows, parent);
    Dialogs::RunModal(dialog);
}

std::optional<ImportMapping> SettleImportMapping(QWidget* parent, const ReportDocument& document,
                                                 const ImportRun& run)
{
    std::optional<ImportMapping> mapping = run.settledMapping();
    if (mapping)
        return mapping;
    const QList<FieldCheck> untouched = UntouchedFields(document, run.today());
    UnfilledFields unfilled;
    for (const FieldCheck& field : untouched)
        unfilled.values << field.text;
    unfilled.lacking = [&document, untouched](const ImportMapping& chosen) {
        return chosen.lacking(document, untouched);
    };
    mapping = dlgImportMapping::Ask(parent, document.rows(), run.proposal().mapping, run.preview(),
                                    QFileInfo(run.path()).fileName(), unfilled);
    if (mapping)
        RememberMapping(document, *mapping);
    return mapping;
}

} // namespace varnel
