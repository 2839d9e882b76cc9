#include "ui/QtDialogs.h"

#include "core/Dialogs.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>

namespace varnel {
namespace {

QMessageBox::Icon toIcon(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::None: break;
    case MessageIcon::Information: return QMessageBox::Information;
    case MessageIcon::Question: return QMessageBox::Question;
    case MessageIcon::Warning: return QMessageBox::Warning;
    case MessageIcon::Critical: return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons toButtons(MessageButtons buttons)
{
    switch (buttons) {
    case MessageButtons::Ok: break;
    case MessageButtons::YesNo: return QMessageBox::Yes | QMessageBox::No;
    case MessageButtons::YesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case MessageButtons::OkCancel: return QMessageBox::Ok | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

QMessageBox::StandardButton toButton(Answer answer)
{
    switch (answer) {
    case Answer::Ok: return QMessageBox::Ok;
    case Answer::Yes: return QMessageBox::Yes;
    case Answer::No: return QMessageBox::No;
    case Answer::Cancel: break;
    }
    return QMessageBox::Cancel;
}

Answer showMessage(QWidget* parent, const DialogRequest& r)
{
    QMessageBox box(parent);
    // A plain dialog: a title and a close button, nothing to minimise or maximise.
    box.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                       Qt::WindowCloseButtonHint);
    box.setWindowTitle(r.title);
    box.setTextFormat(Qt::PlainText);
    box.setText(WithPathBreaks(r.text));
    box.setIcon(toIcon(r.icon));
    const QMessageBox::StandardButtons offered = toButtons(r.buttons);
    box.setStandardButtons(offered);
    if (OffersAnswer(r.buttons, r.defaultAnswer))
        box.setDefaultButton(toButton(r.defaultAnswer));
    switch (box.exec()) {
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    case QMessageBox::Ok: return Answer::Ok;
    case QMessageBox::Cancel: return Answer::Cancel;
    default: return EscapeAnswer(r.buttons);
    }
}

// The save dialog adds the default suffix itself, so that the name it asks about before
// replacing a file is the name that is written.
QString saveFileName(QWidget* parent, const DialogRequest& r)
{
    QFileDialog dialog(parent, r.title, r.directory, r.filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(r.defaultSuffix);
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return dialog.selectedFiles().value(0);
}

// A closed dialog hands the activation back to the window it was opened over: some window
// managers give it to no window at all, and the keyboard then reaches nothing.
void GiveBackActivation(QWidget* parent)
{
    QWidget* owner = parent ? parent->window() : nullptr;
    if (!owner)
        return;
    QTimer::singleShot(0, owner, [owner] {
        // Another window the user has gone on to keeps the activation.
        const QWidget* active = QApplication::activeWindow();
        if (owner->isVisible() && (!active || active == owner || !active->isVisible()) &&
            !QApplication::activeModalWidget() && !QApplication::activePopupWidget())
            owner->activateWindow();
    });
}

class QtDialogs : public DialogProvider {
public:
    DialogResult show(QWidget* parent, const DialogRequest& r) override
    {
        const DialogResult result = ask(parent, r);
        GiveBackActivation(parent);
        return result;
    }

    int runModal(QDialog& dialog) override
    {
        const int result = dialog.exec();
        GiveBackActivation(dialog.parentWidget());
        return result;
    }

private:
    static DialogResult ask(QWidget* parent, const DialogRequest& r)
    {
        DialogResult result;
        switch (r.kind) {
        case DialogKind::Message: result.answer = showMessage(parent, r); return result;
        case DialogKind::OpenFile:
            result.path = QFileDialog::getOpenFileName(parent, r.title, r.directory, r.filter);
            break;
        case DialogKind::SaveFile: result.path = saveFileName(parent, r); break;
        case DialogKind::Folder:
            result.path = QFileDialog::getExistingDirectory(parent, r.title, r.directory,
                                                            QFileDialog::ShowDirsOnly);
            break;
        case DialogKind::Modal: break;
        }
        result.answer = result.path.isEmpty() ? Answer::Cancel : Answer::Ok;
        return result;
    }
};

} // namespace

QString WithPathBreaks(const QString& text)
{
    QString out;
    out.reserve(text.size() + 8);
    for (const QChar c : text) {
        out += c;
        if (c == u'/' || c == u'\\')
            out += QChar(0x200B);
    }
    return out;
}

void InstallQtDialogs()
{
    static QtDialogs provider;
    SetApplicationDialogProvider(&provider);
}

} // namespace varnel
