#include "journal/window/frmJournal.h"

#include "core/AppContext.h"
#include "core/Dialogs.h"
#include "core/Error.h"
#include "core/Twips.h"
#include "journal/Journal.h"
#include "journal/JournalTable.h"
#include "ui/ColumnFit.h"
#include "ui/DateLineEdit.h"
#include "ui/WindowPlacement.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
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

using journal::DealEntry;
using journal::RequestEntry;
using journal::RequestFilter;
using journal::Result;

// Where the window opens with nothing stored, in twips.
// Wide enough for every column of both lists with their usual texts.
const QRectF kDefaultTwips{600, 400, 16500, 9000};

const struct {
    RequestFilter::Status status;
    const char16_t* text;
} kStatuses[] = {
    {RequestFilter::Status::All, u"все запросы"},
    {RequestFilter::Status::Waiting, u"ждут ответа"},
    {RequestFilter::Status::WithRejected, u"с отклоненными сделками"},
    {RequestFilter::Status::Accepted, u"принятые полностью"},
    {RequestFilter::Status::AnswersOnly, u"ответы без запроса"},
};

bool isReport(const RequestEntry* r)
{
    return r && !r->answerOnly && (r->kind == u"Deals" || r->kind == u"RepoDeals");
}

} // namespace

frmJournal::frmJournal(journal::Journal& journal, Actions actions, QWidget* parent)
    : PlacedChildWidget(kAppTitle + QStringLiteral("journal"), kDefaultTwips, parent),
      journal_(journal), actions_(std::move(actions))
{
    setObjectName(QStringLiteral("frmJournal"));
    setWindowTitle(QStringLiteral("Журнал отправок"));
    build();
    followJournal();
    refresh();
}

frmJournal::~frmJournal()
{
    delete store_;
}

