// The client with the keyboard alone: Tab leaves every list for the next control, a field's
// pick list opens from its key, Enter presses a focused button, a report opened from the menu
// has the focus in its first field even when a dialog had the activation meanwhile, the
// toolbar and the commands of the panel have keys, and what the windows show of the client's
// own is Russian.
#include "core/PickSeam.h"
#include "reports/DealImport.h"
#include "reports/ImportModels.h"
#include "reports/ReportModel.h"
#include "reports/window/ImportDialogs.h"
#include "reports/window/frmReport.h"
#include "revoke/window/RevocationDialog.h"
#include "shell/frmMain.h"
#include "shell/frmOptions.h"

#include "MainWindowRoad.h"
#include "ReportTestSupport.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>

#include <functional>

using namespace varnel;
using namespace varnel::test;

namespace {

// Latin words the client shows because they are names fixed for it, or codes: everything else
// the user reads is Russian.
const QStringList kLatinAllowed{
    QStringLiteral("MS"),     QStringLiteral("Excel"), QStringLiteral("OK"),
    QStringLiteral("Cancel"), QStringLiteral("Apply"), QStringLiteral("Participant"),
    QStringLiteral("RU"),     QStringLiteral("EN"),    QStringLiteral("XML"),
    QStringLiteral("CSV"),    QStringLiteral("csv"),   QStringLiteral("txt"),
    QStringLiteral("xlsx"),   QStringLiteral("xml"),   QStringLiteral("xsl"),
};

// The Latin words of a text that are not allowed; "&" markers are no part of the text.
QStringList ForeignWords(QString text)
{
    text.remove(u'&');
    QStringList out;
    static const QRegularExpression latin(QStringLiteral("[A-Za-z]+"));
    for (auto it = latin.globalMatch(text); it.hasNext();) {
        const QString word = it.next().captured();
        if (!kLatinAllowed.contains(word))
            out << word;
    }
    return out;
}

// Focus on the list at its first cell, then Tab: the focus is on another control, and the
// list's current cell stayed where it was.
void TabLeaves(QAbstractItemView* list)
{
    QVERIFY(list);
    QVERIFY(list->model()->rowCount() > 0);
    list->setFocus(Qt::OtherFocusReason);
    QTRY_VERIFY(list->hasFocus());
    list->setCurrentIndex(list->model()->index(0, 0));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QWidget* now = QApplication::focusWidget();
    QVERIFY(now);
    QVERIFY2(now != list && !list->isAncestorOf(now), qPrintable(now->objectName()));
    QCOMPARE(list->currentIndex(), list->model()->index(0, 0));
    // The arrows still move inside the list.
    list->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(list->currentIndex().row(), 1);
}

// Runs the check on the next modal dialog, shown and active, then closes it.
void OnShownModal(ScriptedDialogs& dialogs, std::function<void(QDialog&)> check)
{
    dialogs.onModal([check = std::move(check)](QDialog& d) {
        d.show();
        d.activateWindow();
        [&] { QVERIFY(QTest::qWaitForWindowActive(&d)); }();
        check(d);
        return int(QDialog::Rejected);
    });
}

} // namespace

class KeyboardTest : public MainWindowRoad {
    Q_OBJECT

    QAction* act(const char* name) const
    {
        return main_->findChild<QAction*>(QString::fromLatin1(name));
    }
    static QLineEdit* field(ReportEditorWindow* w, const char* name)
    {
        return w->txtEdit(w->editor().slotOfName(QString::fromLatin1(name)));
    }
    static QLineEdit* firstField(ReportEditorWindow* w)
    {
        for (int slot = 0; w->txtEdit(slot); ++slot) {
            if (w->editor().columnOfSlot(slot))
                return w->txtEdit(slot);
        }
        return nullptr;
    }
    static void type(ReportEditorWindow* w, const char* name, const QString& text)
    {
        QLineEdit* box = field(w, name);
        box->setText(text);
        QVERIFY(w->checkField(w->editor().slotOfName(QString::fromLatin1(name))));
    }
    static void fillDeal(ReportEditorWindow* w, const QString& reference)
    {
        type(w, "Issue", QStringLiteral("SU26238RMFS4"));
        type(w, "Agreement", QStringLiteral("ДОГ/") + reference);
        type(w, "Reference", reference);
        type(w, "Price", QStringLiteral("101.25"));
        type(w, "Qty", QStringLiteral("100"));
    }
    ReportEditorWindow* newReport()
    {
        act("mnuReportNew")->trigger();
        ReportEditorWindow* w = active();
        if (w) {
            main_->activateWindow();
            [&] { QVERIFY(QTest::qWaitForWindowActive(main_.get())); }();
        }
        return w;
    }

private slots:
    void init()
    {
        startMainWindow();
        main_->resize(1300, 760);
    }
    void cleanup() { closeMainWindow(); }

