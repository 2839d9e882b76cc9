// The Qt boxes behind the dialog facade, shown for real (headless) and answered by key.
#include "core/Dialogs.h"
#include "ui/QtDialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTextLayout>
#include <QTimer>
#include <QtTest>

#include <functional>

using namespace varnel;

namespace {

// Runs check on the box once it is open, then presses the key on it.
void whenOpen(std::function<void(QMessageBox&)> check, Qt::Key key)
{
    QTimer::singleShot(0, [check = std::move(check), key] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            QTest::qFail("no message box is open", __FILE__, __LINE__);
            return;
        }
        check(*box);
        QTest::keyClick(box, key);
    });
}

// The lines a label of the box breaks the text into at its width.
QStringList wrapped(const QString& text, const QLabel& label)
{
    QStringList lines;
    QTextLayout layout(text, label.font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(label.contentsRect().width());
        lines << text.mid(line.textStart(), line.textLength());
    }
    layout.endLayout();
    return lines;
}

QString labelText(const QMessageBox& box)
{
    const auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    return label ? label->text() : QString();
}

} // namespace

class TestQtDialogs : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { InstallQtDialogs(); }

    void boxesArePlainDialogs();
    void keysGiveTheirAnswers_data();
    void keysGiveTheirAnswers();
    void longPathsWrapAtTheirSeparators();
    void saveDialogAddsItsSuffix();
    void activationComesBack();
};

void TestQtDialogs::boxesArePlainDialogs()
{
    Qt::WindowFlags flags;
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    whenOpen(
        [&](QMessageBox& box) {
            flags = box.windowFlags();
            title = box.windowTitle();
            icon = box.icon();
        },
        Qt::Key_Return);
    Dialogs::Critical(nullptr, QStringLiteral("Не удалось"), QStringLiteral("Error! "));
    QCOMPARE(title, QStringLiteral("Error! "));
    QCOMPARE(icon, QMessageBox::Critical);
    // Nothing to minimise or maximise: a title and a close button.
    QVERIFY(flags.testFlag(Qt::Dialog));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
}

void TestQtDialogs::keysGiveTheirAnswers_data()
{
    QTest::addColumn<int>("buttons");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("answer");
    // Enter takes the default: Yes for questions, OK for notices.
    QTest::newRow("question, Enter")
        << int(MessageButtons::YesNo) << int(Qt::Key_Return) << int(Answer::Yes);
    QTest::newRow("question, Escape")
        << int(MessageButtons::YesNo) << int(Qt::Key_Escape) << int(Answer::No);
    QTest::newRow("three buttons, Escape")
        << int(MessageButtons::YesNoCancel) << int(Qt::Key_Escape) << int(Answer::Cancel);
    QTest::newRow("notice, Escape")
        << int(MessageButtons::Ok) << int(Qt::Key_Escape) << int(Answer::Ok);
    QTest::newRow("OK and Cancel, Enter")
        << int(MessageButtons::OkCancel) << int(Qt::Key_Return) << int(Answer::Ok);
}

void TestQtDialogs::keysGiveTheirAnswers()
{
    QFETCH(int, buttons);
    QFETCH(int, key);
    QFETCH(int, answer);
    whenOpen([](QMessageBox&) {}, Qt::Key(key));
    QCOMPARE(int(Dialogs::Message(nullptr, QStringLiteral("Продолжить ?"), QStringLiteral("Varnel"),
                                  MessageIcon::Question, MessageButtons(buttons))),
             answer);
}

void TestQtDialogs::longPathsWrapAtTheirSeparators()
{
    const QString path =
        QStringLiteral("/home/user/Отчеты_о_внебиржевых_сделках/2024/очень_длинное_имя_каталога/"
                       "еще_один_каталог_с_длинным_именем/и_еще_один/DL1A2B.xml");
    const QString question =
        QStringLiteral("Файл ") + path + QStringLiteral(" уже существует. Заменить ?");
    QString shown;
    QStringList lines;
    QStringList unbroken;
    whenOpen(
        [&](QMessageBox& box) {
            shown = labelText(box);
            // The lines the label breaks the text into at its width.
            const auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
            lines = wrapped(shown, *label);
            // Without the breaks the path alone would not fit a line: it would be cut in a name.
            unbroken = wrapped(question, *label);
        },
        Qt::Key_Escape);
    Dialogs::AskYesNo(nullptr, question, QStringLiteral("Varnel"));
    // Too long for one line, it breaks after a separator or a blank, never inside a name.
    QVERIFY2(lines.size() > 1, qPrintable(lines.join(u'|')));
    const auto breaksWell = [](const QStringList& wrappedLines) {
        for (qsizetype i = 0; i + 1 < wrappedLines.size(); ++i) {
            if (!wrappedLines.at(i).endsWith(QChar(0x200B)) && !wrappedLines.at(i).endsWith(u' '))
                return false;
        }
        return true;
    };
    QVERIFY2(breaksWell(lines), qPrintable(lines.join(u'|')));
    QVERIFY2(!breaksWell(unbroken), qPrintable(unbroken.join(u'|')));
    // Every separator offers a break (an invisible one); the text is otherwise as asked.
    QCOMPARE(shown.count(QChar(0x200B)), path.count(u'/'));
    QCOMPARE(QString(shown).remove(QChar(0x200B)), question);
    QVERIFY(shown.contains(QStringLiteral("/\u200b2024/\u200b")));

    QCOMPARE(WithPathBreaks(QStringLiteral("C:\\a\\b")), QStringLiteral("C:\\\u200ba\\\u200bb"));
    QCOMPARE(WithPathBreaks(QStringLiteral("без путей")), QStringLiteral("без путей"));
}

void TestQtDialogs::saveDialogAddsItsSuffix()
{
    // The name typed without a suffix comes back with the dialog's own: the dialog is the one
    // to ask about replacing a file of that name.
    QTemporaryDir dir;
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog) {
            QTest::qFail("no file dialog is open", __FILE__, __LINE__);
            return;
        }
        dialog->selectFile(QStringLiteral("отчёт_1"));
        static_cast<QDialog*>(dialog)->accept();
    });
    const QString path = Dialogs::SaveFile(nullptr, QStringLiteral("Сохранить"), dir.path(),
                                           QStringLiteral("xml-files (*.xml);;all files (*)"),
                                           QStringLiteral("xml"));
    QCOMPARE(path, dir.filePath(QStringLiteral("отчёт_1.xml")));
}

// Once a modal dialog or a box closes, the window it was opened over is active again, also when
// the window system left no window active.
void TestQtDialogs::activationComesBack()
{
    QWidget owner;
    owner.resize(300, 200);
    owner.show();
    owner.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&owner));
    for (int round = 0; round < 2; ++round) {
        QTimer::singleShot(0, [] {
            QWidget* open = QApplication::activeModalWidget();
            if (!open) {
                QTest::qFail("no dialog is open", __FILE__, __LINE__);
                return;
            }
            QTest::keyClick(open, Qt::Key_Escape);
        });
        if (round == 0) {
            QDialog dialog(&owner);
            Dialogs::RunModal(dialog);
        } else {
            Dialogs::Notice(&owner, QStringLiteral("Готово"), QStringLiteral("Varnel"));
        }
        // What some window managers do on closing a dialog: no window keeps the activation.
        QApplication::setActiveWindow(nullptr);
        QCOMPARE(QApplication::activeWindow(), nullptr);
        QTRY_COMPARE(QApplication::activeWindow(), &owner);
    }
}

QTEST_MAIN(TestQtDialogs)
#include "tst_qtdialogs.moc"
