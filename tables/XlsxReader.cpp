#include "tables/XlsxReader.h"

#include "core/DecimalText.h"
#include "tables/XlsxPackage.h"

#include <QDate>
#include <QHash>
#include <QList>

#include <algorithm>
#include <deque>
#include <numeric>
#include <optional>
#include <vector>

namespace varnel::tables {
namespace {

// A relationship of a part: its id, the kind by the end of its type, and the part it names.
struct Relationship {
    QString id;
    QString type;
    QString target;
};

bool typeIs(const Relationship& r, const char* kind)
{
    return r.type.endsWith(u'/' + QLatin1String(kind));
}

// The part a relationship of the part in folder names: relative to that folder, or from the
// package's root when it starts with "/"; "." and ".." resolved.
QString resolvePart(const QString& folder, const QString& target)
{
    const QString joined = target.startsWith(u'/') ? target.mid(1) : folder + target;
    QStringList parts;
    for (const QString& p : joined.split(u'/', Qt::SkipEmptyParts)) {
        if (p == u".")
            continue;
        if (p == u"..") {
            if (!parts.isEmpty())
                parts.removeLast();
            continue;
        }
        parts << p;
    }
    return parts.join(u'/');
}

QString folderOf(const QString& part)
{
    const qsizetype slash = part.lastIndexOf(u'/');
    return slash < 0 ? QString() : part.left(slash + 1);
}

QString relsOf(const QString& part)
{
    const qsizetype slash = part.lastIndexOf(u'/');
    return part.left(slash + 1) + QStringLiteral("_rels/") + part.mid(slash + 1) +
           QStringLiteral(".rels");
}

class RelationshipsSink : public XmlSink {
public:
    QList<Relationship> relationships;

    void startElement(std::string_view name, const XmlAttributes& a) override
    {
        if (name == "Relationship")
            relationships.append({a.value("Id"), a.value("Type"), a.value("Target")});
    }
    void endElement(std::string_view) override {}
    void characters(const char*, int) override {}
};

class WorkbookSink : public XmlSink {
public:
    bool isWorkbook = false;
    bool started = false;
    bool dates1904 = false;
    bool sheetFound = false;
    QString sheetId;
    QString sheetName;

    void startElement(std::string_view name, const XmlAttributes& a) override
    {
        if (!started) {
            started = true;
            isWorkbook = name == "workbook";
        }
        if (name == "workbookPr") {
            const QString v = a.value("date1904");
            dates1904 = v == u"1" || v.compare(u"true", Qt::CaseInsensitive) == 0;
        } else if (name == "sheet" && !sheetFound) {
            sheetFound = true;
            sheetId = a.value("id");
            sheetName = a.value("name");
        }
    }
    void endElement(std::string_view) override {}
    void characters(const char*, int) override {}
};

class StylesSink : public XmlSink {
public:
    QHash<int, QString> formatCodes;
    QList<int> cellFormats; // number format of each cell style
    void startElement(std::string_view name, const XmlAttributes& a) override
    {
        if (name == "numFmt")
            formatCodes.insert(a.value("numFmtId").toInt(), a.value("formatCode"));
        else if (name == "cellXfs")
            inCellXfs_ = true;
        else if (name == "xf" && inCellXfs_)
            cellFormats.append(a.value("numFmtId").toInt());
    }
    void endElement(std::string_view name) override
    {
        if (name == "cellXfs")
            inCellXfs_ = false;
    }
    void characters(const char*, int) override {}

private:
    bool inCellXfs_ = false;
};

// The text of a string item (<si>, or a cell's <is>): its <t> texts, those of rich text runs
// joined, those of phonetic guides (<rPh>) left out.
class StringText {
public:
    void start(std::string_view name)
    {
        if (name == "rPh")
            ++phonetic_;
        else if (name == "t" && phonetic_ == 0)
            inText_ = true;
    }
    void end(std::string_view name)
    {
        if (name == "rPh")
            --phonetic_;
        else if (name == "t")
            inText_ = false;
    }
    // False when the text is certain to pass limit characters however it decodes: its bytes
    // are kept only so far. The finished text is measured by the caller.
    bool characters(const char* text, int size, qsizetype limit)
    {
        if (!inText_)
            return true;
        bytes_.append(text, size);
        return bytes_.size() <= limit * kBytesPerChar;
    }
    // The most bytes one character takes in a workbook's text: "_x0001_".
    static constexpr qsizetype kBytesPerChar = 7;
    QString take()
    {
        QString text = UnescapeWorkbookText(QString::fromUtf8(bytes_));
        bytes_.clear();
        return text;
    }

private:
    QByteArray bytes_;
    int phonetic_ = 0;
    bool inText_ = false;
};

class SharedStringsSink : public XmlSink {
public:
    SharedStringsSink(PartReader*& reader, const TableLimits& limits)
        : reader_(reader), limits_(limits)
    {
    }
    QStringList strings;

