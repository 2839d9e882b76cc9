#include "revoke/window/RevocationDialog.h"

#include "core/AppContext.h"
#include "core/Dialogs.h"
#include "ui/ColumnFit.h"
#include "ui/RowDelegate.h"

#include <QApplication>
#include <QComboBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace varnel {
namespace {

void setTextIfChanged(QLineEdit* edit, const QString& text)
{
    if (edit && edit->text() != text)
        edit->setText(text);
}

QString textOf(const QLineEdit* edit)
{
    return edit ? edit->text() : QString();
}

bool isMouseButtonEvent(QEvent::Type type)
{
    return type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease ||
           type == QEvent::MouseButtonDblClick;
}

} // namespace

RevocationDialog::RevocationDialog(RevocationKind kind, QWidget* parent)
    : QDialog(parent), form_(kind)
{
    setModal(true);
    build();
    setFields(RevocationForm::OpeningFields());

    tmEnabling_ = new QTimer(this);
    tmEnabling_->setObjectName(QStringLiteral("tmEnabling"));
    tmEnabling_->setInterval(1000);
    connect(tmEnabling_, &QTimer::timeout, this, &RevocationDialog::showListEnabling);
    tmEnabling_->start();
}

RevocationDialog::~RevocationDialog()
{
    stopSwallowing();
}

QLineEdit* RevocationDialog::addField(const char* name, const QString& hint)
{
    auto* edit = new QLineEdit(this);
    edit->setObjectName(QString::fromLatin1(name));
    if (!hint.isEmpty())
        edit->setToolTip(hint);
    return edit;
}

