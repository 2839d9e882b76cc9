#include "core/AppContext.h"
#include "core/Dialogs.h"
#include "core/Error.h"
#include "tests/support/ScriptedDialogs.h"

#include <QDialog>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <QtTest>

using namespace varnel;

namespace {

// A provider whose boxes fail, as a box can when the display has gone.
class FailingDialogs : public DialogProvider {
public:
    FailingDialogs() : previous_(SetDialogProvider(this)) {}
    ~FailingDialogs() override { SetDialogProvider(previous_); }
    DialogResult show(QWidget*, const DialogRequest&) override
    {
        throw std::runtime_error("no display");
    }
    int runModal(QDialog&) override { throw std::runtime_error("no display"); }

private:
    DialogProvider* previous_;
};

} // namespace

class TestDialogs : public QObject {
    Q_OBJECT
private slots:
    void scriptedAnswersAreTakenInOrder();
    void unscriptedDialogsTakeTheSafeWayOut_data();
    void unscriptedDialogsTakeTheSafeWayOut();
    void fileDialogsTakePathsNotAnswers();
    void saveDialogsAddTheirSuffix_data();
    void saveDialogsAddTheirSuffix();
    void trapShowsDescription_data();
    void trapShowsDescription();
    void providerIsRestored();
    void boxesCarryTheirIconAndCaption_data();
    void boxesCarryTheirIconAndCaption();
    void trapSurvivesAFailingBox();
    void answersOfAnotherKindFailTheTest_data();
    void answersOfAnotherKindFailTheTest();
    void answersLeftOverFailTheTest();
    void modalDialogsGetTheirAction();
    void withoutAProviderNothingWaits();
};

void TestDialogs::scriptedAnswersAreTakenInOrder()
{
    ScriptedDialogs dialogs;
    dialogs.answer(Answer::Yes);
    dialogs.answer(Answer::Cancel);
    QCOMPARE(Dialogs::AskYesNo(nullptr, "Отправить ?", "Varnel"), Answer::Yes);
    QCOMPARE(Dialogs::AskYesNoCancel(nullptr, "Сохранить ?", "Varnel"), Answer::Cancel);
    QCOMPARE(dialogs.pending(), 0);
    QCOMPARE(dialogs.shown().size(), 2);
    QCOMPARE(dialogs.shown()[0].icon, MessageIcon::Question);
    QCOMPARE(dialogs.shown()[0].buttons, MessageButtons::YesNo);
    QCOMPARE(dialogs.shown()[1].buttons, MessageButtons::YesNoCancel);
    QCOMPARE(dialogs.texts(), QStringList({"Отправить ?", "Сохранить ?"}));
}

void TestDialogs::unscriptedDialogsTakeTheSafeWayOut_data()
{
    QTest::addColumn<int>("buttons");
    QTest::addColumn<int>("expected");
    QTest::newRow("ok") << int(MessageButtons::Ok) << int(Answer::Ok);
    QTest::newRow("yes-no") << int(MessageButtons::YesNo) << int(Answer::No);
    QTest::newRow("yes-no-cancel") << int(MessageButtons::YesNoCancel) << int(Answer::Cancel);
}

void TestDialogs::unscriptedDialogsTakeTheSafeWayOut()
{
    QFETCH(int, buttons);
    QFETCH(int, expected);
    ScriptedDialogs dialogs;
    QCOMPARE(
        int(Dialogs::Message(nullptr, "t", "Varnel", MessageIcon::None, MessageButtons(buttons))),
        expected);
    QVERIFY(Dialogs::OpenFile(nullptr, "Открыть", "/tmp", "*.xml").isEmpty());
}

void TestDialogs::fileDialogsTakePathsNotAnswers()
{
    ScriptedDialogs dialogs;
    dialogs.choosePath("/tmp/a.xml");
    dialogs.cancelNext();
    dialogs.choosePath("/tmp");
    QCOMPARE(Dialogs::SaveFile(nullptr, "Сохранить", "/tmp", "XML (*.xml)"), QString("/tmp/a.xml"));
    QVERIFY(Dialogs::OpenFile(nullptr, "Открыть", "/tmp", "XML (*.xml)").isEmpty());
    QCOMPARE(Dialogs::ChooseFolder(nullptr, "Каталог"), QString("/tmp"));
    QCOMPARE(dialogs.shown()[0].kind, DialogKind::SaveFile);
    QCOMPARE(dialogs.shown()[0].filter, QString("XML (*.xml)"));
    QCOMPARE(dialogs.shown()[2].kind, DialogKind::Folder);
    QCOMPARE(dialogs.shown()[2].title, QString("Каталог"));
}

