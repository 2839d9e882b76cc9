#include "core/Dialogs.h"

#include "core/AppContext.h"
#include "core/Error.h"

#include <QDebug>
#include <QFileInfo>

namespace varnel {
namespace {

// Before the program has installed its provider (and in widget-free runs) nobody can see a
// box: it goes to the log and takes its way out.
class UnseenDialogs : public DialogProvider {
public:
    DialogResult show(QWidget*, const DialogRequest& r) override
    {
        DialogResult result;
        if (r.kind == DialogKind::Message) {
            qWarning().noquote() << "message box not shown:" << r.title << "-" << r.text;
            result.answer = EscapeAnswer(r.buttons);
        }
        return result;
    }

    int runModal(QDialog&) override { return 0; } // QDialog::Rejected
};

DialogProvider* g_provider = nullptr;
DialogProvider* g_application = nullptr;

DialogResult show(QWidget* parent, DialogRequest r)
{
    return CurrentDialogProvider().show(parent, r);
}

DialogRequest messageRequest(const QString& text, const QString& title, MessageIcon icon,
                             MessageButtons buttons)
{
    DialogRequest r;
    r.kind = DialogKind::Message;
    r.text = text;
    r.title = title.isEmpty() ? kAppTitle : title;
    r.icon = icon;
    r.buttons = buttons;
    r.defaultAnswer = buttons == MessageButtons::YesNo || buttons == MessageButtons::YesNoCancel
                          ? Answer::Yes
                          : Answer::Ok;
    return r;
}

QString fileRequest(QWidget* parent, DialogKind kind, const QString& title,
                    const QString& directory, const QString& filter,
                    const QString& defaultSuffix = QString())
{
    DialogRequest r;
    r.kind = kind;
    r.title = title;
    r.directory = directory;
    r.filter = filter;
    r.defaultSuffix = defaultSuffix;
    return show(parent, r).path;
}

} // namespace

DialogProvider* SetDialogProvider(DialogProvider* provider)
{
    DialogProvider* previous = g_provider;
    g_provider = provider;
    return previous;
}

void SetApplicationDialogProvider(DialogProvider* provider)
{
    g_application = provider;
}

DialogProvider& CurrentDialogProvider()
{
    static UnseenDialogs unseen;
    if (g_provider)
        return *g_provider;
    return g_application ? *g_application : unseen;
}

Answer EscapeAnswer(MessageButtons buttons)
{
    switch (buttons) {
    case MessageButtons::Ok: return Answer::Ok;
    case MessageButtons::YesNo: return Answer::No;
    case MessageButtons::YesNoCancel:
    case MessageButtons::OkCancel: break;
    }
    return Answer::Cancel;
}

bool OffersAnswer(MessageButtons buttons, Answer answer)
{
    switch (buttons) {
    case MessageButtons::Ok: return answer == Answer::Ok;
    case MessageButtons::YesNo: return answer == Answer::Yes || answer == Answer::No;
    case MessageButtons::YesNoCancel: return answer != Answer::Ok;
    case MessageButtons::OkCancel: return answer == Answer::Ok || answer == Answer::Cancel;
    }
    return false;
}

QString WithDefaultSuffix(const QString& path, const QString& suffix)
{
    if (path.isEmpty() || suffix.isEmpty() || path.endsWith(u'/'))
        return path;
    const QFileInfo info(path);
    if (info.fileName().contains(u'.') || info.isDir())
        return path;
    return path + u'.' + suffix;
}

namespace Dialogs {

Answer Message(QWidget* parent, const QString& text, const QString& title, MessageIcon icon,
               MessageButtons buttons)
{
    return show(parent, messageRequest(text, title, icon, buttons)).answer;
}

Answer AskYesNo(QWidget* parent, const QString& text, const QString& title)
{
    return Message(parent, text, title, MessageIcon::Question, MessageButtons::YesNo);
}

Answer AskYesNoCancel(QWidget* parent, const QString& text, const QString& title)
{
    return Message(parent, text, title, MessageIcon::Question, MessageButtons::YesNoCancel);
}

void Notice(QWidget* parent, const QString& text, const QString& title, MessageIcon icon)
{
    Message(parent, text, title, icon, MessageButtons::Ok);
}

void Critical(QWidget* parent, const QString& text, const QString& title)
{
    Message(parent, text, title, MessageIcon::Critical, MessageButtons::Ok);
}

QString OpenFile(QWidget* parent, const QString& title, const QString& directory,
                 const QString& filter)
{
    return fileRequest(parent, DialogKind::OpenFile, title, directory, filter);
}

QString SaveFile(QWidget* parent, const QString& title, const QString& directory,
                 const QString& filter, const QString& defaultSuffix)
{
    const QString chosen =
        fileRequest(parent, DialogKind::SaveFile, title, directory, filter, defaultSuffix);
    const QString path = WithDefaultSuffix(chosen, defaultSuffix);
    // The dialog asked before replacing the file it was given, not this one.
    if (path != chosen && QFileInfo::exists(path) &&
        AskYesNo(parent,
                 QStringLiteral("Файл ") + path + QStringLiteral(" уже существует. Заменить ?"),
                 title) != Answer::Yes)
        return QString();
    return path;
}

QString ChooseFolder(QWidget* parent, const QString& title, const QString& directory)
{
    return fileRequest(parent, DialogKind::Folder, title, directory, QString());
}

int RunModal(QDialog& dialog)
{
    return CurrentDialogProvider().runModal(dialog);
}

} // namespace Dialogs

bool RunTrapped(QWidget* parent, const QString& caption, const std::function<void()>& action)
{
    QString description;
    try {
        action();
        return true;
    } catch (const Error& e) {
        description = e.description();
    } catch (const std::exception& e) {
        description = QString::fromLocal8Bit(e.what());
    }
    if (!description.isEmpty()) {
        try {
            Dialogs::Critical(parent, description, caption);
        } catch (...) {
            // The box is the trap's last resort; a failure of its own has nowhere to go.
        }
    }
    return false;
}

} // namespace varnel
