// The browser engine of the viewer windows, built as a plugin that the client loads when it
// shows its first page: linking the engine into the program would slow every start.
#include "handbook/viewer/PageView.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>

namespace varnel {
namespace {

// Pages come from local files; nothing they name may be fetched from anywhere else.
bool IsLocalScheme(const QString& scheme)
{
    return scheme == u"file" || scheme == u"data" || scheme == u"blob" || scheme == u"about" ||
           scheme == u"qrc";
}

class LocalOnlyInterceptor : public QWebEngineUrlRequestInterceptor {
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
    void interceptRequest(QWebEngineUrlRequestInfo& info) override
    {
        if (!IsLocalScheme(info.requestUrl().scheme()))
            info.block(true);
    }
};

QWebEngineProfile* LocalProfile()
{
    static QWebEngineProfile* profile = [] {
        // Off the record: no cache, cookies or history on disk.
        auto* p = new QWebEngineProfile(QCoreApplication::instance());
        p->setUrlRequestInterceptor(new LocalOnlyInterceptor(p));
        p->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
        p->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
        p->setSpellCheckEnabled(false);
        QWebEngineSettings* s = p->settings();
        // Messages come from outside: their pages run no scripts and reach nothing remote.
        s->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
        s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
        s->setAttribute(QWebEngineSettings::PluginsEnabled, false);
        s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
        // A page shows no file but itself (no picture or frame of the disk); it may be taken
        // to another file of its own folder only (LocalPage).
        s->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
        s->setAttribute(QWebEngineSettings::DnsPrefetchEnabled, false);
        s->setAttribute(QWebEngineSettings::NavigateOnDropEnabled, false);
        s->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);
        s->setAttribute(QWebEngineSettings::PdfViewerEnabled, false);
        return p;
    }();
    return profile;
}

// Refuses what a page asks for outside the folder of the file it shows.
class FolderInterceptor : public QWebEngineUrlRequestInterceptor {
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
    void setFolder(const QString& folder) { folder_ = folder; }
    void interceptRequest(QWebEngineUrlRequestInfo& info) override
    {
        if (!IsUrlAllowedForPage(info.requestUrl(), folder_))
            info.block(true);
    }

private:
    QString folder_;
};

class LocalPage : public QWebEnginePage {
public:
    explicit LocalPage(QObject* parent)
        : QWebEnginePage(LocalProfile(), parent), interceptor_(new FolderInterceptor(this))
    {
        setUrlRequestInterceptor(interceptor_);
    }
    // The folder of the file shown: what the page may show and open.
    void setFolder(const QString& folder)
    {
        folder_ = folder;
        interceptor_->setFolder(folder);
    }

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool) override
    {
        return IsUrlAllowedForPage(url, folder_);
    }
    QWebEnginePage* createWindow(WebWindowType) override { return nullptr; }

private:
    FolderInterceptor* interceptor_;
    QString folder_;
};

class EnginePageView : public QWebEngineView, public PageView {
public:
    explicit EnginePageView(QWidget* parent) : QWebEngineView(parent), page_(new LocalPage(this))
    {
        setPage(page_);
        connect(this, &QWebEngineView::loadFinished, this, [this](bool ok) {
            if (handler_)
                handler_(ok);
        });
    }

    QWidget* widget() override { return this; }
    void showFile(const QString& path) override
    {
        page_->setFolder(QFileInfo(path).absolutePath());
        load(QUrl::fromLocalFile(path));
    }
    QUrl url() const override { return QWebEngineView::url(); }
    QString title() const override
    {
        // The engine gives the address as the title of a page without one.
        const QString title = QWebEngineView::title();
        return title == url().toString() || title == url().toString(QUrl::RemoveScheme) ? QString()
                                                                                        : title;
    }
    void setLoadFinishedHandler(std::function<void(bool ok)> handler) override
    {
        handler_ = std::move(handler);
    }
    QString engineName() const override { return QStringLiteral("QtWebEngine"); }

private:
    LocalPage* page_;
    std::function<void(bool)> handler_;
};

} // namespace
} // namespace varnel

extern "C" Q_DECL_EXPORT varnel::PageView* VarnelCreatePageView(QWidget* parent)
{
    // Without a screen to draw on (tests, the bench) the engine draws in software.
    if (QGuiApplication::platformName() == u"offscreen" &&
        !qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
    return new varnel::EnginePageView(parent);
}
