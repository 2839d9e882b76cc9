#include "reports/DealImport.h"

#include "core/AppContext.h"
#include "core/PlacementStore.h"
#include "core/SettingKeys.h"
#include "core/Values.h"
#include "reports/ReportDocument.h"
#include "reports/ReportModel.h"

#include <QCryptographicHash>
#include <QHash>
#include <QSet>

namespace varnel {
namespace {

// The per-user store of the mappings users chose.
QString MappingStore()
{
    return kAppTitle + QStringLiteral("_Import");
}

// The key of the mapping for a layout and a file's titles: the kind, every shown field (name
// and title) and the titles, hashed.
QString MappingKey(const ReportDocument& document, const QStringList& titles)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    const auto add = [&](const QString& text) {
        hash.addData(text.toUtf8());
        hash.addData(QByteArrayView("\x1F", 1));
    };
    add(document.kind() == ReportKind::Repo ? QStringLiteral("repo") : QStringLiteral("deals"));
    const ReportModel& rows = document.rows();
    for (int c = 1; c < rows.columnCount(); ++c) {
        add(rows.column(c).name);
        add(rows.column(c).title);
    }
    add(QStringLiteral("\x1E"));
    for (const QString& title : titles)
        add(title);
    return QStringLiteral("Mapping_") + QString::fromLatin1(hash.result().toHex());
}

// A line break inside a cell becomes a blank.
QString withoutLineBreaks(const QString& text)
{
    if (!text.contains(u'\n') && !text.contains(u'\r'))
        return text;
    QString out = text;
    out.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    out.replace(u'\r', u' ');
    out.replace(u'\n', u' ');
    return out;
}

// The duplicate rules of a deal alone: nothing to repeat.
class NoDeals : public DealKeys {
public:
    bool holds(DealKey, const QString&, int) const override { return false; }
};

} // namespace

QList<int> ImportMapping::unfilled(const ReportModel& rows) const
{
    QList<int> missing;
    for (int c = 1; c < rows.columnCount(); ++c) {
        if (!columns.contains(c))
            missing.append(c);
    }
    return missing;
}

QList<int> ImportMapping::doubled() const
{
    QList<int> twice;
    QSet<int> seen;
    for (const int c : columns) {
        if (c > 0 && seen.contains(c) && !twice.contains(c))
            twice.append(c);
        seen.insert(c);
    }
    return twice;
}

QList<int> ImportMapping::lacking(const ReportDocument& document,
                                  const QList<FieldCheck>& untouched) const
{
    // The deal check of a deal whose filled fields hold a value every rule takes and whose
    // other fields hold their untouched values; each field a rule fails on is noted and given
    // such a value in turn, so that every rule is asked.
    const ReportModel& rows = document.rows();
    const QString passing = QStringLiteral("1");
    QStringList fields(rows.columnCount() - 1);
    for (int c = 1; c < rows.columnCount(); ++c)
        fields[c - 1] = columns.contains(c) ? passing : untouched.value(c - 1).text;
    QList<int> lacking;
    const NoDeals none;
    for (int round = 0; round < rows.columnCount(); ++round) {
        const DealCheck check = document.checkDeal(fields, none, DealCheckMode::Add);
        if (check.passed)
            break;
        const int c = rows.columnOfName(check.field);
        if (c < 1 || lacking.contains(c))
            break; // a field the layout lacks: no column of a file could fill it
        lacking.append(c);
        fields[c - 1] = passing;
    }
    return lacking;
}

QList<FieldCheck> UntouchedFields(const ReportDocument& document, const QDate& today)
{
    const ReportModel& rows = document.rows();
    QList<FieldCheck> fields;
    fields.reserve(rows.columnCount() - 1);
    for (int c = 1; c < rows.columnCount(); ++c) {
        const QString opened = InitialEditorValue(rows.column(c), document.kind(), today);
        fields.append(document.checkField(c, opened, today));
    }
    const int participant = rows.columnOfName(QStringLiteral("Participant"));
    if (participant >= 1 && TrimSpaces(fields.at(participant - 1).text).isEmpty())
        fields[participant - 1].text = document.participantOrDefault(QString());
    return fields;
}

QString ImportTitleKey(const QString& title)
{
    QString key;
    key.reserve(title.size());
    for (const QChar c : title) {
        if (!c.isSpace())
            key.append(c);
    }
    return key.toCaseFolded();
}