void frmJournal::build()
{
    auto* top = new QHBoxLayout;
    chkPeriod_ = new QCheckBox(QStringLiteral("Период с"), this);
    chkPeriod_->setObjectName(QStringLiteral("chkPeriod"));
    const QDate today = QDate::currentDate();
    // The period follows a date typed once it is whole (Enter, the focus leaving) or one
    // chosen in the calendar; a text that names no date is marked and leaves it as it was.
    dtFrom_ = new DateLineEdit(this);
    dtFrom_->setObjectName(QStringLiteral("dtFrom"));
    dtFrom_->setDate(today.addDays(-7));
    dtTo_ = new DateLineEdit(this);
    dtTo_->setObjectName(QStringLiteral("dtTo"));
    dtTo_->setDate(today);
    for (DateLineEdit* d : {dtFrom_, dtTo_}) {
        // Room for a date and the calendar button, as wide as a date needs and no wider.
        d->setFixedWidth(d->fontMetrics().horizontalAdvance(QStringLiteral("00.00.00000")) +
                         d->sizeHint().height() + 8);
        d->setEnabled(false);
    }
    cbStatus_ = new QComboBox(this);
    cbStatus_->setObjectName(QStringLiteral("cbStatus"));
    for (const auto& s : kStatuses)
        cbStatus_->addItem(QString::fromUtf16(s.text), int(s.status));
    cmdRefresh_ = NewButton("cmdRefresh", QString::fromUtf16(u"Принять ответы"), this);
    cmdRefresh_->setToolTip(QStringLiteral("Прочитать ответы, пришедшие в каталог приема"));
    top->addWidget(chkPeriod_);
    top->addWidget(dtFrom_);
    top->addWidget(new QLabel(QStringLiteral("по"), this));
    top->addWidget(dtTo_);
    top->addSpacing(12);
    top->addWidget(new QLabel(QStringLiteral("Показать:"), this));
    top->addWidget(cbStatus_);
    top->addStretch(1);
    top->addWidget(cmdRefresh_);

    lvRequests_ = NewRowList("lvRequests", &requests_, this);
    lvRequests_->setSelectionMode(QAbstractItemView::SingleSelection);

    lblRequest_ = new QLabel(this);
    lblRequest_->setObjectName(QStringLiteral("lblRequest"));
    lvDeals_ = NewRowList("lvDeals", &deals_, this);
    lvDeals_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    QSplitter* split = ListOverDetails(this, lvRequests_, lblRequest_, lvDeals_, 1, 1);

    auto* bottom = new QHBoxLayout;
    cmdCorrect_ = NewButton("cmdCorrect", QString::fromUtf16(u"Исправить отклоненные"), this);
    cmdCorrect_->setToolTip(
        QStringLiteral("Открыть отклоненные сделки отчета в новом отчете для исправления"));
    cmdRevoke_ = NewButton("cmdRevoke", QString::fromUtf16(u"&Удалить в реестре"), this);
    cmdRevoke_->setToolTip(
        QStringLiteral("Запрос на удаление выбранных принятых сделок по их номерам в реестре"));
    cmdOpenAnswer_ = NewButton("cmdOpenAnswer", QString::fromUtf16(u"Открыть ответ"), this);
    cmdExport_ = NewButton("cmdExport", QString::fromUtf16(u"Экспорт в Excel"), this);
    cmdExport_->setToolTip(QStringLiteral("Сохранить список запросов в книге .xlsx"));
    cmdReconcile_ = NewButton("cmdReconcile", QString::fromUtf16(u"Сверка с файлом..."), this);
    cmdReconcile_->setToolTip(
        QStringLiteral("Сверить сделки таблицы бэк-офиса с запросами журнала и ответами реестра"));
    lblState_ = new QLabel(this);
    lblState_->setObjectName(QStringLiteral("lblState"));
    for (QPushButton* b : {cmdCorrect_, cmdRevoke_, cmdOpenAnswer_, cmdExport_, cmdReconcile_})
        bottom->addWidget(b);
    bottom->addSpacing(12);
    bottom->addWidget(lblState_, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addLayout(top);
    layout->addWidget(split, 1);
    layout->addLayout(bottom);

    connect(chkPeriod_, &QCheckBox::toggled, this, [this](bool on) {
        dtFrom_->setEnabled(on);
        dtTo_->setEnabled(on);
        refresh();
    });
    connect(dtFrom_, &DateLineEdit::dateChanged, this, [this] {
        if (chkPeriod_->isChecked())
            refresh();
    });
    connect(dtTo_, &DateLineEdit::dateChanged, this, [this] {
        if (chkPeriod_->isChecked())
            refresh();
    });
    connect(cbStatus_, &QComboBox::currentIndexChanged, this, &frmJournal::refresh);
    connect(cmdRefresh_, &QPushButton::clicked, this, &frmJournal::takeInAnswers);
    connect(lvRequests_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &frmJournal::showCurrentRequest);
    connect(lvDeals_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &frmJournal::updateButtons);
    connect(lvDeals_, &QTableView::doubleClicked, this, [this] { updateButtons(); });
    connect(cmdCorrect_, &QPushButton::clicked, this, &frmJournal::correctRejected);
    connect(cmdRevoke_, &QPushButton::clicked, this, &frmJournal::revokeAccepted);
    connect(cmdOpenAnswer_, &QPushButton::clicked, this, &frmJournal::openAnswer);
    connect(cmdExport_, &QPushButton::clicked, this, &frmJournal::exportList);
    connect(cmdReconcile_, &QPushButton::clicked, this, [this] {
        if (actions_.reconcile)
            actions_.reconcile();
    });
}

void frmJournal::followJournal()
{
    connect(&journal_, &journal::Journal::syncStarted, this, &frmJournal::showState);
    connect(&journal_, &journal::Journal::synced, this, [this](const journal::SyncReport& report) {
        // A journal set aside: the next read opens the new one.
        if (!report.setAside.isEmpty() && store_)
            store_->close();
        refresh();
        if (!journal_.busy())
            newest_ = false;
    });
    // Another program on the same folder recorded a request or took an answer in.
    connect(&journal_, &journal::Journal::changedElsewhere, this, &frmJournal::refresh);
}

void frmJournal::showNewest()
{
    newest_ = true;
    refresh();
}

QPushButton* frmJournal::button(const QString& name) const
{
    return findChild<QPushButton*>(name);
}

QString frmJournal::stateText() const
{
    return lblState_->text();
}

QString frmJournal::requestText() const
{
    return lblRequest_->text();
}

void frmJournal::setFilter(RequestFilter::Status status, const QDate& from, const QDate& to)
{
    const QSignalBlocker a(chkPeriod_), b(dtFrom_), c(dtTo_), d(cbStatus_);
    const bool period = from.isValid() || to.isValid();
    chkPeriod_->setChecked(period);
    dtFrom_->setEnabled(period);
    dtTo_->setEnabled(period);
    if (from.isValid())
        dtFrom_->setDate(from);
    if (to.isValid())
        dtTo_->setDate(to);
    cbStatus_->setCurrentIndex(std::max(0, cbStatus_->findData(int(status))));
    refresh();
}

RequestFilter frmJournal::filter() const
{
    RequestFilter f;
    f.status = RequestFilter::Status(cbStatus_->currentData().toInt());
    if (chkPeriod_->isChecked()) {
        f.from = dtFrom_->settledDate();
        f.to = dtTo_->settledDate();
    }
    return f;
}

const RequestEntry* frmJournal::currentRequest() const
{
    const QModelIndex current = lvRequests_->currentIndex();
    return current.isValid() && current.row() < requests_.rows() ? &requests_.entry(current.row())
                                                                 : nullptr;
}

void frmJournal::selectRequest(int row)
{
    SelectRow(lvRequests_, row, [this] { showCurrentRequest(); });
}

void frmJournal::selectDeals(const QList<int>& rows)
{
    QItemSelection selection;
    for (int r : rows) {
        while (r >= deals_.rows() && deals_.canFetchMore(QModelIndex()))
            deals_.fetchMore(QModelIndex());
        if (r < deals_.rows())
            selection.select(deals_.index(r, 0),
                             deals_.index(r, journal::DealListModel::ColumnCount - 1));
    }
    lvDeals_->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

bool frmJournal::openStore()
{
    const QString folder = journal::Journal::CurrentFolder();
    if (!store_ || folder != folder_) {
        delete store_;
        store_ = nullptr;
        folder_ = folder;
        if (folder.isEmpty())
            return false;
        store_ = new journal::JournalStore(journal::JournalStore::FileIn(folder));
    }
    return store_->isOpen() || store_->open(false);
}

bool frmJournal::read(const std::function<Outcome()>& action)
{
    const Outcome read = journal::StoreOutcome(action);
    if (!read.failed())
        return true;
    problem_ = QStringLiteral("Журнал отправок не прочитан: ") + read.failure;
    if (store_)
        store_->close();
    // A damaged journal is set aside by the journal's next round, and a new one begun.
    if (journal::JournalDamaged(read))
        journal_.checkAndSync();
    return false;
}

void frmJournal::refresh()
{
    const RequestEntry* current = currentRequest();
    const qint64 id = current && !newest_ ? current->id : 0;
    const bool answerOnly = current && current->answerOnly;
    problem_.clear();
    if (!read([this] {
            if (openStore())
                return requests_.reload(store_, filter());
            requests_.clear();
            return Outcome::Done();
        }))
        requests_.clear();
    int row = id ? requests_.rowOf(id, answerOnly) : -1;
    if (row < 0 && requests_.rows() > 0)
        row = 0; // the newest
    FitColumnsToRows(lvRequests_);
    selectRequest(row);
    showState();
}

void frmJournal::showCurrentRequest()
{
    const RequestEntry* r = currentRequest();
    if (!r || !read([&] { return deals_.show(store_, *r); }))
        deals_.clear();
    const bool revocation = r && r->kind.contains(QStringLiteral("Revoke"));
    lvDeals_->setColumnHidden(journal::DealListModel::Issue, revocation);
    lvDeals_->setColumnHidden(journal::DealListModel::Direction,
                              !r || r->kind != u"RepoRevokeDeals");
    FitColumnsToRows(lvDeals_);
    QString text;
    if (r && r->answerOnly) {
        text = QStringLiteral("Ответ ") + r->file +
               QStringLiteral(" не соответствует ни одному "
                              "запросу журнала");
        if (!r->text.isEmpty())
            text += QStringLiteral(": ") + r->text;
    } else if (r) {
        const QString participant = journal::ParticipantText(*r);
        text = QStringLiteral("Запрос ") + r->file + QStringLiteral(", ");
        if (r->firstDealParticipant != r->lastDealParticipant)
            text += participant;
        else
            text += QStringLiteral("участник ") +
                    (participant.isEmpty() ? QStringLiteral("не указан") : participant);
        text += QStringLiteral(". ");
        if (r->answerPath.isEmpty())
            text += QStringLiteral("Ответа еще нет.");
        else
            text += QStringLiteral("Ответ: ") +
                    r->answerPath.mid(r->answerPath.lastIndexOf(u'/') + 1) + u'.';
        if (!r->text.isEmpty())
            text += u' ' + r->text;
    }
    lblRequest_->setText(text);
    updateButtons();
    showState();
}

void frmJournal::updateButtons()
{
    const RequestEntry* r = currentRequest();
    cmdCorrect_->setEnabled(isReport(r) && r->openRejected() > 0);
    bool revocable = false;
    if (isReport(r)) {
        for (const QModelIndex& index : lvDeals_->selectionModel()->selectedRows()) {
            const DealEntry& d = deals_.deal(index.row());
            if (!journal::RevocationRowsOf({d}, r->kind == u"RepoDeals").isEmpty()) {
                revocable = true;
                break;
            }
        }
    }
    cmdRevoke_->setEnabled(revocable);
    cmdOpenAnswer_->setEnabled(r && !r->answerPath.isEmpty());
    cmdExport_->setEnabled(requests_.rows() > 0);
}

void frmJournal::showState()
{
    QString text;
    if (journal::Journal::CurrentFolder().isEmpty())
        text = QStringLiteral("Журнал не ведется: рабочий каталог не задан или не существует");
    else if (!problem_.isEmpty())
        text = problem_;
    else if (journal_.busy())
        text = QStringLiteral("Принимаются ответы реестра…");
    else if (filter().status == RequestFilter::Status::AnswersOnly)
        text = QStringLiteral("Ответов без запроса: %1").arg(requests_.rows());
    else
        text = QStringLiteral("Запросов: %1").arg(requests_.rows());
    lblState_->setText(text);
}

void frmJournal::takeInAnswers()
{
    journal_.sync();
    showState();
}

void frmJournal::correctRejected()
{
    RunTrapped(this, kAppTitle, [this] {
        const RequestEntry* r = currentRequest();
        if (!isReport(r) || !actions_.correct)
            return;
        const ReportKind kind = r->kind == u"RepoDeals" ? ReportKind::Repo : ReportKind::Deals;
        QList<DealEntry> rejected;
        if (!read([&] {
                rejected = store_->dealsWithResult(r->id, Result::Rejected);
                return Outcome::Done();
            }))
            Fail(problem_);
        // Deals corrected since are not offered again.
        const QList<journal::Attributes> fields = journal::FieldsOf(rejected);
        if (!fields.isEmpty())
            actions_.correct(kind, fields);
    });
}

void frmJournal::revokeAccepted()
{
    RunTrapped(this, kAppTitle, [this] {
        const RequestEntry* r = currentRequest();
        if (!isReport(r) || !actions_.revoke)
            return;
        QList<DealEntry> chosen;
        QModelIndexList rows = lvDeals_->selectionModel()->selectedRows();
        std::sort(rows.begin(), rows.end());
        for (const QModelIndex& index : rows)
            chosen.append(deals_.deal(index.row()));
        const bool repo = r->kind == u"RepoDeals";
        const QList<QStringList> list = journal::RevocationRowsOf(chosen, repo);
        if (!list.isEmpty())
            actions_.revoke(repo, list);
    });
}

void frmJournal::openAnswer()
{
    const RequestEntry* r = currentRequest();
    if (r && !r->answerPath.isEmpty() && actions_.openAnswer)
        actions_.openAnswer(r->answerPath);
}

void frmJournal::exportList()
{
    RunTrapped(this, kAppTitle, [this] {
        QString path =
            Dialogs::SaveFile(this, QStringLiteral("Экспорт журнала отправок"), QString(),
                              QStringLiteral("Книга Excel (*.xlsx);;Текст CSV (*.csv)"));
        if (path.isEmpty())
            return;
        const QString suffix = QFileInfo(path).suffix().toLower();
        if (suffix != u"xlsx" && suffix != u"csv")
            path += QStringLiteral(".xlsx");
        const journal::RequestTable table(requests_);
        WriteTableFile(path, table, TableFormatOfPath(path));
    });
}

} // namespace varnel
