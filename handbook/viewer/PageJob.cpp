#include "handbook/viewer/PageJob.h"

#include "core/AtomicSave.h"
#include "core/Error.h"
#include "handbook/viewer/ViewerFiles.h"
#include "handbook/viewer/XslEngine.h"

#include <QFile>

#include <mutex>
#include <new>

namespace varnel {

// A page as it is made: its bytes written to the page's file, a new file of the user's alone,
// and read back from there by the view as they come. The page is never held whole in memory:
// the view reads through a descriptor of its own, which keeps reading the same file once it is
// put in place (or, when the making ends early, what had been written of it).
class PageStream : public GrowingPage, public PageSink {
public:
    PageStream(const QString& path, const QString& chosen) : path_(path), chosen_(chosen) {}

    void open()
    {
        guarded(
            [this] { file_ = std::make_unique<AtomicFile>(path_, AtomicFile::NewPrivateFile); });
        reader_.setFileName(file_->writablePath());
        if (!reader_.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
            Fail(TemporaryCopyFailureText(chosen_, reader_.errorString()));
    }

    // Bytes gather in pieces of a few hundred KB before they go to the file and the view.
    void write(const char* data, qint64 size) override
    {
        pending_.append(data, size);
        if (pending_.size() >= kPiece)
            flush();
    }

    void flush() override
    {
        if (pending_.isEmpty())
            return;
        guarded([this] { file_->write(pending_); });
        {
            const std::lock_guard lock(mutex_);
            written_ += pending_.size();
        }
        pending_.clear();
        pending_.reserve(kPiece);
        notify();
    }

    // The page is whole: its file goes in place (raises with the system's reason), then the
    // view learns that nothing more comes.
    void finish()
    {
        flush();
        guarded([this] { file_->commit(); });
        file_.reset();
        {
            const std::lock_guard lock(mutex_);
            complete_ = true;
        }
        notify();
    }

    // The making ended early: the view ends with what it has (its last bytes written out for it
    // where the file still takes them); no file is kept.
    void abandon()
    {
        if (file_ && !pending_.isEmpty()) {
            try {
                file_->write(pending_);
                const std::lock_guard lock(mutex_);
                written_ += pending_.size();
            } catch (...) {
                // The view ends with what it had.
            }
        }
        pending_.clear();
        file_.reset();
        {
            const std::lock_guard lock(mutex_);
            complete_ = true;
        }
        notify();
    }

    qint64 read(qint64 offset, char* data, qint64 size) override
    {
        const std::lock_guard lock(mutex_);
        if (!reader_.isOpen() || offset < 0 || offset >= written_)
            return 0;
        if (!reader_.seek(offset))
            return 0;
        return std::max<qint64>(0, reader_.read(data, std::min(size, written_ - offset)));
    }

    qint64 size() const override
    {
        const std::lock_guard lock(mutex_);
        return written_;
    }

    bool complete() const override
    {
        const std::lock_guard lock(mutex_);
        return complete_;
    }

    void setGrowthHandler(std::function<void()> handler) override
    {
        const std::lock_guard lock(mutex_);
        handler_ = std::move(handler);
    }

private:
    static constexpr qsizetype kPiece = 256 * 1024;

    // A failed write of the page is told about the file the user chose.
    template <typename Step> void guarded(Step step)
    {
        try {
            step();
        } catch (const Error& e) {
            Fail(TemporaryCopyFailureText(chosen_,
                                          e.description().section(QStringLiteral("\r\n"), 1)));
        }
    }

    // The handler runs on the user-interface thread, once for all that came meanwhile.
    void notify()
    {
        if (posted_.exchange(true))
            return;
        QMetaObject::invokeMethod(
            &notifier_,
            [this] {
                posted_.store(false);
                std::function<void()> handler;
                {
                    const std::lock_guard lock(mutex_);
                    handler = handler_;
                }
                if (handler)
                    handler();
            },
            Qt::QueuedConnection);
    }

    QString path_;
    QString chosen_;
    std::unique_ptr<AtomicFile> file_;
    QByteArray pending_; // the worker's alone
    mutable std::mutex mutex_;
    qint64 written_ = 0; // bytes in the file, which the view may read
    bool complete_ = false;
    QFile reader_;
    std::function<void()> handler_;
    std::atomic<bool> posted_{false};
    QObject notifier_; // lives on the thread that made the stream: the user-interface thread
};

PageJob::PageJob(const QString& documentPath, const QString& relativeBase, const QString& pagePath,
                 std::function<QString(const QString&)> describe, const QString& chosen,
                 const TransformLimits& limits)
    : documentPath_(documentPath), relativeBase_(relativeBase), limits_(limits),
      describe_(std::move(describe)),
      stream_(std::make_shared<PageStream>(pagePath, chosen.isEmpty() ? pagePath : chosen))
{
    limits_.stop = &stop_;
}

PageJob::~PageJob()
{
    stop_.store(true);
    if (thread_.joinable())
        thread_.join();
}

std::shared_ptr<GrowingPage> PageJob::page() const
{
    return stream_;
}

int PageJob::permille() const
{
    const qint64 total = total_bytes_.load();
    return total > 0 ? int(std::min<qint64>(1000, done_bytes_.load() * 1000 / total)) : -1;
}

void PageJob::start(std::function<void(const Outcome&)> done)
{
    done_ = std::move(done);
    running_.store(true);
    thread_ = std::thread([this] { run(); });
}

void PageJob::run()
{
    Outcome outcome;
    try {
        stream_->open();
        // The copy may be a little longer than the file the user chose, which was measured.
        outcome.page = MakeXmlPage(
            documentPath_, relativeBase_, limits_, *stream_,
            [this](qint64 done, qint64 total) {
                total_bytes_.store(total);
                done_bytes_.store(done);
            },
            kViewerMaxFileBytes + 64 * 1024);
        stream_->finish();
    } catch (const PageStopped&) {
        outcome.stopped = true;
    } catch (const Error& e) {
        outcome.failure = describe_ ? describe_(e.description()) : e.description();
    } catch (const std::bad_alloc&) {
        outcome.failure =
            QStringLiteral("Недостаточно памяти, чтобы показать документ ") + documentPath_;
    } catch (...) {
        outcome.failure = QStringLiteral("Не удалось показать документ ") + documentPath_;
    }
    if (!stream_->complete())
        stream_->abandon();
    if (describe_)
        outcome.page.notice = describe_(outcome.page.notice);
    running_.store(false);
    QMetaObject::invokeMethod(
        &receiver_,
        [this, outcome] {
            if (done_)
                done_(outcome);
        },
        Qt::QueuedConnection);
}

} // namespace varnel
