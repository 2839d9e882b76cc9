#pragma once

#include <QDir>
#include <QFileInfo>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

class QWidget;

namespace varnel {

// A page still being made, which a view shows as it grows: written on a worker thread, read on
// the user-interface thread. (An interface only: the engine's plugin links nothing of the
// viewer.)
class GrowingPage {
public:
    virtual ~GrowingPage() = default;
    // Copies up to size bytes from offset into data; the number copied (0: none yet, or the
    // end once complete).
    virtual qint64 read(qint64 offset, char* data, qint64 size) = 0;
    // The bytes there so far.
    virtual qint64 size() const = 0;
    // True once every byte of the page is there (or its making ended early).
    virtual bool complete() const = 0;
    // Called on the user-interface thread whenever bytes have come or the page has become
    // complete; one handler at a time (an empty one ends the calls).
    virtual void setGrowthHandler(std::function<void()> handler) = 0;
};

// The browser control of the viewer windows (wbPage): shows local files only. The browser
// engine lives in a plugin of its own, loaded when the first page is shown, so that the client
// starts as fast without it; where the plugin cannot be loaded a plain rich-text view stands in.
// A view is owned by its widget's parent.
class PageView {
public:
    virtual ~PageView() = default;

    virtual QWidget* widget() = 0;
    // Shows a local file. The page may show and open files of that file's folder only
    // (IsUrlAllowedForPage); every other file and every request that would leave the machine
    // is refused.
    virtual void showFile(const QString& path) = 0;
    // The same, shown from the element whose id is fragment (marked, when the page marks the
    // element its address names). The engine's view keeps that element in view when the view
    // changes size, unless the page has been scrolled away from it.
    virtual void showFileAt(const QString& path, const QString& fragment) = 0;
    // Shows a page as it is made, path being the file it is written to: the view reads it as it
    // grows, so its first rows show long before the last are made. The page may show and open
    // files of that file's folder only, as for showFile.
    virtual void showGrowingPage(const QString& path, std::shared_ptr<GrowingPage> page) = 0;
    // The address of the document shown (a page shown as it grows: its file's).
    virtual QUrl url() const = 0;
    // The title the document gives itself (its <title>); empty when it gives none.
    virtual QString title() const = 0;
    // Called when a document has been loaded completely (ok) or failed to load.
    virtual void setLoadFinishedHandler(std::function<void(bool ok)> handler) = 0;
    // "QtWebEngine" or "QTextBrowser".
    virtual QString engineName() const = 0;

    // How the engine's process that drew the page ended.
    struct RendererEnd {
        enum class Kind { Normal, Abnormal, Crashed, Killed };
        Kind kind = Kind::Crashed;
        int exitCode = 0;
        // Its resident memory when last looked at (before it ended); 0: unknown.
        qint64 lastMemoryBytes = 0;
    };
    // Called on the user-interface thread when the process that draws the page ends while the
    // view still shows it (the view is then empty until the page is shown again).
    virtual void setRendererEndedHandler(std::function<void(const RendererEnd& end)> handler) = 0;
    // Shows again what was last shown (a file, or a page as it grows, from its first byte).
    virtual void reload() = 0;
    // The process that draws the page; 0 when it draws in this process or has none yet.
    virtual qint64 rendererPid() const = 0;
};

// The path as the file system resolves it, links followed; for a path that does not exist (yet),
// its nearest existing folder resolved and the rest of the path cleaned of "." and "..".
inline QString ResolvedPath(const QString& path)
{
    QString rest;
    QString head = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    for (;;) {
        const QString canonical = QFileInfo(head).canonicalFilePath();
        if (!canonical.isEmpty())
            return rest.isEmpty() ? canonical : QDir::cleanPath(canonical + u'/' + rest);
        const qsizetype slash = head.lastIndexOf(u'/');
        if (slash <= 0)
            return QDir::cleanPath(head + (rest.isEmpty() ? QString() : u'/' + rest));
        rest = rest.isEmpty() ? head.mid(slash + 1) : head.mid(slash + 1) + u'/' + rest;
        head = head.left(slash);
    }
}

// Whether a page shown from a file of folder may show or open url: what carries no file of its
// own (data:, blob:, about:, qrc:) and the files in folder or below it, links followed; no
// other file and nothing remote. (Inline: the engine's plugin links nothing of the viewer.)
inline bool IsUrlAllowedForPage(const QUrl& url, const QString& folder)
{
    const QString scheme = url.scheme().toLower();
    if (scheme == u"data" || scheme == u"blob" || scheme == u"about" || scheme == u"qrc")
        return true;
    if (scheme != u"file" || folder.isEmpty())
        return false;
    if (!url.host().isEmpty() && url.host().compare(u"localhost", Qt::CaseInsensitive) != 0)
        return false;
    QString base = ResolvedPath(folder);
    if (!base.endsWith(u'/'))
        base += u'/';
    return ResolvedPath(url.path()).startsWith(base);
}

// The entry point of the browser engine's plugin.
using CreatePageViewFunction = PageView* (*)(QWidget* parent);
inline constexpr char kCreatePageViewSymbol[] = "VarnelCreatePageView";

} // namespace varnel