void TestDialogs::saveDialogsAddTheirSuffix_data()
{
    QTest::addColumn<QString>("typed");  // the name the dialog returns; empty: cancelled
    QTest::addColumn<QString>("suffix"); // the dialog's default suffix
    QTest::addColumn<int>("answer");     // to the question about a file there; -1: not asked
    QTest::addColumn<QString>("saved");  // the name the caller gets; empty: none
    QTest::newRow("typed without a suffix") << "отчёт_1"
                                            << "xml" << -1 << "отчёт_1.xml";
    QTest::newRow("typed with its own") << "отчёт_1.txt"
                                        << "xml" << -1 << "отчёт_1.txt";
    QTest::newRow("typed with the suffix") << "taken.xml"
                                           << "xml" << -1 << "taken.xml";
    QTest::newRow("no default suffix") << "отчёт_1"
                                       << "" << -1 << "отчёт_1";
    QTest::newRow("cancelled") << ""
                               << "xml" << -1 << "";
    // The dialog asked about the name it was given, not the one with the suffix.
    QTest::newRow("the file is there: replaced") << "taken"
                                                 << "xml" << int(Answer::Yes) << "taken.xml";
    QTest::newRow("the file is there: kept") << "taken"
                                             << "xml" << int(Answer::No) << "";
}

void TestDialogs::saveDialogsAddTheirSuffix()
{
    QFETCH(QString, typed);
    QFETCH(QString, suffix);
    QFETCH(int, answer);
    QFETCH(QString, saved);
    QTemporaryDir dir;
    QFile taken(dir.filePath("taken.xml"));
    QVERIFY(taken.open(QIODevice::WriteOnly));
    taken.close();
    ScriptedDialogs dialogs;
    dialogs.choosePath(typed.isEmpty() ? QString() : dir.filePath(typed));
    if (answer >= 0)
        dialogs.answer(Answer(answer));
    const QString path =
        Dialogs::SaveFile(nullptr, "Сохранить", dir.path(), "xml-files (*.xml)", suffix);
    QCOMPARE(path, saved.isEmpty() ? QString() : dir.filePath(saved));
    QCOMPARE(dialogs.shown().first().defaultSuffix, suffix);
    QCOMPARE(dialogs.shown().size(), answer >= 0 ? 2 : 1);
    if (answer >= 0) {
        QCOMPARE(dialogs.last().text,
                 "Файл " + dir.filePath("taken.xml") + " уже существует. Заменить ?");
        QCOMPARE(dialogs.last().buttons, MessageButtons::YesNo);
    }
}

void TestDialogs::trapShowsDescription_data()
{
    QTest::addColumn<QString>("description");
    QTest::addColumn<int>("boxes");
    QTest::newRow("client text") << "Отсутствует настройка рабочего каталога" << 1;
    QTest::newRow("empty description shows nothing") << "" << 0;
}

void TestDialogs::trapShowsDescription()
{
    QFETCH(QString, description);
    QFETCH(int, boxes);
    ScriptedDialogs dialogs;
    bool after = false;
    const bool ok = RunTrapped(nullptr, "Error! ", [&] {
        Fail(description);
        after = true;
    });
    QVERIFY(!ok);
    QVERIFY(!after);
    QCOMPARE(dialogs.shown().size(), boxes);
    if (boxes) {
        QCOMPARE(dialogs.last().text, description);
        QCOMPARE(dialogs.last().title, QString("Error! "));
        QCOMPARE(dialogs.last().icon, MessageIcon::Critical);
        QCOMPARE(dialogs.last().buttons, MessageButtons::Ok);
    }
    QVERIFY(RunTrapped(nullptr, "Varnel", [] {}));
}

void TestDialogs::providerIsRestored()
{
    DialogProvider* before = &CurrentDialogProvider();
    {
        ScriptedDialogs outer;
        {
            ScriptedDialogs inner;
            QCOMPARE(&CurrentDialogProvider(), static_cast<DialogProvider*>(&inner));
        }
        QCOMPARE(&CurrentDialogProvider(), static_cast<DialogProvider*>(&outer));
    }
    QCOMPARE(&CurrentDialogProvider(), before);
}

void TestDialogs::boxesCarryTheirIconAndCaption_data()
{
    QTest::addColumn<int>("icon");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("shownTitle");
    QTest::newRow("critical under the main window's caption")
        << int(MessageIcon::Critical) << "Error! "
        << "Error! ";
    QTest::newRow("information") << int(MessageIcon::Information) << "Varnel"
                                 << "Varnel";
    QTest::newRow("plain without a title") << int(MessageIcon::None) << "" << kAppTitle;
}

