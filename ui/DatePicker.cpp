#include "ui/DatePicker.h"

#include "ui/DateLineEdit.h"

#include <QApplication>
#include <QCheckBox>
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

    edit_ = new DateLineEdit(this);
    edit_->setObjectName(QStringLiteral("dtValue"));
    edit_->setToolTip(tip);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(check_);
    layout->addWidget(edit_, 1);
    setFocusProxy(edit_);
    edit_->installEventFilter(this);

    // Typing or choosing a date means the field has one.
    connect(edit_, &QLineEdit::textEdited, this, [this] { check_->setChecked(true); });
    connect(edit_, &DateLineEdit::dateChosen, this, [this] { check_->setChecked(true); });
    connect(check_, &QCheckBox::toggled, this, [this](bool on) {
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
    edit_->setDate(date);
    check_->setChecked(checked);
}

void DatePicker::setText(const QString& text, bool checked)
{
    edit_->setText(text);
    check_->setChecked(checked);
}

QDate DatePicker::value() const
{
    return edit_->date();
}

QString DatePicker::text() const
{
    return edit_->typedText();
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
