#include "core/PrivateProfile.h"

#include "core/AtomicSave.h"
#include "core/Values.h"
#include "core/Windows1251.h"
#include "filesave/ReplacingFile.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <climits>
#include <cstring>

namespace varnel::PrivateProfile {
namespace {

constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\x1A';
}

bool IsBlank(QChar c)
{
    return c.unicode() < 0x80 && IsBlank(char(c.unicode()));
}

// A range of bytes of the file.
struct Span {
    const char* b = nullptr;
    const char* e = nullptr;
    bool empty() const { return b >= e; }
    qsizetype size() const { return e - b; }
};

Span Trim(Span s)
{
    while (s.b < s.e && IsBlank(*s.b))
        ++s.b;
    while (s.e > s.b && IsBlank(s.e[-1]))
        --s.e;
    return s;
}

QString TrimBlanks(const QString& s)
{
    return TrimWhere(s, [](QChar c) { return IsBlank(c); });
}

// The bytes of a file and their encoding.
struct Text {
    QByteArray bytes;
    bool utf8 = false;
    const char* begin() const { return bytes.constData() + (utf8 ? 3 : 0); }
    const char* end() const { return bytes.constData() + bytes.size(); }

    QString Decode(Span s) const
    {
        if (utf8) {
            // QString::fromUtf8 would drop U+FEFF at the start of a value.
            qsizetype marks = 0;
            while (s.size() - 3 * marks >= 3 && std::memcmp(s.b + 3 * marks, kUtf8Bom, 3) == 0)
                ++marks;
            return QString(marks, QChar(0xFEFF)) +
                   QString::fromUtf8(s.b + 3 * marks, s.size() - 3 * marks);
        }
        return FromWindows1251(QByteArrayView(s.b, s.size()));
    }

    QByteArray Encode(const QString& s) const { return utf8 ? s.toUtf8() : ToWindows1251(s, '?'); }
};

enum class Load { Missing, Unreadable, Ok };

Load ReadText(const QString& file, Text& text, QString* reason = nullptr)
{
    // A device or a pipe is no settings file: reading one might never end.
    const QFileInfo info(file);
    if (info.exists() && !info.isFile()) {
        if (reason)
            *reason =
                info.isDir() ? SystemErrorText(EISDIR) : SystemErrorText(filesave::kNotRegularFile);
        return Load::Unreadable;
    }
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        if (reason)
            *reason = f.errorString();
        return f.exists() ? Load::Unreadable : Load::Missing;
    }
    text.bytes = f.readAll();
    if (f.error() != QFileDevice::NoError) {
        if (reason)
            *reason = f.errorString();
        return Load::Unreadable;
    }
    text.utf8 = text.bytes.startsWith(kUtf8Bom);
    return Load::Ok;
}

// A section or key name as asked for, prepared for comparing with the names in the file.
struct Name {
    QString folded;   // blanks dropped, case folded
    QByteArray ascii; // the same when it is all ASCII, else empty
    bool isAscii = true;

    explicit Name(const QString& name) : folded(TrimBlanks(name).toCaseFolded())
    {
        for (QChar c : std::as_const(folded)) {
            if (c.unicode() >= 0x80) {
                isAscii = false;
                return;
            }
        }
        ascii = folded.toLatin1();
    }

    bool Matches(const Text& text, Span s) const
    {
        if (s.empty() || folded.isEmpty())
            return false;
        bool allAscii = true;
        for (const char* p = s.b; p < s.e; ++p) {
            if (static_cast<unsigned char>(*p) >= 0x80) {
                allAscii = false;
                break;
            }
        }
        if (allAscii) {
            if (!isAscii || s.size() != ascii.size())
                return false;
            const char* q = ascii.constData();
            for (const char* p = s.b; p < s.e; ++p, ++q) {
                char c = *p;
                if (c >= 'A' && c <= 'Z')
                    c = char(c - 'A' + 'a');
                if (c != *q)
                    return false;
            }
            return true;
        }
        if (isAscii)
            return false;
        return text.Decode(s).toCaseFolded() == folded;
    }
};

// One line of the file: its text without the line break, and where the next line starts.
struct Line {
    Span text;
    const char* next = nullptr;
    bool terminated = false;
};

