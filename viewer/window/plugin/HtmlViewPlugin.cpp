// The browser engine of the viewer windows, built as a plugin that the client loads when it
// shows its first page: linking the engine into the program would slow every start.
#include "viewer/PageView.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIODevice>
#include <QPointer>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>
#include <QWebEngineView>

#include <cstring>
#include <map>
#include <memory>

#if defined(Q_OS_UNIX)
#include <unistd.h>
#endif

namespace varnel {
namespace {

// The resident memory of a process, from the system's account of it; 0 when unknown.
qint64 ResidentBytes(qint64 pid)
{
#if defined(Q_OS_LINUX)
    QFile statm(QStringLiteral("/proc/%1/statm").arg(pid));
    if (pid <= 0 || !statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * ::sysconf(_SC_PAGESIZE) : 0;
#else
    Q_UNUSED(pid);
    return 0;
#endif
}

// The scheme of the pages shown as they are made: "varnel-page:/<number>/<file name>".
constexpr char kPageScheme[] = "varnel-page";

// Pages come from local files; nothing they name may be fetched from anywhere else.
bool IsLocalScheme(const QString& scheme)
{
    return scheme == u"file" || scheme == u"data" || scheme == u"blob" || scheme == u"about" ||
           scheme == u"qrc" || scheme == QLatin1String(kPageScheme);
}

// The engine learns the scheme before it starts: before the first view is made.
void RegisterPageScheme()
{
    static const bool registered = [] {
        QWebEngineUrlScheme scheme(kPageScheme);
        scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
        // A page of its own: it reaches nothing else, and nothing remote reaches it.
        scheme.setFlags(QWebEngineUrlScheme::LocalScheme | QWebEngineUrlScheme::NoAccessAllowed);
        QWebEngineUrlScheme::registerScheme(scheme);
        return true;
    }();
    (void)registered;
}

// A growing page read as a stream: what has come so far, then more as it comes, to its end.
class GrowingPageDevice : public QIODevice {
public:
    GrowingPageDevice(std::shared_ptr<GrowingPage> page, QObject* parent)
        : QIODevice(parent), page_(std::move(page))
    {
        open(QIODevice::ReadOnly);
        QPointer<GrowingPageDevice> self(this);
        page_->setGrowthHandler([self] {
            if (!self)
                return;
            emit self->readyRead();
            if (self->page_->complete())
                emit self->readChannelFinished();
        });
    }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override
    {
        return std::max<qint64>(0, page_->size() - offset_) + QIODevice::bytesAvailable();
    }
    bool atEnd() const override
    {
        return page_->complete() && offset_ >= page_->size() && QIODevice::atEnd();
    }

protected:
    qint64 readData(char* data, qint64 size) override
    {
        const qint64 n = page_->read(offset_, data, size);
        offset_ += n;
        if (n == 0 && page_->complete())
            return -1;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    std::shared_ptr<GrowingPage> page_;
    qint64 offset_ = 0;
};

// Serves the growing pages the views show, by their number.
class PageSchemeHandler : public QWebEngineUrlSchemeHandler {
public:
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;

    QUrl add(const QString& path, const std::shared_ptr<GrowingPage>& page)
    {
        for (auto it = pages_.begin(); it != pages_.end();)
            it = it->second.expired() ? pages_.erase(it) : std::next(it);
        const int number = ++last_;
        pages_[number] = page;
        QUrl url;
        url.setScheme(QLatin1String(kPageScheme));
        url.setPath(QStringLiteral("/%1/").arg(number) + QFileInfo(path).fileName());
        return url;
    }

    void requestStarted(QWebEngineUrlRequestJob* job) override
    {
        const QStringList parts = job->requestUrl().path().split(u'/', Qt::SkipEmptyParts);
        const auto it = parts.isEmpty() ? pages_.end() : pages_.find(parts.first().toInt());
        std::shared_ptr<GrowingPage> page = it == pages_.end() ? nullptr : it->second.lock();
        if (!page || parts.size() != 2 || job->requestMethod() != "GET") {
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
            return;
        }
        job->reply("text/html", new GrowingPageDevice(std::move(page), job));
    }

private:
    std::map<int, std::weak_ptr<GrowingPage>> pages_;
    int last_ = 0;
};

PageSchemeHandler* g_pages = nullptr;

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
        g_pages = new PageSchemeHandler(p);
        p->installUrlSchemeHandler(kPageScheme, g_pages);
        return p;
    }();
    return profile;
}

// Refuses what a page asks for outside the folder of the file it shows.
class FolderInterceptor : public QWebEngineUrlRequestInterceptor {
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
    void setFolder(const QString& folder, const QUrl& own)
    {
        folder_ = folder;
        own_ = own;
    }
    void interceptRequest(QWebEngineUrlRequestInfo& info) override
    {
        if (info.requestUrl() != own_ && !IsUrlAllowedForPage(info.requestUrl(), folder_))
            info.block(true);
    }

private:
    QString folder_;
    QUrl own_; // the growing page shown, when one is
};

class LocalPage : public QWebEnginePage {
public:
    explicit LocalPage(QObject* parent)
        : QWebEnginePage(LocalProfile(), parent), interceptor_(new FolderInterceptor(this))
    {
        setUrlRequestInterceptor(interceptor_);
    }
    // The folder of the file shown: what the page may show and open; and the address of a
    // growing page shown in its place.
    void setFolder(const QString& folder, const QUrl& own = QUrl())
    {
        folder_ = folder;
        own_ = own;
        interceptor_->setFolder(folder, own);
    }

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool) override
    {
        return url == own_ || IsUrlAllowedForPage(url, folder_);
    }
    QWebEnginePage* createWindow(WebWindowType) override { return nullptr; }

private:
    FolderInterceptor* interceptor_;
    QString folder_;
    QUrl own_;
};

// The row a page's address names (the row a find marked) stays in view when the view changes
// size: the page keeps its scroll position through a resize, so a row low in a tall view would
// end below a shorter one. Whether the row was in view is noted at every scroll; when the view's
// size has changed since, a row that was in view and no longer is wholly is brought back. It
// runs in a world of its own: the pages' own scripts stay off.
const char kKeepMarkInView[] = R"(
(function () {
  var width = innerWidth, height = innerHeight, seen = true;
  function marked() {
    try {
      var id = location.hash ? decodeURIComponent(location.hash.substring(1)) : '';
      return id ? document.getElementById(id) : null;
    } catch (e) {
      return null; // an address whose fragment is no text
    }
  }
  function settle() {
    var row = marked();
    // What the page shows, its scroll bars left out; a row's edges may fall between pixels.
    var shown = visualViewport.height;
    if (innerWidth !== width || innerHeight !== height) {
      width = innerWidth;
      height = innerHeight;
      if (row && seen) {
        var box = row.getBoundingClientRect();
        if (box.top < -1 || box.bottom > shown + 1)
          row.scrollIntoView({block: 'nearest'});
      }
    }
    if (row) {
      var now = row.getBoundingClientRect();
      seen = now.bottom > 0 && now.top < shown;
    }
  }
  addEventListener('scroll', settle, {passive: true});
  addEventListener('resize', settle);
})();
)";

