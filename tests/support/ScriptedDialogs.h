#pragma once

#include "core/Dialogs.h"

#include <QList>

#include <deque>
#include <functional>
#include <optional>

namespace varnel {

// A dialog provider for headless tests: answers come from a queue, every request is recorded.
// It is built into the test support library (varnel_test_support), never into the program.
//
// It is strict, so that a test cannot pass on answers that went to the wrong box: when the
// next queued answer is of another kind than the box shown (a path for a message box, an
// answer its buttons do not offer, a modal action for a file dialog, and so on), the test
// fails at once; answers still queued when it is destroyed fail the test too. With an empty
// queue a message box answers as if closed without a choice (OK for notices, No for questions,
// Cancel for Yes/No/Cancel), a file or folder dialog is cancelled and a modal dialog rejected
// without being shown. Installs itself on construction and restores the previous provider when
// destroyed.
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
    // press its buttons); the returned code is the dialog's result.
    using ModalAction = std::function<int(QDialog& dialog)>;
    void onModal(ModalAction action);

    const QList<DialogRequest>& shown() const { return shown_; }
    // Texts of every message box shown, in order.
    QStringList texts() const;
    const DialogRequest& last() const { return shown_.back(); }
    // Forgets what was shown and what is still queued.
    void clear();
    // Answers still queued.
    int pending() const { return int(queue_.size()); }

    DialogResult show(QWidget* parent, const DialogRequest& request) override;
    int runModal(QDialog& dialog) override;

private:
    enum class Kind { Answer, Path, Modal };
    struct Scripted {
        Kind kind = Kind::Answer;
        Answer answer = Answer::Ok;
        QString path;
        ModalAction modal;
    };
    // The next queued entry when it suits the request; a test failure when one of another kind
    // is queued (it is then dropped).
    std::optional<Scripted> take(const DialogRequest& request);

    std::deque<Scripted> queue_;
    QList<DialogRequest> shown_;
    DialogProvider* previous_ = nullptr;
};

} // namespace varnel
