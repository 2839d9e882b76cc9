#include "ui/DatePicker.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QKeyEvent>

namespace varnel {

DatePicker::DatePicker(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("dtPickDate"));
    const QString tip = QStringLiteral("Для удаления значения снимите метку");
    setToolTip(tip);
    setAutoFillBackground(true);

    check_ = new QCheckBox(this);
    check_->setObjectName(QStringLiteral("chkValue"));
    check_->setToolTip(tip);
    check_->setFocusPolicy(Qt::ClickFocus);
    check_->setChecked(true);

    edit_ = new QDateEdit(this);
    edit_->setObjectName(QStringLiteral("dtValue"));
    edit_->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    edit_->setCalendarPopup(true);
    edit_->setToolTip(tip);
    edit_->setMinimumDate(QDate(1753, 1, 1));
    edit_->setMaximumDate(QDate(9999, 12, 31));

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(check_);
    layout->addWidget(edit_, 1);
    setFocusProxy(edit_);
    edit_->installEventFilter(this);

    // Choosing a date means the field has one.
    connect(edit_, &QDateEdit::dateChanged, this, [this] {
        edited_ = true;
        unfinished_.clear();
        check_->setChecked(true);
    });
    connect(check_, &QCheckBox::toggled, this, [this](bool on) {
        edited_ = true;
        QFont f = edit_->font();
        f.setStrikeOut(!on);
        edit_->setFont(f);
    });
    connect(qApp, &QApplication::focusChanged, this, &DatePicker::onFocusChanged);
}

DatePicker::~DatePicker()
{
    // The focus moves while the children go; the picker no longer hears of it.
    if (qApp)
        disconnect(qApp, nullptr, this, nullptr);
}

void DatePicker::setValue(const QDate& date, bool checked)
{
    const QSignalBlocker block(edit_);
    edit_->setDate(date);
    check_->setChecked(checked);
    edited_ = false;
    unfinished_.clear();
}

QDate DatePicker::value() const
{
    return edit_->date();
}

bool DatePicker::isChecked() const
{
    return check_->isChecked();
}

void DatePicker::setChecked(bool checked)
{
    check_->setChecked(checked);
}

bool DatePicker::eventFilter(QObject* watched, QEvent* event)
{
    // Before the editor's own handling, which would put its last whole date back.
    if (watched == edit_ && event->type() == QEvent::FocusOut)
        unfinished_ = edit_->hasAcceptableInput() ? QString() : edit_->text();
    if (watched == edit_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool ctrlOrAlt = key->modifiers() & (Qt::ControlModifier | Qt::AltModifier);
        if (!ctrlOrAlt && (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab)) {
            emit tabbed(key->key() == Qt::Key_Tab && !(key->modifiers() & Qt::ShiftModifier));
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

bool DatePicker::holds(const QWidget* widget) const
{
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        if (w == this)
            return true;
    }
    return false;
}

void DatePicker::onFocusChanged(QWidget* old, QWidget* now)
{
    // Focus that leaves the application (now is null) comes back to the picker.
    if (isVisible() && now && holds(old) && !holds(now))
        emit focusLeft();
}

} // namespace varnel
