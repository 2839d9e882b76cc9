// A long step beside the user-interface thread: the windows go on handling their events while
// the user's input is held off, the progress dialog shows the stage and stops the work, and the
// work's failure comes back to the caller.
#include "core/Error.h"
#include "ui/BusyTask.h"

#include <QApplication>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <condition_variable>
#include <mutex>
#include <thread>

using namespace varnel;

namespace {

// A gate the work waits at until the user-interface thread opens it.
class Gate {
public:
    void open()
    {
        const std::lock_guard lock(mutex_);
        open_ = true;
        wake_.notify_all();
    }
    // False when nobody opened it within the time (the test then fails instead of hanging).
    bool wait()
    {
        std::unique_lock lock(mutex_);
        return wake_.wait_for(lock, std::chrono::seconds(20), [this] { return open_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    bool open_ = false;
};

QProgressDialog* ShownProgress()
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* d = qobject_cast<QProgressDialog*>(w); d && d->isVisible())
            return d;
    }
    return nullptr;
}

} // namespace

class BusyTaskTest : public QObject {
    Q_OBJECT

private slots:
    // The work runs on a thread of its own; meanwhile the window's timers run and paint, and a
    // click or a close meant for the window is held off. Afterwards the window takes input again.
    void windowsGoOnWhileInputIsHeld()
    {
        QWidget window;
        auto* button = new QPushButton(QStringLiteral("Press"), &window);
        int clicks = 0;
        connect(button, &QPushButton::clicked, [&] { ++clicks; });
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        Gate gate;
        bool closedWhileBusy = false;
        QTimer::singleShot(0, [&] {
            QTest::mouseClick(button, Qt::LeftButton);
            window.close();
            closedWhileBusy = !window.isVisible();
            QVERIFY(IsBusy());
            gate.open();
        });
        std::thread::id workThread;
        bool opened = false;
        RunBusy(&window, QStringLiteral("Varnel"), [&](BusyProgress&) {
            workThread = std::this_thread::get_id();
            opened = gate.wait();
        });
        QVERIFY(opened);
        QVERIFY(workThread != std::this_thread::get_id());
        QCOMPARE(clicks, 0);
        QVERIFY(!closedWhileBusy);
        QVERIFY(window.isVisible());
        QVERIFY(!IsBusy());
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(clicks, 1);
    }

    // Past its delay the dialog shows the stage and its share; the button to stop asks the work
    // to stop, and the work's failure (here one without a text) is raised by RunBusy.
    void progressShownAndStopped()
    {
        Gate staged;
        QString label;
        int value = -1;
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] {
            QProgressDialog* dialog = ShownProgress();
            if (!dialog || dialog->value() < 500 || !dialog->findChild<QPushButton*>())
                return;
            label = dialog->labelText();
            value = dialog->value();
            QTest::mouseClick(dialog->findChild<QPushButton*>(), Qt::LeftButton);
            poll.stop();
            staged.open();
        });
        poll.start(10);
        // The work sees the stop and ends of itself: nothing is raised for it.
        bool stopped = false;
        RunBusy(
            nullptr, QStringLiteral("Varnel"),
            [&](BusyProgress& progress) {
                progress.allowStop();
                progress.stage(QStringLiteral("Запись книги"), 10);
                progress.advance(5);
                stopped = staged.wait() && progress.stopRequested();
            },
            0);
        QVERIFY2(stopped, "the work was not stopped");
        QCOMPARE(label, QStringLiteral("Запись книги"));
        QCOMPARE(value, 500);
        QCOMPARE(ShownProgress(), nullptr);
    }

    void failureComesBack()
    {
        try {
            RunBusy(nullptr, QStringLiteral("Varnel"),
                    [](BusyProgress&) { Fail(QStringLiteral("Диск заполнен")); });
            QFAIL("no failure");
        } catch (const Error& e) {
            QCOMPARE(e.description(), QStringLiteral("Диск заполнен"));
        }
        QVERIFY(!IsBusy());
    }
};

QTEST_MAIN(BusyTaskTest)
#include "tst_busytask.moc"
