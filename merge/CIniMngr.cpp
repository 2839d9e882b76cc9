#include "CIniMngr.h"

namespace varnel {

namespace {

// Case folding covers Latin and Cyrillic letters alike (Ё and ё included).
QString Fold(const QString& name)
{
    return name.toCaseFolded();
}

QString CombinedKey(const QString& section, const QString& name)
{
    return u'[' + section + u']' + name;
}

bool IsAsciiLetterOrDigit(char16_t ch)
{
    return (ch >= u'a' && ch <= u'z') || (ch >= u'A' && ch <= u'Z') || (ch >= u'0' && ch <= u'9');
}

// A line quoted in an error text; a whole file read as one line is cut short.
QString Quoted(const QString& line)
{
    constexpr qsizetype kShown = 80;
    if (line.size() <= kShown)
        return u'«' + line + u'»';
    return u'«' + line.left(kShown) + QStringLiteral("…»");
}

[[noreturn]] void BadLine(const QString& line, const QString& reason)
{
    throw IniError(kIniErrSubscript,
                   QStringLiteral("Неверная строка %1: %2").arg(Quoted(line), reason));
}

} // namespace

IniLineRecord ParseIniLine(const QString& line)
{
    const qsizetype n = line.size();
    qsizetype i = 0;
    while (i < n && line[i] == u' ')
        ++i;
    if (i == n)
        return {IniLineKind::Other, {}, line};

    const char16_t first = line[i].unicode();
    if (first == u';' || first == u'#')
        return {IniLineKind::Other, {}, line};

    if (first == u'[') {
        const qsizetype close = line.indexOf(u']', i + 1);
        if (close < 0)
            return {IniLineKind::Header, line.mid(i + 1), {}};
        for (qsizetype j = close + 1; j < n; ++j) {
            if (line[j] != u' ')
                BadLine(line, QStringLiteral("после «]» допустимы только пробелы"));
        }
        return {IniLineKind::Header, line.mid(i + 1, close - i - 1), {}};
    }

    if (!IsAsciiLetterOrDigit(first) && first != u'_')
        BadLine(line,
                QStringLiteral("имя ключа должно начинаться с латинской буквы, цифры или «_»"));

    for (qsizetype j = i + 1; j < n; ++j) {
        const char16_t ch = line[j].unicode();
        if (ch == u'=')
            return {IniLineKind::Key, line.mid(i, j - i), line.mid(j + 1)};
        if (ch == u' ') {
            const qsizetype eq = line.indexOf(u'=', j + 1);
            if (eq < 0)
                BadLine(line, QStringLiteral("нет знака «=»"));
            return {IniLineKind::Key, line.mid(i, j - i), line.mid(eq + 1)};
        }
        if (!IsAsciiLetterOrDigit(ch) && ch < u'_')
            BadLine(line, QStringLiteral("недопустимый символ «%1» в имени ключа").arg(QChar(ch)));
    }
    BadLine(line, QStringLiteral("нет знака «=»"));
}

QString FormatIniLine(const IniLineRecord& record)
{
    switch (record.kind) {
    case IniLineKind::Header: return u'[' + record.name + u']';
    case IniLineKind::Key: return record.name + u'=' + record.value;
    case IniLineKind::Other: break;
    }
    return record.value;
}

QString IniValueMap::value(const QString& key) const
{
    const auto it = index_.constFind(key);
    return it == index_.cend() ? QString() : values_.at(*it);
}

void IniValueMap::insert(const QString& key, const QString& value)
{
    if (index_.contains(key))
        throw IniError(kIniErrDuplicate, QStringLiteral("Ключ %1 уже задан").arg(key));
    index_.insert(key, keys_.size());
    keys_.append(key);
    values_.append(value);
}

int CIniMngr::KeyRecord(const QString& bstKey_I) const
{
    return keyIndex_.value(Fold(bstKey_I), -1);
}

int CIniMngr::KeyRecord(const QString& section, const QString& name) const
{
    const auto sec = sectionTable_.constFind(Fold(section));
    if (sec == sectionTable_.cend())
        return -1;
    return sections_[static_cast<std::size_t>(*sec)].keys.value(Fold(name), -1);
}

QString CIniMngr::Value(const QString& bstKey_I) const
{
    const int index = KeyRecord(bstKey_I);
    if (index < 0)
        throw IniError(kIniErrSubscript, QStringLiteral("Нет ключа %1").arg(bstKey_I));
    return records_[static_cast<std::size_t>(index)].line.value;
}

void CIniMngr::Value(const QString& bstKey_I, const QString& bstValueNew_I)
{
    const int index = KeyRecord(bstKey_I);
    if (index < 0)
        throw IniError(kIniErrSubscript, QStringLiteral("Нет ключа %1").arg(bstKey_I));
    records_[static_cast<std::size_t>(index)].line.value = bstValueNew_I;
}

QString CIniMngr::ValueGet(const QString& bstSectionName_I, const QString& bstParamName_I) const
{
    const int index = KeyRecord(bstSectionName_I, bstParamName_I);
    if (index < 0)
        throw IniError(
            kIniErrInvalidArgument,
            QStringLiteral("Нет ключа «%2» в секции «%1»").arg(bstSectionName_I, bstParamName_I));
    return records_[static_cast<std::size_t>(index)].line.value;
}

void CIniMngr::ValueLet(const QString& bstSectionName_I, const QString& bstParamName_I,
                        const QString& bstValue_I)
{
    const int index = KeyRecord(bstSectionName_I, bstParamName_I);
    if (index < 0)
        throw IniError(
            kIniErrInvalidArgument,
            QStringLiteral("Нет ключа «%2» в секции «%1»").arg(bstSectionName_I, bstParamName_I));
    records_[static_cast<std::size_t>(index)].line.value = bstValue_I;
}

int CIniMngr::EnterSection(const QString& foldedName)
{
    const int index = static_cast<int>(sections_.size());
    sections_.emplace_back();
    sectionTable_.insert(foldedName, index);
    return index;
}

int CIniMngr::AppendRecord(Record record)
{
    const int index = static_cast<int>(records_.size());
    records_.push_back(std::move(record));
    if (last_ < 0)
        first_ = index;
    else
        records_[static_cast<std::size_t>(last_)].next = index;
    last_ = index;
    return index;
}

void CIniMngr::LinkAfter(int after, int index)
{
    Record& before = records_[static_cast<std::size_t>(after)];
    records_[static_cast<std::size_t>(index)].next = before.next;
    before.next = index;
    if (last_ == after)
        last_ = index;
}

void CIniMngr::ValueAdd(const QString& bstSectionName_I, const QString& bstParamName_I,
                        const QString& bstValue_I)
{
    const QString foldedSection = Fold(bstSectionName_I);
    const QString foldedKey = Fold(bstParamName_I);
    const QString foldedCombined = CombinedKey(foldedSection, foldedKey);

    int header = -1;
    int section = -1;
    const auto known = headerTable_.constFind(foldedSection);
    if (known != headerTable_.cend()) {
        if (bstParamName_I.isEmpty())
            throw IniError(
                kIniErrInvalidArgument,
                QStringLiteral("Пустое имя ключа для секции «%1»").arg(bstSectionName_I));
        header = *known;
        section = sectionTable_.value(foldedSection);
        // Refused before anything changes, so the document stays as it was.
        if (sections_[static_cast<std::size_t>(section)].keys.contains(foldedKey) ||
            keyIndex_.contains(foldedCombined))
            throw IniError(kIniErrDuplicate, QStringLiteral("Ключ «%2» уже есть в секции «%1»")
                                                 .arg(bstSectionName_I, bstParamName_I));
    } else {
        if (sectionTable_.contains(foldedSection))
            throw IniError(kIniErrDuplicate,
                           QStringLiteral("Секция «%1» уже есть").arg(bstSectionName_I));
        section = EnterSection(foldedSection);
        header = AppendRecord({{IniLineKind::Header, bstSectionName_I, {}}, {}, -1});
        headerTable_.insert(foldedSection, header);
        if (bstParamName_I.isEmpty())
            return;
    }

    const int index = static_cast<int>(records_.size());
    records_.push_back({{IniLineKind::Key, bstParamName_I, bstValue_I}, bstSectionName_I, -1});
    LinkAfter(header, index);
    sections_[static_cast<std::size_t>(section)].keys.insert(foldedKey, index);
    keyIndex_.insert(foldedCombined, index);
}

bool CIniMngr::ValueExistsKey(const QString& bstKey_I) const
{
    return keyIndex_.contains(Fold(bstKey_I));
}

bool CIniMngr::ValueExists(const QString& bstSectionName_I, const QString& bstParamName_I) const
{
    if (bstParamName_I.isEmpty())
        return headerTable_.contains(Fold(bstSectionName_I));
    return ValueExistsKey(CombinedKey(bstSectionName_I, bstParamName_I));
}

void CIniMngr::ValueKeyParce(const QString& bstKey_I, QString& bstSection_O, QString& bstParam_O)
{
    enum { BeforeSection, InSection, AfterSection } state = BeforeSection;
    QString section;
    QString param;
    const auto bad = [&bstKey_I]() {
        throw IniError(kIniErrSubscript,
                       QStringLiteral("Неверный составной ключ «%1»").arg(bstKey_I));
    };
    for (const QChar ch : bstKey_I) {
        const char16_t c = ch.unicode();
        if (c == u'[') {
            if (state != BeforeSection || !param.isEmpty())
                bad();
            state = InSection;
        } else if (c == u']') {
            if (state != InSection)
                bad();
            state = AfterSection;
        } else if (IsAsciiLetterOrDigit(c) || c == u'_' || (c >= 0x80 && ch.isLetter())) {
            (state == InSection ? section : param).append(ch);
        } else {
            bad();
        }
    }
    if (state == InSection)
        bad();
    bstSection_O = section;
    bstParam_O = param;
}

IniValueMap CIniMngr::Values() const
{
    IniValueMap map;
    for (const Record& record : records_) {
        if (record.line.kind == IniLineKind::Key)
            map.insert(CombinedKey(record.section, record.line.name), record.line.value);
    }
    return map;
}

void CIniMngr::Load(const QString& bstIniText_I)
{
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = bstIniText_I.size();
    for (qsizetype i = 0; i <= n; ++i) {
        if (i == n || bstIniText_I[i] == u'\r' || bstIniText_I[i] == u'\n') {
            if (i > start)
                lines.append(bstIniText_I.mid(start, i - start));
            start = i + 1;
        }
    }
    LoadLines(lines);
}

void CIniMngr::LoadLines(const QStringList& abstIniText_I)
{
    // Each call starts outside any section: keys before the first header of this text go to
    // the section with the empty name.
    int section = -1;
    QString sectionName;
    QString foldedSectionName;

    for (qsizetype i = 0; i < abstIniText_I.size(); ++i) {
        const QString& text = abstIniText_I.at(i);
        try {
            IniLineRecord line = ParseIniLine(text);
            if (line.kind == IniLineKind::Header) {
                const QString folded = Fold(line.name);
                const auto known = sectionTable_.constFind(folded);
                if (known != sectionTable_.cend()) {
                    section = *known;
                } else {
                    section = EnterSection(folded);
                    headerTable_.insert(folded, static_cast<int>(records_.size()));
                }
                sectionName = line.name;
                foldedSectionName = folded;
                AppendRecord({std::move(line), {}, -1});
            } else if (line.kind == IniLineKind::Key) {
                if (section < 0) {
                    const auto unnamed = sectionTable_.constFind(QString());
                    section = unnamed != sectionTable_.cend() ? *unnamed : EnterSection(QString());
                }
                const QString foldedKey = Fold(line.name);
                const QString foldedCombined = CombinedKey(foldedSectionName, foldedKey);
                QHash<QString, int>& keys = sections_[static_cast<std::size_t>(section)].keys;
                if (keys.contains(foldedKey) || keyIndex_.contains(foldedCombined))
                    throw IniError(kIniErrDuplicate,
                                   QStringLiteral("Ключ «%2» уже есть в секции «%1»")
                                       .arg(sectionName, line.name));
                const int index = AppendRecord({std::move(line), sectionName, -1});
                keys.insert(foldedKey, index);
                keyIndex_.insert(foldedCombined, index);
            } else {
                AppendRecord({std::move(line), {}, -1});
            }
        } catch (const IniError& error) {
            throw IniError(error.number(),
                           QStringLiteral("Строка %1. %2").arg(i + 1).arg(error.description()));
        }
    }
}

void CIniMngr::Save(QString& bstIniText_O) const
{
    QStringList lines;
    SaveLines(lines);
    bstIniText_O = lines.join(QStringLiteral("\r\n"));
}

void CIniMngr::SaveLines(QStringList& abstIniText_O) const
{
    QStringList lines;
    lines.reserve(Count());
    for (int index = first_; index >= 0; index = records_[static_cast<std::size_t>(index)].next)
        lines.append(FormatIniLine(records_[static_cast<std::size_t>(index)].line));
    abstIniText_O = std::move(lines);
}

void CIniMngr::Clear()
{
    records_.clear();
    sections_.clear();
    sectionTable_.clear();
    headerTable_.clear();
    keyIndex_.clear();
    first_ = -1;
    last_ = -1;
}

} // namespace varnel
