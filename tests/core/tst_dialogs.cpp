#include "core/Dialogs.h"
#include "core/Error.h"
#include "core/ScriptedDialogs.h"

#include <QtTest>

using namespace varnel;

class TestDialogs : public QObject {
    Q_OBJECT
private slots:
    void scriptedAnswersAreTakenInOrder();
    void unscriptedDialogsTakeTheSafeWayOut_data();
    void unscriptedDialogsTakeTheSafeWayOut();
    void fileDialogsTakePathsNotAnswers();
    void trapShowsDescription_data();
    void trapShowsDescription();
    void providerIsRestored();
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

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