void TestDialogs::boxesCarryTheirIconAndCaption()
{
    QFETCH(int, icon);
    QFETCH(QString, title);
    QFETCH(QString, shownTitle);
    ScriptedDialogs dialogs;
    Dialogs::Notice(nullptr, "Файл не найден", title, MessageIcon(icon));
    QCOMPARE(dialogs.shown().size(), 1);
    QCOMPARE(dialogs.last().text, QString("Файл не найден"));
    QCOMPARE(int(dialogs.last().icon), icon);
    QCOMPARE(dialogs.last().buttons, MessageButtons::Ok);
    QCOMPARE(dialogs.last().title, shownTitle);
}

void TestDialogs::trapSurvivesAFailingBox()
{
    // The trap's box is the last resort: its own failure does not leave the trap.
    FailingDialogs failing;
    QVERIFY(!RunTrapped(nullptr, "Error! ", [] { Fail("text"); }));
}

void TestDialogs::answersOfAnotherKindFailTheTest_data()
{
    QTest::addColumn<QString>("queued"); // yes, path, modal
    QTest::addColumn<QString>("shown");  // notice, question, open, modal
    QTest::newRow("a path for a question") << "path"
                                           << "question";
    QTest::newRow("an answer for a file dialog") << "yes"
                                                 << "open";
    QTest::newRow("Yes for a notice with OK only") << "yes"
                                                   << "notice";
    QTest::newRow("a modal action for a box") << "modal"
                                              << "question";
    QTest::newRow("an answer for a modal dialog") << "yes"
                                                  << "modal";
}

void TestDialogs::answersOfAnotherKindFailTheTest()
{
    QFETCH(QString, queued);
    QFETCH(QString, shown);
    ScriptedDialogs dialogs;
    if (queued == "yes")
        dialogs.answer(Answer::Yes);
    else if (queued == "path")
        dialogs.choosePath("/tmp/a.xml");
    else
        dialogs.onModal([](QDialog&) { return int(QDialog::Accepted); });

    // The mismatch fails the test at the box (expected here), and the box takes its way out.
    QEXPECT_FAIL("", "the scripted entry does not suit the box shown", Continue);
    if (shown == "question") {
        QCOMPARE(Dialogs::AskYesNo(nullptr, "Отправить ?", "Varnel"), Answer::No);
    } else if (shown == "notice") {
        Dialogs::Notice(nullptr, "Готово", "Varnel");
    } else if (shown == "open") {
        QVERIFY(Dialogs::OpenFile(nullptr, "Открыть", "/tmp", "*.xml").isEmpty());
    } else {
        QDialog dialog;
        QCOMPARE(Dialogs::RunModal(dialog), int(QDialog::Rejected));
    }
    // The entry that did not suit is used up: nothing is left over to fail the test again.
    QCOMPARE(dialogs.pending(), 0);
}

void TestDialogs::answersLeftOverFailTheTest()
{
    QEXPECT_FAIL("", "an answer no box asked for", Continue);
    {
        ScriptedDialogs dialogs;
        dialogs.answer(Answer::Yes);
    }
    // Without the failure above this check would pass unexpectedly and fail the test.
    QVERIFY(true);
}

void TestDialogs::modalDialogsGetTheirAction()
{
    ScriptedDialogs dialogs;
    QDialog dialog;
    dialog.setObjectName("dlgSample");
    dialog.setWindowTitle("Образец");
    QString seen;
    dialogs.onModal([&](QDialog& d) {
        seen = d.objectName();
        return 7;
    });
    QCOMPARE(Dialogs::RunModal(dialog), 7);
    QCOMPARE(seen, QString("dlgSample"));
    // Nothing queued: rejected without being shown.
    QCOMPARE(Dialogs::RunModal(dialog), int(QDialog::Rejected));
    QCOMPARE(dialogs.shown().size(), 2);
    QCOMPARE(dialogs.last().kind, DialogKind::Modal);
    QCOMPARE(dialogs.last().title, QString("Образец"));
    QCOMPARE(dialogs.last().text, QString("dlgSample"));
}

void TestDialogs::withoutAProviderNothingWaits()
{
    // No provider installed (as in a program that has not set up its windows): a box is not
    // shown but answered as if closed, and a modal dialog is rejected.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("not shown.*Отправить"));
    QCOMPARE(Dialogs::AskYesNo(nullptr, "Отправить ?", "Varnel"), Answer::No);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("not shown.*Сохранить"));
    QCOMPARE(Dialogs::AskYesNoCancel(nullptr, "Сохранить ?", "Varnel"), Answer::Cancel);
    QVERIFY(Dialogs::ChooseFolder(nullptr, "Каталог").isEmpty());
    QDialog dialog;
    QCOMPARE(Dialogs::RunModal(dialog), int(QDialog::Rejected));
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