void RevocationDialog::build()
{
    const bool repo = form_.isRepo();
    const auto label = [this](const char* name, const QString& text, QWidget* buddy) {
        auto* l = new QLabel(text, this);
        l->setObjectName(QString::fromLatin1(name));
        l->setBuddy(buddy);
        return l;
    };

    // The fields in the order of the list's columns, which is also their tab order.
    txtID_ = addField("txtID", QStringLiteral("ID сделки, указанный в ответной квитанции о "
                                              "приеме отчета"));
    txtAgreement_ = addField("txtAgreement", QStringLiteral("номер договора"));
    txtReference_ = addField("txtReference", QStringLiteral("внутренний номер договора"));
    if (repo)
        txtDirection_ = addField("txtDirection", QString());
    txtParticipant_ = addField("txtParticipant", QStringLiteral("код участника"));
    if (!repo)
        txtReason_ = addField("txtReason", QStringLiteral("Причина удаления сделки"));

    auto* grid = new QGridLayout;
    grid->addWidget(
        label("lblID", repo ? QStringLiteral("Id сделки") : QStringLiteral("ID"), txtID_), 0, 0);
    grid->addWidget(txtID_, 0, 1);
    grid->addWidget(label("lblAgreement", QStringLiteral("Договор"), txtAgreement_), 0, 2);
    grid->addWidget(txtAgreement_, 0, 3);
    grid->addWidget(label("lblReference", QStringLiteral("Внутр.номер"), txtReference_), 1, 0);
    grid->addWidget(txtReference_, 1, 1);
    if (repo) {
        grid->addWidget(label("lblDirection", QStringLiteral("Часть сделки РЕПО"), txtDirection_),
                        1, 2);
        grid->addWidget(txtDirection_, 1, 3);
        grid->addWidget(label("lblParticipant", QStringLiteral("Участник"), txtParticipant_), 2, 0);
        grid->addWidget(txtParticipant_, 2, 1);
    } else {
        grid->addWidget(label("lblParticipant", QStringLiteral("Участник"), txtParticipant_), 1, 2);
        grid->addWidget(txtParticipant_, 1, 3);
        grid->addWidget(label("lblReason", QStringLiteral("Причина"), txtReason_), 2, 0);
        grid->addWidget(txtReason_, 2, 1, 1, 3);
    }
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);

    const auto button = [this](const char* name, const QString& text) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QString::fromLatin1(name));
        // Enter in a field does not press a button behind the user's back.
        b->setAutoDefault(false);
        return b;
    };
    cmdAdd_ = button("cmdAdd", QStringLiteral("добавить"));
    cmdEdit_ = button("cmdEdit", QStringLiteral("изменить"));
    cmdDel_ = button("cmdDel", QStringLiteral("удалить"));
    auto* rowButtons = new QHBoxLayout;
    rowButtons->addWidget(cmdAdd_);
    rowButtons->addWidget(cmdEdit_);
    rowButtons->addWidget(cmdDel_);
    rowButtons->addStretch(1);

    lvDeals_ = new QTableView(this);
    lvDeals_->setObjectName(QStringLiteral("lvDeals"));
    lvDeals_->setModel(&form_.list());
    lvDeals_->setItemDelegate(new RowDelegate(lvDeals_));
    lvDeals_->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvDeals_->setSelectionMode(QAbstractItemView::SingleSelection);
    lvDeals_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvDeals_->setWordWrap(false);
    lvDeals_->setTabKeyNavigation(false); // Tab goes on to the next control, the arrows move inside
    lvDeals_->setShowGrid(false);
    lvDeals_->setAlternatingRowColors(true);
    lvDeals_->verticalHeader()->hide();
    lvDeals_->verticalHeader()->setDefaultSectionSize(lvDeals_->fontMetrics().height() + 6);
    lvDeals_->horizontalHeader()->setHighlightSections(false);
    lvDeals_->horizontalHeader()->setStretchLastSection(true);
    // Each column shows its title and a usual value whole: a registry number of 12 digits, an
    // agreement and an internal number, a participant code of 12 characters; the last one
    // takes the rest of the width.
    const QString usual[RevocationModel::kColumns - 1] = {
        QStringLiteral("000000000000"), QStringLiteral("ДГ-2025/000000"),
        QStringLiteral("REF-2025-000000"),
        repo ? QStringLiteral("S") : QStringLiteral("MC0000000000")};
    for (int c = 0; c < RevocationModel::kColumns - 1; ++c)
        lvDeals_->horizontalHeader()->resizeSection(c, ColumnWidthFor(*lvDeals_, c, usual[c]));

    auto* bottom = new QHBoxLayout;
    if (repo) {
        cbAnswerMode_ = new QComboBox(this);
        cbAnswerMode_->setObjectName(QStringLiteral("cbAnswerMode"));
        cbAnswerMode_->setEditable(true);
        // A typed format is used as it stands; it does not join the list.
        cbAnswerMode_->setInsertPolicy(QComboBox::NoInsert);
        cbAnswerMode_->setMinimumContentsLength(10);
        cbAnswerMode_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        cbAnswerMode_->addItems({QStringLiteral("Short"), QStringLiteral("Full")});
        cbAnswerMode_->setCurrentIndex(0);
        cbAnswerMode_->setEditText(QStringLiteral("Short"));
        cbAnswerMode_->setToolTip(QStringLiteral("Формат ответа: Short/Full"));
        bottom->addWidget(label("lblAnswerMode", QStringLiteral("Формат ответа"), cbAnswerMode_));
        bottom->addWidget(cbAnswerMode_);
    }
    bottom->addStretch(1);
    OKButton_ = button("OKButton", QStringLiteral("Отправить запрос"));
    CancelButton_ = button("CancelButton", QStringLiteral("Закрыть"));
    bottom->addWidget(OKButton_);
    bottom->addWidget(CancelButton_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(rowButtons);
    layout->addWidget(lvDeals_, 1);
    layout->addLayout(bottom);

    // The focus order: fields, list buttons, list, answer format, send and close.
    QWidget* order[] = {txtID_,        txtAgreement_, txtReference_, txtDirection_, txtParticipant_,
                        txtReason_,    cmdAdd_,       cmdEdit_,      cmdDel_,       lvDeals_,
                        cbAnswerMode_, OKButton_,     CancelButton_};
    QWidget* previous = nullptr;
    for (QWidget* w : order) {
        if (!w)
            continue;
        if (previous)
            setTabOrder(previous, w);
        previous = w;
    }

    OKButton_->setEnabled(false);
    cmdEdit_->setEnabled(false);
    cmdDel_->setEnabled(false);

    connect(cmdAdd_, &QPushButton::clicked, this, &RevocationDialog::addToList);
    connect(cmdEdit_, &QPushButton::clicked, this, &RevocationDialog::changeSelectedRow);
    connect(cmdDel_, &QPushButton::clicked, this, &RevocationDialog::deleteSelectedRow);
    connect(OKButton_, &QPushButton::clicked, this, &RevocationDialog::sendList);
    connect(CancelButton_, &QPushButton::clicked, this, &RevocationDialog::cancelRequest);
    connect(lvDeals_, &QTableView::clicked, this, &RevocationDialog::showRow);
    // Walking the list with the keys fills the fields as a click does, so that Edit never
    // overwrites a row other than the one the fields came from.
    // A row removed moves the view's selection, which is no choice of the user's: the fields
    // stay as they are.
    connect(lvDeals_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        const int row = selectedRow();
        if (row >= 0 && lvDeals_->hasFocus() && !deleting_)
            showRow(form_.list().index(row, 0));
    });
    // Send, change and delete follow the list at once.
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(&form_.list(), signal, this, &RevocationDialog::showListEnabling);
    connect(&form_.list(), &QAbstractItemModel::modelReset, this,
            &RevocationDialog::showListEnabling);

    txtID_->installEventFilter(this);
    resize(760, 440);
}

