#pragma once

#include <QDate>
#include <QLineEdit>

class QCalendarWidget;
class QFrame;
class QToolButton;

namespace varnel {

// A date editor whose text is what the user typed, keyed, pasted or chose: day, month and year
// separated by "." or "/" (one or two digits each for day and month, a year of fewer than four
// digits is 2000 + year), or the digits alone as ddmmyyyy or ddmmyy. Its button, Alt+Down and F4
// open a calendar; a date chosen there is written as dd.MM.yyyy. Nothing typed is turned into
// another date: a text that names none stays as typed for its reader to refuse.
class DateLineEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit DateLineEdit(QWidget* parent = nullptr);

    // The date a text names as this editor reads it; invalid when it names none.
    static QDate ReadDate(const QString& text);

    // The date the text names; invalid when it names none.
    QDate date() const { return ReadDate(text()); }
    // Shows the date as dd.MM.yyyy; an invalid date empties the text.
    void setDate(const QDate& date);
    // The date the editor last settled on: set, chosen, or named by the text when editing
    // finished (Enter, the focus leaving). A text that names no date leaves it as it was.
    QDate settledDate() const { return settled_; }
    // The text to hand on: a date the digits alone name as dd.MM.yyyy, any other text as typed.
    QString typedText() const;
    // True while the text is empty or names a date; any other text shows in red.
    bool isWholeDate() const;

    // The calendar, opened on the date of the text (today when it names none).
    void showCalendar();
    QCalendarWidget* calendar() const { return calendar_; }
    QToolButton* calendarButton() const { return button_; }

signals:
    // A date was chosen in the calendar.
    void dateChosen(const QDate& date);
    // The settled date has changed.
    void dateChanged(const QDate& date);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void choose(const QDate& date);
    void settle();
    void showValidity();

    QToolButton* button_ = nullptr;
    QFrame* popup_ = nullptr;
    QCalendarWidget* calendar_ = nullptr;
    QDate settled_;
    bool marked_ = false;
};

} // namespace varnel
