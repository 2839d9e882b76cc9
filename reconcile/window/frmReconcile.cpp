#include "reconcile/window/frmReconcile.h"

#include "core/AppContext.h"
#include "core/Dialogs.h"
#include "core/SettingKeys.h"
#include "core/Twips.h"
#include "reports/ImportFlow.h"
#include "reports/ReportDocument.h"
#include "reports/window/ImportDialogs.h"
#include "ui/BusyTask.h"
#include "ui/ColumnFit.h"
#include "ui/DateLineEdit.h"
#include "ui/WindowPlacement.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace varnel {
namespace {

using reconcile::Line;
using reconcile::State;

// Where the window opens with nothing stored, in twips: wide enough for every column of the
// list with its usual texts.
const QRectF kDefaultTwips{700, 500, 17500, 9000};

const QString kFileFilter =
    QStringLiteral("Таблицы CSV и Excel (*.csv *.txt *.xlsx);;Все файлы (*)");

} // namespace

frmReconcile::frmReconcile(Actions actions, QWidget* parent)
    : PlacedChildWidget(kAppTitle + QStringLiteral("reconcile"), kDefaultTwips, parent),
      actions_(std::move(actions))
{
    setObjectName(QStringLiteral("frmReconcile"));
    setWindowTitle(QStringLiteral("Сверка с файлом"));
    build();
    showResult();
}

frmReconcile::~frmReconcile()
{
    lines_.show(nullptr);
    requests_.show(nullptr);
}

void frmReconcile::build()
{
    auto* top = new QHBoxLayout;
    cbKind_ = new QComboBox(this);
    cbKind_->setObjectName(QStringLiteral("cbKind"));
    cbKind_->addItem(QStringLiteral("сделки"), int(ReportKind::Deals));
    cbKind_->addItem(QStringLiteral("сделки РЕПО"), int(ReportKind::Repo));
    chkPeriod_ = new QCheckBox(QStringLiteral("Период с"), this);
    chkPeriod_->setObjectName(QStringLiteral("chkPeriod"));
    chkPeriod_->setToolTip(
        QStringLiteral("Дата сделки в периоде; без периода его задают даты сделок файла"));
    const QDate today = QDate::currentDate();
    dtFrom_ = new DateLineEdit(this);
    dtFrom_->setObjectName(QStringLiteral("dtFrom"));
    dtFrom_->setDate(today);
    dtTo_ = new DateLineEdit(this);
    dtTo_->setObjectName(QStringLiteral("dtTo"));
    dtTo_->setDate(today);
    for (DateLineEdit* d : {dtFrom_, dtTo_}) {
        d->setFixedWidth(d->fontMetrics().horizontalAdvance(QStringLiteral("00.00.00000")) +
                         d->sizeHint().height() + 8);
        d->setEnabled(false);
    }
    cmdOpen_ = NewButton("cmdOpen", QString::fromUtf16(u"&Файл..."), this);
    cmdOpen_->setToolTip(QStringLiteral("Выбрать таблицу сделок CSV или .xlsx и сверить ее"));
    cmdAgain_ = NewButton("cmdAgain", QString::fromUtf16(u"&Сверить снова"), this);
    top->addWidget(new QLabel(QStringLiteral("Отчет:"), this));
    top->addWidget(cbKind_);
    top->addSpacing(12);
    top->addWidget(chkPeriod_);
    top->addWidget(dtFrom_);
    top->addWidget(new QLabel(QStringLiteral("по"), this));
    top->addWidget(dtTo_);
    top->addStretch(1);
    top->addWidget(cmdOpen_);
    top->addWidget(cmdAgain_);

    auto* second = new QHBoxLayout;
    lblFile_ = new QLabel(this);
    lblFile_->setObjectName(QStringLiteral("lblFile"));
    lblFile_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    cbState_ = new QComboBox(this);
    cbState_->setObjectName(QStringLiteral("cbState"));
    cbState_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    second->addWidget(lblFile_, 1);
    second->addWidget(new QLabel(QStringLiteral("Показать:"), this));
    second->addWidget(cbState_);

    lblCounts_ = new QLabel(this);
    lblCounts_->setObjectName(QStringLiteral("lblCounts"));
    lblCounts_->setWordWrap(true);
    QFont bold = lblCounts_->font();
    bold.setBold(true);
    lblCounts_->setFont(bold);

    lvLines_ = NewRowList("lvLines", &lines_, this);
    lvLines_->setSelectionMode(QAbstractItemView::SingleSelection);
    lblLine_ = new QLabel(this);
    lblLine_->setObjectName(QStringLiteral("lblLine"));
    lvRequests_ = NewRowList("lvRequests", &requests_, this);
    lvRequests_->setSelectionMode(QAbstractItemView::SingleSelection);
    QSplitter* split = ListOverDetails(this, lvLines_, lblLine_, lvRequests_, 3, 1);

    auto* bottom = new QHBoxLayout;
    cmdSend_ = NewButton("cmdSend", QString::fromUtf16(u"Отправить &неотправленные"), this);
    cmdSend_->setToolTip(QStringLiteral(
        "Открыть неотправленные и отклоненные сделки файла в новом отчете для отправки"));
    cmdExport_ = NewButton("cmdExport", QString::fromUtf16(u"&Экспорт в Excel"), this);
    cmdExport_->setToolTip(QStringLiteral("Сохранить показанные сделки в книге .xlsx или CSV"));
    bottom->addWidget(cmdSend_);
    bottom->addWidget(cmdExport_);
    bottom->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addLayout(top);
    layout->addLayout(second);
    layout->addWidget(lblCounts_);
    layout->addWidget(split, 1);
    layout->addLayout(bottom);

    connect(chkPeriod_, &QCheckBox::toggled, this, [this](bool on) {
        dtFrom_->setEnabled(on);
        dtTo_->setEnabled(on);
    });
    connect(cmdOpen_, &QPushButton::clicked, this, &frmReconcile::chooseFile);
    connect(cmdAgain_, &QPushButton::clicked, this, [this] { reconcileFile(path_); });
    connect(cbState_, &QComboBox::currentIndexChanged, this, [this] {
        const int data = cbState_->currentData().toInt();
        lines_.setFilter(data < 0 ? std::nullopt : std::optional<State>(State(data)));
        FitColumnsToRows(lvLines_, 30, true);
        selectLine(0);
    });
    connect(lvLines_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &frmReconcile::showCurrentLine);
    connect(cmdSend_, &QPushButton::clicked, this, &frmReconcile::sendUnsent);
    connect(cmdExport_, &QPushButton::clicked, this, &frmReconcile::exportLines);
}

