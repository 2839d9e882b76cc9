#include "messages/ReportFileWriter.h"

#include "core/DecimalText.h"
#include "core/ReportTable.h"
#include "core/SettingKeys.h"
#include "core/Values.h"
#include "messages/DocumentFile.h"

#include <array>
#include <optional>
#include <vector>

namespace varnel {
namespace {

// What the writer needs of one named column, read once per document.
struct NamedColumn {
    int index = 0;
    QByteArray opening; // ' name="', encoded
    enum class Type { Text, Number, Date } type = Type::Text;
    QString marker;     // empty: no empty marker
    QString markerCopy; // the marker with the locale's decimal separator
    std::optional<DecimalValue> markerNumber;
    int markerNonZero = 0; // digits 1 to 9 in the marker number
    // The date cache slot of the column's last date: dates often repeat row after row.
    mutable int lastDate = -1;
};

class DealsWriter {
public:
    explicit DealsWriter(const ReportTable& grid) : grid_(grid), sysSep_(SystemDecimalSeparator())
    {
        syntax_ = NumberSyntax::ofUserLocale(sysSep_.size() == 1 ? sysSep_.at(0) : QChar(u'.'));
        for (int c = 0; c < grid.columnCount(); ++c) {
            const ReportField field = grid.field(c);
            if (field.name.isEmpty())
                continue;
            NamedColumn col;
            col.index = c;
            col.opening = " " + DocumentFile::encodeMarkup(field.name) + "=\"";
            col.type = field.type == u"N"   ? NamedColumn::Type::Number
                       : field.type == u"D" ? NamedColumn::Type::Date
                                            : NamedColumn::Type::Text;
            col.marker = field.empty;
            if (!col.marker.isEmpty()) {
                const QChar own = foreignSeparator(col.marker);
                col.markerCopy = col.marker;
                if (!own.isNull())
                    col.markerCopy.replace(own, syntax_.decimal);
                if (col.type == NamedColumn::Type::Number)
                    col.markerNumber = ParseDecimal(col.markerCopy, syntax_);
                if (col.markerNumber) {
                    for (const char d : col.markerNumber->digits)
                        col.markerNonZero += d != '0';
                }
            }
            columns_.push_back(std::move(col));
        }
    }

    void write(DocumentFile& f, const QString& lang)
    {
        const char* row = grid_.isRepo() ? "RepoDeal" : "deal";
        f.ascii("<");
        f.ascii(row);
        f.ascii("s");
        WriteAttribute(f, "Language", EscapeXmlAttribute(lang));
        f.ascii(">");
        f.endLine();
        const QString none;
        QString fetched;
        const int rows = grid_.rowCount();
        const QStringList* next = rows > 0 ? grid_.rowCells(0) : nullptr;
        for (int r = 0; r < rows; ++r) {
            f.ascii("<");
            f.ascii(row);
            const QStringList* cells = next;
            if (cells) {
                next = r + 1 < rows ? grid_.rowCells(r + 1) : nullptr;
                prefetchTexts(next);
                if (r + 2 < rows)
                    prefetchRow(grid_.rowCells(r + 2));
            }
            for (const NamedColumn& col : columns_) {
                const QString* v = &fetched;
                if (cells)
                    v = col.index < cells->size() ? &cells->at(col.index) : &none;
                else
                    fetched = grid_.cell(r, col.index);
                if (v->isEmpty() || (!col.marker.isEmpty() && countsAsEmpty(col, *v)))
                    continue;
                int flags = DocumentFile::DropLineBreaks;
                if (col.type == NamedColumn::Type::Date)
                    v = &isoDate(col, *v);
                else if (col.type == NamedColumn::Type::Number)
                    flags |= DocumentFile::CommaToPoint;
                f.rawAttribute(col.opening, *v, flags);
            }
            f.bytes(" />", 3);
            f.endLine();
        }
        f.ascii("</");
        f.ascii(row);
        f.ascii("s>");
        f.endLine();
    }

private:
    // Asks the processor for the cells of the rows ahead while a row is being written: the
    // cells of a large report lie all over the memory, and waiting for each in turn takes
    // longer than writing it. The row after next: its list of cells; the next: their texts.
    static void prefetchRow(const QStringList* cells)
    {
#if defined(__GNUC__)
        if (!cells)
            return;
        const char* b = reinterpret_cast<const char*>(cells->constData());
        const char* e = reinterpret_cast<const char*>(cells->constData() + cells->size());
        for (; b < e; b += 64)
            __builtin_prefetch(b);
#else
        Q_UNUSED(cells);
#endif
    }