RevocationFields RevocationDialog::fields() const
{
    RevocationFields f;
    f.id = textOf(txtID_);
    f.agreement = textOf(txtAgreement_);
    f.reference = textOf(txtReference_);
    f.direction = textOf(txtDirection_);
    f.participant = textOf(txtParticipant_);
    f.reason = textOf(txtReason_);
    return f;
}

void RevocationDialog::setFields(const RevocationFields& f)
{
    setTextIfChanged(txtID_, f.id);
    setTextIfChanged(txtAgreement_, f.agreement);
    setTextIfChanged(txtReference_, f.reference);
    setTextIfChanged(txtDirection_, f.direction);
    setTextIfChanged(txtParticipant_, f.participant);
    setTextIfChanged(txtReason_, f.reason);
}

int RevocationDialog::selectedRow() const
{
    const QModelIndexList rows = lvDeals_->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void RevocationDialog::showListEnabling()
{
    const bool any = form_.list().rowCount() > 0;
    OKButton_->setEnabled(any);
    cmdEdit_->setEnabled(any);
    cmdDel_->setEnabled(any);
}

void RevocationDialog::addToList()
{
    RunTrapped(this, kAppTitle, [this] {
        RevocationFields f = fields();
        const auto writeBack = qScopeGuard([&] { setFields(f); });
        form_.Add(f);
    });
}

void RevocationDialog::changeSelectedRow()
{
    RunTrapped(this, kAppTitle, [this] {
        const int row = selectedRow();
        if (row < 0)
            return;
        RevocationFields f = fields();
        const auto writeBack = qScopeGuard([&] { setFields(f); });
        form_.Edit(f, row);
    });
}

void RevocationDialog::deleteSelectedRow()
{
    RunTrapped(this, kAppTitle, [this] {
        if (const int row = selectedRow(); row >= 0) {
            const QScopedValueRollback keepFields(deleting_, true);
            form_.Delete(row);
            // The view would move the selection to the next row, whose texts the fields do
            // not show: a following Edit would overwrite it with another row's values.
            lvDeals_->selectionModel()->clearSelection();
        }
    });
}

void RevocationDialog::showRow(const QModelIndex& index)
{
    RunTrapped(this, kAppTitle, [this, index] {
        if (!index.isValid())
            return;
        RevocationFields f = fields();
        form_.FillFromRow(f, index.row());
        setFields(f);
    });
}

void RevocationDialog::sendList()
{
    bool handedOver = false;
    RunTrapped(this, kAppTitle, [&] {
        form_.Send(cbAnswerMode_ ? cbAnswerMode_->currentText() : QString(), this);
        handedOver = true;
    });
    // The pipeline has shown its outcome, whatever it was; the list goes with the dialog.
    if (handedOver)
        accept();
}

void RevocationDialog::cancelRequest()
{
    reject();
}

bool RevocationDialog::checkId()
{
    if (RevocationForm::IsIdAccepted(txtID_->text()))
        return true;
    Dialogs::Critical(this, IdFormatText(), kAppTitle);
    txtID_->setFocus(Qt::OtherFocusReason);
    return false;
}

bool RevocationDialog::checksIdOnFocus(const QWidget* next) const
{
    // Closing is always possible, whatever the field holds.
    return next && next != txtID_ && next != CancelButton_ && isAncestorOf(next);
}

bool RevocationDialog::eventFilter(QObject* watched, QEvent* event)
{
    // The press that took the focus from a refused Id must not go on to click what it hit.
    if (swallowingClick_ && isMouseButtonEvent(event->type())) {
        const auto* w = qobject_cast<const QWidget*>(watched);
        if (w && (w == this || isAncestorOf(w))) {
            if (event->type() == QEvent::MouseButtonRelease)
                stopSwallowing();
            return true;
        }
    }
    if (watched == txtID_ && event->type() == QEvent::FocusOut && !idRefusalPending_) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        // Another window or a popup taking the focus is no leaving of the field.
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason &&
            checksIdOnFocus(QApplication::focusWidget()) &&
            !RevocationForm::IsIdAccepted(txtID_->text()))
            refuseIdLater(reason == Qt::MouseFocusReason);
    }
    return QDialog::eventFilter(watched, event);
}

