#pragma once

#include <QDate>
#include <QWidget>

class QCheckBox;
class QDateEdit;

namespace varnel {

// The date picker that floats over a date field of the deal window: a check box for "no
// value" and a date editor with a calendar. It tells its window when the focus has left it
// (the calendar popup counts as part of it).
class DatePicker : public QWidget {
    Q_OBJECT
public:
    explicit DatePicker(QWidget* parent = nullptr);
    ~DatePicker() override;

    // A new value to edit; the picker is not edited and holds no unfinished text then.
    void setValue(const QDate& date, bool checked);
    QDate value() const;
    bool isChecked() const;
    void setChecked(bool checked);
    // True once the user has changed the date or the check box since setValue.
    bool edited() const { return edited_; }
    // What the date editor showed when the focus last left it, when that was no whole date (a
    // year typed in part, "31.03.04"); empty when it was one. The editor itself would have put
    // its previous value back.
    QString unfinishedText() const { return unfinished_; }

    QDateEdit* dateEdit() const { return edit_; }
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
    QDateEdit* edit_ = nullptr;
    bool edited_ = false;
    QString unfinished_;
};

} // namespace varnel
