#include "tables/CsvReader.h"

#include "core/Windows1251.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

namespace varnel::tables {
namespace {

constexpr qint64 kPiece = 256 * 1024;

bool startsWith(const QByteArray& bytes, const char* prefix, qsizetype size)
{
    return bytes.size() >= size && std::equal(prefix, prefix + size, bytes.constData());
}

// Checks UTF-8 a piece at a time, a sequence cut between pieces included: whether every
// sequence is valid (no overlong forms, no surrogates, nothing beyond U+10FFFF) and whether
// any byte lies beyond ASCII.
class Utf8Check {
public:
    void feed(const unsigned char* p, qint64 n)
    {
        for (qint64 i = 0; i < n && valid_; ++i) {
            const unsigned char b = p[i];
            if (need_ == 0) {
                if (b < 0x80)
                    continue;
                beyondAscii_ = true;
                if (b >= 0xC2 && b <= 0xDF) {
                    need_ = 1;
                    low_ = 0x80, high_ = 0xBF;
                } else if (b >= 0xE0 && b <= 0xEF) {
                    need_ = 2;
                    low_ = b == 0xE0 ? 0xA0 : 0x80;
                    high_ = b == 0xED ? 0x9F : 0xBF;
                } else if (b >= 0xF0 && b <= 0xF4) {
                    need_ = 3;
                    low_ = b == 0xF0 ? 0x90 : 0x80;
                    high_ = b == 0xF4 ? 0x8F : 0xBF;
                } else {
                    valid_ = false;
                }
                continue;
            }
            if (b < low_ || b > high_) {
                valid_ = false;
                continue;
            }
            low_ = 0x80, high_ = 0xBF;
            --need_;
        }
    }
    bool valid() const { return valid_ && need_ == 0; }
    bool beyondAscii() const { return beyondAscii_; }

private:
    int need_ = 0;
    unsigned char low_ = 0x80, high_ = 0xBF;
    bool valid_ = true;
    bool beyondAscii_ = false;
};

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == QChar(0xA0);
}

bool allBlank(const QStringList& cells)
{
    for (const QString& cell : cells) {
        for (const QChar c : cell) {
            if (!isBlank(c))
                return false;
        }
    }
    return true;
}

} // namespace

bool StartsLikeFormula(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && text.at(i) == u'\'')
        ++i;
    if (i == text.size())
        return false;
    const QChar c = text.at(i);
    return c == u'=' || c == u'+' || c == u'-' || c == u'@' || c == u'\t' || c == u'\r';
}

CsvReader::CsvReader(std::unique_ptr<SourceFile> file, const TableLimits& limits)
    : file_(std::move(file)), limits_(limits)
{
    detectEncoding();
    file_->rewind();
    if (skip_ > 0) {
        char bom[4];
        file_->read(bom, skip_);
        done_ = skip_;
    }
    if (encoding_ != Encoding::Windows1251) {
        const auto which = encoding_ == Encoding::Utf8      ? QStringConverter::Utf8
                           : encoding_ == Encoding::Utf16LE ? QStringConverter::Utf16LE
                                                            : QStringConverter::Utf16BE;
        decoder_ = QStringDecoder(which);
    }
    detectSeparator();
}

CsvReader::~CsvReader() = default;

QString CsvReader::description() const
{
    static const std::array<const char*, 4> names{"UTF-8", "UTF-16LE", "UTF-16BE", "Windows-1251"};
    const QString separator = separator_ == u'\t' ? QStringLiteral("Tab") : QString(separator_);
    return QStringLiteral("CSV (") + QString::fromLatin1(names[size_t(encoding_)]) +
           QStringLiteral(", «") + separator + QStringLiteral("»)");
}