void RevocationDialog::refuseIdLater(bool swallowClick)
{
    // The focus is on its way to the other control; the message and the return into the field
    // come once that change has ended.
    idRefusalPending_ = true;
    if (swallowClick && !swallowingClick_) {
        swallowingClick_ = true;
        qApp->installEventFilter(this);
    }
    QMetaObject::invokeMethod(this, &RevocationDialog::refuseId, Qt::QueuedConnection);
}

void RevocationDialog::refuseId()
{
    const auto done = qScopeGuard([this] {
        stopSwallowing();
        idRefusalPending_ = false;
    });
    if (isVisible())
        checkId();
}

void RevocationDialog::stopSwallowing()
{
    if (!swallowingClick_)
        return;
    swallowingClick_ = false;
    qApp->removeEventFilter(this);
}

dlgRevokeDeal::dlgRevokeDeal(QWidget* parent) : RevocationDialog(RevocationKind::Deal, parent)
{
    setObjectName(QStringLiteral("dlgRevokeDeal"));
    setWindowTitle(QStringLiteral("Запрос на удаление сделок"));
}

void dlgRevokeDeal::Run(QWidget* parent, const QList<QStringList>& rows)
{
    dlgRevokeDeal dialog(parent);
    dialog.fillList(rows);
    Dialogs::RunModal(dialog);
}

dlgRevokeDealRepo::dlgRevokeDealRepo(QWidget* parent)
    : RevocationDialog(RevocationKind::Repo, parent)
{
    setObjectName(QStringLiteral("dlgRevokeDealRepo"));
    setWindowTitle(QStringLiteral("Запрос на удаление сделок РЕПО"));
}

void dlgRevokeDealRepo::Run(QWidget* parent, const QList<QStringList>& rows)
{
    dlgRevokeDealRepo dialog(parent);
    dialog.fillList(rows);
    Dialogs::RunModal(dialog);
}

void RevocationDialog::fillList(const QList<QStringList>& rows)
{
    for (const QStringList& row : rows)
        form_.list().appendRow(row);
    if (!rows.isEmpty())
        showListEnabling();
}

} // namespace varnel