Line NextLine(const char* p, const char* end)
{
    Line line;
    line.text.b = p;
    const auto* lf = static_cast<const char*>(std::memchr(p, '\n', end - p));
    const char* limit = lf ? lf : end;
    const auto* cr = static_cast<const char*>(std::memchr(p, '\r', limit - p));
    if (cr) {
        line.text.e = cr;
        line.next = (cr + 1 == lf) ? lf + 1 : cr + 1;
        line.terminated = true;
    } else if (lf) {
        line.text.e = lf;
        line.next = lf + 1;
        line.terminated = true;
    } else {
        line.text.e = end;
        line.next = end;
    }
    return line;
}

// The name of a section header line (blanks dropped), or false when the line is none.
bool SectionHeader(Span trimmed, Span& name)
{
    if (trimmed.empty() || *trimmed.b != '[')
        return false;
    const char* close = trimmed.e;
    while (close > trimmed.b + 1 && close[-1] != ']')
        --close;
    if (close <= trimmed.b + 1)
        return false;
    name = Trim(Span{trimmed.b + 1, close - 1});
    return true;
}

// The name and value of a key line (blanks dropped), or false when the line holds no "=".
bool KeyLine(Span trimmed, Span& name, Span& value)
{
    const auto* eq = static_cast<const char*>(std::memchr(trimmed.b, '=', trimmed.size()));
    if (!eq)
        return false;
    name = Trim(Span{trimmed.b, eq});
    value = Trim(Span{eq + 1, trimmed.e});
    return true;
}

// What a search of the file found.
struct Place {
    bool section = false; // the section exists
    bool key = false;     // the key exists in its first occurrence
    Span keyName;         // the key's name as the file spells it
    Span value;           // its value, blanks dropped
    const char* lineStart = nullptr;
    const char* lineNext = nullptr; // after the key line's break
    const char* insertAt = nullptr; // after the last key line (or the header) of the section
    bool insertTerminated = true;   // whether the line before insertAt ends with a break
};

// Looks for key in the first occurrence of section. Reads stop at the key; writes (complete)
// go on to the end of the section to learn where a new key belongs.
Place Find(const Text& text, const Name& section, const Name& key, bool complete)
{
    Place place;
    const char* end = text.end();
    bool inside = false;
    for (const char* p = text.begin(); p < end;) {
        const Line line = NextLine(p, end);
        p = line.next;
        const Span trimmed = Trim(line.text);
        if (trimmed.empty())
            continue;
        Span name;
        if (SectionHeader(trimmed, name)) {
            if (inside)
                break;
            if (section.Matches(text, name)) {
                inside = true;
                place.section = true;
                place.insertAt = line.next;
                place.insertTerminated = line.terminated;
            }
            continue;
        }
        if (!inside)
            continue;
        Span value;
        if (!KeyLine(trimmed, name, value))
            continue;
        place.insertAt = line.next;
        place.insertTerminated = line.terminated;
        if (!place.key && key.Matches(text, name)) {
            place.key = true;
            place.keyName = name;
            place.value = value;
            place.lineStart = line.text.b;
            place.lineNext = line.next;
            if (!complete)
                break;
        }
    }
    return place;
}

// The value as the platform hands it back: up to its first NUL, without enclosing quotes.
Span StoredValue(Span value)
{
    if (const auto* nul = static_cast<const char*>(std::memchr(value.b, '\0', value.size())))
        value.e = nul;
    if (value.size() >= 2 && (*value.b == '"' || *value.b == '\'') && value.e[-1] == *value.b) {
        ++value.b;
        --value.e;
    }
    return value;
}

bool ValidName(const QString& name)
{
    return !name.isEmpty() && !name.contains(u'\r') && !name.contains(u'\n') &&
           !name.contains(QChar(0));
}

// The value as one line, ending at its first NUL: a line break inside it would end the key's
// line, and what follows would be read back as other keys or sections.
QString OneLine(const QString& value)
{
    QString v = value;
    if (const qsizetype nul = v.indexOf(QChar(0)); nul >= 0)
        v.truncate(nul);
    v.replace(QLatin1String("\r\n"), QLatin1String(" "));
    v.replace(u'\r', u' ');
    v.replace(u'\n', u' ');
    return v;
}

} // namespace