    void tabLeavesEveryList_data()
    {
        QTest::addColumn<QString>("list");
        QTest::newRow("report grid") << QStringLiteral("grid");
        QTest::newRow("refused rows") << QStringLiteral("refused");
        QTest::newRow("revocation list") << QStringLiteral("revocation");
    }

    void tabLeavesEveryList()
    {
        QFETCH(QString, list);
        if (list == u"grid") {
            ReportEditorWindow* w = newReport();
            QVERIFY(w);
            for (const QString& r : {QStringLiteral("R-1"), QStringLiteral("R-2")}) {
                fillDeal(w, r);
                w->addDeal();
            }
            QCOMPARE(w->model().rows(), 2);
            TabLeaves(w->grid());
        } else if (list == u"refused") {
            OnShownModal(*dialogs_, [](QDialog& d) {
                TabLeaves(dynamic_cast<dlgImportResult&>(d).lvRefused());
            });
            dlgImportResult::Show(main_.get(),
                                  {{3, QStringLiteral("Цена ЦБ"), QStringLiteral("-1"),
                                    QStringLiteral("цена меньше нуля")},
                                   {7, QStringLiteral("Количество"), QStringLiteral("x"),
                                    QStringLiteral("не число")}},
                                  QStringLiteral("Загружено 8 из 10, отклонено 2"), 2);
        } else {
            OnShownModal(*dialogs_, [](QDialog& d) {
                TabLeaves(d.findChild<QTableView*>(QStringLiteral("lvDeals")));
            });
            dlgRevokeDeal::Run(main_.get(),
                               {{QStringLiteral("101"), QStringLiteral("MC0001"),
                                 QStringLiteral("Д-1"), QStringLiteral("R-1"), QString()},
                                {QStringLiteral("102"), QStringLiteral("MC0001"),
                                 QStringLiteral("Д-2"), QStringLiteral("R-2"), QString()}});
        }
        QCOMPARE(dialogs_->pending(), 0);
    }

