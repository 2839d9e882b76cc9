#pragma once

#include <QDate>
#include <QWidget>

class QCheckBox;

namespace varnel {

class DateLineEdit;

// The date picker that floats over a date field of the deal window: a check box for "no
// value" and a date editor with a calendar. What the user types stays as typed; the field's
// date check judges it. It tells its window when the focus has left it (the calendar popup
// counts as part of it).
class DatePicker : public QWidget {
    Q_OBJECT
public:
    explicit DatePicker(QWidget* parent = nullptr);
    ~DatePicker() override;

    // A new value to edit: a date, shown as dd.MM.yyyy.
    void setValue(const QDate& date, bool checked);
    // A new text to edit as it stands (a field's text that names no date stays as it is).
    void setText(const QString& text, bool checked);
    // The date the editor's text names; invalid when it names none.
    QDate value() const;
    // The editor's text to hand on: as typed, or a date typed as digits alone in dd.MM.yyyy.
    QString text() const;
    bool isChecked() const;
    void setChecked(bool checked);

    DateLineEdit* dateEdit() const { return edit_; }
    QCheckBox* checkBox() const { return check_; }

    // True when the widget is the picker or lies inside it or its calendar.
    bool holds(const QWidget* widget) const;

signals:
    // The focus went from the picker to a widget outside it.
    void focusLeft();
    // Tab (forward) or Shift+Tab was pressed in the picker; it keeps the focus until its window
    // moves it.
    void tabbed(bool forward);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void onFocusChanged(QWidget* old, QWidget* now);

    QCheckBox* check_ = nullptr;
    DateLineEdit* edit_ = nullptr;
};

} // namespace varnel