QString GetString(const QString& file, const QString& section, const QString& key,
                  const QString& def, int bufferSize, bool* found)
{
    if (found)
        *found = false;
    const int maxChars = bufferSize - 2;
    if (maxChars < 1)
        return def;
    Text text;
    if (ReadText(file, text) != Load::Ok)
        return def;
    const Name sectionName(section);
    const Name keyName(key);
    const Place place = Find(text, sectionName, keyName, false);
    if (!place.key)
        return def;
    const Span value = StoredValue(place.value);
    if (value.empty())
        return def;
    QString result = text.Decode(value);
    if (result.size() > maxChars) {
        qsizetype cut = maxChars;
        if (result.at(cut - 1).isHighSurrogate())
            --cut;
        result.truncate(cut);
    }
    if (found)
        *found = true;
    return result;
}

int GetInt(const QString& file, const QString& section, const QString& key, int def)
{
    bool found = false;
    // GetPrivateProfileInt looks at no more than the first 29 characters of the value.
    const QString value = GetString(file, section, key, QString(), 31, &found);
    if (!found)
        return def;
    // The leading decimal digits of the value; no sign and no other base. A value that does
    // not start with a digit reads as 0.
    qint64 result = 0;
    for (const QChar ch : value) {
        const char16_t c = ch.unicode();
        if (c < u'0' || c > u'9')
            break;
        result = result * 10 + (c - u'0');
        // Windows lets such a number wrap round; a value this size is none that was meant.
        if (result > INT_MAX)
            return 0;
    }
    return int(result);
}

Outcome WriteString(const QString& file, const QString& section, const QString& key,
                    const QString& value)
{
    const auto refuse = [&](const QString& reason) {
        return Outcome::Failed(FileWriteErrorText(file, reason));
    };
    const QString sectionText = TrimBlanks(section);
    const QString keyText = TrimBlanks(key);
    if (!ValidName(sectionText) || !ValidName(keyText) || keyText.contains(u'=') ||
        keyText.startsWith(u'['))
        return refuse(SystemErrorText(EINVAL));

    Text text;
    QString reason;
    const QFileInfo info(file);
    switch (ReadText(file, text, &reason)) {
    case Load::Unreadable:
        // Its other lines would be lost: a file that cannot be read is never replaced.
        return refuse(reason);
    case Load::Missing:
        if (info.isSymLink())
            return refuse(SystemErrorText(ENOENT));
        if (info.exists())
            return refuse(SystemErrorText(filesave::kNotRegularFile));
        break;
    case Load::Ok:
        if (!info.isFile())
            return refuse(SystemErrorText(filesave::kNotRegularFile));
        if (!(info.permissions() & QFileDevice::WriteOwner))
            return refuse(SystemErrorText(EACCES));
        break;
    }

    const Place place = Find(text, Name(sectionText), Name(keyText), true);
    const QByteArray encodedValue = text.Encode(OneLine(value));
    const qsizetype origin = text.begin() - text.bytes.constData();
    QByteArray out;
    out.reserve(text.bytes.size() + encodedValue.size() + keyText.size() + sectionText.size() + 16);
    if (place.key) {
        const qsizetype start = place.lineStart - text.bytes.constData();
        const qsizetype next = place.lineNext - text.bytes.constData();
        out.append(text.bytes.constData(), start);
        out.append(place.keyName.b, place.keyName.size());
        out.append('=');
        out.append(encodedValue);
        out.append("\r\n");
        out.append(text.bytes.constData() + next, text.bytes.size() - next);
    } else if (place.section) {
        const qsizetype at = place.insertAt - text.bytes.constData();
        out.append(text.bytes.constData(), at);
        if (!place.insertTerminated)
            out.append("\r\n");
        out.append(text.Encode(keyText));
        out.append('=');
        out.append(encodedValue);
        out.append("\r\n");
        out.append(text.bytes.constData() + at, text.bytes.size() - at);
    } else {
        out.append(text.bytes);
        if (text.bytes.size() > origin && !text.bytes.endsWith('\n') && !text.bytes.endsWith('\r'))
            out.append("\r\n");
        out.append('[');
        out.append(text.Encode(sectionText));
        out.append("]\r\n");
        out.append(text.Encode(keyText));
        out.append('=');
        out.append(encodedValue);
        out.append("\r\n");
    }

    const filesave::Failure saved = filesave::SaveFile(file, out.constData(), out.size());
    if (saved)
        return Outcome::Failed(FileSaveErrorText(file, saved));
    return Outcome::Done();
}

} // namespace varnel::PrivateProfile