    void startElement(std::string_view name, const XmlAttributes&) override
    {
        if (name == "si")
            inItem_ = true;
        else if (inItem_)
            text_.start(name);
    }
    void endElement(std::string_view name) override
    {
        if (name == "si") {
            inItem_ = false;
            QString s = text_.take();
            if (s.size() > limits_.cellChars)
                tooLong();
            chars_ += s.size();
            if (chars_ > limits_.sharedChars || strings.size() >= limits_.sharedStrings)
                reader_->refuse(QStringLiteral("в общих строках книги больше ") +
                                QString::number(limits_.sharedStrings) +
                                QStringLiteral(" строк или ") +
                                QString::number(limits_.sharedChars) + QStringLiteral(" знаков"));
            strings.append(std::move(s));
        } else if (inItem_) {
            text_.end(name);
        }
    }
    void characters(const char* text, int size) override
    {
        if (inItem_ && !text_.characters(text, size, limits_.cellChars))
            tooLong();
    }

private:
    void tooLong()
    {
        reader_->refuse(QStringLiteral("строка ") + QString::number(strings.size() + 1) +
                        QStringLiteral(" общих строк длиннее ") +
                        QString::number(limits_.cellChars) + QStringLiteral(" знаков"));
    }

    PartReader*& reader_;
    const TableLimits& limits_;
    StringText text_;
    bool inItem_ = false;
    qint64 chars_ = 0;
};

// The 0-based column of a cell reference ("AB12" is 27); -1 when it has no letters.
int columnOfReference(const QString& ref)
{
    int column = 0;
    qsizetype i = 0;
    for (; i < ref.size(); ++i) {
        const char16_t c = ref.at(i).toUpper().unicode();
        if (c < 'A' || c > 'Z')
            break;
        column = column * 26 + (c - 'A' + 1);
        if (column > 1 << 20)
            return 1 << 20;
    }
    return i == 0 ? -1 : column - 1;
}

class SheetSink : public XmlSink {
public:
    SheetSink(PartReader*& reader, const TableLimits& limits, const QStringList& shared,
              const QList<bool>& dateStyles, bool dates1904)
        : reader_(reader), limits_(limits), shared_(shared), dateStyles_(dateStyles),
          dates1904_(dates1904)
    {
    }
    std::deque<TableRecord> rows;
    bool isWorksheet = false;
    bool started = false;

    void startElement(std::string_view name, const XmlAttributes& a) override
    {
        if (!started) {
            started = true;
            isWorksheet = name == "worksheet";
        }
        if (name == "row") {
            cells_.clear();
            columns_.clear();
            ordered_ = true;
            nextColumn_ = 0;
            rowChars_ = 0;
            inRow_ = true;
            // The row's own number when it has one that follows the rows before, else the next:
            // rows absent from the sheet are counted.
            bool ok = false;
            const int r = a.value("r").toInt(&ok);
            rowNumber_ = ok && r > rowNumber_ ? r : rowNumber_ + 1;
            if (rowNumber_ > limits_.records)
                reader_->refuseTable(QStringLiteral("на листе больше ") +
                                     QString::number(limits_.records) + QStringLiteral(" строк"));
        } else if (name == "c" && inRow_) {
            inCell_ = true;
            type_ = a.value("t");
            style_ = a.value("s").toInt();
            column_ = a.has("r") ? columnOfReference(a.value("r")) : nextColumn_;
            if (column_ < 0)
                column_ = nextColumn_;
            if (column_ >= limits_.columns)
                refuseRow(QStringLiteral("больше ") + QString::number(limits_.columns) +
                          QStringLiteral(" столбцов"));
            value_.clear();
            inValue_ = false;
            inInline_ = false;
        } else if (inCell_) {
            if (name == "v")
                inValue_ = true;
            else if (name == "is")
                inInline_ = true;
            else if (inInline_)
                text_.start(name);
        }
    }