void CsvReader::detectEncoding()
{
    const QByteArray head = file_->readAt(0, 4);
    struct Candidate {
        Encoding encoding;
        qint64 skip;
    };
    std::optional<Candidate> marked;
    if (startsWith(head, "\xEF\xBB\xBF", 3))
        marked = Candidate{Encoding::Utf8, 3};
    else if (startsWith(head, "\xFF\xFE", 2))
        marked = Candidate{Encoding::Utf16LE, 2};
    else if (startsWith(head, "\xFE\xFF", 2))
        marked = Candidate{Encoding::Utf16BE, 2};

    // One pass over the whole file: does it decode as its mark says, is it UTF-8, is it text.
    std::optional<QStringDecoder> utf16;
    if (marked && marked->encoding != Encoding::Utf8)
        utf16.emplace(marked->encoding == Encoding::Utf16LE ? QStringConverter::Utf16LE
                                                            : QStringConverter::Utf16BE);
    Utf8Check utf8;
    bool nul = false;
    bool nulChar = false;
    QByteArray piece(kPiece, Qt::Uninitialized);
    qint64 offset = 0;
    for (;;) {
        const qint64 n = file_->read(piece.data(), kPiece);
        if (n == 0)
            break;
        const auto* bytes = reinterpret_cast<const unsigned char*>(piece.constData());
        const qint64 from = offset == 0 && marked ? std::min(marked->skip, n) : 0;
        if (utf16) {
            const QString text = (*utf16)(QByteArrayView(piece.constData() + from, n - from));
            nulChar = nulChar || text.contains(QChar(0));
        } else {
            utf8.feed(bytes + from, n - from);
            nul = nul || std::memchr(bytes + from, 0, size_t(n - from)) != nullptr;
        }
        offset += n;
    }
    if (utf16 && !utf16->hasError()) {
        if (nulChar)
            file_->fail(QStringLiteral("в файле есть нулевые знаки: это не текст CSV"));
        encoding_ = marked->encoding;
        skip_ = marked->skip;
        return;
    }
    if (utf16) {
        // Not the UTF-16 the mark promised: the bytes as a file without a mark.
        file_->rewind();
        utf8 = Utf8Check();
        nul = false;
        for (;;) {
            const qint64 n = file_->read(piece.data(), kPiece);
            if (n == 0)
                break;
            const auto* bytes = reinterpret_cast<const unsigned char*>(piece.constData());
            utf8.feed(bytes, n);
            nul = nul || std::memchr(bytes, 0, size_t(n)) != nullptr;
        }
        marked.reset();
    }
    if (nul)
        file_->fail(QStringLiteral("в файле есть нулевые байты: это не текст CSV"));
    if (marked && utf8.valid()) {
        encoding_ = Encoding::Utf8;
        skip_ = marked->skip;
    } else if (!marked && utf8.valid() && utf8.beyondAscii()) {
        encoding_ = Encoding::Utf8;
    } else {
        encoding_ = Encoding::Windows1251;
    }
}

bool CsvReader::fill()
{
    if (atEnd_)
        return false;
    QByteArray piece(kPiece, Qt::Uninitialized);
    const qint64 n = file_->read(piece.data(), kPiece);
    if (n == 0) {
        atEnd_ = true;
        return false;
    }
    done_ += n;
    // What the buffer has used goes, so that it holds no more than a row and a piece.
    if (at_ > 0) {
        buffer_.remove(0, at_);
        at_ = 0;
    }
    const QByteArrayView bytes(piece.constData(), n);
    if (encoding_ == Encoding::Windows1251)
        buffer_ += FromWindows1251(bytes);
    else
        buffer_ += decoder_(bytes);
    return true;
}

void CsvReader::detectSeparator()
{
    // The title row as far as its end outside quotes: the separator it uses most.
    int semicolons = 0, tabs = 0, commas = 0;
    bool quoted = false;
    bool started = false; // past the blank lines before the title row
    for (qsizetype i = at_;; ++i) {
        if (i >= buffer_.size()) {
            // Nothing is used yet (at_ is 0), so the buffer only grows here.
            if (i > limits_.recordChars || !fill())
                break;
            --i;
            continue;
        }
        const QChar c = buffer_.at(i);
        if (c == u'"') {
            quoted = !quoted;
            started = true;
        } else if (!quoted && (c == u'\n' || c == u'\r')) {
            if (started)
                break;
        } else if (!quoted) {
            if (!started && c == u'<')
                file_->fail(QStringLiteral("это документ XML или HTML, а не CSV: загружаются "
                                           "книги .xlsx и файлы CSV"));
            started = started || !isBlank(c);
            semicolons += c == u';';
            tabs += c == u'\t';
            commas += c == u',';
        }
    }
    if (semicolons >= tabs && semicolons >= commas && semicolons > 0)
        separator_ = u';';
    else if (tabs >= commas && tabs > 0)
        separator_ = u'\t';
    else if (commas > 0)
        separator_ = u',';
}

void CsvReader::failRow(const QString& reason, int row) const
{
    file_->fail(QStringLiteral("строка ") + QString::number(row) + QStringLiteral(": ") + reason);
}

