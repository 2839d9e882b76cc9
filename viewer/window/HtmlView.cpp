#include "viewer/window/HtmlView.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibrary>
#include <QPointer>
#include <QStringDecoder>
#include <QTextBrowser>
#include <QTimer>

#if defined(Q_OS_UNIX)
#include <unistd.h>
#endif

namespace varnel {
namespace {

QString g_pluginFolder;
CreatePageViewFunction g_create = nullptr;
bool g_tried = false;
QString g_error;
std::function<void(const QString&)> g_fallbackNotice;
bool g_fallbackTold = false;

// Stands in for the browser engine where its plugin is missing: Qt's rich-text view, which
// reads local files only and runs no scripts.
class TextPageView : public QTextBrowser, public PageView {
public:
    explicit TextPageView(QWidget* parent) : QTextBrowser(parent)
    {
        setOpenLinks(false);
        connect(this, &QTextBrowser::anchorClicked, this, [this](const QUrl& link) {
            const QUrl target = source().resolved(link);
            if (IsUrlAllowedForPage(target, folder_) && target.isLocalFile() &&
                QFileInfo(target.toLocalFile()).isFile())
                showFile(target.toLocalFile());
        });
    }

    QWidget* widget() override { return this; }
    void showFile(const QString& path) override
    {
        folder_ = QFileInfo(path).absolutePath();
        setSource(QUrl::fromLocalFile(path), QTextDocument::HtmlResource);
        QPointer<TextPageView> self(this);
        const bool ok = QFileInfo(path).isFile();
        QTimer::singleShot(0, this, [self, ok] {
            if (self && self->handler_)
                self->handler_(ok);
        });
    }
    void showFileAt(const QString& path, const QString& fragment) override
    {
        showFile(path);
        scrollToAnchor(fragment);
    }
    // Shown once it is complete: from its file, or, when its making ended early and left no
    // file, from what was made.
    void showGrowingPage(const QString& path, std::shared_ptr<GrowingPage> page) override
    {
        growing_ = page;
        QPointer<TextPageView> self(this);
        const auto show = [self, path, page] {
            if (!self || self->growing_ != page || !page->complete())
                return;
            self->growing_.reset();
            if (QFileInfo(path).isFile()) {
                self->showFile(path);
                return;
            }
            QByteArray bytes;
            char piece[64 * 1024];
            for (qint64 n; (n = page->read(bytes.size(), piece, sizeof piece)) > 0;)
                bytes.append(piece, n);
            QStringDecoder decoder = QStringDecoder::decoderForHtml(bytes);
            self->setHtml(decoder.isValid() ? decoder.decode(bytes) : QString::fromUtf8(bytes));
            if (self->handler_)
                self->handler_(true);
        };
        page->setGrowthHandler(show);
        show();
    }
    QUrl url() const override { return source(); }
    QString title() const override { return documentTitle(); }
    void setLoadFinishedHandler(std::function<void(bool ok)> handler) override
    {
        handler_ = std::move(handler);
    }
    QString engineName() const override { return QStringLiteral("QTextBrowser"); }
    // Drawn in this process: it never ends on its own.
    void setRendererEndedHandler(std::function<void(const RendererEnd&)>) override {}
    void reload() override
    {
        if (source().isLocalFile())
            showFile(source().toLocalFile());
    }
    qint64 rendererPid() const override { return 0; }

    QVariant loadResource(int type, const QUrl& name) override
    {
        if (!IsUrlAllowedForPage(source().resolved(name), folder_))
            return QVariant();
        return QTextBrowser::loadResource(type, name);
    }

private:
    std::function<void(bool)> handler_;
    QString folder_;
    std::shared_ptr<GrowingPage> growing_;
};

void LoadPlugin()
{
    if (g_tried)
        return;
    g_tried = true;
#if defined(Q_OS_UNIX)
    // The engine's sandbox refuses to run for root and ends the whole program: a client run as
    // root (a test machine, a demo in a container) shows its pages without it instead.
    if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
#endif
    QLibrary library(PageViewPluginFolder() + QStringLiteral("/varnel_htmlview"));
    // The engine stays loaded for the life of the program.
    library.setLoadHints(QLibrary::PreventUnloadHint);
    if (!library.load()) {
        g_error = library.errorString();
        return;
    }
    g_create = reinterpret_cast<CreatePageViewFunction>(library.resolve(kCreatePageViewSymbol));
    if (!g_create)
        g_error = library.errorString();
}

} // namespace

void SetPageViewPluginFolder(const QString& folder)
{
    g_pluginFolder = folder;
}

QString PageViewPluginFolder()
{
    if (!g_pluginFolder.isEmpty())
        return g_pluginFolder;
    return QCoreApplication::applicationDirPath() + QStringLiteral("/plugins");
}

bool IsPageViewPluginLoaded()
{
    return g_create != nullptr;
}

QString PageViewPluginError()
{
    return g_error;
}

void SetPageViewFallbackNotice(std::function<void(const QString&)> notice)
{
    g_fallbackNotice = std::move(notice);
}

PageView* CreatePageView(QWidget* parent)
{
    LoadPlugin();
    if (g_create) {
        if (PageView* view = g_create(parent))
            return view;
    }
    if (!g_fallbackTold) {
        g_fallbackTold = true;
        const QString reason =
            g_error.isEmpty() ? QStringLiteral("the engine made no view") : g_error;
        qWarning().noquote() << "The browser engine's plugin is not used, pages are shown in a "
                                "plain view:"
                             << reason;
        if (g_fallbackNotice)
            g_fallbackNotice(QStringLiteral("Модуль просмотра страниц не загружен, страницы "
                                            "показаны в простом виде: ") +
                             reason);
    }
    return new TextPageView(parent);
}

} // namespace varnel
