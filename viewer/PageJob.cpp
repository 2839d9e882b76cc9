#include "viewer/PageJob.h"

#include "core/AtomicSave.h"
#include "core/Error.h"
#include "viewer/SpreadsheetExport.h"
#include "viewer/ViewerFiles.h"
#include "viewer/XslEngine.h"

#include <QFile>

#include <libxml/tree.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

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
                // The page's file that takes no more (a full disk, say) on a making that already
                // ended early: the view ends with what it had, and the job's end says why.
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

// What a row is found by: these attributes of its element, each in lower case without blanks,
// a row's values apart from one another and from the next row's.
namespace {
constexpr const char* kFindAttributes[] = {"Code",      "ISIN", "RegNum",    "Name",
                                           "ShortName", "Id",   "Agreement", "Reference"};
constexpr char kValueEnd = '\x1f';
constexpr char kRowEnd = '\x1e';

// Where a row marked by a find is shown: its id is the page's address's fragment.
const QByteArray kMarkStyle =
    QByteArrayLiteral("<style>:target,:target>td{background:#ffe08a !important}</style>");
} // namespace

// A page made in parts, kept apart: the rows of every part in a file of their own (read back a
// window at a time), the first window also written to the growing page the view shows at once,
// and what a find looks at for each row.
class PagedRows : public PageSink {
public:
    PagedRows(PageStream& first, const QString& rowsPath, const QString& chosen, qint64 perWindow)
        : first_(first), rows_(rowsPath, chosen), rowsPath_(rowsPath), chosen_(chosen),
          perWindow_(perWindow)
    {
    }

    void open() { rows_.open(); }

    // What is not made in parts goes to the page as it is.
    void write(const char* data, qint64 size) override { first_.write(data, size); }
    void flush() override { first_.flush(); }
    bool takesParts() const override { return true; }

    void part(qint64 first, const _xmlNode* rows, const QByteArray& html) override
    {
        QByteArray keys;
        qint64 count = 0;
        std::vector<qint64> ends;
        for (const xmlNode* row = rows ? rows->children : nullptr; row; row = row->next) {
            if (row->type != XML_ELEMENT_NODE)
                continue;
            ++count;
            for (const char* name : kFindAttributes) {
                if (xmlChar* value = xmlGetProp(row, BAD_CAST name)) {
                    keys += PageJob::FindKey(QString::fromUtf8(reinterpret_cast<char*>(value)));
                    xmlFree(value);
                }
                keys += kValueEnd;
            }
            keys += kRowEnd;
            ends.push_back(keys.size());
        }
        rows_.write(html.constData(), html.size());
        rows_.flush();
        {
            const std::lock_guard lock(mutex_);
            if (first > 1 && (first - 1) % perWindow_ == 0 && count > 0)
                starts_.push_back(bytes_);
            bytes_ += html.size();
            const qint64 base = keys_.size();
            for (const qint64 end : ends)
                keyEnds_.push_back(base + end);
            keys_ += keys;
            made_ += count;
        }
        if (!firstDone_ && first - 1 < perWindow_) {
            firstRows_ += html;
            firstMade_ += count;
        }
        writeFirst();
    }

    void heading(const QByteArray& before, const QByteArray& after, qint64 count) override
    {
        {
            const std::lock_guard lock(mutex_);
            before_ = before;
            after_ = after;
            total_ = count;
            headed_ = true;
        }
        writeFirst();
    }

    // The making has ended: the first window is complete, whatever came.
    void end()
    {
        ended_ = true;
        writeFirst();
        if (rows_.complete())
            return;
        rows_.finish();
        const std::lock_guard lock(mutex_);
        complete_ = true;
    }

    bool headed() const
    {
        const std::lock_guard lock(mutex_);
        return headed_;
    }
    qint64 total() const
    {
        const std::lock_guard lock(mutex_);
        return headed_ ? total_ : -1;
    }
    qint64 made() const
    {
        const std::lock_guard lock(mutex_);
        return made_;
    }

