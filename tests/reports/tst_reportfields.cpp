// The fields of the report editor windows as the user meets them: the field checks, the number
// and date rules, the pick button and the date picker.
#include "core/PickSeam.h"
#include "core/Twips.h"
#include "reports/ReportModel.h"
#include "ui/DateLineEdit.h"
#include "ui/DatePicker.h"

#include "ReportWindowSupport.h"

#include <QCalendarWidget>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QtTest>

using namespace varnel;
using namespace varnel::test;

class ReportFieldsTest : public QObject, private ReportWindowRun {
    Q_OBJECT

private slots:
    void init() { startRun(); }
    void cleanup() { endRun(); }

    void fieldChecks()
    {
        Window w = open(ReportKind::Deals);
        const int price = w->editor().slotOfName(QStringLiteral("Price"));
        w->txtEdit(price)->setText(QStringLiteral("12a"));
        QVERIFY(!w->checkField(price));
        QCOMPARE(lastText(), QStringLiteral("Поле Price должно иметь числовой формат"));
        QCOMPARE(dialogs_->last().icon, MessageIcon::Critical);
        QCOMPARE(w->txtEdit(price)->text(), QStringLiteral("12a"));
        w->txtEdit(price)->setText(QStringLiteral(" 1234,5 "));
        QVERIFY(w->checkField(price));
        QCOMPARE(w->txtEdit(price)->text(), QStringLiteral("1234.50"));
        const int amount = w->editor().slotOfName(QStringLiteral("Amount"));
        w->txtEdit(amount)->setText(QStringLiteral("1000000000000000000000000000000"));
        QVERIFY(!w->checkField(amount));
        QCOMPARE(lastText(), QStringLiteral("Слишком большое значение"));

        Window repo = open(ReportKind::Repo);
        const int date = repo->editor().slotOfName(QStringLiteral("TradeDate"));
        repo->txtEdit(date)->setText(QStringLiteral("5/3/16"));
        QVERIFY(repo->checkField(date));
        QCOMPARE(repo->txtEdit(date)->text(), QStringLiteral("05.03.2016"));
        repo->txtEdit(date)->setText(QStringLiteral("29.02.2015"));
        QVERIFY(!repo->checkField(date));
        QCOMPARE(lastText(), QStringLiteral("(C10) Недопустимый формат даты: 29.02.2015"));
    }