    void prefetchTexts(const QStringList* cells) const
    {
#if defined(__GNUC__)
        if (!cells)
            return;
        for (const NamedColumn& col : columns_) {
            if (col.index < cells->size())
                __builtin_prefetch(cells->at(col.index).constData());
        }
#else
        Q_UNUSED(cells);
#endif
    }

    // The decimal separator the text uses where it differs from the locale's; null otherwise.
    QChar foreignSeparator(const QString& s) const
    {
        if (!s.contains(u'.') && !s.contains(u','))
            return QChar(); // no separator in it to replace
        const QString own = DecimalSeparatorOf(s);
        return own == sysSep_ || own.size() != 1 ? QChar() : own.at(0);
    }

    // Value and marker compared with the locale's separator in both: as decimal numbers when
    // the column holds numbers and both are numbers, otherwise as texts.
    bool countsAsEmpty(const NamedColumn& col, const QString& v) const
    {
        if (col.markerNumber && cannotEqualMarker(col, v))
            return false;
        const QChar own = foreignSeparator(v);
        if (col.markerNumber) {
            if (const auto number = ParseDecimal(v, syntax_, own))
                return *number == *col.markerNumber;
        }
        if (own.isNull())
            return v == col.markerCopy;
        QString copy = v;
        copy.replace(own, syntax_.decimal);
        return copy == col.markerCopy;
    }

    // A quick answer for most numbers of a column with a number for a marker. Such a value
    // counts as empty only when it reads as a number equal to the marker: as a text equal to
    // the marker it would read as that number too. The significant digits of a number are the
    // digits before its exponent bar leading and trailing zeros, so a value with another count
    // of digits 1 to 9 there than the marker cannot equal it.
    static bool cannotEqualMarker(const NamedColumn& col, QStringView v)
    {
        int nonZero = 0;
        for (const QChar ch : v) {
            const char16_t c = ch.unicode();
            if (c >= u'1' && c <= u'9') {
                if (++nonZero > col.markerNonZero)
                    return true;
            } else if (c == u'e' || c == u'E') {
                break;
            }
        }
        return nonZero != col.markerNonZero;
    }

    // The column's last date first: a report is often sorted by date. Dates repeat throughout
    // a report: a small cache keeps the texts converted lately.
    const QString& isoDate(const NamedColumn& col, const QString& v)
    {
        if (col.lastDate >= 0) {
            const DateSlot& last = dates_[size_t(col.lastDate)];
            if (QStringView(last.display) == QStringView(v))
                return last.iso;
        }
        size_t h = size_t(v.size());
        for (const QChar c : v)
            h = h * 31 + c.unicode();
        const int index = int(h % dates_.size());
        DateSlot& slot = dates_[size_t(index)];
        if (QStringView(slot.display) != QStringView(v)) {
            QString iso = FormatIsoDate(ParseDate(v));
            slot.display = v;
            slot.iso = std::move(iso);
        }
        col.lastDate = index;
        return slot.iso;
    }

    const ReportTable& grid_;
    QString sysSep_;
    NumberSyntax syntax_;
    std::vector<NamedColumn> columns_;
    struct DateSlot {
        QString display;
        QString iso;
    };
    std::array<DateSlot, 512> dates_;
};

} // namespace

void WriteDealsXml(const QString& path, const ReportTable& grid)
{
    DealsWriter writer(grid);
    const QString lang = MessageLanguage();
    DocumentFile f(path);
    WriteDocumentFrame(f);
    writer.write(f, lang);
    f.close();
}

} // namespace varnel