    void endElement(std::string_view name) override
    {
        if (name == "row") {
            inRow_ = false;
            endRow();
        } else if (name == "c" && inCell_) {
            inCell_ = false;
            const QString text = cellText();
            if (text.size() > limits_.cellChars)
                tooLong();
            store(text);
            nextColumn_ = column_ + 1;
        } else if (name == "v") {
            inValue_ = false;
        } else if (name == "is") {
            inInline_ = false;
        } else if (inInline_) {
            text_.end(name);
        }
    }

    void characters(const char* text, int size) override
    {
        if (!inCell_)
            return;
        if (inValue_) {
            value_.append(text, size);
            if (value_.size() > qsizetype(limits_.cellChars) * StringText::kBytesPerChar)
                tooLong();
        } else if (inInline_ && !text_.characters(text, size, limits_.cellChars)) {
            tooLong();
        }
    }

private:
    // Refusals of what a row holds are worded as the CSV reader words them, with the row's
    // number on the sheet.
    void refuseRow(const QString& reason)
    {
        reader_->refuseTable(QStringLiteral("строка ") + QString::number(rowNumber_) +
                             QStringLiteral(": ") + reason);
    }

    void tooLong()
    {
        refuseRow(QStringLiteral("в ячейке больше ") + QString::number(limits_.cellChars) +
                  QStringLiteral(" знаков"));
    }

    // The row's cells as a record: in column order (a later cell of the same column in place
    // of an earlier one), without their columns when they fill every column up to the last.
    void endRow()
    {
        TableRecord record;
        record.number = rowNumber_;
        if (!ordered_) {
            std::vector<qsizetype> order(size_t(columns_.size()));
            std::iota(order.begin(), order.end(), qsizetype(0));
            std::stable_sort(order.begin(), order.end(), [this](qsizetype x, qsizetype y) {
                return columns_.at(x) < columns_.at(y);
            });
            QList<int> columns;
            QStringList cells;
            for (size_t k = 0; k < order.size(); ++k) {
                if (k + 1 < order.size() && columns_.at(order[k + 1]) == columns_.at(order[k]))
                    continue;
                columns.append(columns_.at(order[k]));
                cells.append(cells_.at(order[k]));
            }
            columns_ = std::move(columns);
            cells_ = std::move(cells);
        }
        if (!columns_.isEmpty() && columns_.last() != columns_.size() - 1)
            record.columns = std::move(columns_);
        record.cells = std::move(cells_);
        rows.push_back(std::move(record));
        cells_ = QStringList();
        columns_ = QList<int>();
    }

    QString cellText()
    {
        const QString stored = QString::fromUtf8(value_).trimmed();
        if (type_ == u"inlineStr")
            return text_.take();
        if (type_ == u"s") {
            bool ok = false;
            const int index = stored.toInt(&ok);
            if (!ok || index < 0 || index >= shared_.size()) {
                reader_->refuse(QStringLiteral("ячейка ссылается на общую строку ") + stored +
                                QStringLiteral(", которой нет"));
                return QString();
            }
            return shared_.at(index);
        }
        if (type_ == u"str")
            return UnescapeWorkbookText(QString::fromUtf8(value_));
        if (type_ == u"d") {
            // An ISO date (and time): the date.
            const QDate d = QDate::fromString(stored.left(10), Qt::ISODate);
            return d.isValid() ? d.toString(QStringLiteral("dd.MM.yyyy")) : stored;
        }
        if (type_ == u"b" || type_ == u"e" || stored.isEmpty())
            return stored;
        // A number: a date when its style shows one, else its stored text, written out.
        if (style_ >= 0 && style_ < dateStyles_.size() && dateStyles_.at(style_)) {
            const QString date = WorkbookDateText(stored, dates1904_);
            if (!date.isEmpty())
                return date;
        }
        // The cell holds a binary number, written with up to 17 digits ("66.849999999999994"):
        // read with 15 significant digits, as spreadsheets show it, it is the decimal that was
        // put in (66.85).
        if (const std::optional<DecimalValue> n = ReadDecimal(stored)) {
            const QString plain = PlainDecimalText(RoundedDecimal(*n, 15));
            if (!plain.isEmpty())
                return plain;
        }
        return stored;
    }