    void numberFields_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("separator"); // the system's decimal separator
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown"); // the field's text afterwards
        QTest::addColumn<QString>("message");
        const int deals = int(ReportKind::Deals);
        const int repo = int(ReportKind::Repo);
        const auto row = [](const char* name, int kind, const char* separator, const char* field,
                            const char* typed, const char* shown, const char* message = "") {
            QTest::newRow(name) << kind << QString::fromUtf8(separator) << QString::fromUtf8(field)
                                << QString::fromUtf8(typed) << QString::fromUtf8(shown)
                                << QString::fromUtf8(message);
        };
        // A refusal names the value after the separator has become the system's.
        row("repo, comma for a point", repo, ".", "RepoRate", " 1,5x ", "1,5x",
            "(S4) Поле RepaRate (1.5x) должно иметь формат numeric(1)");
        row("repo, point for a comma", repo, ",", "Price", "1.5x", "1.5x",
            "(S2) Поле Price (1,5x) должно иметь формат numeric(16,10)");
        row("repo, other field", repo, ".", "Note", "1,5x", "1,5x",
            "Поле Note должно иметь числовой формат");
        row("repo, empty takes the default", repo, ".", "Note", "  ", "0");
        row("deals, refused", deals, ".", "Price", "1,5x", "1,5x",
            "Поле Price должно иметь числовой формат");
        // Without a format: the number's plain text, read exactly.
        row("leading and trailing zeros", deals, ".", "Price", "0012.50", "12.5");
        row("comma", deals, ",", "Price", "0012,50", "12.5");
        row("point with nothing after it", deals, ".", "Price", "12.", "12");
        row("only zeros after the point", repo, ".", "Price", "7,000", "7");
        row("negative zero", deals, ".", "Price", "-0.00", "0");
        row("28 decimals", repo, ",", "Price", "0,1234567890123456789012345670",
            "0.123456789012345678901234567");
        // With a format the format decides.
        row("picture", deals, ".", "Amount", "0012.5", "12.50");
        row("whole picture", deals, ",", "Qty", "12,5", "13");
    }

    // The number check of a field as the user meets it, in either system separator.
    void numberFields()
    {
        QFETCH(int, kind);
        QFETCH(QString, separator);
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        QFETCH(QString, message);
        const QLocale saved;
        const auto restore = qScopeGuard([&] { QLocale::setDefault(saved); });
        QLocale::setDefault(separator == u"," ? QLocale(QLocale::Russian, QLocale::Russia)
                                              : QLocale::c());
        folder_->setLayout(kind == int(ReportKind::Repo) ? "repo_deals_struct_client.xml"
                                                         : "deals_struct_client.xml",
                           {"Name=\"Participant\"", "Name=\"Price\" Type=\"N\"",
                            "Name=\"RepoRate\" Type=\"N\"",
                            "Name=\"Note\" Type=\"N\" Default=\"0\"",
                            "Name=\"Amount\" Type=\"N\" Format=\"#,##0.00\"",
                            "Name=\"Qty\" Type=\"N\" Format=\"0\""});
        Window w = open(ReportKind(kind));
        const int slot = w->editor().slotOfName(field);
        w->txtEdit(slot)->setText(typed);
        QCOMPARE(w->checkField(slot), message.isEmpty());
        QCOMPARE(w->txtEdit(slot)->text(), shown);
        QCOMPARE(lastText(), message);
    }

    // The check runs when the focus really leaves a field, refuses the field and keeps the
    // focus in it; the command the user clicked meanwhile does not run.
    void focusDrivenCheck()
    {
        Window w = open(ReportKind::Repo);
        QVERIFY(showActive(w));
        fillDeal(w, QStringLiteral("R-1"));
        QLineEdit* qty = box(w, "Qty");
        QLineEdit* reference = box(w, "Reference");
        qty->setFocus();
        QTRY_VERIFY(qty->hasFocus());
        qty->selectAll();
        QTest::keyClicks(qty, QStringLiteral("many"));
        reference->setFocus(Qt::TabFocusReason);
        QTRY_COMPARE(lastText(), QStringLiteral("(S1) Поле Qty (many) должно иметь формат "
                                                "numeric(16,0)"));
        QTRY_VERIFY(qty->hasFocus());
        QCOMPARE(int(dialogs_->shown().size()), 1);
        // Pressing add with the field still wrong shows the check again and adds nothing.
        QTest::mouseClick(w->button("cmdAdd"), Qt::LeftButton);
        QTRY_COMPARE(int(dialogs_->shown().size()), 2);
        QCOMPARE(w->model().rows(), 0);
        qty->setText(QStringLiteral("15"));
        QTest::mouseClick(w->button("cmdAdd"), Qt::LeftButton);
        QTRY_COMPARE(w->model().rows(), 1);
        QCOMPARE(int(dialogs_->shown().size()), 2);
    }

    void picks()
    {
        Window w = open(ReportKind::Deals);
        w->resize(w->sizeHint());
        w->show();
        QList<PickRequest> asked;
        QString answer = QStringLiteral("SU26238RMFS4\r\nОФЗ 26238\r\nМинфин России\r\n"
                                        "RU000A1038V6\r\n26238 RMFS");
        ScopedPickFunction handbook(PickList::Handbook, [&](const PickRequest& r) {
            asked << r;
            return answer;
        });
        ScopedPickFunction fixed(PickList::Fixed, [&](const PickRequest& r) {
            asked << r;
            return QStringLiteral("USD\r\nДоллар США");
        });

        const int issue = w->editor().slotOfName(QStringLiteral("Issue"));
        w->txtEdit(issue)->setText(QStringLiteral("SU"));
        w->enterField(issue);
        QPushButton* pick = w->button("cmdPick");
        QVERIFY(pick->isVisibleTo(w.get()));
        QCOMPARE(pick->toolTip(), QStringLiteral("Список значений (F4 или Alt+Вниз)"));
        // The field makes room for the button beside it.
        QCOMPARE(w->txtEdit(issue)->geometry().right() + 1, pick->geometry().left());
        QCOMPARE(pick->geometry().right() + 1 - w->txtEdit(issue)->geometry().left(),
                 TwipsToPixels(w->standardEditorWidth(), w->logicalDpiX()));
        w->pickIntoField();
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked[0].source, QStringLiteral("issuelist_pick.xml"));
        QCOMPARE(asked[0].currentText, QStringLiteral("SU"));
        QCOMPARE(asked[0].settingsKey, QStringLiteral("Pick_Issue"));
        // The dialog goes beside the button, in screen twips.
        const QPoint corner = pick->mapToGlobal(QPoint(pick->width(), 0));
        QCOMPARE(asked[0].xTwips, qRound(PixelsToTwips(corner.x(), w->logicalDpiX())));
        QCOMPARE(asked[0].yTwips, qRound(PixelsToTwips(corner.y(), w->logicalDpiX())));
        QCOMPARE(get(w, "Issue"), QStringLiteral("SU26238RMFS4"));
        QCOMPARE(get(w, "ISIN"), QStringLiteral("RU000A1038V6"));
        QCOMPARE(get(w, "RegNum"), QStringLiteral("26238RMFS"));

        // Nothing picked: nothing changes.
        answer.clear();
        w->pickIntoField();
        QCOMPARE(get(w, "Issue"), QStringLiteral("SU26238RMFS4"));
        // A single cell fills the field with that cell, and leaves the others alone.
        answer = QStringLiteral("XS0114288789");
        w->pickIntoField();
        QCOMPARE(get(w, "Issue"), QStringLiteral("XS0114288789"));
        QCOMPARE(get(w, "ISIN"), QString());

        // A fixed list: no current text, the code goes in.
        const int currency = w->editor().slotOfName(QStringLiteral("Currency"));
        w->enterField(currency);
        w->pickIntoField();
        QCOMPARE(asked.last().currentText, QString());
        QCOMPARE(asked.last().settingsKey, QStringLiteral("Pick_Currency"));
        QVERIFY(asked.last().source.startsWith(QStringLiteral("RUB\t")));
        QCOMPARE(get(w, "Currency"), QStringLiteral("USD"));
        // A field without a pick source has no button; the other field gets its width back.
        w->enterField(w->editor().slotOfName(QStringLiteral("Reference")));
        QVERIFY(!pick->isVisibleTo(w.get()));
        QCOMPARE(w->txtEdit(currency)->width(),
                 TwipsToPixels(w->standardEditorWidth(), w->logicalDpiX()));
    }

    // The repo window fills only the picked field, and ISIN and RegNum are looked for among
    // slots 1 to 10 only.
    void pickFillsOnlyWhatItMay()
    {
        folder_->setLayout("deals_struct_client.xml",
                           {"Name=\"Issue\" Pick=\"issuelist_pick.xml\"", "Name=\"ISIN\"",
                            "Name=\"A2\"", "Name=\"A3\"", "Name=\"A4\"", "Name=\"A5\"",
                            "Name=\"A6\"", "Name=\"A7\"", "Name=\"A8\"", "Name=\"A9\"",
                            "Name=\"A10\"", "Name=\"RegNum\""});
        ScopedPickFunction handbook(PickList::Handbook, [](const PickRequest&) {
            return QStringLiteral("I\r\n2\r\n3\r\nIS IN\f\r\nREG");
        });
        Window w = open(ReportKind::Deals);
        w->enterField(0);
        w->pickIntoField();
        QCOMPARE(get(w, "Issue"), QStringLiteral("I"));
        QCOMPARE(get(w, "ISIN"), QStringLiteral("ISIN"));
        QCOMPARE(get(w, "RegNum"), QString()); // slot 11

        Window repo = open(ReportKind::Repo);
        const int issue = repo->editor().slotOfName(QStringLiteral("Issue"));
        repo->enterField(issue);
        repo->pickIntoField();
        QCOMPARE(get(repo, "Issue"), QStringLiteral("I"));
    }

    void datePicker()
    {
        Window w = open(ReportKind::Deals);
        w->resize(w->sizeHint());
        w->show();
        DatePicker* picker = w->datePicker();
        QVERIFY(picker);
        QCOMPARE(picker->toolTip(), QStringLiteral("Для удаления значения снимите метку"));
        const int date = w->editor().slotOfName(QStringLiteral("SettleDate"));
        QLineEdit* field = w->txtEdit(date);

        // An empty field opens the picker on today, over the field.
        field->clear();
        w->enterField(date);
        QVERIFY(picker->isVisibleTo(w.get()));
        QCOMPARE(picker->value(), QDate::currentDate());
        QCOMPARE(picker->dateEdit()->text(), today());
        QVERIFY(picker->isChecked());
        const int dpi = w->logicalDpiX();
        QCOMPARE(picker->x(), field->x() - TwipsToPixels(60, dpi));
        QCOMPARE(picker->y(), field->y() - TwipsToPixels(60, dpi));
        QCOMPARE(picker->width(), TwipsToPixels(w->standardEditorWidth() + 60, dpi));
        picker->dateEdit()->setDate(QDate(2024, 3, 7));
        w->closeDatePicker();
        QCOMPARE(field->text(), QStringLiteral("07.03.2024"));
        QVERIFY(!picker->isVisibleTo(w.get()));

        // A field with a date opens on it; clearing the check box empties the field.
        w->enterField(date);
        QCOMPARE(picker->value(), QDate(2024, 3, 7));
        picker->checkBox()->setChecked(false);
        w->closeDatePicker();
        QCOMPARE(field->text(), QString());
        // Entering another date field ends the picker of the first.
        w->enterField(date);
        w->enterField(w->editor().slotOfName(QStringLiteral("TradeDate")));
        QCOMPARE(field->text(), today());
        w->closeDatePicker();
        // Date fields of the deal window have no pick button.
        QVERIFY(!w->button("cmdPick")->isVisibleTo(w.get()));
    }

    // Tab and Shift+Tab leave the picker for the neighbouring fields, and the picker's date
    // stays in its own field.
    void pickerTabs()
    {
        Window w = open(ReportKind::Deals);
        QVERIFY(showActive(w));
        QLineEdit* trade = box(w, "TradeDate");
        trade->setFocus(Qt::MouseFocusReason);
        QTRY_VERIFY(w->datePicker()->dateEdit()->hasFocus());
        QTest::keyClicks(w->datePicker()->dateEdit(), QStringLiteral("7.3.2024"));
        QTest::keyClick(w->datePicker()->dateEdit(), Qt::Key_Tab);
        QCOMPARE(trade->text(), QStringLiteral("07.03.2024"));
        // The next field is a date too: its picker takes over.
        QTRY_VERIFY(w->datePicker()->dateEdit()->hasFocus());
        QCOMPARE(w->currentSlot(), w->editor().slotOfName(QStringLiteral("SettleDate")));
        QTest::keyClick(w->datePicker()->dateEdit(), Qt::Key_Tab);
        QTRY_VERIFY(box(w, "Side")->hasFocus());
        QVERIFY(!w->datePicker()->isVisible());
        box(w, "Reference")->setFocus(Qt::MouseFocusReason);
        trade->setFocus(Qt::MouseFocusReason);
        QTRY_VERIFY(w->datePicker()->dateEdit()->hasFocus());
        QTest::keyClick(w->datePicker()->dateEdit(), Qt::Key_Backtab, Qt::ShiftModifier);
        QTRY_VERIFY(box(w, "Reference")->hasFocus());
        QCOMPARE(trade->text(), QStringLiteral("07.03.2024"));
        QVERIFY(dialogs_->shown().isEmpty());
    }

    // The picker never replaces what its field held behind the user's back: a text that names
    // no date stays unless the user chooses one, and the field check speaks; a year typed in
    // part is read as the date parser reads it, or refused.
    void pickerKeepsWhatItCannotShow()
    {
        Window w = open(ReportKind::Deals);
        QVERIFY(showActive(w));
        QLineEdit* trade = box(w, "TradeDate");
        QLineEdit* settle = box(w, "SettleDate");
        DateLineEdit* edit = w->datePicker()->dateEdit();
        const int tradeSlot = w->editor().slotOfName(QStringLiteral("TradeDate"));
        const int settleSlot = w->editor().slotOfName(QStringLiteral("SettleDate"));

        // Only tabbing through a field that holds no date: it keeps its text and is refused.
        trade->setText(QStringLiteral("31.04.2024"));
        trade->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(edit->hasFocus());
        QCOMPARE(edit->text(), QStringLiteral("31.04.2024"));
        QVERIFY(!w->datePicker()->value().isValid());
        QTest::keyClick(edit, Qt::Key_Tab);
        QTRY_COMPARE(lastText(), QStringLiteral("(C10) Недопустимый формат даты: 31.04.2024"));
        QCOMPARE(dialogs_->last().icon, MessageIcon::Critical);
        QCOMPARE(trade->text(), QStringLiteral("31.04.2024"));
        QTRY_VERIFY(edit->hasFocus());
        QCOMPARE(w->currentSlot(), tradeSlot);
        // A date chosen in the calendar takes its place.
        QTest::keyClick(edit, Qt::Key_F4);
        QTRY_VERIFY(edit->calendar()->isAncestorOf(QApplication::focusWidget()));
        edit->calendar()->setSelectedDate(QDate(2024, 4, 30));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QTRY_VERIFY(edit->hasFocus());
        QVERIFY(!edit->calendar()->isVisible());
        QCOMPARE(edit->text(), QStringLiteral("30.04.2024"));
        QTest::keyClick(edit, Qt::Key_Tab);
        QTRY_COMPARE(w->currentSlot(), settleSlot);
        QCOMPARE(trade->text(), QStringLiteral("30.04.2024"));

        // A year typed in part: two digits are 2000 + year, not the year the picker had.
        QTRY_VERIFY(edit->hasFocus());
        settle->setText(QStringLiteral("15.03.2016"));
        w->datePicker()->setValue(QDate(2016, 3, 15), true);
        QTest::keyClick(edit, Qt::Key_End);
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, QStringLiteral("24"));
        QTest::keyClick(edit, Qt::Key_Backtab, Qt::ShiftModifier);
        QTRY_COMPARE(w->currentSlot(), tradeSlot);
        QTRY_COMPARE(settle->text(), QStringLiteral("15.03.2024"));
        QCOMPARE(int(dialogs_->shown().size()), 1);

        // One that names no date is refused with what was typed.
        QTRY_VERIFY(edit->hasFocus());
        w->datePicker()->setValue(QDate(2024, 2, 29), true);
        QTest::keyClick(edit, Qt::Key_End);
        for (int i = 0; i < 4; ++i)
            QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, QStringLiteral("25"));
        QTest::keyClick(edit, Qt::Key_Tab);
        QTRY_COMPARE(lastText(), QStringLiteral("(C10) Недопустимый формат даты: 29.02.25"));
        QCOMPARE(trade->text(), QStringLiteral("29.02.25"));
        QTRY_COMPARE(w->currentSlot(), tradeSlot);
        QCOMPARE(int(dialogs_->shown().size()), 2);
    }

    void typedDates_data()
    {
        QTest::addColumn<bool>("russian");   // the Qt side's locale: Russian or C
        QTest::addColumn<QString>("before"); // the field's text on entry
        QTest::addColumn<QString>("clipboard");
        QTest::addColumn<QString>("keys");  // typed as they stand; {…} is a key sequence
        QTest::addColumn<QString>("after"); // the field's text afterwards
        QTest::addColumn<bool>("refused");  // the date check names "after" in its box
        struct Row {
            const char* name;
            const char* keys;
            const char* after;
            bool refused = false;
            const char* before = "";
            const char* clipboard = "";
        };
        const Row rows[] = {
            {"dots", "05.12.2026", "05.12.2026"},
            {"day past twelve", "15.03.2026", "15.03.2026"},
            {"one-digit day and month", "5.3.2026", "05.03.2026"},
            {"first of a year", "01.01.2027", "01.01.2027"},
            {"31 February", "31.02.2026", "31.02.2026", true},
            {"month 13", "15.13.2026", "15.13.2026", true},
            {"digits only", "05122026", "05.12.2026"},
            {"six digits", "051226", "05.12.2026"},
            {"digits of no date", "31022026", "31022026", true},
            {"slashes", "28/02/2026", "28.02.2026"},
            {"two-digit year", "5.3.26", "05.03.2026"},
            {"select all and retype", "{End}{Ctrl+A}05.12.2026", "05.12.2026", false, "01.01.2020"},
            {"backspace in the year", "05.12.2025{Backspace}6", "05.12.2026"},
            {"backspace in the month", "05.13{Backspace}2.2026", "05.12.2026"},
            {"end of a date mended", "{End}{Backspace}{Backspace}26", "01.01.2026", false,
             "01.01.2020"},
            {"paste", "{Ctrl+V}", "05.12.2026", false, "", "05.12.2026"},
        };
        for (const bool russian : {false, true}) {
            for (const Row& r : rows) {
                QTest::addRow("%s, %s", russian ? "ru" : "C", r.name)
                    << russian << QString::fromUtf8(r.before) << QString::fromUtf8(r.clipboard)
                    << QString::fromUtf8(r.keys) << QString::fromUtf8(r.after) << r.refused;
            }
        }
    }

    // A date typed into a date field of the deal window, as the user types it, ends in the
    // field as the date typed or is refused with what was typed; never another date.
    void typedDates()
    {
        QFETCH(bool, russian);
        QFETCH(QString, before);
        QFETCH(QString, clipboard);
        QFETCH(QString, keys);
        QFETCH(QString, after);
        QFETCH(bool, refused);
        const QLocale saved;
        const auto restore = qScopeGuard([&] { QLocale::setDefault(saved); });
        QLocale::setDefault(russian ? QLocale(QLocale::Russian, QLocale::Russia) : QLocale::c());
        if (!clipboard.isEmpty())
            QGuiApplication::clipboard()->setText(clipboard);

        Window w = open(ReportKind::Deals);
        QVERIFY(showActive(w));
        QLineEdit* trade = box(w, "TradeDate");
        trade->setText(before);
        trade->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(w->datePicker()->holds(QApplication::focusWidget()));
        QWidget* editor = QApplication::focusWidget();
        static const QRegularExpression token(QStringLiteral("\\{([^}]+)\\}|[^{]+"));
        for (auto it = token.globalMatch(keys); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            if (m.capturedLength(1) > 0)
                QTest::keySequence(editor, QKeySequence::fromString(m.captured(1)));
            else
                QTest::keyClicks(editor, m.captured(0));
        }
        QTest::keyClick(editor, Qt::Key_Tab);

        if (refused) {
            QTRY_COMPARE(lastText(), QStringLiteral("(C10) Недопустимый формат даты: ") + after);
            QCOMPARE(dialogs_->last().icon, MessageIcon::Critical);
            QCOMPARE(int(dialogs_->shown().size()), 1);
        } else {
            // On into the next field, whose picker takes the focus once the check has run.
            QTRY_COMPARE(w->currentSlot(), w->editor().slotOfName(QStringLiteral("SettleDate")));
            QTRY_VERIFY(w->datePicker()->holds(QApplication::focusWidget()));
            QCOMPARE(lastText(), QString());
        }
        QCOMPARE(trade->text(), after);
    }

    void bold()
    {
        Window w = open(ReportKind::Deals);
        w->enterField(3);
        QVERIFY(w->lblEdit(3)->font().bold());
        QCOMPARE(w->currentSlot(), 3);
        w->enterField(4);
        QVERIFY(!w->lblEdit(3)->font().bold());
        QVERIFY(w->lblEdit(4)->font().bold());
    }
};

QTEST_MAIN(ReportFieldsTest)
#include "tst_reportfields.moc"