class EnginePageView : public QWebEngineView, public PageView {
public:
    explicit EnginePageView(QWidget* parent) : QWebEngineView(parent), page_(new LocalPage(this))
    {
        setPage(page_);
        QWebEngineScript keepMark;
        keepMark.setName(QStringLiteral("keep-mark-in-view"));
        keepMark.setSourceCode(QString::fromLatin1(kKeepMarkInView));
        keepMark.setWorldId(QWebEngineScript::ApplicationWorld);
        keepMark.setInjectionPoint(QWebEngineScript::DocumentCreation);
        keepMark.setRunsOnSubFrames(false);
        page_->scripts().insert(keepMark);
        connect(this, &QWebEngineView::loadFinished, this, [this](bool ok) {
            lookAtRenderer();
            if (handler_)
                handler_(ok);
        });
        connect(page_, &QWebEnginePage::renderProcessTerminated, this,
                [this](QWebEnginePage::RenderProcessTerminationStatus status, int exitCode) {
                    rendererEnded(status, exitCode);
                });
        // What the drawing process holds is looked at now and then while a page is shown, so
        // that when it ends for lack of memory the window can say so.
        watch_.setInterval(1000);
        connect(&watch_, &QTimer::timeout, this, [this] { lookAtRenderer(); });
        connect(page_, &QWebEnginePage::loadStarted, this, [this] { watch_.start(); });
    }