QPushButton* frmReconcile::button(const QString& name) const
{
    return findChild<QPushButton*>(name);
}

QString frmReconcile::countsText() const
{
    return lblCounts_->text();
}

QString frmReconcile::lineText() const
{
    return lblLine_->text();
}

void frmReconcile::setKind(ReportKind kind)
{
    cbKind_->setCurrentIndex(std::max(0, cbKind_->findData(int(kind))));
}

ReportKind frmReconcile::kind() const
{
    return ReportKind(cbKind_->currentData().toInt());
}

void frmReconcile::setPeriod(const QDate& from, const QDate& to)
{
    const bool period = from.isValid() || to.isValid();
    chkPeriod_->setChecked(period);
    if (from.isValid())
        dtFrom_->setDate(from);
    if (to.isValid())
        dtTo_->setDate(to);
}

void frmReconcile::setStateFilter(std::optional<State> state)
{
    cbState_->setCurrentIndex(std::max(0, cbState_->findData(state ? int(*state) : -1)));
}

void frmReconcile::selectLine(int row)
{
    SelectRow(lvLines_, row, [this] { showCurrentLine(); });
}

void frmReconcile::chooseFile()
{
    const QString path = Dialogs::OpenFile(this, QStringLiteral("Сверка с файлом"),
                                           path_.isEmpty() ? WorkFolder() : path_, kFileFilter);
    if (!path.isEmpty())
        reconcileFile(path);
}

bool frmReconcile::reconcileFile(const QString& path)
{
    if (path.isEmpty())
        return false;
    reconcile::ReconcileQuery query;
    query.kind = kind();
    query.path = path;
    if (chkPeriod_->isChecked()) {
        query.since = dtFrom_->settledDate();
        query.until = dtTo_->settledDate();
    }
    // Where the file's columns go, as the import settles it (asking the user when it has to).
    {
        ReportDocument document(query.kind);
        if (const Outcome built = document.buildFromLayout(); !built.done()) {
            Dialogs::Critical(this, built.failure, kAppTitle);
            return false;
        }
        ImportRun run(document);
        Outcome opened;
        RunBusy(this, kAppTitle,
                [&](BusyProgress& progress) { opened = run.open(path, progress); });
        if (!opened.done()) {
            if (opened.failed())
                Dialogs::Critical(this, opened.failure, kAppTitle);
            return false;
        }
        query.mapping = SettleImportMapping(this, document, run);
        if (!query.mapping)
            return false;
    }
    auto result = std::make_unique<reconcile::ReconcileResult>();
    Outcome outcome;
    RunBusy(this, kAppTitle, [&](BusyProgress& progress) {
        progress.allowStop();
        outcome = reconcile::Reconcile(query, progress, *result);
    });
    if (!outcome.done()) {
        if (outcome.failed())
            Dialogs::Critical(this, outcome.failure, kAppTitle);
        return false;
    }
    path_ = path;
    lines_.show(nullptr);
    requests_.show(nullptr);
    result_ = std::move(result);
    showResult();
    return true;
}