    bool window(qint64 index, QByteArray* html) const
    {
        qint64 from = 0;
        qint64 to = 0;
        {
            const std::lock_guard lock(mutex_);
            if (!headed_ || index < 0 || index >= qint64(starts_.size()))
                return false;
            // Its rows are all made once the next window has begun, or the making has ended.
            if (index + 1 < qint64(starts_.size()))
                to = starts_[size_t(index + 1)];
            else if (complete_)
                to = bytes_;
            else
                return false;
            from = starts_[size_t(index)];
            *html = before_ + kMarkStyle;
        }
        return readRows(from, to, html);
    }

    // The whole page read a piece at a time: the heading's page before the rows, the rows from
    // their file (through a descriptor of the source's own, which outlives the window), the rest.
    bool whole(PageSource* source) const
    {
        auto state = std::make_shared<WholeRead>();
        {
            const std::lock_guard lock(mutex_);
            if (!complete_ || !headed_)
                return false;
            state->rowBytes = bytes_;
            state->before = before_;
            state->after = after_;
        }
        state->rows.setFileName(rowsPath_);
        if (!state->rows.open(QIODevice::ReadOnly))
            Fail(TemporaryCopyFailureText(chosen_, state->rows.errorString()));
        source->name = chosen_;
        source->size = state->before.size() + state->rowBytes + state->after.size();
        source->read = [state](char* data, qint64 size) { return state->read(data, size); };
        return true;
    }

    qint64 find(const QByteArray& key, qint64 after) const
    {
        if (key.isEmpty())
            return -1;
        const std::lock_guard lock(mutex_);
        const qint64 rows = qint64(keyEnds_.size());
        if (rows == 0)
            return -1;
        const auto rowAt = [&](qint64 position) {
            return qint64(std::upper_bound(keyEnds_.begin(), keyEnds_.end(), position) -
                          keyEnds_.begin());
        };
        const qint64 from = after + 1 >= rows || after < 0 ? 0 : keyEnds_[size_t(after)];
        qint64 at = keys_.indexOf(key, from);
        if (at < 0 && from > 0)
            at = keys_.indexOf(key);
        return at < 0 ? -1 : rowAt(at);
    }

private:
    struct WholeRead {
        QByteArray before;
        QByteArray after;
        qint64 rowBytes = 0;
        QFile rows;
        qint64 at = 0;

        qint64 read(char* data, qint64 size)
        {
            const qint64 head = before.size();
            qint64 n = 0;
            if (at < head) {
                n = std::min(size, head - at);
                std::memcpy(data, before.constData() + at, size_t(n));
            } else if (at < head + rowBytes) {
                n = rows.read(data, std::min(size, head + rowBytes - at));
                if (n <= 0)
                    Fail(QStringLiteral("Не удалось прочитать строки страницы"));
            } else if (at < head + rowBytes + after.size()) {
                n = std::min(size, head + rowBytes + after.size() - at);
                std::memcpy(data, after.constData() + (at - head - rowBytes), size_t(n));
            }
            at += n;
            return n;
        }
    };

    bool readRows(qint64 from, qint64 to, QByteArray* html) const
    {
        const qsizetype head = html->size();
        html->resize(head + (to - from));
        for (qint64 done = 0; done < to - from;) {
            const qint64 n = rows_.read(from + done, html->data() + head + done, to - from - done);
            if (n <= 0)
                Fail(QStringLiteral("Не удалось прочитать строки страницы"));
            done += n;
        }
        const std::lock_guard lock(mutex_);
        *html += after_;
        return true;
    }

    // The first window goes to the view as soon as its heading is there: its rows as they come,
    // then the rest of the heading's page once it has them all (worker thread).
    void writeFirst()
    {
        if (firstDone_ || !headed())
            return;
        if (!firstStarted_) {
            first_.write(before_.constData(), before_.size());
            first_.write(kMarkStyle.constData(), kMarkStyle.size());
            firstStarted_ = true;
        }
        if (!firstRows_.isEmpty()) {
            first_.write(firstRows_.constData(), firstRows_.size());
            firstRows_.clear();
            first_.flush();
        }
        if (firstMade_ >= perWindow_ || ended_) {
            first_.write(after_.constData(), after_.size());
            first_.finish();
            firstDone_ = true;
        }
    }

