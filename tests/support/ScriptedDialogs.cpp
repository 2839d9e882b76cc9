#include "tests/support/ScriptedDialogs.h"

#include <QDialog>
#include <QStringList>
#include <QTest>

namespace varnel {
namespace {

const char* kindName(DialogKind kind)
{
    switch (kind) {
    case DialogKind::Message: return "message box";
    case DialogKind::OpenFile: return "file-open dialog";
    case DialogKind::SaveFile: return "file-save dialog";
    case DialogKind::Folder: return "folder choice";
    case DialogKind::Modal: return "modal dialog";
    }
    return "dialog";
}

const char* answerName(Answer a)
{
    switch (a) {
    case Answer::Ok: return "OK";
    case Answer::Yes: return "Yes";
    case Answer::No: return "No";
    case Answer::Cancel: return "Cancel";
    }
    return "?";
}

// Fails the running test with the message, where the test framework can take it.
void failTest(const QString& message)
{
    if (QTest::currentTestFunction())
        QTest::qFail(qPrintable(message), __FILE__, __LINE__);
    else
        qCritical("%s", qPrintable(message));
}

} // namespace

ScriptedDialogs::ScriptedDialogs() : previous_(SetDialogProvider(this)) {}

ScriptedDialogs::~ScriptedDialogs()
{
    SetDialogProvider(previous_);
    // A test that already failed may have stopped before its boxes came.
    if (!queue_.empty() && !QTest::currentTestFailed()) {
        QStringList left;
        for (const Scripted& s : queue_) {
            switch (s.kind) {
            case Kind::Answer: left << QString::fromLatin1(answerName(s.answer)); break;
            case Kind::Path: left << (s.path.isEmpty() ? QStringLiteral("cancel") : s.path); break;
            case Kind::Modal: left << QStringLiteral("a modal action"); break;
            }
        }
        failTest(QStringLiteral("%1 scripted answer(s) never asked for: %2")
                     .arg(queue_.size())
                     .arg(left.join(QStringLiteral(", "))));
    }
}

void ScriptedDialogs::answer(Answer a)
{
    Scripted s;
    s.kind = Kind::Answer;
    s.answer = a;
    queue_.push_back(std::move(s));
}

void ScriptedDialogs::choosePath(const QString& path)
{
    Scripted s;
    s.kind = Kind::Path;
    s.path = path;
    queue_.push_back(std::move(s));
}

void ScriptedDialogs::onModal(ModalAction action)
{
    Scripted s;
    s.kind = Kind::Modal;
    s.modal = std::move(action);
    queue_.push_back(std::move(s));
}

std::optional<ScriptedDialogs::Scripted> ScriptedDialogs::take(const DialogRequest& request)
{
    if (queue_.empty())
        return std::nullopt;
    Scripted next = std::move(queue_.front());
    queue_.pop_front();
    const Kind wanted = request.kind == DialogKind::Message ? Kind::Answer
                        : request.kind == DialogKind::Modal ? Kind::Modal
                                                            : Kind::Path;
    QString problem;
    if (next.kind != wanted) {
        const char* queued = next.kind == Kind::Answer ? "a box's answer"
                             : next.kind == Kind::Path ? "a path"
                                                       : "a modal action";
        problem = QStringLiteral("a %1 was shown but the next scripted entry is %2")
                      .arg(QLatin1String(kindName(request.kind)), QLatin1String(queued));
    } else if (wanted == Kind::Answer && !OffersAnswer(request.buttons, next.answer)) {
        problem = QStringLiteral("the scripted answer %1 is not a button of the box")
                      .arg(QLatin1String(answerName(next.answer)));
    }
    if (problem.isEmpty())
        return next;
    failTest(problem + QStringLiteral(" (\"") + request.title + QStringLiteral("\": \"") +
             request.text + QStringLiteral("\")"));
    return std::nullopt;
}

int ScriptedDialogs::runModal(QDialog& dialog)
{
    DialogRequest request;
    request.kind = DialogKind::Modal;
    request.title = dialog.windowTitle();
    request.text = dialog.objectName();
    shown_.append(request);
    const std::optional<Scripted> next = take(request);
    return next ? next->modal(dialog) : int(QDialog::Rejected);
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
    DialogResult result;
    const std::optional<Scripted> next = take(request);
    if (request.kind == DialogKind::Message) {
        result.answer = next ? next->answer : EscapeAnswer(request.buttons);
        return result;
    }
    result.path = next ? next->path : QString();
    result.answer = result.path.isEmpty() ? Answer::Cancel : Answer::Ok;
    return result;
}

} // namespace varnel