    // The column dialog opens with its focus where the user sees it: on the list of the file's
    // first column, that row current; Tab goes on to the next column's list.
    void mappingDialogShowsItsFocus()
    {
        ReportEditorWindow* w = newReport();
        QVERIFY(w);
        ImportMapping mapping;
        mapping.titles = QStringList{QStringLiteral("Цена"), QStringLiteral("Трейдер")};
        mapping.columns = QList<int>{0, 0};
        ImportMappingModel model(w->model(), mapping,
                                 {{QStringLiteral("101,5"), QStringLiteral("Иванов")}});
        dlgImportMapping dialog(model, QStringLiteral("deals.csv"), main_.get());
        dialog.show();
        dialog.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QTRY_COMPARE(QApplication::focusWidget(), dialog.cmbField(0));
        QCOMPARE(dialog.lvColumns()->currentIndex().row(), 0);
        QTest::keyClick(dialog.cmbField(0), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), dialog.cmbField(1));
    }

    // F4 and Alt+Down on a field with a pick list open it; on a field without one they do
    // nothing; the tool tips name the keys.
    void pickListFromItsKey_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::newRow("F4") << int(Qt::Key_F4) << int(Qt::NoModifier);
        QTest::newRow("Alt+Down") << int(Qt::Key_Down) << int(Qt::AltModifier);
    }

    void pickListFromItsKey()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        ReportEditorWindow* w = newReport();
        QVERIFY(w);
        int asked = 0;
        ScopedPickFunction handbook(PickList::Handbook, [&](const PickRequest&) {
            ++asked;
            return QStringLiteral("SU26238RMFS4\r\nОФЗ 26238\r\nМинфин России\r\n"
                                  "RU000A1038V6\r\n26238 RMFS");
        });
        QLineEdit* issue = field(w, "Issue");
        issue->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(issue->hasFocus());
        QVERIFY(issue->toolTip().contains(QStringLiteral("F4")));
        QVERIFY(w->button(QStringLiteral("cmdPick"))->toolTip().contains(QStringLiteral("F4")));
        QTest::keyClick(issue, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(asked, 1);
        QCOMPARE(issue->text(), QStringLiteral("SU26238RMFS4"));
        QTRY_VERIFY(issue->hasFocus());

        // A field without a pick list: the key is the field's own.
        QLineEdit* reference = field(w, "Reference");
        reference->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(reference->hasFocus());
        QTest::keyClick(reference, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(asked, 1);
        QVERIFY(reference->toolTip().isEmpty());
    }

    // Enter on a focused "добавить" adds the deal, as Space does; the panel's buttons carry
    // mnemonics of distinct letters.
    void enterPressesTheFocusedButton()
    {
        ReportEditorWindow* w = newReport();
        QVERIFY(w);
        fillDeal(w, QStringLiteral("R-1"));
        QPushButton* add = w->button(QStringLiteral("cmdAdd"));
        add->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(add->hasFocus());
        QTest::keyClick(add, Qt::Key_Return);
        QCOMPARE(w->model().rows(), 1);
        type(w, "Reference", QStringLiteral("R-2"));
        add->setFocus(Qt::TabFocusReason);
        QTest::keyClick(add, Qt::Key_Enter);
        QCOMPARE(w->model().rows(), 2);

        // Every menu of the menu bar has its Alt key (two menus may share a letter: Alt and
        // the letter again go on to the next).
        for (QAction* menu : main_->menuBar()->actions()) {
            if (menu->isVisible())
                QVERIFY2(menu->text().contains(u'&'), qPrintable(menu->text()));
        }
    }

    // What the client shows of its own is Russian: the menus and their items, the toolbar's
    // tips, the options dialog, the import's file filter; Latin only for the allowed names.
    void noForeignTexts()
    {
        QStringList foreign;
        const auto look = [&](const QString& where, const QString& text) {
            const QStringList words = ForeignWords(text);
            if (!words.isEmpty())
                foreign << where + QStringLiteral(": ") + words.join(u' ');
        };
        for (QAction* menu : main_->menuBar()->actions()) {
            if (!menu->isVisible())
                continue;
            look(menu->objectName(), menu->text());
            if (QMenu* items = menu->menu()) {
                for (QAction* a : items->actions()) {
                    if (a->isVisible() && !a->isSeparator())
                        look(a->objectName(), a->text() + u' ' + a->toolTip());
                }
            }
        }
        for (QAction* a : main_->findChild<QToolBar*>(QStringLiteral("tbToolBar"))->actions()) {
            if (a->isVisible())
                look(a->objectName(), a->toolTip());
        }

        frmOptions options(main_.get());
        for (QWidget* w : options.findChildren<QWidget*>()) {
            if (auto* label = qobject_cast<QLabel*>(w))
                look(label->objectName(), label->text());
            else if (auto* button = qobject_cast<QAbstractButton*>(w))
                look(button->objectName(), button->text());
            look(w->objectName(), w->toolTip());
        }
        look(QStringLiteral("frmOptions"), options.windowTitle());

        // The import's file filter, with a report open (no kind asked); cancelled.
        QVERIFY(newReport());
        dialogs_->cancelNext();
        act("mnuReportImport")->trigger();
        QCOMPARE(dialogs_->last().kind, DialogKind::OpenFile);
        look(QStringLiteral("import filter"), dialogs_->last().filter);
        look(QStringLiteral("import title"), dialogs_->last().title);

        QVERIFY2(foreign.isEmpty(), qPrintable(foreign.join(u'\n')));
    }
};

QTEST_MAIN(KeyboardTest)
#include "tst_keyboard.moc"
