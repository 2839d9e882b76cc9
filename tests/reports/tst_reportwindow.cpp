// The two report editor windows: building from the layout, editing deals, picking, the date
// picker, saving and closing, geometry and placement.
#include "core/Error.h"
#include "core/PickSeam.h"
#include "core/Settings.h"
#include "core/Twips.h"
#include "filesave/ReplacingFile.h"
#include "reports/ReportModel.h"
#include "reports/frmReport.h"
#include "tests/support/ScriptedDialogs.h"
#include "ui/DatePicker.h"

#include "ReportTestSupport.h"
#include "tests/support/GoldenDump.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

using namespace varnel;
using namespace varnel::test;

namespace {

QString today()
{
    return QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy"));
}

using Window = std::unique_ptr<ReportEditorWindow>;

} // namespace

class ReportWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TestProgramFolder> folder_;
    std::unique_ptr<ScriptedDialogs> dialogs_;

    Window open(ReportKind kind)
    {
        Window w(static_cast<ReportEditorWindow*>(NewReportWindow(kind)));
        return w;
    }
    static QLineEdit* box(const Window& w, const char* name)
    {
        return w->txtEdit(w->editor().slotOfName(QString::fromLatin1(name)));
    }
    static void set(const Window& w, const char* name, const QString& text)
    {
        QLineEdit* b = box(w, name);
        QVERIFY2(b, name);
        b->setText(text);
    }
    static QString get(const Window& w, const char* name) { return box(w, name)->text(); }
    // A deal the checks accept, with its own Reference.
    static void fillDeal(const Window& w, const QString& reference)
    {
        set(w, "Issue", QStringLiteral("SU26238RMFS4"));
        set(w, "Agreement", QStringLiteral("AG-") + reference);
        set(w, "Reference", reference);
        set(w, "Price", QStringLiteral("101.25"));
        set(w, "Qty", QStringLiteral("10"));
        set(w, "Currency", QStringLiteral("RUB"));
        if (w->kind() == ReportKind::Repo) {
            set(w, "Amount", QStringLiteral("1012.50"));
            set(w, "RepurchaseAmount", QStringLiteral("1020.00"));
            set(w, "RepoDays", QStringLiteral("7"));
        }
    }
    QString lastText() const
    {
        return dialogs_->shown().isEmpty() ? QString() : dialogs_->last().text;
    }

    // A report of n deals with a date column, written by the window itself.
    QString savedReport(const Window& w, int rows, const QString& name)
    {
        QList<QStringList> all;
        const int width = w->model().columnCount();
        for (int r = 0; r < rows; ++r) {
            QStringList cells(width);
            cells[0] = QString::number(r + 1);
            for (int c = 1; c < width; ++c) {
                const ReportColumn& col = w->model().column(c);
                cells[c] =
                    col.type == u"D" ? QStringLiteral("05.03.2016") : col.name + QString::number(r);
            }
            all.append(cells);
        }
        w->model().resetRows(all);
        const QString path = folder_->file(name);
        if (!w->SaveFileAs(path))
            return QString();
        return path;
    }

