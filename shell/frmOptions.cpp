#include "shell/frmOptions.h"

#include "core/AppContext.h"
#include "core/Dialogs.h"
#include "core/Settings.h"
#include "core/Values.h"
#include "shell/Startup.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace varnel {
namespace {

// "*.*" would hide files whose names have no dot; "all files" means every file.
const QString kSchemaFilter = QStringLiteral("xsl-files (*.xsl);;all files (*)");

struct BrowseRow {
    OptionField field;
    QString label;
    QString hint;
    QString button;
    QString title;
};

const QList<BrowseRow>& schemaRows()
{
    static const QList<BrowseRow> rows = {
        {OptionField::SchemaDeals, QStringLiteral("Уведомление о приеме отчетов:"),
         QStringLiteral("Полное маршрутное имя файла, содержащего схему для просмотра "
                        "уведомлений о приеме отчетов"),
         QStringLiteral("cmdDealsSchema"),
         QStringLiteral("Файл-схема уведомления о приеме отчетов")},
        {OptionField::SchemaDealsRevoke,
         QStringLiteral("Уведомление о приеме запроса на удаление сделок:"),
         QStringLiteral("Полное маршрутное имя файла, содержащего схему для просмотра "
                        "уведомлений о приеме запросов на удаление сделок"),
         QStringLiteral("cmdDealsRevokeShema"),
         QStringLiteral("Файл-схема уведомления о приеме запроса на удаление сделок")},
        {OptionField::SchemaILSubscribe, QStringLiteral("Уведомление о подписке на справочник ЦБ:"),
         QStringLiteral("Полное маршрутное имя файла, содержащего схему для просмотра "
                        "уведомлений о подписке на справочник ЦБ"),
         QStringLiteral("cmdILSubscribeSchema"),
         QStringLiteral("Файл-схема уведомления о подписке на справочник ЦБ")},
        {OptionField::SchemaIssueList, QStringLiteral("Запрос справочника ЦБ:"),
         QStringLiteral("Полное маршрутное имя файла, содержащего схему для просмотра "
                        "справочника ЦБ"),
         QStringLiteral("cmdIssueListSchema"),
         QStringLiteral("Файл-схема для просмотра справочника ЦБ")},
    };
    return rows;
}

const QList<BrowseRow>& folderRows()
{
    static const QList<BrowseRow> rows = {
        {OptionField::FolderWork, QStringLiteral("Рабочий каталог"),
         QStringLiteral("Каталог, в котором будут сохраняться XML-файлы отчетов"),
         QStringLiteral("cmdFolderWork"), QStringLiteral("Рабочий каталог")},
        {OptionField::FolderSend, QStringLiteral("Каталог отправки"),
         QStringLiteral("Каталог, в котором будут сохраняться XML-файлы отчетов и запросов для "
                        "отправки по ЭДО"),
         QStringLiteral("cmdFolderSend"), QStringLiteral("Каталог отправки")},
        {OptionField::FolderReceive, QStringLiteral("Каталог приема"),
         QStringLiteral("Каталог, из которого будут читаться XML-файлы ответов"),
         QStringLiteral("cmdFolderReceive"), QStringLiteral("Каталог приема")},
    };
    return rows;
}

} // namespace