    void store(const QString& text)
    {
        if (text.isEmpty())
            return;
        rowChars_ += text.size();
        if (rowChars_ > limits_.recordChars)
            refuseRow(QStringLiteral("строка длиннее ") + QString::number(limits_.recordChars) +
                      QStringLiteral(" знаков"));
        if (!columns_.isEmpty() && column_ <= columns_.last())
            ordered_ = false;
        columns_.append(column_);
        cells_.append(text);
    }

    PartReader*& reader_;
    const TableLimits& limits_;
    const QStringList& shared_;
    const QList<bool>& dateStyles_;
    bool dates1904_;

    // The cells of the row that hold text, and their columns.
    QStringList cells_;
    QList<int> columns_;
    bool ordered_ = true; // columns_ ascending
    int rowNumber_ = 0;
    bool inRow_ = false;
    bool inCell_ = false;
    bool inValue_ = false;
    bool inInline_ = false;
    QString type_;
    int style_ = 0;
    int column_ = 0;
    int nextColumn_ = 0;
    qint64 rowChars_ = 0;
    QByteArray value_;
    StringText text_;
};

bool allBlank(const QStringList& cells)
{
    for (const QString& cell : cells) {
        if (!cell.trimmed().isEmpty())
            return false;
    }
    return true;
}

} // namespace

struct XlsxReader::Impl {
    Impl(SourceFile& file, const TableLimits& limits) : limits(limits), package(file, limits) {}

    TableLimits limits;
    Package package;
    bool dates1904 = false;
    QStringList shared;
    QList<bool> dateStyles;
    PartReader* current = nullptr; // the part being read, for the sinks' refusals
    std::unique_ptr<SheetSink> sheet;
    std::unique_ptr<PartReader> sheetReader;
    int records = 0;
    bool finished = false;

    // Reads a whole part into a sink; nothing when the package has no such part.
    bool readPart(const QString& name, XmlSink& sink)
    {
        const qint64 index = package.find(name);
        if (index < 0)
            return false;
        PartReader reader(package, index, sink);
        current = &reader;
        reader.readAll();
        current = nullptr;
        return true;
    }

    QList<Relationship> relationshipsOf(const QString& part)
    {
        RelationshipsSink sink;
        readPart(relsOf(part), sink);
        return sink.relationships;
    }

