#include "CIniMngr.h"

namespace varnel {

namespace {

// Case folding of one UTF-16 unit: Latin and Cyrillic letters alike (Ё and ё included).
char16_t FoldUnit(char16_t ch)
{
    if (ch < 0x80)
        return (ch >= u'A' && ch <= u'Z') ? char16_t(ch + 0x20) : ch;
    if (ch >= 0x0410 && ch <= 0x042F) // А to Я
        return char16_t(ch + 0x20);
    return static_cast<char16_t>(QChar::toCaseFolded(char32_t(ch)));
}

NoCaseName NoCase(const QString& name)
{
    return NoCaseName{name};
}

QString CombinedKey(const QString& section, const QString& name)
{
    QString key;
    key.reserve(section.size() + name.size() + 2);
    key.append(u'[').append(section).append(u']').append(name);
    return key;
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

bool operator==(const NoCaseName& a, const NoCaseName& b) noexcept
{
    const qsizetype n = a.text.size();
    if (b.text.size() != n)
        return false;
    const QChar* x = a.text.constData();
    const QChar* y = b.text.constData();
    for (qsizetype i = 0; i < n; ++i) {
        if (x[i] != y[i] && FoldUnit(x[i].unicode()) != FoldUnit(y[i].unicode()))
            return false;
    }
    return true;
}

size_t qHash(const NoCaseName& name, size_t seed) noexcept
{
    // FNV-1a over the folded units.
    quint64 hash = 0xcbf29ce484222325ULL ^ seed;
    for (const QChar ch : name.text) {
        hash ^= FoldUnit(ch.unicode());
        hash *= 0x100000001b3ULL;
    }
    return static_cast<size_t>(hash);
}

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

const QHash<QString, qsizetype>& IniValueMap::Index() const
{
    if (!indexed_) {
        index_.reserve(keys_.size());
        for (qsizetype i = 0; i < keys_.size(); ++i)
            index_.insert(keys_.at(i), i);
        indexed_ = true;
    }
    return index_;
}

bool IniValueMap::contains(const QString& key) const
{
    return Index().contains(key);
}

QString IniValueMap::value(const QString& key) const
{
    const auto& index = Index();
    const auto it = index.constFind(key);
    return it == index.cend() ? QString() : values_.at(*it);
}

void IniValueMap::insert(const QString& key, const QString& value)
{
    if (Index().contains(key))
        throw IniError(kIniErrDuplicate, QStringLiteral("Ключ %1 уже задан").arg(key));
    index_.insert(key, keys_.size());
    keys_.append(key);
    values_.append(value);
}

int CIniMngr::KeyRecord(const QString& bstKey_I) const
{
    return keyIndex_.value(NoCase(bstKey_I), -1);
}

int CIniMngr::KeyRecord(const QString& section, const QString& name) const
{
    const auto sec = sectionTable_.constFind(NoCase(section));
    if (sec == sectionTable_.cend())
        return -1;
    return sections_[static_cast<std::size_t>(*sec)].keys.value(NoCase(name), -1);
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

int CIniMngr::EnterSection(const QString& name)
{
    const int index = static_cast<int>(sections_.size());
    sections_.emplace_back();
    sectionTable_.insert(NoCase(name), index);
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
    const NoCaseName section = NoCase(bstSectionName_I);
    const NoCaseName key = NoCase(bstParamName_I);
    const QString combined = CombinedKey(bstSectionName_I, bstParamName_I);

    int header = -1;
    int sectionIndex = -1;
    const auto known = headerTable_.constFind(section);
    if (known != headerTable_.cend()) {
        if (bstParamName_I.isEmpty())
            throw IniError(
                kIniErrInvalidArgument,
                QStringLiteral("Пустое имя ключа для секции «%1»").arg(bstSectionName_I));
        header = *known;
        sectionIndex = sectionTable_.value(section);
        // Refused before anything changes, so the document stays as it was.
        if (sections_[static_cast<std::size_t>(sectionIndex)].keys.contains(key) ||
            keyIndex_.contains(NoCase(combined)))
            throw IniError(kIniErrDuplicate, QStringLiteral("Ключ «%2» уже есть в секции «%1»")
                                                 .arg(bstSectionName_I, bstParamName_I));
    } else {
        if (sectionTable_.contains(section))
            throw IniError(kIniErrDuplicate,
                           QStringLiteral("Секция «%1» уже есть").arg(bstSectionName_I));
        sectionIndex = EnterSection(bstSectionName_I);
        header = AppendRecord({{IniLineKind::Header, bstSectionName_I, {}}, {}, -1});
        headerTable_.insert(section, header);
        if (bstParamName_I.isEmpty())
            return;
    }

    // The key line goes straight after the header: a link, so nothing else moves.
    const int index = static_cast<int>(records_.size());
    records_.push_back({{IniLineKind::Key, bstParamName_I, bstValue_I}, combined, -1});
    LinkAfter(header, index);
    sections_[static_cast<std::size_t>(sectionIndex)].keys.insert(key, index);
    keyIndex_.insert(NoCase(combined), index);
}

bool CIniMngr::ValueExistsKey(const QString& bstKey_I) const
{
    return keyIndex_.contains(NoCase(bstKey_I));
}

bool CIniMngr::ValueExists(const QString& bstSectionName_I, const QString& bstParamName_I) const
{
    if (bstParamName_I.isEmpty())
        return headerTable_.contains(NoCase(bstSectionName_I));
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
    // Combined keys are unique already, so the entries go in without a check.
    IniValueMap map;
    map.keys_.reserve(keyIndex_.size());
    map.values_.reserve(keyIndex_.size());
    for (const Record& record : records_) {
        if (record.line.kind == IniLineKind::Key) {
            map.keys_.append(record.combined);
            map.values_.append(record.line.value);
        }
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
    keyIndex_.reserve(keyIndex_.size() + abstIniText_I.size());

    // Each call starts outside any section: keys before the first header of this text go to
    // the section with the empty name.
    int section = -1;
    QString sectionName;

    for (qsizetype i = 0; i < abstIniText_I.size(); ++i) {
        const QString& text = abstIniText_I.at(i);
        try {
            IniLineRecord line = ParseIniLine(text);
            if (line.kind == IniLineKind::Header) {
                const auto known = sectionTable_.constFind(NoCase(line.name));
                if (known != sectionTable_.cend()) {
                    section = *known;
                } else {
                    section = EnterSection(line.name);
                    headerTable_.insert(NoCase(line.name), static_cast<int>(records_.size()));
                }
                sectionName = line.name;
                AppendRecord({std::move(line), {}, -1});
            } else if (line.kind == IniLineKind::Key) {
                if (section < 0) {
                    const auto unnamed = sectionTable_.constFind(NoCase(QString()));
                    section = unnamed != sectionTable_.cend() ? *unnamed : EnterSection(QString());
                }
                QString combined = CombinedKey(sectionName, line.name);
                QHash<NoCaseName, int>& keys = sections_[static_cast<std::size_t>(section)].keys;
                if (keys.contains(NoCase(line.name)) || keyIndex_.contains(NoCase(combined)))
                    throw IniError(kIniErrDuplicate,
                                   QStringLiteral("Ключ «%2» уже есть в секции «%1»")
                                       .arg(sectionName, line.name));
                const NoCaseName key = NoCase(line.name);
                const int index = AppendRecord({std::move(line), combined, -1});
                keys.insert(key, index);
                keyIndex_.insert(NoCase(combined), index);
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
