#pragma once

#include <QString>
#include <QUrl>

#include <functional>

class QWidget;

namespace varnel {

// The browser control of the viewer windows (wbPage): shows local files only. The browser
// engine lives in a plugin of its own, loaded when the first page is shown, so that the client
// starts as fast without it; where the plugin cannot be loaded a plain rich-text view stands in.
// A view is owned by its widget's parent.
class PageView {
public:
    virtual ~PageView() = default;

    virtual QWidget* widget() = 0;
    // Shows a local file; every request that would leave the machine is refused.
    virtual void showFile(const QString& path) = 0;
    // The address of the document shown.
    virtual QUrl url() const = 0;
    // Called when a document has been loaded completely (ok) or failed to load.
    virtual void setLoadFinishedHandler(std::function<void(bool ok)> handler) = 0;
    // "QtWebEngine" or "QTextBrowser".
    virtual QString engineName() const = 0;
};

// The entry point of the browser engine's plugin.
using CreatePageViewFunction = PageView* (*)(QWidget* parent);
inline constexpr char kCreatePageViewSymbol[] = "VarnelCreatePageView";

} // namespace varnel
