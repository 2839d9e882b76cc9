#include "core/ScriptedDialogs.h"

#include <QDialog>
#include <QStringList>

namespace varnel {

ScriptedDialogs::ScriptedDialogs() : previous_(SetDialogProvider(this)) {}

ScriptedDialogs::~ScriptedDialogs()
{
    SetDialogProvider(previous_);
}

void ScriptedDialogs::answer(Answer a)
{
    queue_.push_back({false, a, QString(), {}});
}

void ScriptedDialogs::choosePath(const QString& path)
{
    queue_.push_back({true, Answer::Ok, path, {}});
}

void ScriptedDialogs::onModal(ModalAction action)
{
    Scripted s;
    s.modal = std::move(action);
    queue_.push_back(std::move(s));
}

int ScriptedDialogs::runModal(QDialog& dialog)
{
    DialogRequest request;
    request.kind = DialogKind::Modal;
    request.title = dialog.windowTitle();
    request.text = dialog.objectName();
    shown_.append(request);
    if (queue_.empty() || !queue_.front().modal)
        return QDialog::Rejected;
    const ModalAction action = std::move(queue_.front().modal);
    queue_.pop_front();
    return action(dialog);
}

QStringList ScriptedDialogs::texts() const
{
    QStringList out;
    for (const DialogRequest& r : shown_) {
        if (r.kind == DialogKind::Message)
            out << r.text;
    }
    return out;
}

void ScriptedDialogs::clear()
{
    queue_.clear();
    shown_.clear();
}

DialogResult ScriptedDialogs::show(QWidget*, const DialogRequest& request)
{
    shown_.append(request);
    const bool wantsPath = request.kind != DialogKind::Message;
    DialogResult result;
    if (!queue_.empty() && !queue_.front().modal && queue_.front().isPath == wantsPath) {
        const Scripted next = queue_.front();
        queue_.pop_front();
        result.answer =
            wantsPath ? (next.path.isEmpty() ? Answer::Cancel : Answer::Ok) : next.answer;
        result.path = next.path;
        return result;
    }
    // Nothing scripted for this kind of dialog: take the safe way out.
    if (wantsPath) {
        result.answer = Answer::Cancel;
    } else {
        switch (request.buttons) {
        case MessageButtons::Ok: result.answer = Answer::Ok; break;
        case MessageButtons::YesNo: result.answer = Answer::No; break;
        case MessageButtons::YesNoCancel:
        case MessageButtons::OkCancel: result.answer = Answer::Cancel; break;
        }
    }
    return result;
}

} // namespace varnel
