#include "messages/DocumentWriters.h"

#include "core/Error.h"
#include "core/MessageTexts.h"
#include "core/Settings.h"
#include "core/Values.h"
#include "messages/DecimalText.h"
#include "messages/DocumentFile.h"

#include <QHash>
#include <QLocale>

#include <optional>
#include <vector>

namespace varnel {
namespace {

QString language()
{
    return ReadSetting(QStringLiteral("Main"), QStringLiteral("Language"), QStringLiteral("RU"));
}

bool needsEscaping(const QString& s)
{
    for (const QChar c : s) {
        const char16_t u = c.unicode();
        if (u == u'&' || u == u'<' || u == u'>' || u == u'\'' || u == u'"')
            return true;
    }
    return false;
}

QString escaped(const QString& s)
{
    return needsEscaping(s) ? EscapeXmlAttribute(s) : s;
}

// Lines 1 and 2 of every document.
void writeFrame(DocumentFile& f)
{
    f.ascii("<?xml version=\"1.0\" encoding=\"Windows-1251\"?>");
    f.endLine();
    f.markup(VersionComment());
    f.endLine();
}

// Language and reply type come from the settings and the dialog, not from the user's typing,
// but are escaped all the same so that no value can break the document.
void writeAttribute(DocumentFile& f, const char* name, const QString& escapedValue)
{
    f.ascii(" ");
    f.ascii(name);
    f.ascii("=\"");
    f.value(escapedValue);
    f.ascii("\"");
}

QString trimBlanks(const QString& s)
{
    qsizetype b = 0;
    qsizetype e = s.size();
    while (b < e && s[b] == u' ')
        ++b;
    while (e > b && s[e - 1] == u' ')
        --e;
    return (b == 0 && e == s.size()) ? s : s.mid(b, e - b);
}

void writeRevocation(DocumentFile& f, const RevocationList* list, bool repo, const QString& lang)
{
    static const char* const dealNames[5] = {"Id", "Agreement", "Reference", "Participant",
                                             "Reason"};
    static const char* const repoNames[5] = {"Id", "Agreement", "Reference", "Direction",
                                             "Participant"};
    if (!list)
        Fail(QStringLiteral("Нет списка сделок для запроса на удаление"));
    if (repo) {
        f.ascii("<RepoRevokeDeals");
        writeAttribute(f, "Language", escaped(lang));
        writeAttribute(f, "ReplyType", escaped(list->replyType()));
        f.ascii(" >");
    } else {
        f.ascii("<RevokeDeals");
        writeAttribute(f, "Language", escaped(lang));
        f.ascii(" >");
    }
    f.endLine();
    const char* const* names = repo ? repoNames : dealNames;
    for (int r = 0; r < list->rowCount(); ++r) {
        f.ascii(repo ? "   <RepoRevokeDeal" : "<RevokeDeal");
        for (int k = 0; k < 5; ++k) {
            const QString v = trimBlanks(list->cell(r, k));
            if (!v.isEmpty())
                writeAttribute(f, names[k], escaped(v));
        }
        f.ascii(" />");
        f.endLine();
    }
    f.ascii(repo ? "</RepoRevokeDeals>" : "</RevokeDeals>");
    f.endLine();
}

// What the writer needs of one named column, read once per document.
struct NamedColumn {
    int index = 0;
    QString name;
    enum class Type { Text, Number, Date } type = Type::Text;
    QString marker;     // empty: no empty marker
    QString markerCopy; // the marker with the locale's decimal separator
    std::optional<DecimalValue> markerNumber;
};

// Every CR LF pair, then every CR, then every LF removed.
QString withoutLineBreaks(QString s)
{
    if (s.contains(u'\r') || s.contains(u'\n')) {
        s.remove(QStringLiteral("\r\n"));
        s.remove(u'\r');
        s.remove(u'\n');
    }
    return s;
}

class DealsWriter {
public:
    explicit DealsWriter(const ReportTable& grid)
        : grid_(grid), sysSep_(SystemDecimalSeparator()),
          decimalChar_(sysSep_.size() == 1 ? sysSep_.at(0) : QChar(u'.'))
    {
        const QString group = QLocale().groupSeparator();
        groupChar_ = group.size() == 1 ? group.at(0) : QChar();
        for (int c = 0; c < grid.columnCount(); ++c) {
            const QString d = grid.columnDescriptor(c);
            NamedColumn col;
            col.index = c;
            col.name = GetTagValue(d, QStringLiteral("name="));
            if (col.name.isEmpty())
                continue;
            const QString type = GetTagValue(d, QStringLiteral("type="));
            col.type = type == u"N"   ? NamedColumn::Type::Number
                       : type == u"D" ? NamedColumn::Type::Date
                                      : NamedColumn::Type::Text;
            col.marker = GetTagValue(d, QStringLiteral("empty="));
            if (!col.marker.isEmpty()) {
                col.markerCopy = separatorCopy(col.marker);
                if (col.type == NamedColumn::Type::Number)
                    col.markerNumber = ParseLocaleDecimal(col.markerCopy, decimalChar_, groupChar_);
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
        writeAttribute(f, "Language", escaped(lang));
        f.ascii(">");
        f.endLine();
        for (int r = 0; r < grid_.rowCount(); ++r) {
            f.ascii("<");
            f.ascii(row);
            for (const NamedColumn& col : columns_) {
                QString v = grid_.cell(r, col.index);
                if (v.isEmpty() || countsAsEmpty(col, v))
                    continue;
                if (col.type == NamedColumn::Type::Date)
                    v = isoDate(v);
                else if (col.type == NamedColumn::Type::Number)
                    v.replace(u',', u'.');
                f.ascii(" ");
                f.markup(col.name);
                f.ascii("=\"");
                f.value(withoutLineBreaks(escaped(v)));
                f.ascii("\"");
            }
            f.ascii(" />");
            f.endLine();
        }
        f.ascii("</");
        f.ascii(row);
        f.ascii("s>");
        f.endLine();
    }

private:
    // The text with the decimal separator it uses replaced by the locale's, where they differ.
    QString separatorCopy(const QString& s) const
    {
        const QString own = DecimalSeparatorOf(s);
        if (own == sysSep_)
            return s;
        QString copy = s;
        copy.replace(own, sysSep_);
        return copy;
    }

    bool countsAsEmpty(const NamedColumn& col, const QString& v) const
    {
        if (col.marker.isEmpty())
            return false;
        const QString copy = separatorCopy(v);
        if (col.markerNumber) {
            if (const auto number = ParseLocaleDecimal(copy, decimalChar_, groupChar_))
                return *number == *col.markerNumber;
        }
        return copy == col.markerCopy;
    }

    // Dates repeat throughout a report: each distinct text is converted once.
    QString isoDate(const QString& v)
    {
        const auto it = dates_.constFind(v);
        if (it != dates_.constEnd())
            return *it;
        const QString iso = FormatIsoDate(ParseDate(v));
        dates_.insert(v, iso);
        return iso;
    }

    const ReportTable& grid_;
    QString sysSep_;
    QChar decimalChar_;
    QChar groupChar_;
    std::vector<NamedColumn> columns_;
    QHash<QString, QString> dates_;
};

} // namespace

void WriteDealsXml(const QString& path, const ReportTable& grid)
{
    DealsWriter writer(grid);
    const QString lang = language();
    DocumentFile f(path);
    writeFrame(f);
    writer.write(f, lang);
    f.close();
}

void WriteRequestXml(const QString& requestName, const QString& path, const RequestData& data)
{
    const QString name = requestName.toUpper();
    if (name == u"DEALS" || name == u"REPODEALS") {
        if (!data.report)
            Fail(QStringLiteral("Нет данных отчета для запроса ") + requestName);
        WriteDealsXml(path, *data.report);
        return;
    }
    const QString lang = language();
    DocumentFile f(path);
    writeFrame(f);
    if (name == u"GETISSUELIST" || name == u"SUBSCRIBEISSUELIST" ||
        name == u"UNSUBSCRIBEISSUELIST") {
        f.ascii("<");
        f.ascii(name == u"GETISSUELIST"         ? "GetIssueList"
                : name == u"SUBSCRIBEISSUELIST" ? "SubscribeIssueList"
                                                : "UnsubscribeIssueList");
        writeAttribute(f, "Language", escaped(lang));
        f.ascii(" />");
        f.endLine();
    } else if (name == u"REVOKEDEALS" || name == u"REPOREVOKEDEALS") {
        writeRevocation(f, data.revocation, name == u"REPOREVOKEDEALS", lang);
    }
    f.close();
}

} // namespace varnel
