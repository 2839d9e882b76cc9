#include "text/window/frmDocument.h"

#include "core/AppContext.h"
#include "core/AtomicSave.h"
#include "core/Dialogs.h"
#include "core/Error.h"
#include "core/Twips.h"
#include "text/window/TextCommands.h"

#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QTextDocument>

#include <cerrno>
#include <cmath>

namespace varnel {
namespace {

const QString kChangeMarker = QStringLiteral(" * ");
constexpr double kMarginTwips = 20.0;

} // namespace

frmDocument::frmDocument(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("frmDocument"));

    rtbBody_ = new QPlainTextEdit(this);
    rtbBody_->setObjectName(QStringLiteral("rtbBody"));
    rtbBody_->setLineWrapMode(QPlainTextEdit::NoWrap);
    // XML and other hand-edited texts read best in a fixed-width font.
    rtbBody_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    connect(rtbBody_, &QPlainTextEdit::textChanged, this, &frmDocument::onTextChanged);
    rtbBody_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(rtbBody_, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        QMenu* menu = createContextMenu();
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(rtbBody_->viewport()->mapToGlobal(pos));
    });
    resize(sizeHint());
    placeBody();
}

QSize frmDocument::sizeHint() const
{
    // Without it the frame would open the window shrunk to its title bar.
    return {640, 480};
}

QMenu* frmDocument::createContextMenu()
{
    QMenu* menu = rtbBody_->createStandardContextMenu();
    menu->addSeparator();
    QAction* setup = menu->addAction(QStringLiteral("Параметры страницы..."));
    setup->setObjectName(QStringLiteral("actPageSetup"));
    connect(setup, &QAction::triggered, this, [this] { TextCommands::PageSetup(this); });
    QAction* print = menu->addAction(QStringLiteral("Печать..."));
    print->setObjectName(QStringLiteral("actPrint"));
    connect(print, &QAction::triggered, this, [this] { TextCommands::Print(this, this); });
    return menu;
}

QString frmDocument::filePath() const
{
    return filePath_;
}

void frmDocument::Print(QPrinter& printer)
{
    rtbBody_->print(&printer);
}

QString frmDocument::bodyText() const
{
    // The raw text keeps no-break spaces that toPlainText() would turn into plain ones; its
    // paragraph separators are the line ends.
    QString text = rtbBody_->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, u'\n');
    return text;
}

void frmDocument::LoadFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        Fail(QStringLiteral("Не удалось открыть файл ") + path + QStringLiteral(" : ") +
             file.errorString());
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        Fail(QStringLiteral("Не удалось прочитать файл ") + path + QStringLiteral(" : ") +
             file.errorString());
    file.close();

    DecodedText decoded = DecodeText(bytes);
    loading_ = true;
    rtbBody_->setPlainText(decoded.text);
    loading_ = false;
    format_ = decoded.format;
    savedBytes_ = bytes;
    filePath_ = path;
    setCleanTitle(path);
}

void frmDocument::SaveFile(const QString& path)
{
    const QString target = path.isEmpty() ? filePath() : path;
    if (target.isEmpty())
        Fail(QStringLiteral("Не задано имя файла"));

    // Text the user has not touched goes back as the bytes it came from: the editor keeps
    // neither mixed line ends nor every character a file may hold.
    QByteArray bytes = savedBytes_;
    if (modified_) {
        try {
            bytes = EncodeText(bodyText(), format_);
        } catch (const Error& e) {
            Fail(QStringLiteral("Не удалось сохранить файл ") + target + QStringLiteral(" : ") +
                 e.description());
        }
    }

    // A write-protected file stays as it is, even where the folder would let us replace it.
    const QFileInfo info(target);
    if (info.exists() && !(info.permissions() & QFileDevice::WriteOwner))
        Fail(QStringLiteral("Не удалось сохранить файл ") + target +
             QStringLiteral(" : файл защищен от записи"));

    // The file is never written in place, where a full disk would leave it cut short: the new
    // text goes beside it and replaces it whole, or the old file stays.
    const filesave::Failure failure = filesave::SaveFile(target, bytes.constData(), bytes.size());
    if (failure) {
        const QString reason = SystemErrorText(failure.error);
        const bool folder = failure.stage == filesave::Stage::Create && failure.error != EISDIR &&
                            failure.error != filesave::kNotRegularFile;
        Fail(QStringLiteral("Не удалось сохранить файл ") + target + QStringLiteral(" : ") +
             (folder ? QStringLiteral("в его папке нельзя создать новый файл (") + reason +
                           QStringLiteral(")")
                     : reason) +
             QStringLiteral("; файл оставлен без изменений"));
    }
    savedBytes_ = bytes;

    filePath_ = target;
    setCleanTitle(target);
}

void frmDocument::SaveFileAs(const QString& path)
{
    SaveFile(path);
}

bool frmDocument::confirmClose()
{
    if (!modified_)
        return true;
    // The question is about the window in front.
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()); sub && sub->mdiArea())
        sub->mdiArea()->setActiveSubWindow(sub);
    const Answer answer =
        Dialogs::AskYesNoCancel(this,
                                QStringLiteral("Вы внесли изменения в файл. Сохранить файл ") +
                                    filePath() + QStringLiteral(" ?"),
                                kAppTitle);
    switch (answer) {
    case Answer::Yes: return RunTrapped(this, kAppTitle, [this] { SaveFile(); });
    case Answer::No: return true;
    default: return false;
    }
}

bool frmDocument::PrepareToClose()
{
    closeAgreed_ = closeAgreed_ || confirmClose();
    return closeAgreed_;
}

void frmDocument::closeEvent(QCloseEvent* event)
{
    if (closeAgreed_ || confirmClose()) {
        closeAgreed_ = true;
        event->accept();
    } else {
        event->ignore();
    }
}

void frmDocument::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    placeBody();
}

void frmDocument::placeBody()
{
    // 20 twips from every edge of the window's inner area; a window with no room left (such as
    // a minimized one) keeps the editor where it was.
    const int left = TwipsToPixels(kMarginTwips, logicalDpiX());
    const int top = TwipsToPixels(kMarginTwips, logicalDpiY());
    const int w =
        TwipsToPixels(width() * kTwipsPerInch / logicalDpiX() - 2 * kMarginTwips, logicalDpiX());
    const int h =
        TwipsToPixels(height() * kTwipsPerInch / logicalDpiY() - 2 * kMarginTwips, logicalDpiY());
    if (w <= 0 || h <= 0)
        return;
    rtbBody_->setGeometry(left, top, w, h);
}

void frmDocument::onTextChanged()
{
    if (loading_)
        return;
    modified_ = true;
    if (!windowTitle().contains(kChangeMarker))
        setWindowTitle(windowTitle() + kChangeMarker);
}

void frmDocument::setCleanTitle(const QString& path)
{
    modified_ = false;
    setWindowTitle(path);
}

} // namespace varnel
