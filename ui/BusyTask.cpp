#include "ui/BusyTask.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

#include <exception>
#include <thread>

namespace varnel {
namespace {

int g_busy = 0;

// Holds off the user's input to every window but the progress dialog while a work runs, and
// shows the busy cursor.
class InputHold : public QObject {
public:
    InputHold()
    {
        QApplication::setOverrideCursor(QCursor(Qt::BusyCursor));
        qApp->installEventFilter(this);
    }
    ~InputHold() override
    {
        qApp->removeEventFilter(this);
        QApplication::restoreOverrideCursor();
    }
    InputHold(const InputHold&) = delete;
    InputHold& operator=(const InputHold&) = delete;

    void allow(QWidget* dialog) { dialog_ = dialog; }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
        case QEvent::ContextMenu:
        case QEvent::Drop:
        case QEvent::TouchBegin:
        case QEvent::Close: break;
        default: return false;
        }
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget || (dialog_ && (widget == dialog_ || dialog_->isAncestorOf(widget))))
            return false;
        // A close held off stays refused (a close event counts as accepted until ignored).
        event->ignore();
        return true;
    }

private:
    QPointer<QWidget> dialog_;
};

} // namespace

void BusyProgress::stage(const QString& text, qint64 total)
{
    {
        const std::lock_guard lock(mutex_);
        text_ = text;
    }
    done_.store(0);
    total_.store(total);
}

void BusyProgress::advance(qint64 done)
{
    done_.store(done);
}

BusyProgress::State BusyProgress::state() const
{
    State s;
    {
        const std::lock_guard lock(mutex_);
        s.text = text_;
    }
    s.done = done_.load();
    s.total = total_.load();
    return s;
}

bool IsBusy()
{
    return g_busy > 0;
}

void RunBusy(QWidget* parent, const QString& title,
             const std::function<void(BusyProgress& progress)>& work, int showAfterMs)
{
    BusyProgress progress;
    std::exception_ptr failure;
    std::atomic<bool> finished{false};
    QEventLoop loop;
    std::thread worker([&] {
        try {
            work(progress);
        } catch (...) {
            // Carried to the waiting thread and raised there once the work has ended.
            failure = std::current_exception();
        }
        finished.store(true);
        QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
    });

    ++g_busy;
    {
        InputHold hold;
        std::unique_ptr<QProgressDialog> dialog;
        QTimer shower;
        shower.setSingleShot(true);
        QTimer poll;
        const auto update = [&] {
            if (!dialog)
                return;
            // A work that allows it gets its button to stop as soon as it says so.
            if (progress.stoppable() && !dialog->findChild<QPushButton*>())
                dialog->setCancelButtonText(QStringLiteral("Прервать"));
            const BusyProgress::State s = progress.state();
            if (!progress.stopRequested())
                dialog->setLabelText(s.text);
            // A stage of unknown length shows a moving bar; a known one its share, in tenths
            // of a percent.
            if (s.total <= 0) {
                dialog->setRange(0, 0);
            } else {
                dialog->setRange(0, 1000);
                dialog->setValue(int(std::min<qint64>(1000, s.done * 1000 / s.total)));
            }
        };
        QObject::connect(&shower, &QTimer::timeout, [&] {
            dialog = std::make_unique<QProgressDialog>(parent);
            dialog->setWindowTitle(title);
            dialog->setWindowModality(Qt::ApplicationModal);
            dialog->setCancelButton(nullptr);
            dialog->setMinimumDuration(0);
            dialog->setAutoClose(false);
            dialog->setAutoReset(false);
            dialog->setMinimumWidth(360);
            QObject::connect(dialog.get(), &QProgressDialog::canceled, [&] {
                progress.requestStop();
                dialog->setLabelText(QStringLiteral("Прерывается..."));
            });
            hold.allow(dialog.get());
            update();
            dialog->show();
            poll.start(100);
        });
        QObject::connect(&poll, &QTimer::timeout, update);
        shower.start(std::max(0, showAfterMs));
        if (!finished.load())
            loop.exec();
    }
    --g_busy;
    worker.join();
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace varnel