private slots:
    void init()
    {
        folder_ = std::make_unique<TestProgramFolder>();
        dialogs_ = std::make_unique<ScriptedDialogs>();
    }
    void cleanup()
    {
        QCOMPARE(dialogs_->pending(), 0);
        dialogs_.reset();
        folder_.reset();
    }

    // Every caption, label, hint and button of both windows, once.
    void texts_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("frmReport") << int(ReportKind::Deals);
        QTest::newRow("frmReportRepo") << int(ReportKind::Repo);
    }

    void texts()
    {
        QFETCH(int, kind);
        Window w = open(ReportKind(kind));
        QVERIFY(!w->loadFailed());
        w->setWindowTitle(QStringLiteral("[New Report 1]"));
        w->resize(w->sizeHint());
        w->show();
        w->tmEnabling_Timer();
        QString dump = testing::DumpWidgetTexts(*w);
        dump.replace(today(), QStringLiteral("<today>"));
        QString message;
        if (!testing::MatchesGolden(dump,
                                    QStringLiteral(VARNEL_GOLDEN_DIR "/") +
                                        QString::fromLatin1(TraitsOf(ReportKind(kind)).windowName) +
                                        QStringLiteral(".txt"),
                                    &message))
            QFAIL(qPrintable(message));
        QVERIFY(dialogs_->shown().isEmpty());
    }

    // Hidden fields keep their slot; widths come from the settings when a usable one is there.
    void buildFromLayout()
    {
        folder_->setLayout("deals_struct_client.xml",
                           {"Name=\"Participant\" Title=\"Участник\" Width=\"1300\"",
                            "Name=\"Secret\" Title=\"Скрыто\" Visible=\"0\"",
                            "Name=\"Price\" Title=\"Цена\" Width=\"wide\" Align=\"R\" Type=\"N\"",
                            "Name=\"Side\" Title=\"Сторона\" Width=\"900\" Align=\"C\"",
                            "Name=\"Stored\" Title=\"С сохраненной\" Width=\"900\""});
        WriteSetting(QStringLiteral("Grid_Reports"), QStringLiteral("Side"), QStringLiteral("0"));
        WriteSetting(QStringLiteral("Grid_Reports"), QStringLiteral("Stored"),
                     QStringLiteral("2100"));
        Window w = open(ReportKind::Deals);
        const ReportModel& m = w->model();
        QCOMPARE(m.columnCount(), 5);
        QCOMPARE(m.column(0).widthTwips, 500);
        QCOMPARE(m.column(2).name, QStringLiteral("Price"));
        QCOMPARE(m.column(2).slot, 2);
        QCOMPARE(m.column(2).widthTwips, 1000);
        QCOMPARE(m.column(3).widthTwips, 900);  // a stored 0 is no width
        QCOMPARE(m.column(4).widthTwips, 2100); // a stored width wins
        QVERIFY(!w->txtEdit(1)->isVisibleTo(w.get()));
        QVERIFY(!w->lblEdit(1)->isVisibleTo(w.get()));
        QCOMPARE(w->lblEdit(2)->text(), QStringLiteral("Цена   "));
        QCOMPARE(w->lblEdit(2)->property("tag").toString(), QStringLiteral("Price"));
        QCOMPARE(w->txtEdit(2)->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
        // Centred columns keep a left-justified editor.
        QCOMPARE(w->txtEdit(3)->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
        QCOMPARE(m.headerData(3, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>() &
                     Qt::AlignHorizontal_Mask,
                 Qt::AlignHCenter);
        QCOMPARE(w->grid()->horizontalHeader()->sectionSize(4),
                 TwipsToPixels(2100, w->logicalDpiX()));
        // The configured participant is there from the start.
        QCOMPARE(w->txtEdit(0)->text(), QStringLiteral("MC0001"));
    }

    void layoutFailures_data()
    {
        QTest::addColumn<QByteArray>("layout"); // empty: no layout file
        QTest::addColumn<QString>("messagePart");
        QTest::newRow("missing") << QByteArray() << " не найден";
        QTest::newRow("malformed") << QByteArray("<x><y></x>") << "Строка: 1";
        QStringList many;
        for (int i = 0; i < 30; ++i)
            many << QStringLiteral("Name=\"F%1\"").arg(i);
        QTest::newRow("more children than slots") << layoutXml(many) << "полей в нем 30";
        QTest::newRow("semicolon") << layoutXml({"Name=\"A\" Format=\"0;0\""}) << "\";\"";
    }

    // A layout the window cannot show is reported once, and the window is marked so that the
    // main window discards it instead of showing half a report.
    void layoutFailures()
    {
        QFETCH(QByteArray, layout);
        QFETCH(QString, messagePart);
        const QString path = folder_->file(QStringLiteral("deals_struct_client.xml"));
        QFile::remove(path);
        if (!layout.isEmpty())
            writeAll(path, layout);
        Window w = open(ReportKind::Deals);
        QVERIFY(w->loadFailed());
        QCOMPARE(dialogs_->shown().size(), 1);
        QCOMPARE(dialogs_->last().icon, MessageIcon::Critical);
        QVERIFY2(lastText().contains(path) && lastText().contains(messagePart),
                 qPrintable(lastText()));
        // Closing it saves neither widths nor placement.
        w->close();
        QCOMPARE(ReadSetting(QStringLiteral("Grid_Reports"), QStringLiteral("1"), QString()),
                 QString());
    }

    void addChangeDelete()
    {
        Window w = open(ReportKind::Deals);
        w->setWindowTitle(QStringLiteral("[New Report 1]"));
        w->tmEnabling_Timer();
        QVERIFY(!w->button("cmdEdit")->isEnabled());
        QVERIFY(!w->button("cmdDel")->isEnabled());
        w->cmdEdit_Click();
        QCOMPARE(lastText(), QStringLiteral("Не выбрана текущая сделка"));
        w->cmdDel_Click();
        QCOMPARE(lastText(), QStringLiteral("Не выбрана текущая сделка"));

        for (const char* ref : {"R-1", "R-2", "R-3"}) {
            fillDeal(w, QString::fromLatin1(ref));
            w->cmdAdd_Click();
        }
        QCOMPARE(w->model().rows(), 3);
        QCOMPARE(w->windowTitle(), QStringLiteral("[New Report 1] * "));
        QVERIFY(w->isChanged());
        QCOMPARE(w->statusText(1), QStringLiteral("Записей: 3"));
        QCOMPARE(w->selectedRow(), 2);
        w->tmEnabling_Timer();
        QVERIFY(w->button("cmdEdit")->isEnabled());

        // The same editors once more: the Reference is in the report already.
        const int shown = int(dialogs_->shown().size());
        w->cmdAdd_Click();
        QCOMPARE(lastText(), QStringLiteral("(S52) Сделка участника MC0001 с внутренним номером "
                                            "R-3 уже существует в базе данных"));
        QCOMPARE(int(dialogs_->shown().size()), shown + 1);
        QCOMPARE(w->model().rows(), 3);

        // Change the selected row; its own Reference does not count against it.
        set(w, "Price", QStringLiteral("99.5"));
        w->cmdEdit_Click();
        QCOMPARE(int(dialogs_->shown().size()), shown + 1);
        const int price = w->model().columnOfName(QStringLiteral("Price"));
        QCOMPARE(w->model().cell(2, price), QStringLiteral("99.5"));
        QCOMPARE(w->windowTitle().count(QStringLiteral(" * ")), 1);
        // Changing it to another row's Reference is refused.
        set(w, "Reference", QStringLiteral("R-1"));
        w->cmdEdit_Click();
        QVERIFY(lastText().startsWith(QStringLiteral("(S52)")));
        QCOMPARE(w->model().cell(2, w->model().columnOfName(QStringLiteral("Reference"))),
                 QStringLiteral("R-3"));

        // Delete row 2 of 3: the former row 3 becomes row 2 and is shown.
        w->selectRow(1);
        dialogs_->answer(Answer::No);
        w->cmdDel_Click();
        QCOMPARE(lastText(), QStringLiteral("Удалить текущую сделку ?"));
        QCOMPARE(dialogs_->last().buttons, MessageButtons::YesNo);
        QCOMPARE(w->model().rows(), 3);
        dialogs_->answer(Answer::Yes);
        w->cmdDel_Click();
        QCOMPARE(w->model().rows(), 2);
        QCOMPARE(w->model().cell(1, 0), QStringLiteral("2"));
        QCOMPARE(w->model().cell(1, w->model().columnOfName(QStringLiteral("Reference"))),
                 QStringLiteral("R-3"));
        QCOMPARE(get(w, "Reference"), QStringLiteral("R-3"));
        QCOMPARE(w->statusText(1), QStringLiteral("Записей: 2"));

        // Deleting down to nothing leaves the editors as they were.
        for (int i = 0; i < 2; ++i) {
            w->selectRow(0);
            dialogs_->answer(Answer::Yes);
            w->cmdDel_Click();
        }
        QCOMPARE(w->model().rows(), 0);
        QCOMPARE(w->statusText(1), QStringLiteral("Записей: 0"));
        QCOMPARE(get(w, "Reference"), QStringLiteral("R-3"));
        w->tmEnabling_Timer();
        QVERIFY(!w->button("cmdDel")->isEnabled());
    }

    void showAndClear()
    {
        Window w = open(ReportKind::Repo);
        fillDeal(w, QStringLiteral("R-1"));
        set(w, "Comment", QStringLiteral("первая"));
        w->cmdAdd_Click();
        QCOMPARE(w->model().rows(), 1);
        w->cmdClear_Click();
        QCOMPARE(get(w, "Reference"), QString());
        QCOMPARE(get(w, "Qty"), QStringLiteral("0"));           // a number without a default
        QCOMPARE(get(w, "AccruedInt"), QStringLiteral("0.00")); // the default in its picture
        QCOMPARE(get(w, "Currency"), QStringLiteral("RUB"));
        QCOMPARE(get(w, "TradeDate"), QString()); // a date without a default empties
        QCOMPARE(get(w, "Participant"), QStringLiteral("MC0001"));
        w->lvDeals_Click(0);
        QCOMPARE(get(w, "Reference"), QStringLiteral("R-1"));
        QCOMPARE(get(w, "Comment"), QStringLiteral("первая"));
        // A double click on empty space does nothing.
        w->cmdClear_Click();
        w->lvDeals_DblClick(QPoint(5, 5000));
        QCOMPARE(get(w, "Reference"), QString());
    }

    void fieldChecks()
    {
        Window w = open(ReportKind::Deals);
        const int price = w->editor().slotOfName(QStringLiteral("Price"));
        w->txtEdit(price)->setText(QStringLiteral("12a"));
        QVERIFY(!w->txtEdit_Validate(price));
        QCOMPARE(lastText(), QStringLiteral("Поле Price должно иметь числовой формат"));
        QCOMPARE(dialogs_->last().icon, MessageIcon::Critical);
        QCOMPARE(w->txtEdit(price)->text(), QStringLiteral("12a"));
        w->txtEdit(price)->setText(QStringLiteral(" 1234,5 "));
        QVERIFY(w->txtEdit_Validate(price));
        QCOMPARE(w->txtEdit(price)->text(), QStringLiteral("1234.50"));
        const int amount = w->editor().slotOfName(QStringLiteral("Amount"));
        w->txtEdit(amount)->setText(QStringLiteral("1000000000000000000000000000000"));
        QVERIFY(!w->txtEdit_Validate(amount));
        QCOMPARE(lastText(), QStringLiteral("Слишком большое значение"));

        Window repo = open(ReportKind::Repo);
        const int date = repo->editor().slotOfName(QStringLiteral("TradeDate"));
        repo->txtEdit(date)->setText(QStringLiteral("5/3/16"));
        QVERIFY(repo->txtEdit_Validate(date));
        QCOMPARE(repo->txtEdit(date)->text(), QStringLiteral("05.03.2016"));
        repo->txtEdit(date)->setText(QStringLiteral("29.02.2015"));
        QVERIFY(!repo->txtEdit_Validate(date));
        QCOMPARE(lastText(), QStringLiteral("(C10) Недопустимый формат даты: 29.02.2015"));
    }

    // The check runs when the focus really leaves a field, refuses the field and keeps the
    // focus in it; the command the user clicked meanwhile does not run.
    void focusDrivenCheck()
    {
        Window w = open(ReportKind::Repo);
        w->resize(w->sizeHint());
        w->show();
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
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
        w->txtEdit_GotFocus(issue);
        QPushButton* pick = w->button("cmdPick");
        QVERIFY(pick->isVisibleTo(w.get()));
        QCOMPARE(pick->toolTip(), QStringLiteral("Список значений"));
        // The field makes room for the button beside it.
        QCOMPARE(w->txtEdit(issue)->geometry().right() + 1, pick->geometry().left());
        QCOMPARE(pick->geometry().right() + 1 - w->txtEdit(issue)->geometry().left(),
                 TwipsToPixels(w->standardEditorWidth(), w->logicalDpiX()));
        w->cmdPick_Click();
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
        w->cmdPick_Click();
        QCOMPARE(get(w, "Issue"), QStringLiteral("SU26238RMFS4"));
        // A single cell fills the field with that cell, and leaves the others alone.
        answer = QStringLiteral("XS0114288789");
        w->cmdPick_Click();
        QCOMPARE(get(w, "Issue"), QStringLiteral("XS0114288789"));
        QCOMPARE(get(w, "ISIN"), QString());

        // A fixed list: no current text, the code goes in.
        const int currency = w->editor().slotOfName(QStringLiteral("Currency"));
        w->txtEdit_GotFocus(currency);
        w->cmdPick_Click();
        QCOMPARE(asked.last().currentText, QString());
        QCOMPARE(asked.last().settingsKey, QStringLiteral("Pick_Currency"));
        QVERIFY(asked.last().source.startsWith(QStringLiteral("RUB\t")));
        QCOMPARE(get(w, "Currency"), QStringLiteral("USD"));
        // A field without a pick source has no button; the other field gets its width back.
        w->txtEdit_GotFocus(w->editor().slotOfName(QStringLiteral("Reference")));
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
        w->txtEdit_GotFocus(0);
        w->cmdPick_Click();
        QCOMPARE(get(w, "Issue"), QStringLiteral("I"));
        QCOMPARE(get(w, "ISIN"), QStringLiteral("ISIN"));
        QCOMPARE(get(w, "RegNum"), QString()); // slot 11

        Window repo = open(ReportKind::Repo);
        const int issue = repo->editor().slotOfName(QStringLiteral("Issue"));
        repo->txtEdit_GotFocus(issue);
        repo->cmdPick_Click();
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
        QCOMPARE(picker->dateEdit()->displayFormat(), QStringLiteral("dd.MM.yyyy"));
        const int date = w->editor().slotOfName(QStringLiteral("SettleDate"));
        QLineEdit* field = w->txtEdit(date);

        // An empty field opens the picker on today, over the field.
        field->clear();
        w->txtEdit_GotFocus(date);
        QVERIFY(picker->isVisibleTo(w.get()));
        QCOMPARE(picker->value(), QDate::currentDate());
        QVERIFY(picker->isChecked());
        const int dpi = w->logicalDpiX();
        QCOMPARE(picker->x(), field->x() - TwipsToPixels(60, dpi));
        QCOMPARE(picker->y(), field->y() - TwipsToPixels(60, dpi));
        QCOMPARE(picker->width(), TwipsToPixels(w->standardEditorWidth() + 60, dpi));
        picker->dateEdit()->setDate(QDate(2024, 3, 7));
        w->dtPickDate_LostFocus();
        QCOMPARE(field->text(), QStringLiteral("07.03.2024"));
        QVERIFY(!picker->isVisibleTo(w.get()));

        // A field with a date opens on it; clearing the check box empties the field.
        w->txtEdit_GotFocus(date);
        QCOMPARE(picker->value(), QDate(2024, 3, 7));
        picker->checkBox()->setChecked(false);
        w->dtPickDate_LostFocus();
        QCOMPARE(field->text(), QString());
        // Entering another date field ends the picker of the first.
        w->txtEdit_GotFocus(date);
        w->txtEdit_GotFocus(w->editor().slotOfName(QStringLiteral("TradeDate")));
        QCOMPARE(field->text(), today());
        w->dtPickDate_LostFocus();
        // Date fields of the deal window have no pick button.
        QVERIFY(!w->button("cmdPick")->isVisibleTo(w.get()));
    }

    // Tab and Shift+Tab leave the picker for the neighbouring fields, and the picker's date
    // stays in its own field.
    void pickerTabs()
    {
        Window w = open(ReportKind::Deals);
        w->resize(w->sizeHint());
        w->show();
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        QLineEdit* trade = box(w, "TradeDate");
        trade->setFocus(Qt::MouseFocusReason);
        QTRY_VERIFY(w->datePicker()->dateEdit()->hasFocus());
        w->datePicker()->dateEdit()->setDate(QDate(2024, 3, 7));
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

    void bold()
    {
        Window w = open(ReportKind::Deals);
        w->txtEdit_GotFocus(3);
        QVERIFY(w->lblEdit(3)->font().bold());
        QCOMPARE(w->currentSlot(), 3);
        w->txtEdit_GotFocus(4);
        QVERIFY(!w->lblEdit(3)->font().bold());
        QVERIFY(w->lblEdit(4)->font().bold());
    }

    void loadFile()
    {
        Window w = open(ReportKind::Deals);
        const QString missing = folder_->file(QStringLiteral("new.xml"));
        w->LoadFile(missing);
        QCOMPARE(w->windowTitle(), missing);
        QCOMPARE(w->fileName(), missing);
        QCOMPARE(w->statusText(1), QStringLiteral("Записей: 0"));

        const QString path = folder_->file(QStringLiteral("two.xml"));
        writeAll(path, "<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n<deals>\r\n"
                       "<deal Reference=\"A\" Price=\"1.5\" TradeDate=\"2024-03-07\" />\r\n"
                       "<deal Reference=\"B\" Extra=\"x\" />\r\n</deals>\r\n");
        w->LoadFile(path);
        QCOMPARE(w->model().rows(), 2);
        QCOMPARE(w->selectedRow(), 0);
        QCOMPARE(get(w, "Reference"), QStringLiteral("A"));
        QCOMPARE(get(w, "TradeDate"), QStringLiteral("07.03.2024"));
        QCOMPARE(w->statusText(1), QStringLiteral("Записей: 2"));
        QCOMPARE(w->statusText(2), QString());
        QVERIFY(!w->isChanged());
        // A deal without a date shows the layout's default, which the save refuses.
        QVERIFY(!w->SaveFile());
        QCOMPARE(lastText(), QStringLiteral("(C10) Недопустимый формат даты: %DATE%"));
        QCOMPARE(w->statusText(2), lastText());

        // A broken file: its text, no rows, a window still usable.
        writeAll(path, "<deals><deal Reference=\"A\"/><deal");
        w->LoadFile(path);
        QVERIFY(lastText().startsWith(QStringLiteral("Ошибка загрузки файла ") + path));
        QCOMPARE(w->model().rows(), 0);
        QCOMPARE(w->fileName(), path);
        fillDeal(w, QStringLiteral("R"));
        w->cmdAdd_Click();
        QCOMPARE(w->model().rows(), 1);
    }

    // A numeric(26,10) price goes through the field check, the grid, the file and back
    // without a digit changed.
    void numbersSurvive()
    {
        Window w = open(ReportKind::Repo);
        fillDeal(w, QStringLiteral("R-1"));
        const int price = w->editor().slotOfName(QStringLiteral("Price"));
        w->txtEdit(price)->setText(QStringLiteral("1234567890123456.1234567891"));
        QVERIFY(w->txtEdit_Validate(price));
        QCOMPARE(w->txtEdit(price)->text(), QStringLiteral("1234567890123456.1234567891"));
        w->cmdAdd_Click();
        const QString path = folder_->file(QStringLiteral("repo.xml"));
        QVERIFY(w->SaveFileAs(path));
        QVERIFY(readAll(path).contains("Price=\"1234567890123456.1234567891\""));
        QVERIFY(readAll(path).contains("<RepoDeals Language=\"RU\">"));
        Window again = open(ReportKind::Repo);
        again->LoadFile(path);
        QCOMPARE(get(again, "Price"), QStringLiteral("1234567890123456.1234567891"));
        const int column = w->model().columnOfName(QStringLiteral("Price"));
        QCOMPARE(again->model().cell(0, column), w->model().cell(0, column));
    }

    void saving()
    {
        Window w = open(ReportKind::Deals);
        w->setWindowTitle(QStringLiteral("[New Report 1]"));
        fillDeal(w, QStringLiteral("R-1"));
        w->cmdAdd_Click();
        // Cancelled: false and nothing said.
        dialogs_->cancelNext();
        QVERIFY(!w->SaveFile());
        QCOMPARE(dialogs_->last().kind, DialogKind::SaveFile);
        QCOMPARE(dialogs_->last().title, QStringLiteral("Save Report As"));
        QCOMPARE(dialogs_->last().directory, folder_->file(QStringLiteral("work")));
        QCOMPARE(w->fileName(), QString());
        QVERIFY(w->isChanged());

        const QString path = folder_->file(QStringLiteral("work/r.xml"));
        dialogs_->choosePath(path);
        QVERIFY(w->SaveFile());
        QCOMPARE(w->windowTitle(), path);
        QVERIFY(!w->isChanged());
        const QByteArray saved = readAll(path);
        QVERIFY(saved.startsWith("<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n"));
        QVERIFY(saved.contains("<deal Participant=\"MC0001\" Issue=\"SU26238RMFS4\""));
        QVERIFY(saved.contains(QStringLiteral("TradeDate=\"%1\"")
                                   .arg(QDate::currentDate().toString(Qt::ISODate))
                                   .toLatin1()));
        // Save again: straight to the file, no dialog.
        const int shown = int(dialogs_->shown().size());
        QVERIFY(w->SaveFile());
        QCOMPARE(int(dialogs_->shown().size()), shown);
        QCOMPARE(readAll(path), saved);

        // A report saved with no deals at all.
        Window empty = open(ReportKind::Deals);
        QVERIFY(empty->SaveFileAs(folder_->file(QStringLiteral("empty.xml"))));
        QCOMPARE(readAll(folder_->file(QStringLiteral("empty.xml"))).split('\n').size(), 5);
    }

    // Saving over a report in place never destroys it: a refused date or a write that fails
    // half-way leaves the old file byte for byte and nothing beside it.
    void failedSaveKeepsTheOldFile()
    {
        Window w = open(ReportKind::Deals);
        const QString path = savedReport(w, 9500, QStringLiteral("big.xml"));
        QVERIFY(!path.isEmpty());
        const QByteArray before = readAll(path);
        QVERIFY(before.size() > 1000000);
        const int date = w->model().columnOfName(QStringLiteral("TradeDate"));
        QStringList row = w->model().fieldCells(9000);
        row[date - 1] = QStringLiteral("31.04.2016");
        w->model().setDeal(9000, row);
        QVERIFY(!w->SaveFile());
        QCOMPARE(lastText(), QStringLiteral("(C10) Недопустимый формат даты: 31.04.2016"));
        QCOMPARE(readAll(path), before);

        // A disk that fills up while the file is being written.
        row[date - 1] = QStringLiteral("01.05.2016");
        w->model().setDeal(9000, row);
        rlimit old{};
        QVERIFY(getrlimit(RLIMIT_FSIZE, &old) == 0);
        filesave::IgnoreFileSizeSignal(); // as the client does where it starts
        rlimit small = old;
        small.rlim_cur = 256 * 1024;
        QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
        const bool saved = w->SaveFile();
        setrlimit(RLIMIT_FSIZE, &old);
        QVERIFY(!saved);
        QVERIFY2(lastText().startsWith(QStringLiteral("Не удалось записать файл ") + path),
                 qPrintable(lastText()));
        QCOMPARE(w->statusText(2), lastText());
        QCOMPARE(readAll(path), before);
        QCOMPARE(
            QDir(folder_->path()).entryList({QStringLiteral(".*big*")}, QDir::Files | QDir::Hidden),
            QStringList());
    }

    void closePrompt()
    {
        {
            Window w = open(ReportKind::Deals);
            QVERIFY(w->close()); // unchanged: nothing asked
            QVERIFY(dialogs_->shown().isEmpty());
        }
        Window w = open(ReportKind::Deals);
        fillDeal(w, QStringLiteral("R-1"));
        w->cmdAdd_Click();
        w->LoadFile(folder_->file(QStringLiteral("c.xml")));
        fillDeal(w, QStringLiteral("R-1"));
        w->cmdAdd_Click();
        dialogs_->answer(Answer::Cancel);
        QVERIFY(!w->close());
        QCOMPARE(lastText(), QStringLiteral("Вы внесли изменения в отчет. Сохранить файл ") +
                                 folder_->file(QStringLiteral("c.xml")) + QStringLiteral(" ?"));
        QCOMPARE(dialogs_->last().buttons, MessageButtons::YesNoCancel);
        QCOMPARE(dialogs_->last().icon, MessageIcon::Question);
        // Yes with a save that fails keeps the window.
        QFile::remove(folder_->file(QStringLiteral("c.xml")));
        QDir(folder_->path()).mkdir(QStringLiteral("c.xml"));
        dialogs_->answer(Answer::Yes);
        QVERIFY(!w->close());
        QDir(folder_->path()).rmdir(QStringLiteral("c.xml"));
        dialogs_->answer(Answer::Yes);
        QVERIFY(w->close());
        QVERIFY(QFileInfo::exists(folder_->file(QStringLiteral("c.xml"))));
    }

    void resizeRules()
    {
        Window w = open(ReportKind::Deals);
        const int dpi = w->logicalDpiX();
        w->resize(TwipsToPixels(12000, dpi), TwipsToPixels(9000, dpi));
        w->Form_Resize();
        const QRect grid = w->grid()->geometry();
        QCOMPARE(grid.left(), TwipsToPixels(20, dpi));
        QCOMPARE(grid.width(), TwipsToPixels(12000 - 40, dpi));
        const int panel = 12000 - 40;
        QCOMPARE(w->standardEditorWidth(), (panel - 4000) / 2);
        const auto px = [dpi](int twips) { return TwipsToPixels(twips, dpi); };
        QCOMPARE(w->txtEdit(0)->x(), px(1605));
        QCOMPARE(w->lblEdit(0)->geometry().right() + 1, px(120 + 1440));
        QCOMPARE(w->txtEdit(15)->x(), px((panel - 4000) / 2 + 3200));
        QCOMPARE(w->lblEdit(15)->geometry().right() + 1, px((panel - 4000) / 2 + 1750 + 1440));
        QCOMPARE(w->txtEdit(0)->y(), px(240));
        QCOMPARE(w->txtEdit(1)->y(), px(540));
        QCOMPARE(w->txtEdit(0)->width(), px(w->standardEditorWidth()));
        QCOMPARE(w->txtEdit(16)->y(), w->txtEdit(1)->y());

        // Narrower than 7700 twips: nothing moves.
        w->setMinimumSize(0, 0);
        const QRect before = w->txtEdit(15)->geometry();
        w->resize(TwipsToPixels(7000, dpi), TwipsToPixels(9000, dpi));
        w->Form_Resize();
        QCOMPARE(w->txtEdit(15)->geometry(), before);
        QCOMPARE(w->grid()->geometry(), grid);
        // Too low for the grid: nothing moves either.
        w->resize(TwipsToPixels(12000, dpi), TwipsToPixels(3000, dpi));
        w->Form_Resize();
        QCOMPARE(w->grid()->geometry(), grid);

        // The repo window switches between one and two columns by the panel width.
        Window repo = open(ReportKind::Repo);
        repo->setMinimumSize(0, 0);
        repo->resize(TwipsToPixels(14000, dpi), TwipsToPixels(12000, dpi));
        repo->Form_Resize();
        QCOMPARE(repo->editorColumns(), 2);
        QCOMPARE(repo->txtEdit(12)->y(), repo->txtEdit(0)->y());
        repo->resize(TwipsToPixels(9000, dpi), TwipsToPixels(12000, dpi));
        repo->Form_Resize();
        QCOMPARE(repo->editorColumns(), 1);
        QCOMPARE(repo->txtEdit(12)->x(), repo->txtEdit(0)->x());
        QVERIFY(repo->txtEdit(12)->y() > repo->txtEdit(11)->y());
        // Every shown field stays inside the panel.
        for (int slot = 0; slot < 24; ++slot) {
            if (repo->txtEdit(slot)->isVisibleTo(repo.get()))
                QVERIFY(repo->txtEdit(slot)->geometry().bottom() <
                        repo->findChild<QWidget*>(QStringLiteral("grpEdit"))->height());
        }
    }

    // Placement and column widths live in the per-user store and the settings file; both
    // report kinds share them.
    void placementAndWidths()
    {
        QMdiArea area;
        area.resize(1200, 900);
        area.show();
        {
            Window w = open(ReportKind::Deals);
            QMdiSubWindow* sub = area.addSubWindow(w.get());
            w->show();
            sub->show();
            sub->setGeometry(30, 45, 900, 800);
            w->grid()->horizontalHeader()->resizeSection(2, 150);
            QVERIFY(w->close());
            sub->setWidget(nullptr);
            delete sub;
        }
        const QString app = QStringLiteral("Varnel_Reports");
        const int dpi = area.logicalDpiX();
        const auto tw = [dpi](int pixels) {
            return QString::number(qRound(PixelsToTwips(pixels, dpi)));
        };
        QCOMPARE(PlacementStore::Read(app, QStringLiteral("Maximized"), {}), QStringLiteral("0"));
        QCOMPARE(PlacementStore::Read(app, QStringLiteral("MainLeft"), {}), tw(30));
        QCOMPARE(PlacementStore::Read(app, QStringLiteral("MainTop"), {}), tw(45));
        QCOMPARE(PlacementStore::Read(app, QStringLiteral("MainWidth"), {}), tw(900));
        QCOMPARE(PlacementStore::Read(app, QStringLiteral("MainHeight"), {}), tw(800));
        QCOMPARE(ReadSetting(QStringLiteral("Grid_Reports"), QStringLiteral("1"), {}),
                 tw(TwipsToPixels(500, dpi)));
        QCOMPARE(ReadSetting(QStringLiteral("Grid_Reports"), QStringLiteral("Issue"), {}), tw(150));

        // The repo window opens where the deal window was, with the shared width.
        Window repo = open(ReportKind::Repo);
        QCOMPARE(repo->model().column(2).name, QStringLiteral("Issue"));
        QCOMPARE(QString::number(repo->model().column(2).widthTwips), tw(150));
        QMdiSubWindow* sub = area.addSubWindow(repo.get());
        repo->show();
        sub->show();
        QCOMPARE(sub->geometry(), QRect(30, 45, 900, 800));
        PlacementStore::Write(app, QStringLiteral("Maximized"), QStringLiteral("1"));
        Window maximized = open(ReportKind::Deals);
        QMdiSubWindow* sub2 = area.addSubWindow(maximized.get());
        maximized->show();
        sub2->show();
        QVERIFY(sub2->isMaximized());
        // A minimized window leaves the placement as it was.
        sub2->showMinimized();
        QVERIFY(maximized->close());
        QCOMPARE(PlacementStore::Read(app, QStringLiteral("Maximized"), {}), QStringLiteral("1"));
        sub2->setWidget(nullptr);
        delete sub2;
        sub->setWidget(nullptr);
        delete sub;
    }
};

QTEST_MAIN(ReportWindowTest)
#include "tst_reportwindow.moc"
