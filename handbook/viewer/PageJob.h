#pragma once

#include "handbook/viewer/PageView.h"
#include "handbook/viewer/XslTransform.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

namespace varnel {

class PageStream;

// The page of a viewer window, made on a thread of its own so that the window keeps painting
// while a whole market's handbook goes through its stylesheet. The page grows in its view as it
// is made (page()), and its file (pagePath, a new private file) holds it once it is finished.
class PageJob {
public:
    struct Outcome {
        ViewerPage page; // its notice and stylesheet
        QString failure; // why the document could not be shown (the loading rule's text)
        bool stopped = false;
    };

    // describe turns a text about the document (a copy) into one about the file the user chose;
    // chosen names that file when the page cannot be written.
    PageJob(const QString& documentPath, const QString& relativeBase, const QString& pagePath,
            std::function<QString(const QString&)> describe = {}, const QString& chosen = QString(),
            const TransformLimits& limits = TransformLimits());
    // Stops the making and waits for its thread (a part at most).
    ~PageJob();
    PageJob(const PageJob&) = delete;
    PageJob& operator=(const PageJob&) = delete;

    std::shared_ptr<GrowingPage> page() const;
    // Starts the making; done runs on the user-interface thread when it has ended, unless the
    // job is gone by then.
    void start(std::function<void(const Outcome&)> done);
    bool running() const { return running_.load(); }
    // How far the making has come, in thousandths; -1 while that is unknown.
    int permille() const;

private:
    void run();

    QString documentPath_;
    QString relativeBase_;
    TransformLimits limits_;
    std::function<QString(const QString&)> describe_;
    std::shared_ptr<PageStream> stream_;
    std::function<void(const Outcome&)> done_;
    QObject receiver_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> running_{false};
    std::atomic<qint64> done_bytes_{0};
    std::atomic<qint64> total_bytes_{0};
    std::thread thread_;
};

} // namespace varnel