frmOptions::frmOptions(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(QStringLiteral("Настройка параметров системы"));
    setModal(true);

    auto* top = new QGridLayout;
    auto* lblParticipant = new QLabel(QStringLiteral("Код участника по умолчанию"), this);
    QLineEdit* participant = addLineField(
        OptionField::Participant,
        QStringLiteral("Значение, проставляемое по умолчанию в поле Participant"), this);
    lblParticipant->setBuddy(participant);
    top->addWidget(lblParticipant, 0, 0);
    top->addWidget(participant, 0, 1);

    auto* lblLanguage = new QLabel(QStringLiteral("Язык сообщений"), this);
    cmbLanguage_ = new QComboBox(this);
    cmbLanguage_->setObjectName(QStringLiteral("cmbLanguage"));
    cmbLanguage_->setEditable(false);
    cmbLanguage_->addItems(OptionsModel::Languages());
    lblLanguage->setBuddy(cmbLanguage_);
    top->addWidget(lblLanguage, 1, 0);
    top->addWidget(cmbLanguage_, 1, 1, Qt::AlignLeft);
    top->setColumnStretch(1, 1);

    tbsOptions_ = new QTabWidget(this);
    tbsOptions_->setObjectName(QStringLiteral("tbsOptions"));
    tbsOptions_->addTab(buildBrowsePage(BrowsePage::Schemas), QStringLiteral("Схемы"));
    tbsOptions_->setTabToolTip(
        0, QStringLiteral("Настройка файлов-схем для просмотра XML-уведомлений"));
    tbsOptions_->addTab(buildBrowsePage(BrowsePage::Folders), QStringLiteral("Каталоги"));
    tbsOptions_->setTabToolTip(1, QStringLiteral("Настройка каталогов сохранения, отправки и "
                                                 "приема отчетов и уведомлений"));
    tbsOptions_->setCurrentIndex(0);

    cmdOK_ = new QPushButton(QStringLiteral("OK"), this);
    cmdOK_->setObjectName(QStringLiteral("cmdOK"));
    cmdOK_->setDefault(true);
    cmdCancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel_->setObjectName(QStringLiteral("cmdCancel"));
    cmdApply_ = new QPushButton(QStringLiteral("Apply"), this);
    cmdApply_->setObjectName(QStringLiteral("cmdApply"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOK_);
    buttons->addWidget(cmdCancel_);
    buttons->addWidget(cmdApply_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(tbsOptions_, 1);
    layout->addLayout(buttons);

    // Tab goes through the fields in the order they are shown, each path before its "..."
    // button; the fields on the tab pages are reparented by the layouts, which would put them
    // after their buttons otherwise.
    QWidget* previous = lineEdits_[std::size_t(OptionField::Participant)];
    const auto chain = [&previous](QWidget* next) {
        QWidget::setTabOrder(previous, next);
        previous = next;
    };
    chain(cmbLanguage_);
    chain(tbsOptions_);
    for (const QList<BrowseRow>* rows : {&schemaRows(), &folderRows()}) {
        for (const BrowseRow& r : *rows) {
            chain(lineEdits_[std::size_t(r.field)]);
            chain(findChild<QPushButton*>(r.button));
        }
    }
    chain(cmdOK_);
    chain(cmdCancel_);
    chain(cmdApply_);

    connect(cmdOK_, &QPushButton::clicked, this, &frmOptions::saveAndClose);
    connect(cmdCancel_, &QPushButton::clicked, this, &QDialog::reject);
    connect(cmdApply_, &QPushButton::clicked, this, &frmOptions::apply);

    // Fill every field from its setting; a stored language not in the list selects nothing.
    OptionsModel stored;
    stored.Load();
    for (const OptionSetting& s : OptionsModel::Fields()) {
        if (QLineEdit* edit = lineEdits_[std::size_t(s.field)])
            edit->setText(stored.value(s.field));
    }
    cmbLanguage_->setCurrentIndex(OptionsModel::LanguageIndex(stored.value(OptionField::Language)));

    // Apply follows the fields from here on: every edit, every save, and the dialog's showing
    // put it right at once. Until it is shown it stays enabled, as the dialog opens; the timer
    // of the design only repeats what the edits have already done.
    cmdApply_->setEnabled(true);
    for (QLineEdit* edit : lineEdits_) {
        if (edit)
            connect(edit, &QLineEdit::textChanged, this, &frmOptions::showApplyState);
    }
    connect(cmbLanguage_, &QComboBox::currentIndexChanged, this, &frmOptions::showApplyState);
    connect(cmbLanguage_, &QComboBox::editTextChanged, this, &frmOptions::showApplyState);
    Timer1_ = new QTimer(this);
    Timer1_->setObjectName(QStringLiteral("Timer1"));
    Timer1_->setInterval(1000);
    connect(Timer1_, &QTimer::timeout, this, &frmOptions::showApplyState);
    Timer1_->start();

    // Ctrl+Tab and Ctrl+Shift+Tab are caught wherever the focus is inside the dialog.
    installEventFilter(this);
    for (QWidget* w : findChildren<QWidget*>())
        w->installEventFilter(this);
}

QLineEdit* frmOptions::addLineField(OptionField field, const QString& hint, QWidget* parent)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(OptionsModel::FieldSetting(field).control);
    edit->setToolTip(hint);
    lineEdits_[std::size_t(field)] = edit;
    return edit;
}

QWidget* frmOptions::buildBrowsePage(BrowsePage kind)
{
    const bool folders = kind == BrowsePage::Folders;
    auto* page = new QWidget;
    auto* frame = new QGroupBox(folders ? QStringLiteral("Каталоги сохранения, отправки, приема")
                                        : QStringLiteral("Схемы для просмотра XML файлов"),
                                page);
    frame->setObjectName(folders ? QStringLiteral("fraFolders") : QStringLiteral("fraSchemas"));
    auto* grid = new QGridLayout(frame);
    int row = 0;
    for (const BrowseRow& r : folders ? folderRows() : schemaRows()) {
        auto* label = new QLabel(r.label, frame);
        QLineEdit* edit = addLineField(r.field, r.hint, frame);
        label->setBuddy(edit);
        auto* browse = new QPushButton(QStringLiteral("..."), frame);
        browse->setObjectName(r.button);
        browse->setToolTip(r.title);
        // As wide as its three dots need, not a full button width beside the path.
        browse->setFixedWidth(std::max(browse->sizeHint().height(),
                                       browse->fontMetrics().horizontalAdvance(browse->text()) +
                                           browse->sizeHint().height() / 2));
        grid->addWidget(label, row++, 0, 1, 2);
        grid->addWidget(edit, row, 0);
        grid->addWidget(browse, row++, 1);
        const QString title = r.title;
        connect(browse, &QPushButton::clicked, this, [this, edit, title, folders] {
            if (folders)
                browseFolder(edit, title);
            else
                browseSchema(edit, title);
        });
    }
    grid->setColumnStretch(0, 1);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(frame);
    layout->addStretch(1);
    return page;
}

QWidget* frmOptions::fieldWidget(OptionField field) const
{
    if (field == OptionField::Language)
        return cmbLanguage_;
    return lineEdits_[std::size_t(field)];
}

OptionsModel frmOptions::currentValues() const
{
    OptionsModel values;
    for (const OptionSetting& s : OptionsModel::Fields()) {
        if (s.field == OptionField::Language)
            values.setValue(s.field, cmbLanguage_->currentIndex() < 0
                                         ? QString()
                                         : cmbLanguage_->currentText());
        else
            values.setValue(s.field, lineEdits_[std::size_t(s.field)]->text());
    }
    return values;
}

void frmOptions::showApplyState()
{
    cmdApply_->setEnabled(currentValues().DiffersFromStored());
}

void frmOptions::saveAndClose()
{
    // A failed write is shown and the dialog stays open with what the user typed.
    if (RunTrapped(this, kAppTitle, [this] { currentValues().Save(); }))
        accept();
}

void frmOptions::apply()
{
    RunTrapped(this, kAppTitle, [this] { currentValues().Save(); });
    showApplyState();
    // The language may have been written before a later write failed.
    emit statusInfo(2, LanguageStatusText());
}

void frmOptions::browseSchema(QLineEdit* field, const QString& title)
{
    RunTrapped(this, kAppTitle, [&] {
        const QString path = Dialogs::OpenFile(this, title, QString(), kSchemaFilter);
        if (!path.isEmpty())
            field->setText(path);
    });
}

void frmOptions::browseFolder(QLineEdit* field, const QString& title)
{
    // The choice opens at the folder the field names (".\" paths from the program folder); an
    // empty field names none.
    const QString named = TrimSpaces(field->text());
    const QString folder =
        BrowseForFolder(this, title, named.isEmpty() ? QString() : ResolvePath(named));
    if (!folder.isEmpty())
        field->setText(folder);
}

bool frmOptions::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers mods =
            key->modifiers() &
            (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier | Qt::MetaModifier);
        const int count = tbsOptions_->count();
        // Ctrl+Tab: the next tab, from the last the first. Ctrl+Shift+Tab (which arrives as
        // Backtab, or as Tab with Shift): the previous one, from the first the last.
        if (key->key() == Qt::Key_Tab && mods == Qt::ControlModifier) {
            tbsOptions_->setCurrentIndex((tbsOptions_->currentIndex() + 1) % count);
            return true;
        }
        if ((key->key() == Qt::Key_Backtab || key->key() == Qt::Key_Tab) &&
            mods == (Qt::ControlModifier | Qt::ShiftModifier)) {
            tbsOptions_->setCurrentIndex((tbsOptions_->currentIndex() + count - 1) % count);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmOptions::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    showApplyState();
    if (centred_)
        return;
    centred_ = true;
    if (const QScreen* s = screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(s->availableGeometry().center());
        move(frame.topLeft());
    }
}

} // namespace varnel