    QWidget* widget() override { return this; }
    void showFile(const QString& path) override
    {
        growing_ = QUrl();
        growingPage_.reset();
        page_->setFolder(QFileInfo(path).absolutePath());
        shown_ = QUrl::fromLocalFile(path);
        load(shown_);
    }
    void showFileAt(const QString& path, const QString& fragment) override
    {
        growingPage_.reset();
        page_->setFolder(QFileInfo(path).absolutePath());
        shown_ = QUrl::fromLocalFile(path);
        if (!fragment.isEmpty())
            shown_.setFragment(fragment);
        load(shown_);
    }
    void showGrowingPage(const QString& path, std::shared_ptr<GrowingPage> page) override
    {
        growing_ = g_pages->add(path, page);
        growingPath_ = path;
        growingPage_ = page;
        page_->setFolder(QFileInfo(path).absolutePath(), growing_);
        shown_ = growing_;
        load(growing_);
    }
    void reload() override
    {
        // A page that grows is read again from its first byte, under an address of its own.
        if (const std::shared_ptr<GrowingPage> page = growingPage_.lock())
            showGrowingPage(growingPath_, page);
        else if (shown_.isLocalFile())
            showFileAt(shown_.toLocalFile(), shown_.fragment());
    }
    qint64 rendererPid() const override { return page_->renderProcessPid(); }
    void setRendererEndedHandler(std::function<void(const RendererEnd&)> handler) override
    {
        ended_ = std::move(handler);
    }
    QUrl url() const override
    {
        const QUrl shown = QWebEngineView::url();
        return !growing_.isEmpty() && shown == growing_ ? QUrl::fromLocalFile(growingPath_) : shown;
    }
    QString title() const override
    {
        // The engine gives the address as the title of a page without one.
        // A page that grows is shown from an address of its own.
        const QString title = QWebEngineView::title();
        for (const QUrl& address : {url(), QWebEngineView::url()}) {
            if (title == address.toString() || title == address.toString(QUrl::RemoveScheme))
                return QString();
        }
        return title;
    }
    void setLoadFinishedHandler(std::function<void(bool ok)> handler) override
    {
        handler_ = std::move(handler);
    }
    QString engineName() const override { return QStringLiteral("QtWebEngine"); }

private:
    void lookAtRenderer()
    {
        if (const qint64 bytes = ResidentBytes(page_->renderProcessPid()); bytes > 0)
            lastMemory_ = bytes;
    }
    void rendererEnded(QWebEnginePage::RenderProcessTerminationStatus status, int exitCode)
    {
        watch_.stop();
        RendererEnd end;
        switch (status) {
        case QWebEnginePage::NormalTerminationStatus: end.kind = RendererEnd::Kind::Normal; break;
        case QWebEnginePage::AbnormalTerminationStatus:
            end.kind = RendererEnd::Kind::Abnormal;
            break;
        case QWebEnginePage::CrashedTerminationStatus: end.kind = RendererEnd::Kind::Crashed; break;
        case QWebEnginePage::KilledTerminationStatus: end.kind = RendererEnd::Kind::Killed; break;
        }
        end.exitCode = exitCode;
        end.lastMemoryBytes = lastMemory_;
        lastMemory_ = 0;
        if (ended_)
            ended_(end);
    }

    LocalPage* page_;
    std::function<void(bool)> handler_;
    std::function<void(const RendererEnd&)> ended_;
    QUrl growing_;
    QString growingPath_;
    std::weak_ptr<GrowingPage> growingPage_;
    QUrl shown_;
    QTimer watch_;
    qint64 lastMemory_ = 0;
};

} // namespace
} // namespace varnel

extern "C" Q_DECL_EXPORT varnel::PageView* VarnelCreatePageView(QWidget* parent)
{
    // Without a screen to draw on (tests, the bench) the engine draws in software.
    if (QGuiApplication::platformName() == u"offscreen" &&
        !qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
    varnel::RegisterPageScheme();
    return new varnel::EnginePageView(parent);
}
