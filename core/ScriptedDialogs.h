#pragma once

#include "core/Dialogs.h"

#include <QList>

#include <deque>
#include <functional>

namespace varnel {

// A dialog provider for headless runs: answers come from a queue, every request is recorded.
// With an empty queue a message box answers its default (OK for notices, No for questions,
// Cancel for Yes/No/Cancel) and a file or folder dialog is cancelled. Installs itself on
// construction and restores the previous provider when destroyed.
class ScriptedDialogs : public DialogProvider {
public:
    ScriptedDialogs();
    ~ScriptedDialogs() override;
    ScriptedDialogs(const ScriptedDialogs&) = delete;
    ScriptedDialogs& operator=(const ScriptedDialogs&) = delete;

    // Queue the answer of the next message box.
    void answer(Answer a);
    // Queue the path chosen in the next file or folder dialog; an empty path means cancelled.
    void choosePath(const QString& path);
    void cancelNext() { choosePath(QString()); }
    // Queue what the test does with the next modal dialog while it is open (fill its fields,
    // press its buttons); the returned code is the dialog's result. A modal dialog with nothing
    // queued is rejected without being shown.
    using ModalAction = std::function<int(QDialog& dialog)>;
    void onModal(ModalAction action);

    const QList<DialogRequest>& shown() const { return shown_; }
    // Texts of every message box shown, in order.
    QStringList texts() const;
    const DialogRequest& last() const { return shown_.back(); }
    void clear();
    // Answers still queued (a test usually expects none left).
    int pending() const { return int(queue_.size()); }

    DialogResult show(QWidget* parent, const DialogRequest& request) override;
    int runModal(QDialog& dialog) override;

private:
    struct Scripted {
        bool isPath = false;
        Answer answer = Answer::Ok;
        QString path;
        ModalAction modal;
    };
    std::deque<Scripted> queue_;
    QList<DialogRequest> shown_;
    DialogProvider* previous_ = nullptr;
};

} // namespace varnel