void frmReconcile::fillStates()
{
    const QSignalBlocker block(cbState_);
    const int chosen = cbState_->count() > 0 ? cbState_->currentData().toInt() : -1;
    cbState_->clear();
    const int all = result_ ? int(result_->lines.size()) : 0;
    cbState_->addItem(QStringLiteral("все сделки (%1)").arg(all), -1);
    for (int s = 0; s < reconcile::kStateCount; ++s) {
        const int count = result_ ? result_->counts[size_t(s)] : 0;
        cbState_->addItem(QStringLiteral("%1 (%2)").arg(reconcile::StateText(State(s))).arg(count),
                          s);
    }
    cbState_->setCurrentIndex(std::max(0, cbState_->findData(chosen)));
    const int data = cbState_->currentData().toInt();
    lines_.setFilter(data < 0 ? std::nullopt : std::optional<State>(State(data)));
}

void frmReconcile::showResult()
{
    fillStates();
    lines_.show(result_.get());
    if (!result_) {
        lblFile_->setText(QStringLiteral("Файл не выбран"));
        lblCounts_->setText(QString());
    } else {
        lblFile_->setText(QStringLiteral("Файл: ") + QDir::toNativeSeparators(result_->path));
        QString counts;
        if (result_->since.isValid())
            counts = QStringLiteral("Сделки с %1 по %2: ")
                         .arg(result_->since.toString(QStringLiteral("dd.MM.yyyy")),
                              result_->until.toString(QStringLiteral("dd.MM.yyyy")));
        counts += reconcile::CountsText(*result_);
        if (!result_->journalFound)
            counts += QStringLiteral(". Журнала отправок нет: ни одна сделка не отправлялась");
        else if (reconcile::AllAcceptedAndEqual(*result_))
            counts += QStringLiteral(". Все сделки файла приняты реестром");
        lblCounts_->setText(counts);
    }
    // A new file's lines are fitted anew.
    lvLines_->setProperty("fitted", false);
    FitColumnsToRows(lvLines_, 30, true);
    selectLine(0);
    cmdAgain_->setEnabled(!path_.isEmpty());
    cmdSend_->setEnabled(
        result_ && (result_->count(State::NotSent) > 0 || result_->count(State::Rejected) > 0));
    cmdExport_->setEnabled(result_ && !result_->lines.isEmpty());
}

void frmReconcile::showCurrentLine()
{
    const QModelIndex current = lvLines_->currentIndex();
    const Line* line = current.isValid() ? lines_.line(current.row()) : nullptr;
    requests_.show(line);
    FitColumnsToRows(lvRequests_, 30, true);
    QString text;
    if (line) {
        text = QStringLiteral("Сделка ") + line->keyText();
        if (line->row > 0)
            text += QStringLiteral(", строка %1 файла").arg(line->row);
        text += QStringLiteral(": ") + reconcile::StateText(line->state);
        if (line->requests.isEmpty())
            text += QStringLiteral(", запросов с ней не было");
        else
            text += QStringLiteral(", запросов с ней: %1").arg(line->requests.size());
        const QString differences = reconcile::DifferencesText(line->differences());
        if (!differences.isEmpty())
            text += QStringLiteral(". ") + differences;
    }
    lblLine_->setText(text);
}

void frmReconcile::sendUnsent()
{
    RunTrapped(this, kAppTitle, [this] {
        if (!result_ || !actions_.send)
            return;
        const QList<QStringList> deals = reconcile::DealsToSend(*result_);
        if (deals.isEmpty()) {
            Dialogs::Notice(this, QStringLiteral("Неотправленных и отклоненных сделок нет"),
                            kAppTitle);
            return;
        }
        actions_.send(result_->kind, deals);
    });
}

void frmReconcile::exportLines()
{
    RunTrapped(this, kAppTitle, [this] {
        if (!result_)
            return;
        QString path =
            Dialogs::SaveFile(this, QStringLiteral("Экспорт сверки"), QString(),
                              QStringLiteral("Книга Excel (*.xlsx);;CSV, разделитель «;» (*.csv)"));
        if (path.isEmpty())
            return;
        const QString suffix = QFileInfo(path).suffix().toLower();
        if (suffix != u"xlsx" && suffix != u"csv")
            path += QStringLiteral(".xlsx");
        const QList<int> shown = lines_.shown();
        const reconcile::ReconcileTable table(*result_, &shown);
        RunBusy(this, kAppTitle, [&](BusyProgress& progress) {
            progress.stage(QStringLiteral("Выгрузка сверки в файл ") + QFileInfo(path).fileName(),
                           table.rowCount());
            TableWriteOptions options;
            options.progress = [&](int written) { progress.advance(written); };
            WriteTableFile(path, table, TableFormatOfPath(path), options);
        });
    });
}

} // namespace varnel
