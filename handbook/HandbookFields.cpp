#include "handbook/HandbookFields.h"

#include "core/AtomicSave.h"
#include "core/Error.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace varnel {
namespace {

constexpr char kXmlMarker[] = "<?xml";
constexpr int kXmlMarkerLength = sizeof(kXmlMarker) - 1;
constexpr char kRootMarker[] = "<IssueList ";
constexpr int kRootMarkerLength = sizeof(kRootMarker) - 1;
// Enough of a field's beginning to compare it with either marker.
constexpr int kHeadLength = kRootMarkerLength;

inline bool EndsPlainField(char c)
{
    return c == ',' || c == '\n' || c == '\r';
}

// Finds the ends of unquoted fields in one buffer. The next comma, CR and LF are each looked for
// with memchr and remembered, so every byte is looked at once per character however long the
// fields are (a file of a gigabyte without a line end is one field).
class FieldEnds {
public:
    FieldEnds(const char* end) : end_(end) {}
    // The first byte in [p, end) that ends an unquoted field, or end.
    const char* from(const char* p)
    {
        return std::min({next(comma_, ',', p), next(cr_, '\r', p), next(lf_, '\n', p)});
    }

private:
    const char* next(const char*& cached, char c, const char* p)
    {
        if (cached == nullptr || cached < p) {
            const void* found = std::memchr(p, c, std::size_t(end_ - p));
            cached = found ? static_cast<const char*>(found) : end_;
        }
        return cached;
    }

    const char* end_;
    const char* comma_ = nullptr;
    const char* cr_ = nullptr;
    const char* lf_ = nullptr;
};

constexpr qint64 kReadChunk = 1024 * 1024;

QString ReadFailureText(const QString& path, int error)
{
    return QStringLiteral("Не удалось прочитать файл ") + path + QStringLiteral(":\r\n") +
           SystemErrorText(error);
}

} // namespace

void HandbookFieldReader::examine(bool fieldComplete)
{
    if (fieldExamined_)
        return;
    if (!fieldComplete && headLength_ < kHeadLength)
        return;
    fieldExamined_ = true;
    if (headLength_ >= kXmlMarkerLength && std::memcmp(head_, kXmlMarker, kXmlMarkerLength) == 0)
        xmlSeen_ = true;
    if (headLength_ >= kRootMarkerLength && std::memcmp(head_, kRootMarker, kRootMarkerLength) == 0)
        verdict_ = xmlSeen_ ? Verdict::Handbook : Verdict::NotHandbook;
}

void HandbookFieldReader::endField()
{
    examine(true);
    headLength_ = 0;
    fieldExamined_ = false;
}

HandbookFieldReader::Verdict HandbookFieldReader::feed(const char* data, qsizetype size)
{
    const char* p = data;
    const char* const end = data + size;
    FieldEnds fieldEnds(end);
    while (p < end && verdict_ == Verdict::Undecided) {
        switch (state_) {
        case State::FieldStart: {
            const char c = *p;
            if (c == ' ' || EndsPlainField(c)) {
                // A blank before the field, or an empty field.
                ++p;
            } else if (c == '"') {
                state_ = State::Quoted;
                ++p;
            } else {
                state_ = State::Plain;
            }
            break;
        }
        case State::Plain:
            if (!fieldExamined_) {
                while (p < end && headLength_ < kHeadLength && !EndsPlainField(*p))
                    head_[headLength_++] = *p++;
                if (p < end && EndsPlainField(*p)) {
                    endField();
                    state_ = State::FieldStart;
                    ++p;
                } else {
                    examine(false);
                }
            } else {
                p = fieldEnds.from(p);
                if (p < end) {
                    endField();
                    state_ = State::FieldStart;
                    ++p;
                }
            }
            break;
        case State::Quoted:
            if (!fieldExamined_) {
                while (p < end && headLength_ < kHeadLength && *p != '"')
                    head_[headLength_++] = *p++;
                if (p < end && *p == '"') {
                    endField();
                    state_ = State::AfterQuote;
                    ++p;
                } else {
                    examine(false);
                }
            } else {
                const void* quote = std::memchr(p, '"', std::size_t(end - p));
                if (quote) {
                    endField();
                    state_ = State::AfterQuote;
                    p = static_cast<const char*>(quote) + 1;
                } else {
                    p = end;
                }
            }
            break;
        case State::AfterQuote:
            // What follows the closing quote up to the field's end belongs to no field.
            p = fieldEnds.from(p);
            if (p < end) {
                state_ = State::FieldStart;
                ++p;
            }
            break;
        }
    }
    return verdict_;
}

HandbookFieldReader::Verdict HandbookFieldReader::finish()
{
    if (verdict_ == Verdict::Undecided && (state_ == State::Plain || state_ == State::Quoted))
        endField();
    if (verdict_ == Verdict::Undecided)
        verdict_ = Verdict::NotHandbook;
    return verdict_;
}

bool IsHandbookText(QByteArrayView bytes)
{
    HandbookFieldReader reader;
    reader.feed(bytes.data(), bytes.size());
    return reader.finish() == HandbookFieldReader::Verdict::Handbook;
}

bool IsHandbookFile(const QString& path)
{
    // Plain reads, each returning what is there: a read never waits for more than the marker
    // needs.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        Fail(ReadFailureText(path, errno));
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    HandbookFieldReader reader;
    QByteArray buffer(kReadChunk, Qt::Uninitialized);
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), std::size_t(buffer.size()));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            Fail(ReadFailureText(path, errno));
        }
        if (n == 0)
            break;
        if (reader.feed(buffer.constData(), n) != HandbookFieldReader::Verdict::Undecided)
            break;
    }
    return reader.finish() == HandbookFieldReader::Verdict::Handbook;
}

} // namespace varnel
