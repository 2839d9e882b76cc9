#pragma once

// One page's use of the XSL engine: its stylesheet compiled and applied, within the limits and
// folders of TransformLimits. The engine's hooks (the loader every stylesheet, import and
// document() goes through, the error reports) are process-wide, so one page is made at a time
// in the process: a run on any thread waits for the one before it to end.

#include "viewer/XslTransform.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <memory>

struct _xmlDoc;
struct _xsltStylesheet;

namespace varnel {

class PageBudget;

// Raised inside the page's making by a run whose stop mark (TransformLimits::stop) was set, to
// leave it from wherever it stands; MakeXmlPage turns it into a stopped page.
struct PageStopped {};

class XslRun {
public:
    // Waits for the engine (raising PageStopped when stopped meanwhile) and installs the hooks on
    // this thread. The folders are those the stylesheets may read.
    XslRun(const TransformLimits& limits, const QStringList& readableFolders);
    ~XslRun();
    XslRun(const XslRun&) = delete;
    XslRun& operator=(const XslRun&) = delete;

    // The limits of the runs from now on (a whole document's run may take longer than a part's).
    void setLimits(const TransformLimits& limits);
    // The page the runs from now on make, whose budget they keep besides their own limits
    // (nullptr: none). It outlives the runs.
    void setPage(PageBudget* page);

    // Compiles the stylesheet at path (imports and includes read within a fresh budget); nullptr
    // with the reason in *failure.
    _xsltStylesheet* load(const QString& path, QString* failure);
    // Applies the stylesheet to doc with the parameters (name, XPath expression), within the
    // limits counted from now; the result, or nullptr with the reason in *failure (out of time
    // or memory, a refused read or write, a failure of the stylesheet). Raises PageStopped when
    // stopped.
    _xmlDoc* apply(_xsltStylesheet* style, _xmlDoc* doc,
                   const QList<QPair<QByteArray, QByteArray>>& parameters, QString* failure);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Whether the stylesheet (or one it imports) declares the top-level parameter name.
bool DeclaresParameter(_xsltStylesheet* style, const char* name);

} // namespace varnel
