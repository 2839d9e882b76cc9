#include "ui/DateLineEdit.h"

#include "core/Error.h"
#include "core/Values.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QFrame>
#include <QKeyEvent>
#include <QScreen>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace varnel {
namespace {

const QString kShape = QStringLiteral("dd.MM.yyyy");

// Six or eight digits and nothing else: a date typed without its separators.
bool IsDigitsOnlyDate(const QString& text)
{
    return (text.size() == 6 || text.size() == 8) &&
           std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

} // namespace

DateLineEdit::DateLineEdit(QWidget* parent) : QLineEdit(parent)
{
    button_ = new QToolButton(this);
    button_->setObjectName(QStringLiteral("cmdCalendar"));
    button_->setArrowType(Qt::DownArrow);
    button_->setAutoRaise(true);
    button_->setFocusPolicy(Qt::NoFocus);
    button_->setCursor(Qt::ArrowCursor);
    button_->setToolTip(QStringLiteral("Календарь (F4)"));
    connect(button_, &QToolButton::clicked, this, &DateLineEdit::showCalendar);

    // A child window, so that focus in the calendar is still focus within this editor.
    popup_ = new QFrame(this, Qt::Popup);
    popup_->setFrameShape(QFrame::StyledPanel);
    calendar_ = new QCalendarWidget(popup_);
    calendar_->setLocale(QLocale(QLocale::Russian, QLocale::Russia));
    calendar_->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    auto* layout = new QVBoxLayout(popup_);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->addWidget(calendar_);
    // A click chooses; so does Enter or a double click on the day the keys moved to.
    connect(calendar_, &QCalendarWidget::clicked, this, &DateLineEdit::choose);
    connect(calendar_, &QCalendarWidget::activated, this, &DateLineEdit::choose);

    popup_->installEventFilter(this);
    connect(this, &QLineEdit::textChanged, this, &DateLineEdit::showValidity);
    connect(this, &QLineEdit::editingFinished, this, &DateLineEdit::settle);
}

QDate DateLineEdit::ReadDate(const QString& text)
{
    QString t = text.trimmed();
    if (IsDigitsOnlyDate(t))
        t = t.left(2) + u'.' + t.mid(2, 2) + u'.' + t.mid(4);
    try {
        return ParseDate(t);
    } catch (const NumberedError&) {
        return QDate();
    }
}

void DateLineEdit::setDate(const QDate& date)
{
    setText(date.isValid() ? date.toString(kShape) : QString());
    settle();
}

QString DateLineEdit::typedText() const
{
    const QString t = text().trimmed();
    if (IsDigitsOnlyDate(t)) {
        const QDate d = ReadDate(t);
        if (d.isValid())
            return d.toString(kShape);
    }
    return text();
}

bool DateLineEdit::isWholeDate() const
{
    return text().trimmed().isEmpty() || date().isValid();
}

void DateLineEdit::showCalendar()
{
    const QDate d = date();
    calendar_->setSelectedDate(d.isValid() ? d : QDate::currentDate());
    popup_->adjustSize();
    const QSize size = popup_->size();
    QPoint at = mapToGlobal(QPoint(0, height()));
    if (const QScreen* s = screen()) {
        const QRect room = s->availableGeometry();
        if (at.x() + size.width() > room.right())
            at.setX(std::max(room.left(), room.right() - size.width()));
        if (at.y() + size.height() > room.bottom())
            at.setY(std::max(room.top(), mapToGlobal(QPoint(0, 0)).y() - size.height()));
    }
    popup_->move(at);
    popup_->show();
    calendar_->setFocus(Qt::PopupFocusReason);
}

void DateLineEdit::choose(const QDate& date)
{
    setDate(date);
    popup_->hide();
    emit dateChosen(date);
}

bool DateLineEdit::eventFilter(QObject* watched, QEvent* event)
{
    // However the calendar closes, the editor has the focus again, in the active window. Some
    // platforms make the calendar the active window while it is open, or even once it has
    // closed (an activation that arrives late): then the editor's window takes it back.
    if (watched == popup_ && isVisible() &&
        (event->type() == QEvent::Hide ||
         (event->type() == QEvent::WindowActivate && !popup_->isVisible()))) {
        if (QApplication::activeWindow() != window())
            activateWindow();
        setFocus(Qt::PopupFocusReason);
    }
    return QLineEdit::eventFilter(watched, event);
}

void DateLineEdit::keyPressEvent(QKeyEvent* event)
{
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if ((event->key() == Qt::Key_F4 && mods == Qt::NoModifier) ||
        (event->key() == Qt::Key_Down && mods == Qt::AltModifier)) {
        showCalendar();
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void DateLineEdit::resizeEvent(QResizeEvent* event)
{
    QLineEdit::resizeEvent(event);
    const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
    const int side = std::max(height() - 2 * frame, 0);
    button_->setGeometry(width() - frame - side, frame, side, side);
    if (textMargins().right() != side)
        setTextMargins(0, 0, side, 0);
}

void DateLineEdit::settle()
{
    const QDate d = date();
    if (d.isValid() && d != settled_) {
        settled_ = d;
        emit dateChanged(d);
    }
}

void DateLineEdit::showValidity()
{
    const bool bad = !isWholeDate();
    if (bad == marked_)
        return;
    marked_ = bad;
    QPalette p = palette();
    p.setColor(QPalette::Text,
               bad ? QColor(0xc0, 0x00, 0x00) : QApplication::palette(this).color(QPalette::Text));
    setPalette(p);
}

} // namespace varnel