bool CsvReader::readRow(QStringList& cells)
{
    cells.clear();
    QString cell;
    qint64 rowChars = 0;
    const int number = rows_ + 1;
    enum class State { FieldStart, Plain, Quoted, QuoteInQuoted } state = State::FieldStart;
    const auto tooLong = [&] {
        failRow(QStringLiteral("в ячейке больше ") + QString::number(limits_.cellChars) +
                    QStringLiteral(" знаков"),
                number);
    };
    const auto endCell = [&] {
        if (cells.size() >= limits_.columns)
            failRow(QStringLiteral("больше ") + QString::number(limits_.columns) +
                        QStringLiteral(" столбцов"),
                    number);
        if (cell.startsWith(u'\'') && StartsLikeFormula(cell))
            cell.remove(0, 1);
        if (cell.size() > limits_.cellChars)
            tooLong();
        cells.append(cell);
        cell.clear();
    };
    for (;;) {
        if (at_ >= buffer_.size() && !fill()) {
            if (state == State::Quoted)
                failRow(QStringLiteral("кавычка в начале ячейки не закрыта до конца файла"),
                        number);
            if (cells.isEmpty() && cell.isEmpty() && state == State::FieldStart && rowChars == 0)
                return false;
            endCell();
            return true;
        }
        // A run of characters that only go into the cell is taken at once: as far as the next
        // character that means something in the state the cell is in, and never past a limit,
        // so that a limit is found at the very character it always was.
        if (state != State::QuoteInQuoted) {
            const bool quoted = state == State::Quoted;
            const char16_t* p = reinterpret_cast<const char16_t*>(buffer_.constData());
            const qsizetype end = buffer_.size();
            const char16_t separator = separator_.unicode();
            qsizetype to = at_;
            if (quoted) {
                while (to < end && p[to] != u'"')
                    ++to;
            } else if (!(state == State::FieldStart && p[to] == u'"')) {
                while (to < end && p[to] != separator && p[to] != u'\n' && p[to] != u'\r')
                    ++to;
            }
            const qint64 run = std::min({qint64(to - at_), limits_.recordChars - rowChars,
                                         qint64(limits_.cellChars) + 1 - qint64(cell.size())});
            if (run > 0) {
                cell.append(buffer_.constData() + at_, qsizetype(run));
                at_ += run;
                rowChars += run;
                if (!quoted)
                    state = State::Plain;
                continue;
            }
        }
        const QChar c = buffer_.at(at_++);
        if (++rowChars > limits_.recordChars)
            failRow(QStringLiteral("строка длиннее ") + QString::number(limits_.recordChars) +
                        QStringLiteral(" знаков"),
                    number);
        switch (state) {
        case State::Quoted:
            if (c == u'"')
                state = State::QuoteInQuoted;
            else
                cell.append(c);
            break;
        case State::QuoteInQuoted:
            if (c == u'"') {
                cell.append(c);
                state = State::Quoted;
                break;
            }
            state = State::Plain;
            [[fallthrough]];
        case State::FieldStart:
        case State::Plain:
            if (c == u'"' && state == State::FieldStart) {
                state = State::Quoted;
            } else if (c == separator_) {
                endCell();
                state = State::FieldStart;
            } else if (c == u'\n' || c == u'\r') {
                if (c == u'\r') {
                    if (at_ >= buffer_.size())
                        fill();
                    if (at_ < buffer_.size() && buffer_.at(at_) == u'\n')
                        ++at_;
                }
                endCell();
                return true;
            } else {
                cell.append(c);
                state = State::Plain;
            }
            break;
        }
        // One character more for the apostrophe the writer may have put in front.
        if (cell.size() > limits_.cellChars + 1)
            tooLong();
    }
}

bool CsvReader::next(TableRecord& record)
{
    if (finished_)
        return false;
    QStringList cells;
    cells.reserve(lastCells_);
    for (;;) {
        if (!readRow(cells)) {
            finished_ = true;
            file_->checkUnchanged();
            return false;
        }
        ++rows_;
        if (!allBlank(cells))
            break;
    }
    if (records_ >= limits_.records)
        file_->fail(QStringLiteral("больше ") + QString::number(limits_.records) +
                    QStringLiteral(" строк"));
    ++records_;
    lastCells_ = cells.size();
    record.number = rows_;
    record.cells = std::move(cells);
    return true;
}

} // namespace varnel::tables
