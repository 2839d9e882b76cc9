#pragma once

#include "core/Outcome.h"
#include "viewer/PageView.h"
#include "viewer/XslTransform.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

namespace varnel {

class PageStream;
class PagedRows;
struct PageSource;

// The page of a viewer window, made on a thread of its own so that the window keeps painting
// while a whole market's handbook goes through its stylesheet. The page grows in its view as it
// is made (page()), and its file (pagePath, a new private file) holds it once it is finished.
class PageJob {
public:
    // How the making ended: done (the page's notice and stylesheet in page), cancelled (stopped),
    // or failed with why the document could not be shown (the loading rule's text).
    struct End {
        ViewerPage page;
        varnel::Outcome outcome;
    };

    // describe turns a text about the document (a copy) into one about the file the user chose;
    // chosen names that file when the page cannot be written. With a rowsPath (a new private
    // file) a page made in parts is shown a window of rows at a time: page() then grows to the
    // first window only, and the rows of every window are kept in rowsPath.
    PageJob(const QString& documentPath, const QString& relativeBase, const QString& pagePath,
            std::function<QString(const QString&)> describe = {}, const QString& chosen = QString(),
            const TransformLimits& limits = TransformLimits(), const QString& rowsPath = QString(),
            qint64 rowsPerWindow = 2000);
    // Stops the making and waits for its thread (a part at most).
    ~PageJob();
    PageJob(const PageJob&) = delete;
    PageJob& operator=(const PageJob&) = delete;

    std::shared_ptr<GrowingPage> page() const;
    // Starts the making; done runs on the user-interface thread when it has ended, unless the
    // job is gone by then.
    void start(std::function<void(const End&)> done);
    bool running() const { return running_.load(); }
    // How far the making has come, in thousandths; -1 while that is unknown.
    int permille() const;

    // A page made in parts, shown a window of rows at a time: true once its heading is made.
    bool windowed() const;
    qint64 rowsPerWindow() const { return rowsPerWindow_; }
    // The rows (children of the document element) in all, once counted (-1 before), and those
    // made so far.
    qint64 rowCount() const;
    qint64 rowsMade() const;
    // The page of one window of rows (from 0): the heading's page with those rows. False while
    // they are still being made. Raises when the rows cannot be read back.
    bool windowPage(qint64 window, QByteArray* html) const;
    // The whole page, every row of the file, to be read a piece at a time (it is never put
    // together in memory); false while it is being made. Raises when the rows cannot be read.
    bool wholePage(PageSource* page) const;
    // The next row (from 0) after row `after` whose code, ISIN, registration number or name
    // holds text (letter case and blanks ignored), from the first row again past the last; -1
    // when no row made so far holds it.
    qint64 find(const QString& text, qint64 after) const;
    // The text as find compares it: in lower case, without blanks.
    static QByteArray FindKey(const QString& text);

private:
    void run();

    QString documentPath_;
    QString relativeBase_;
    TransformLimits limits_;
    std::function<QString(const QString&)> describe_;
    std::shared_ptr<PageStream> stream_;
    qint64 rowsPerWindow_;
    std::unique_ptr<PagedRows> rows_;
    std::function<void(const End&)> done_;
    QObject receiver_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> running_{false};
    std::atomic<qint64> done_bytes_{0};
    std::atomic<qint64> total_bytes_{0};
    std::thread thread_;
};

} // namespace varnel
