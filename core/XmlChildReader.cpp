#include "core/XmlLoad.h"

#include "core/Error.h"
#include "core/XmlPushParser.h"
#include "core/XmlText.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

namespace varnel {

using xmlparse::AttributeValue;
using xmlparse::kDocumentEmpty;
using xmlparse::LoadState;
using xmlparse::PushParser;
using xmlparse::RawChildren;
using xmltext::FromXml;
using xmltext::Utf8Text;

// A big file's children are parsed on a thread of their own while the reader's thread makes
// texts of the ones before: the parse (the attribute guard, the decoding, the parser) and the
// texts take about as long each. The parse runs a few steps ahead at most; it fails where it
// always would, and the reader raises that failure after the children of the steps before it,
// as it always did.
constexpr qint64 kParseAsideBytes = 2 * 1024 * 1024;
constexpr std::size_t kStepsAhead = 8;

struct XmlChildReader::Impl {
    Impl(const QString& path, const XmlStreamOptions& options)
        : parser(path, PushParser::Mode::Children, {}, options)
    {
    }
    ~Impl()
    {
        if (!worker.joinable())
            return;
        {
            const std::lock_guard lock(mutex);
            stop = true;
        }
        changed.notify_all();
        worker.join();
    }
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    // The parse from the constructor's last step to the end, step after step.
    void parseAside()
    {
        for (;;) {
            RawChildren batch;
            LoadState& state = parser.state();
            state.raw = &batch;
            bool more = false;
            std::exception_ptr failure;
            try {
                more = parser.step();
            } catch (...) {
                // Carried to the reading thread, which raises it again at its next step.
                failure = std::current_exception();
            }
            state.raw = nullptr;
            std::unique_lock lock(mutex);
            if (failure) {
                // The children of the failing step are dropped, as the reader always did.
                this->failure = failure;
                ended = true;
                changed.notify_all();
                return;
            }
            if (!batch.children.empty()) {
                changed.wait(lock, [&] { return stop || ready.size() < kStepsAhead; });
                if (stop)
                    return;
                ready.push_back(std::move(batch));
            }
            if (!more || stop)
                ended = true;
            changed.notify_all();
            if (ended)
                return;
        }
    }

    // The next child the parse aside made, as an XmlElement; false at the end.
    bool nextAside(XmlElement& child)
    {
        for (;;) {
            if (!current.exhausted()) {
                make(child);
                return true;
            }
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return !ready.empty() || ended; });
            if (!ready.empty()) {
                current = std::move(ready.front());
                ready.pop_front();
                changed.notify_all();
                continue;
            }
            if (failure)
                std::rethrow_exception(std::exchange(failure, nullptr));
            return false;
        }
    }

    // The current batch's next child, made as StartElement makes one.
    void make(XmlElement& element)
    {
        LoadState& state = parser.state();
        const RawChildren::Child& c = current.children[current.nextChild++];
        const auto bytes = [&](const RawChildren::Item& item) {
            return reinterpret_cast<const xmlChar*>(current.bytes.data() + item.from);
        };
        element.name = state.name(c.prefix, c.local);
        element.attributes.clear();
        element.attributes.reserve(c.namespaces + c.attributes);
        for (int i = 0; i < c.namespaces; ++i) {
            const RawChildren::Item& item = current.items[current.nextItem++];
            element.attributes.append(
                {item.prefix ? QStringLiteral("xmlns:") + FromXml(item.prefix)
                             : QStringLiteral("xmlns"),
                 item.size == RawChildren::kNull
                     ? QString()
                     : Utf8Text(reinterpret_cast<const char*>(bytes(item)), qsizetype(item.size))});
        }
        for (int i = 0; i < c.attributes; ++i) {
            const RawChildren::Item& item = current.items[current.nextItem++];
            element.attributes.append({state.name(item.prefix, item.local),
                                       AttributeValue(bytes(item), bytes(item) + item.size)});
        }
    }

    PushParser parser;
    std::thread worker;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<RawChildren> ready; // steps parsed aside, not yet taken
    bool ended = false;            // the parse aside is over (ended, failed or stopped)
    bool stop = false;
    std::exception_ptr failure;
    RawChildren current;
};

XmlChildReader::XmlChildReader(const QString& path, const XmlStreamOptions& options)
    : impl_(std::make_unique<Impl>(path, options))
{
    LoadState& state = impl_->parser.state();
    while (!state.rootStarted && impl_->parser.step()) {
    }
    if (!state.rootStarted)
        Fail(XmlLoadErrorText(path, kDocumentEmpty, 1, 1));
}

XmlChildReader::~XmlChildReader() = default;

const XmlElement& XmlChildReader::root() const
{
    return impl_->parser.state().root;
}

bool XmlChildReader::next(XmlElement& child)
{
    LoadState& state = impl_->parser.state();
    if (state.pending.empty() && !impl_->worker.joinable() && !impl_->parser.finished() &&
        impl_->parser.size() > kParseAsideBytes) {
        // A big file: the rest is parsed aside.
        Impl* impl = impl_.get();
        impl->worker = std::thread([impl] { impl->parseAside(); });
    }
    if (impl_->worker.joinable()) {
        if (!state.pending.empty()) {
            child = std::move(state.pending.front());
            state.pending.pop_front();
            return true;
        }
        return impl_->nextAside(child);
    }
    while (state.pending.empty() && impl_->parser.step()) {
    }
    if (state.pending.empty())
        return false;
    child = std::move(state.pending.front());
    state.pending.pop_front();
    return true;
}

} // namespace varnel