namespace {

// The field of each title key: a field's title (as the grid shows it) and its name, compared as
// ImportTitleKey. Titles first, then names, so that a title that is another field's name goes
// to its own field.
QHash<QString, int> FieldsByTitleKey(const ReportModel& rows)
{
    QHash<QString, int> byKey;
    for (int c = rows.columnCount() - 1; c >= 1; --c)
        byKey.insert(ImportTitleKey(rows.column(c).name), c);
    for (int c = rows.columnCount() - 1; c >= 1; --c)
        byKey.insert(ImportTitleKey(rows.column(c).title), c);
    byKey.remove(QString());
    return byKey;
}

QString quotedName(const QString& text)
{
    return QStringLiteral("«") + text + QStringLiteral("»");
}

} // namespace

MappingProposal ProposeMapping(const ReportDocument& document, const QStringList& titles,
                               const QDate& today)
{
    const QHash<QString, int> byKey = FieldsByTitleKey(document.rows());

    MappingProposal proposal;
    proposal.mapping.titles = titles;
    proposal.complete = true;
    QSet<int> taken;
    for (const QString& title : titles) {
        const QString key = ImportTitleKey(title);
        int column = 0;
        if (!key.isEmpty()) {
            column = byKey.value(key, 0);
            if (column == 0 || taken.contains(column)) {
                proposal.complete = false;
                column = 0;
            }
        }
        if (column > 0)
            taken.insert(column);
        proposal.mapping.columns.append(column);
    }
    if (!proposal.mapping.lacking(document, UntouchedFields(document, today)).isEmpty())
        proposal.complete = false;
    return proposal;
}

Outcome ChooseMapping(const ReportDocument& document, const QStringList& titles,
                      const QList<MappingChoice>& choices, const QDate& today,
                      ImportMapping& mapping)
{
    const ReportModel& rows = document.rows();
    std::optional<ImportMapping> remembered = RememberedMapping(document, titles);
    mapping = remembered ? std::move(*remembered) : ProposeMapping(document, titles, today).mapping;
    QList<bool> chosen(titles.size(), false);
    const QHash<QString, int> byKey = FieldsByTitleKey(rows);
    for (const MappingChoice& choice : choices) {
        const QString titleKey = ImportTitleKey(choice.title);
        qsizetype column = -1;
        for (qsizetype i = 0; i < titles.size() && column < 0; ++i) {
            if (ImportTitleKey(titles.at(i)) == titleKey)
                column = i;
        }
        if (column < 0)
            return Outcome::Failed(QStringLiteral("В файле нет столбца ") +
                                   quotedName(choice.title));
        int field = 0;
        if (!ImportTitleKey(choice.field).isEmpty()) {
            field = byKey.value(ImportTitleKey(choice.field), 0);
            if (field == 0)
                return Outcome::Failed(QStringLiteral("В отчете нет поля ") +
                                       quotedName(choice.field));
        }
        mapping.columns[column] = field;
        chosen[column] = true;
    }
    // A titled column the titles did not place and nobody chose for is never dropped silently:
    // its values would go nowhere and the field it was meant for would keep its default.
    if (!remembered) {
        for (qsizetype i = 0; i < titles.size(); ++i) {
            if (!chosen.at(i) && mapping.columns.at(i) == 0 &&
                !ImportTitleKey(titles.at(i)).isEmpty())
                return Outcome::Failed(QStringLiteral("Столбец ") + quotedName(titles.at(i)) +
                                       QStringLiteral(" не сопоставлен ни одному полю отчета"));
        }
    }
    if (const QList<int> doubled = mapping.doubled(); !doubled.isEmpty())
        return Outcome::Failed(QStringLiteral("Поле ") +
                               quotedName(rows.column(doubled.first()).title) +
                               QStringLiteral(" заполняют несколько столбцов файла"));
    if (const QList<int> lacking = mapping.lacking(document, UntouchedFields(document, today));
        !lacking.isEmpty())
        return Outcome::Failed(QStringLiteral("Поле ") +
                               quotedName(rows.column(lacking.first()).title) +
                               QStringLiteral(" обязательно, но его не заполняет ни один столбец"));
    return Outcome::Done();
}

