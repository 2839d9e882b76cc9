// The date editor on its own: what its text is read as, the date it settles on, and its
// calendar opened and closed from the keyboard and its button.
#include "ui/DateLineEdit.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QSignalSpy>
#include <QToolButton>
#include <QtTest>

using namespace varnel;

class DateLineEditTest : public QObject {
    Q_OBJECT

private slots:
    void reading_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QDate>("date");       // invalid: names none
        QTest::addColumn<QString>("handedOn"); // typedText()
        // Rows the deal window's typed dates do not already cover.
        QTest::newRow("short year, padded") << " 5/3/26 " << QDate(2026, 3, 5) << " 5/3/26 ";
        QTest::newRow("six digits, padded") << " 290224 " << QDate(2024, 2, 29) << "29.02.2024";
        QTest::newRow("seven digits") << "5122026" << QDate() << "5122026";
        QTest::newRow("year past any date") << "05.12.99999999" << QDate() << "05.12.99999999";
        QTest::newRow("a letter for a digit") << "05.12.2O26" << QDate() << "05.12.2O26";
        QTest::newRow("empty") << "" << QDate() << "";
    }

    // Typed text is read as the date parser reads it, the digits alone as ddmmyyyy or ddmmyy;
    // the editor settles on a date only when editing finishes, and a text that names none is
    // marked and leaves the settled date as it was.
    void reading()
    {
        QFETCH(QString, typed);
        QFETCH(QDate, date);
        QFETCH(QString, handedOn);
        QWidget window;
        auto* edit = new DateLineEdit(&window);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        const QColor plain = edit->palette().color(QPalette::Text);
        edit->setDate(QDate(2020, 1, 1));
        QCOMPARE(edit->text(), QStringLiteral("01.01.2020"));
        QSignalSpy changed(edit, &DateLineEdit::dateChanged);
        edit->setFocus();
        QTRY_VERIFY(edit->hasFocus());
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(edit, typed);
        if (typed.isEmpty())
            QTest::keyClick(edit, Qt::Key_Backspace);
        QCOMPARE(edit->text(), typed);
        QCOMPARE(changed.count(), 0);
        QTest::keyClick(edit, Qt::Key_Return);

        QCOMPARE(edit->date(), date);
        QCOMPARE(edit->typedText(), handedOn);
        const bool whole = date.isValid() || typed.isEmpty();
        QCOMPARE(edit->isWholeDate(), whole);
        QCOMPARE(edit->palette().color(QPalette::Text) == plain, whole);
        QCOMPARE(edit->settledDate(), date.isValid() ? date : QDate(2020, 1, 1));
        QCOMPARE(changed.count(), date.isValid() ? 1 : 0);
    }

    void calendar_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("opener");  // 0 F4, 1 Alt+Down, 2 the button
        QTest::addColumn<bool>("choose"); // Enter on a day, or Escape
        QTest::addColumn<QDate>("shown"); // the calendar's date on opening
        QTest::newRow("F4, chosen") << "5.3.26" << 0 << true << QDate(2026, 3, 5);
        QTest::newRow("Alt+Down, chosen over no date")
            << "31.04.2026" << 1 << true << QDate::currentDate();
        QTest::newRow("button, Escape") << "31.04.2026" << 2 << false << QDate::currentDate();
        QTest::newRow("F4, Escape") << "05122026" << 0 << false << QDate(2026, 12, 5);
    }

    // The calendar opens on the text's date (today's when it names none); a day chosen there is
    // written as dd.MM.yyyy, Escape leaves the text as it was; the focus is back in the editor.
    void calendar()
    {
        QFETCH(QString, text);
        QFETCH(int, opener);
        QFETCH(bool, choose);
        QFETCH(QDate, shown);
        QWidget window;
        auto* edit = new DateLineEdit(&window);
        window.resize(300, 60);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        edit->setText(text);
        edit->setFocus();
        QTRY_VERIFY(edit->hasFocus());
        QSignalSpy chosen(edit, &DateLineEdit::dateChosen);

        if (opener == 0)
            QTest::keyClick(edit, Qt::Key_F4);
        else if (opener == 1)
            QTest::keyClick(edit, Qt::Key_Down, Qt::AltModifier);
        else
            QTest::mouseClick(edit->calendarButton(), Qt::LeftButton);
        QTRY_VERIFY(edit->calendar()->isVisible());
        QCOMPARE(edit->calendar()->selectedDate(), shown);
        QTRY_VERIFY(edit->calendar()->isAncestorOf(QApplication::focusWidget()));
        QWidget* inCalendar = QApplication::focusWidget();
        if (choose) {
            QTest::keyClick(inCalendar, Qt::Key_Right);
            QTest::keyClick(inCalendar, Qt::Key_Return);
        } else {
            QTest::keyClick(inCalendar, Qt::Key_Right);
            QTest::keyClick(inCalendar, Qt::Key_Escape);
        }
        QTRY_VERIFY(!edit->calendar()->isVisible());
        QTRY_VERIFY(edit->hasFocus());
        const QDate next = shown.addDays(1);
        QCOMPARE(edit->text(), choose ? next.toString(QStringLiteral("dd.MM.yyyy")) : text);
        QCOMPARE(chosen.count(), choose ? 1 : 0);
        if (choose)
            QCOMPARE(edit->settledDate(), next);
    }
};

QTEST_MAIN(DateLineEditTest)
#include "tst_datelineedit.moc"