    PageStream& first_;
    mutable PageStream rows_;
    const QString rowsPath_;
    const QString chosen_;
    const qint64 perWindow_;
    // The worker's alone.
    QByteArray firstRows_;
    qint64 firstMade_ = 0;
    bool firstStarted_ = false;
    bool firstDone_ = false;
    bool ended_ = false;
    // Shared with the user-interface thread.
    mutable std::mutex mutex_;
    QByteArray before_;
    QByteArray after_;
    qint64 total_ = 0;
    bool headed_ = false;
    bool complete_ = false;
    qint64 made_ = 0;
    qint64 bytes_ = 0;
    std::vector<qint64> starts_{0}; // where each window's rows begin in the rows file
    QByteArray keys_;
    std::vector<qint64> keyEnds_; // where each row's keys end in keys_
};

QByteArray PageJob::FindKey(const QString& text)
{
    QString key;
    key.reserve(text.size());
    for (const QChar c : text) {
        if (!c.isSpace() && c.unicode() >= 0x20)
            key += c.toLower();
    }
    return key.toUtf8();
}

PageJob::PageJob(const QString& documentPath, const QString& relativeBase, const QString& pagePath,
                 std::function<QString(const QString&)> describe, const QString& chosen,
                 const TransformLimits& limits, const QString& rowsPath, qint64 rowsPerWindow)
    : documentPath_(documentPath), relativeBase_(relativeBase), limits_(limits),
      describe_(std::move(describe)),
      stream_(std::make_shared<PageStream>(pagePath, chosen.isEmpty() ? pagePath : chosen)),
      rowsPerWindow_(std::max<qint64>(1000, rowsPerWindow / 1000 * 1000))
{
    limits_.stop = &stop_;
    if (!rowsPath.isEmpty())
        rows_ = std::make_unique<PagedRows>(*stream_, rowsPath,
                                            chosen.isEmpty() ? rowsPath : chosen, rowsPerWindow_);
}

bool PageJob::windowed() const
{
    return rows_ && rows_->headed();
}

qint64 PageJob::rowCount() const
{
    return rows_ ? rows_->total() : -1;
}

qint64 PageJob::rowsMade() const
{
    return rows_ ? rows_->made() : 0;
}

bool PageJob::windowPage(qint64 window, QByteArray* html) const
{
    return rows_ && rows_->window(window, html);
}

bool PageJob::wholePage(PageSource* page) const
{
    return rows_ && rows_->whole(page);
}

qint64 PageJob::find(const QString& text, qint64 after) const
{
    return rows_ ? rows_->find(FindKey(text), after) : -1;
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

void PageJob::start(std::function<void(const End&)> done)
{
    done_ = std::move(done);
    running_.store(true);
    thread_ = std::thread([this] { run(); });
}

void PageJob::run()
{
    End outcome;
    try {
        stream_->open();
        if (rows_)
            rows_->open();
        // The copy may be a little longer than the file the user chose, which was measured.
        PageSink& sink = rows_ ? static_cast<PageSink&>(*rows_) : *stream_;
        outcome.page = MakeXmlPage(
            documentPath_, relativeBase_, limits_, sink,
            [this](qint64 done, qint64 total) {
                total_bytes_.store(total);
                done_bytes_.store(done);
            },
            kViewerMaxFileBytes + 64 * 1024);
        if (outcome.page.stopped) {
            outcome.outcome = Outcome::Cancelled();
        } else {
            if (rows_)
                rows_->end();
            if (!stream_->complete())
                stream_->finish();
        }
    } catch (const Error& e) {
        outcome.outcome =
            Outcome::Failed(describe_ ? describe_(e.description()) : e.description(), e.number());
    } catch (const std::bad_alloc&) {
        outcome.outcome = Outcome::Failed(
            QStringLiteral("Недостаточно памяти, чтобы показать документ ") + documentPath_);
    } catch (...) {
        // Whatever else the making raised ends this page, not the program (the job's thread has
        // nobody above it to take it).
        outcome.outcome =
            Outcome::Failed(QStringLiteral("Не удалось показать документ ") + documentPath_);
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