std::optional<ImportMapping> RememberedMapping(const ReportDocument& document,
                                               const QStringList& titles)
{
    const QString kept =
        PlacementStore::Read(MappingStore(), MappingKey(document, titles), QString());
    if (kept.isEmpty())
        return std::nullopt;
    const QStringList names = kept.split(u'|');
    if (names.size() != titles.size())
        return std::nullopt;
    ImportMapping mapping;
    mapping.titles = titles;
    for (const QString& name : names) {
        const int column = name.isEmpty() ? 0 : document.rows().columnOfName(name);
        if (column < 0)
            return std::nullopt;
        mapping.columns.append(column);
    }
    if (!mapping.doubled().isEmpty())
        return std::nullopt;
    return mapping;
}

void RememberMapping(const ReportDocument& document, const ImportMapping& mapping)
{
    QStringList names;
    for (const int c : mapping.columns)
        names << (c > 0 ? document.rows().column(c).name : QString());
    PlacementStore::Write(MappingStore(), MappingKey(document, mapping.titles), names.join(u'|'));
}

QStringList RefusedRowsTable::columnTitles() const
{
    return {QStringLiteral("Строка"), QStringLiteral("Поле"), QStringLiteral("Значение"),
            QStringLiteral("Ошибка")};
}

void RefusedRowsTable::rowCells(int row, QList<TableCell>& cells) const
{
    const RefusedRow& r = rows_.at(row);
    cells = {TableCell::numberCell(QString::number(r.row)), TableCell::textCell(r.field),
             TableCell::textCell(r.value), TableCell::textCell(r.message)};
}

DealImport::DealImport(const ReportDocument& document, ImportMapping mapping, const QDate& today)
    : document_(document), rows_(document.rows()), mapping_(std::move(mapping)), today_(today),
      untouched_(UntouchedFields(document, today)), participant_(DefaultParticipant()),
      numbers_(NumberReading::Current()), keys_(rows_)
{
    const int fieldCount = rows_.columnCount() - 1;
    for (int i = 0; i < mapping_.columns.size(); ++i) {
        const int c = mapping_.columns.at(i);
        if (c >= 1 && c <= fieldCount)
            loaded_.append({i, c});
    }
    fileColumnOf_ = QList<int>(fieldCount + 1, -1);
    for (const auto& [i, c] : loaded_)
        fileColumnOf_[c] = i;
}

void DealImport::check(const TableRecord& record)
{
    ++records_;
    const int fieldCount = rows_.columnCount() - 1;
    QStringList fields(fieldCount);
    for (const auto& [i, c] : loaded_)
        fields[c - 1] = withoutLineBreaks(record.cell(i));
    const QList<int>& fileColumnOf = fileColumnOf_;
    const auto fileValue = [&](int column) {
        const int i = column >= 1 && column <= fieldCount ? fileColumnOf.at(column) : -1;
        return i < 0 ? QString() : record.cell(i);
    };
    // Every refused row is counted; the lines of the first ones are kept.
    const bool listed = refusedRecords_ < kRefusedListRows;
    bool failed = false;
    const auto refuse = [&](const QString& field, const QString& value, const QString& message) {
        failed = true;
        if (listed)
            refused_.append({record.number, field, value, message});
    };

    for (int c = 1; c <= fieldCount; ++c) {
        const FieldCheck check = fileColumnOf.at(c) < 0
                                     ? untouched_.at(c - 1)
                                     : document_.checkField(c, fields.at(c - 1), today_, numbers_);
        if (!check.passed()) {
            refuse(rows_.column(c).title, fileValue(c), check.failure);
            continue;
        }
        fields[c - 1] = check.text;
    }
    if (!failed) {
        document_.applyDefaultParticipant(fields, participant_);
        const DealCheck check = document_.checkDeal(fields, keys_, DealCheckMode::Add);
        if (check.passed) {
            keys_.remember(fields);
            if (keepDeals_) {
                deals_.append(std::move(fields));
                dealRows_.append(record.number);
            }
            return;
        }
        const int column = rows_.columnOfName(check.field);
        refuse(column >= 1 ? rows_.column(column).title : check.field, fileValue(column),
               check.failure);
    }
    ++refusedRecords_;
}

QString RefusedListNote(int refusedRows)
{
    if (refusedRows <= kRefusedListRows)
        return QString();
    return QStringLiteral("показаны первые %1 из %2").arg(kRefusedListRows).arg(refusedRows);
}

QString ImportStatusText(int loaded, int read, int refused)
{
    return QStringLiteral("Загружено %1 из %2, отклонено %3").arg(loaded).arg(read).arg(refused);
}

} // namespace varnel