    void open();
};

void XlsxReader::Impl::open()
{
    // Not a workbook of this kind: say what it is.
    if (const qint64 mime = package.find(QStringLiteral("mimetype")); mime >= 0) {
        if (package.readSmall(mime, 256).contains("opendocument"))
            package.fail(QStringLiteral("это таблица OpenDocument (.ods), она не загружается; "
                                        "сохраните ее как книгу .xlsx или как CSV"));
    }
    QString workbookPart;
    for (const Relationship& r : relationshipsOf(QString())) {
        if (typeIs(r, "officeDocument")) {
            workbookPart = resolvePart(QString(), r.target);
            break;
        }
    }
    if (workbookPart.isEmpty())
        workbookPart = QStringLiteral("xl/workbook.xml");
    WorkbookSink workbook;
    if (!readPart(workbookPart, workbook) || !workbook.isWorkbook)
        package.fail(QStringLiteral("это архив zip, но не книга .xlsx"));
    if (!workbook.sheetFound)
        package.fail(QStringLiteral("в книге нет ни одного листа"));
    dates1904 = workbook.dates1904;

    const QString folder = folderOf(workbookPart);
    QString sheetPart, stylesPart, sharedPart;
    for (const Relationship& r : relationshipsOf(workbookPart)) {
        if (r.id == workbook.sheetId) {
            if (!typeIs(r, "worksheet"))
                package.fail(QStringLiteral("первый лист книги («") + workbook.sheetName +
                             QStringLiteral("») не таблица, а диаграмма или диалог"));
            sheetPart = resolvePart(folder, r.target);
        } else if (typeIs(r, "styles")) {
            stylesPart = resolvePart(folder, r.target);
        } else if (typeIs(r, "sharedStrings")) {
            sharedPart = resolvePart(folder, r.target);
        }
    }
    if (sheetPart.isEmpty())
        package.fail(QStringLiteral("книга повреждена: нет листа «") + workbook.sheetName +
                     QStringLiteral("»"));

    StylesSink styles;
    if (!stylesPart.isEmpty())
        readPart(stylesPart, styles);
    for (const int format : styles.cellFormats)
        dateStyles.append(IsDateFormat(format, styles.formatCodes.value(format)));
    if (!sharedPart.isEmpty()) {
        SharedStringsSink sink(current, limits);
        readPart(sharedPart, sink);
        shared = std::move(sink.strings);
    }

    const qint64 index = package.find(sheetPart);
    if (index < 0)
        package.fail(QStringLiteral("книга повреждена: нет части ") + sheetPart);
    sheet = std::make_unique<SheetSink>(current, limits, shared, dateStyles, dates1904);
    sheetReader = std::make_unique<PartReader>(package, index, *sheet);
    current = sheetReader.get();
}

XlsxReader::XlsxReader(std::unique_ptr<SourceFile> file, const TableLimits& limits)
    : file_(std::move(file)), impl_(std::make_unique<Impl>(*file_, limits))
{
    impl_->open();
}

XlsxReader::~XlsxReader() = default;

bool XlsxReader::dates1904() const
{
    return impl_->dates1904;
}

qint64 XlsxReader::done() const
{
    return impl_->sheetReader ? impl_->sheetReader->unpacked() : 0;
}

qint64 XlsxReader::total() const
{
    return impl_->sheetReader ? impl_->sheetReader->size() : 0;
}

QString XlsxReader::description() const
{
    return impl_->dates1904 ? QStringLiteral("книга .xlsx (даты от 1904 года)")
                            : QStringLiteral("книга .xlsx");
}

bool XlsxReader::next(TableRecord& record)
{
    Impl& d = *impl_;
    if (d.finished)
        return false;
    for (;;) {
        while (d.sheet->rows.empty()) {
            if (!d.sheetReader->step()) {
                if (!d.sheet->isWorksheet)
                    d.package.fail(QStringLiteral("первый лист книги не таблица"));
                d.finished = true;
                file_->checkUnchanged();
                return false;
            }
        }
        TableRecord row = std::move(d.sheet->rows.front());
        d.sheet->rows.pop_front();
        if (allBlank(row.cells))
            continue;
        if (d.records >= d.limits.records)
            d.package.fail(QStringLiteral("на листе больше ") + QString::number(d.limits.records) +
                           QStringLiteral(" строк"));
        ++d.records;
        record = std::move(row);
        return true;
    }
}

QString WorkbookDateText(const QString& stored, bool dates1904)
{
    const std::optional<DecimalValue> n = ReadDecimal(stored);
    if (!n || n->negative)
        return QString();
    const std::optional<qint64> day = WholePart(*n);
    if (!day || *day > 2958465)
        return QString();
    QDate date;
    if (dates1904) {
        date = QDate(1904, 1, 1).addDays(*day);
    } else {
        if (*day == 0)
            return QString();
        if (*day == 60)
            return QStringLiteral("29.02.1900");
        date = *day < 60 ? QDate(1899, 12, 31).addDays(*day) : QDate(1899, 12, 30).addDays(*day);
    }
    if (date.year() > 9999)
        return QString();
    return date.toString(QStringLiteral("dd.MM.yyyy"));
}

bool IsDateFormat(int formatId, const QString& formatCode)
{
    // The built-in formats that show a date (14 to 17 and 22; 27 to 36 and 50 to 58 in the
    // East Asian editions); those that show a time alone (18 to 21, 45 to 47) are not.
    if ((formatId >= 14 && formatId <= 17) || formatId == 22 ||
        (formatId >= 27 && formatId <= 36) || (formatId >= 50 && formatId <= 58))
        return true;
    if (formatCode.isEmpty())
        return false;
    bool quoted = false;
    int bracket = 0;
    for (qsizetype i = 0; i < formatCode.size(); ++i) {
        const QChar c = formatCode.at(i);
        if (quoted) {
            quoted = c != u'"';
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u'\\' || c == u'_' || c == u'*') {
            ++i; // the next character stands for itself (or fills)
        } else if (c == u'[') {
            ++bracket;
        } else if (c == u']') {
            bracket = std::max(0, bracket - 1);
        } else if (bracket == 0 && (c == u'd' || c == u'D' || c == u'y' || c == u'Y')) {
            return true;
        }
    }
    return false;
}

} // namespace varnel::tables
