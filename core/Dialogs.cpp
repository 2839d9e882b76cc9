#include "core/Dialogs.h"

#include "core/Error.h"

#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>

namespace varnel {
namespace {

// The real boxes and dialogs.
class QtDialogProvider : public DialogProvider {
public:
    DialogResult show(QWidget* parent, const DialogRequest& r) override
    {
        DialogResult result;
        switch (r.kind) {
        case DialogKind::Message: result.answer = showMessage(parent, r); break;
        case DialogKind::OpenFile: {
            QString selected = r.selectedFilter;
            result.path =
                QFileDialog::getOpenFileName(parent, r.title, r.directory, r.filter, &selected);
            break;
        }
        case DialogKind::SaveFile: {
            QString selected = r.selectedFilter;
            result.path =
                QFileDialog::getSaveFileName(parent, r.title, r.directory, r.filter, &selected);
            break;
        }
        case DialogKind::Folder:
            result.path = QFileDialog::getExistingDirectory(parent, r.title, r.directory,
                                                            QFileDialog::ShowDirsOnly);
            break;
        case DialogKind::Modal: break;
        }
        result.answer = r.kind == DialogKind::Message
                            ? result.answer
                            : (result.path.isEmpty() ? Answer::Cancel : Answer::Ok);
        return result;
    }

    int runModal(QDialog& dialog) override { return dialog.exec(); }

private:
    static Answer showMessage(QWidget* parent, const DialogRequest& r)
    {
        QMessageBox box(parent);
        box.setWindowTitle(r.title);
        box.setText(r.text);
        switch (r.icon) {
        case MessageIcon::None: box.setIcon(QMessageBox::NoIcon); break;
        case MessageIcon::Information: box.setIcon(QMessageBox::Information); break;
        case MessageIcon::Question: box.setIcon(QMessageBox::Question); break;
        case MessageIcon::Warning: box.setIcon(QMessageBox::Warning); break;
        case MessageIcon::Critical: box.setIcon(QMessageBox::Critical); break;
        }
        QMessageBox::StandardButtons buttons;
        switch (r.buttons) {
        case MessageButtons::Ok: buttons = QMessageBox::Ok; break;
        case MessageButtons::YesNo: buttons = QMessageBox::Yes | QMessageBox::No; break;
        case MessageButtons::YesNoCancel:
            buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
            break;
        case MessageButtons::OkCancel: buttons = QMessageBox::Ok | QMessageBox::Cancel; break;
        }
        box.setStandardButtons(buttons);
        box.setDefaultButton(toButton(r.defaultAnswer, buttons));
        switch (box.exec()) {
        case QMessageBox::Yes: return Answer::Yes;
        case QMessageBox::No: return Answer::No;
        case QMessageBox::Ok: return Answer::Ok;
        default:
            // Escape or the close button: the box's own way out.
            if (r.buttons == MessageButtons::YesNo)
                return Answer::No;
            return r.buttons == MessageButtons::Ok ? Answer::Ok : Answer::Cancel;
        }
    }

    static QMessageBox::StandardButton toButton(Answer a, QMessageBox::StandardButtons offered)
    {
        QMessageBox::StandardButton b = QMessageBox::NoButton;
        switch (a) {
        case Answer::Ok: b = QMessageBox::Ok; break;
        case Answer::Yes: b = QMessageBox::Yes; break;
        case Answer::No: b = QMessageBox::No; break;
        case Answer::Cancel: b = QMessageBox::Cancel; break;
        }
        return offered.testFlag(b) ? b : QMessageBox::NoButton;
    }
};

QtDialogProvider& qtProvider()
{
    static QtDialogProvider provider;
    return provider;
}

DialogProvider* g_provider = nullptr;

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
    r.title = title;
    r.icon = icon;
    r.buttons = buttons;
    r.defaultAnswer = buttons == MessageButtons::YesNo || buttons == MessageButtons::YesNoCancel
                          ? Answer::Yes
                          : Answer::Ok;
    return r;
}

QString fileRequest(QWidget* parent, DialogKind kind, const QString& title,
                    const QString& directory, const QString& filter)
{
    DialogRequest r;
    r.kind = kind;
    r.title = title;
    r.directory = directory;
    r.filter = filter;
    return show(parent, r).path;
}

} // namespace

DialogProvider* SetDialogProvider(DialogProvider* provider)
{
    DialogProvider* previous = g_provider;
    g_provider = provider;
    return previous;
}

DialogProvider& CurrentDialogProvider()
{
    return g_provider ? *g_provider : qtProvider();
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
                 const QString& filter)
{
    return fileRequest(parent, DialogKind::SaveFile, title, directory, filter);
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
    if (!description.isEmpty())
        Dialogs::Critical(parent, description, caption);
    return false;
}

} // namespace varnel
