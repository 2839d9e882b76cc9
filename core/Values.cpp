#include "core/Values.h"

#include "core/Dialogs.h"
#include "core/Error.h"
#include "core/MessageTexts.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QStandardPaths>

namespace varnel {
namespace {

[[noreturn]] void FailDate(const QString& text)
{
    Fail(FillMessage(
        MessageText(QStringLiteral("C10"), QStringLiteral("(C10) Недопустимый формат даты: %1%")),
        text));
}

// A date part the 16-bit conversion accepts: blanks, an optional sign and decimal digits,
// blanks. Exponents, hexadecimal prefixes, separators and fractions are refused, so a text
// such as 1e1.3.2016 or 5.3.2016.5 never passes for a date.
bool IsWholeNumber(QStringView part)
{
    part = part.trimmed();
    if (part.startsWith(u'+') || part.startsWith(u'-'))
        part = part.mid(1);
    if (part.isEmpty())
        return false;
    for (QChar c : part) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return true;
}

// Converts a part IsWholeNumber accepted to a 16-bit whole number; fails with the overflow
// error beyond -32768..32767.
std::int16_t ToInt16(QStringView part)
{
    part = part.trimmed();
    bool negative = false;
    if (part.startsWith(u'+') || part.startsWith(u'-')) {
        negative = part.startsWith(u'-');
        part = part.mid(1);
    }
    while (part.size() > 1 && part.front() == u'0')
        part = part.mid(1);
    if (part.size() > 5)
        FailOverflow();
    int value = 0;
    for (QChar c : part)
        value = value * 10 + (c.unicode() - u'0');
    if (negative)
        value = -value;
    if (value < -32768 || value > 32767)
        FailOverflow();
    return std::int16_t(value);
}

int DaysInMonth(int year, int month)
{
    switch (month) {
    case 2: return IsLeapYear(std::int16_t(year)) ? 29 : 28;
    case 4:
    case 6:
    case 9:
    case 11: return 30;
    default: return 31;
    }
}

} // namespace

QString GetTagValue(const QString& descriptor, const QString& key)
{
    if (descriptor.isEmpty())
        return QString();
    QString text = descriptor;
    if (!text.endsWith(u';'))
        text += u';';
    const qsizetype p = text.indexOf(key);
    if (p < 0)
        return QString();
    const qsizetype s = text.indexOf(u';', p);
    const qsizetype start = p + key.size();
    if (s > start)
        return text.mid(start, s - start);
    return QString();
}

QDate ParseDate(const QString& text)
{
    QString t = text.trimmed();
    t.replace(u'/', u'.');

    const qsizetype firstDot = t.indexOf(u'.');
    if (firstDot < 0)
        FailDate(text);
    const QStringView dayPart = QStringView(t).left(firstDot);
    if (!IsWholeNumber(dayPart))
        FailDate(text);

    const QStringView rest = QStringView(t).mid(firstDot + 1);
    const qsizetype secondDot = rest.indexOf(u'.');
    if (secondDot < 0)
        FailDate(text);
    const QStringView monthPart = rest.left(secondDot);
    if (!IsWholeNumber(monthPart))
        FailDate(text);

    const QStringView yearPart = rest.mid(secondDot + 1);
    if (!IsWholeNumber(yearPart))
        FailDate(text);

    const int day = ToInt16(dayPart);
    const int month = ToInt16(monthPart);
    int year = ToInt16(yearPart);

    // A year typed with a sign names no date of a deal; nor does one past 9999, which the
    // message form yyyy-mm-dd cannot carry.
    if (year < 0)
        FailDate(text);
    if (year < 1000) // fewer than four digits
        year += 2000;
    if (year > 9999)
        FailDate(text);

    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
        FailDate(text);
    return QDate(year, month, day);
}

bool IsLeapYear(std::int16_t year)
{
    if (year % 100 == 0 && year % 400 != 0)
        return false;
    return year % 4 == 0;
}

QString FormatIsoDate(const QDate& date)
{
    if (!date.isValid())
        return QString();
    return QStringLiteral("%1-%2-%3")
        .arg(date.year())
        .arg(date.month(), 2, 10, QLatin1Char('0'))
        .arg(date.day(), 2, 10, QLatin1Char('0'));
}

QString IsoToDisplayDate(const QString& iso)
{
    // Characters of yyyy-mm-dd, a short text taken as filled with blanks to ten.
    const auto at = [&iso](qsizetype i) { return i < iso.size() ? iso.at(i) : QChar(u' '); };
    const QChar shown[10] = {at(8), at(9), u'.', at(5), at(6), u'.', at(0), at(1), at(2), at(3)};
    return QString(shown, 10);
}

namespace {
thread_local const QString* t_heldSeparator = nullptr;
} // namespace

DecimalSeparatorHold::DecimalSeparatorHold()
    : separator_(SystemDecimalSeparator()), previous_(t_heldSeparator)
{
    t_heldSeparator = &separator_;
}

DecimalSeparatorHold::~DecimalSeparatorHold()
{
    t_heldSeparator = previous_;
}

QString SystemDecimalSeparator()
{
    if (t_heldSeparator)
        return *t_heldSeparator;
    bool ok = false;
    QLocale().toDouble(u"1.00", &ok);
    return ok ? QStringLiteral(".") : QStringLiteral(",");
}

QString DecimalSeparatorOf(const QString& number)
{
    if (number.contains(u'.'))
        return QStringLiteral(".");
    if (number.contains(u','))
        return QStringLiteral(",");
    return SystemDecimalSeparator();
}

bool NeedsXmlEscaping(QStringView text)
{
    for (const QChar c : text) {
        if (XmlAttributeEntity(c.unicode()))
            return true;
    }
    return false;
}

QString EscapeXmlAttribute(const QString& value)
{
    if (!NeedsXmlEscaping(value))
        return value;
    // One pass: an entity written is never looked at again, which is what replacing "&"
    // first achieves.
    QString s;
    s.reserve(value.size() + 16);
    for (const QChar c : value) {
        if (const char* entity = XmlAttributeEntity(c.unicode()))
            s += QLatin1String(entity);
        else
            s += c;
    }
    return s;
}

QString GetFileExtension(const QString& path)
{
    const QString t = TrimSpaces(path);
    const qsizetype p = t.lastIndexOf(u'.');
    if (p >= 0 && p < t.size() - 1)
        return t.mid(p + 1);
    return QString();
}

QString JoinPath(const QString& folder, const QString& name)
{
    if (folder.isEmpty())
        return name;
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

QString BrowseForFolder(QWidget* owner, const QString& title)
{
    return BrowseForFolder(owner, title, QString());
}

QString BrowseForFolder(QWidget* owner, const QString& title, const QString& startFolder)
{
    QString start = startFolder;
    if (start.isEmpty() || !QFileInfo(start).isDir()) {
        // The desktop, as the folder browser is rooted there; a desktop without its folder
        // (many a Linux account has none) would open the home folder with "Desktop" typed in.
        start = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
        if (!QFileInfo(start).isDir())
            start = QDir::homePath();
    }
    return Dialogs::ChooseFolder(owner, title, start);
}

} // namespace varnel
