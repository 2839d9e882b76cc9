#pragma once

// The reconciliation suites' fixture: a back office's file of deals written as CSV, and a
// journal's history of requests and answers recorded straight into its store.

#include "journal/JournalStore.h"
#include "reconcile/Reconcile.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QHash>
#include <QStringList>

namespace varnel::testing {

// The columns of the file, by the fields' names (the import maps them by their names).
inline const QStringList& FileFields()
{
    static const QStringList fields{"Participant", "Issue", "Agreement", "Reference", "TradeDate",
                                    "Price",       "Qty",   "Currency",  "Amount"};
    return fields;
}

// A deal given as "KEY;Field=value;...": KEY its Reference, or "@AGREEMENT" for a deal without
// one; the other fields their usual values. In the file the values are written as a back office
// writes them (decimal commas, dd.mm.yyyy), in the journal as the client writes a request.
inline QList<QPair<QString, QString>> DealValues(const QString& spec, bool file)
{
    const QStringList parts = spec.split(u';');
    const QString key = parts.first();
    const bool byAgreement = key.startsWith(u'@');
    QList<QPair<QString, QString>> values{{"Participant", "MC0001"},
                                          {"Issue", "SNEN-AO1"},
                                          {"Agreement", byAgreement ? key.mid(1) : "A-" + key},
                                          {"Reference", byAgreement ? QString() : key},
                                          {"TradeDate", file ? "07.03.2024" : "2024-03-07"},
                                          {"Price", file ? "101,50" : "101.50"},
                                          {"Qty", "10"},
                                          {"Currency", "RUB"},
                                          {"Amount", file ? "1015,00" : "1015.00"}};
    for (const QString& part : parts.mid(1)) {
        const qsizetype eq = part.indexOf(u'=');
        const QString name = part.left(eq), value = part.mid(eq + 1);
        auto it = std::find_if(values.begin(), values.end(),
                               [&](const auto& v) { return v.first == name; });
        if (it != values.end())
            it->second = value;
        else
            values.append({name, value});
    }
    if (!file)
        values.removeIf([](const auto& v) { return v.second.isEmpty(); });
    return values;
}

// Writes a CSV file of the deals given (DealValues), the fields' names as its titles.
inline bool WriteDealsFile(const QString& path, const QStringList& deals)
{
    QStringList lines{FileFields().join(u';')};
    for (const QString& spec : deals) {
        QStringList cells;
        const auto values = DealValues(spec, true);
        for (const QString& field : FileFields()) {
            auto it = std::find_if(values.cbegin(), values.cend(),
                                   [&](const auto& v) { return v.first == field; });
            cells << (it == values.cend() ? QString() : it->second);
        }
        lines << cells.join(u';');
    }
    return WriteBytes(path, lines.join(QStringLiteral("\r\n")).toUtf8() + "\r\n");
}

// A journal's history written straight into its store.
//   report("R-1=ok R-2=S16;Price=101.6"): one report of two deals, R-1 accepted (its registry
//     number "<request>-<n>"), R-2 rejected with S16; "wait" leaves a deal without an answer;
//     "repo R-1=ok" is a report of repo deals.
//   revoke("R-1"): the deal's latest registry number revoked, and the revocation accepted.
class JournalHistory {
public:
    explicit JournalHistory(const QString& folder)
        : folder_(folder), store_(journal::JournalStore::FileIn(folder))
    {
        QDir().mkpath(folder);
        store_.open(true);
    }

    void report(QString spec)
    {
        QString kind = QStringLiteral("Deals");
        if (spec.startsWith(QStringLiteral("repo "))) {
            kind = QStringLiteral("RepoDeals");
            spec = spec.mid(5);
        }
        const QStringList deals = spec.split(u' ', Qt::SkipEmptyParts);
        QList<journal::Attributes> rows;
        QStringList results, keys;
        for (const QString& deal : deals) {
            const qsizetype eq = deal.indexOf(u'=');
            const qsizetype semi = deal.indexOf(u';');
            const QString result = deal.mid(eq + 1, semi < 0 ? -1 : semi - eq - 1);
            keys << deal.left(eq);
            results << result;
            rows << DealValues(deal.left(eq) + (semi < 0 ? QString() : deal.mid(semi)), false);
        }
        const int number = ++requests_;
        const QString file = QStringLiteral("DL%1.xml").arg(number);
        int n = 0;
        const qint64 id =
            store_.recordRequest(kind, file, sent(number), "MC0001", [&](journal::DealEntry& d) {
                if (n == rows.size())
                    return false;
                d = journal::DealOfRow(n + 1, rows.at(n));
                ++n;
                return true;
            });
        if (results.count(QStringLiteral("wait")) < results.size())
            answer(
                id, file,
                kind == u"Deals" ? varnel::AnswerKind::Receipts : varnel::AnswerKind::RepoReceipts,
                [&](int row, varnel::AnswerRow& r) {
                    if (results.at(row) == u"wait")
                        return false;
                    if (results.at(row) == u"ok") {
                        r.status = QStringLiteral("Accepted");
                        r.id = QStringLiteral("%1-%2").arg(number).arg(row + 1);
                        registry_.insert(keys.at(row), r.id);
                    } else {
                        r.status = QStringLiteral("Rejected");
                        r.code = results.at(row);
                        r.text = QStringLiteral("отклонена");
                    }
                    return true;
                },
                int(rows.size()));
    }

    void revoke(const QString& key)
    {
        const QString registry = registry_.value(key);
        const int number = ++requests_;
        const QString file = QStringLiteral("RV%1.xml").arg(number);
        bool given = false;
        const qint64 id = store_.recordRequest("RevokeDeals", file, sent(number), "MC0001",
                                               [&](journal::DealEntry& d) {
                                                   if (given)
                                                       return false;
                                                   given = true;
                                                   d = journal::DealOfRow(1, {{"Id", registry}});
                                                   return true;
                                               });
        answer(
            id, file, varnel::AnswerKind::RevokeReceipts,
            [&](int, varnel::AnswerRow& r) {
                r.status = QStringLiteral("Accepted");
                r.id = registry;
                return true;
            },
            1);
    }

private:
    static QString sent(int number)
    {
        return QStringLiteral("2024-03-07T10:%1:00.000").arg(number, 2, 10, QChar(u'0'));
    }

    void answer(qint64 id, const QString& file, varnel::AnswerKind kind,
                const std::function<bool(int, varnel::AnswerRow&)>& row, int rows)
    {
        varnel::AnswerHead head;
        head.kind = kind;
        head.request = file;
        head.created = QStringLiteral("2024-03-07T12:00:00");
        int at = 0;
        store_.takeAnswer({folder_ + "/in/" + file, 1, id}, head, id, [&](varnel::AnswerRow& r) {
            while (at < rows) {
                r = varnel::AnswerRow();
                r.n = at + 1;
                if (row(at++, r))
                    return true;
            }
            return false;
        });
    }

    QString folder_;
    journal::JournalStore store_;
    int requests_ = 0;
    QHash<QString, QString> registry_;
};

// The lines of a result, one a line: the key, the state, the registry number, the code, the
// differing fields, and how many requests carried the deal when more than one.
inline QString Dump(const reconcile::ReconcileResult& result)
{
    QStringList lines;
    for (const reconcile::Line& line : result.lines) {
        QStringList parts{line.keyText(), reconcile::StateText(line.state)};
        if (const reconcile::SentRequest* r = line.decisiveRequest()) {
            if (!r->registryId.isEmpty())
                parts << r->registryId;
            if (!r->code.isEmpty())
                parts << r->code;
        }
        for (const reconcile::Difference& d : line.differences())
            parts << d.field + ": " + d.inFile + " / " + d.sent;
        if (line.requests.size() > 1)
            parts << QStringLiteral("[%1]").arg(line.requests.size());
        lines << parts.join(u' ');
    }
    return lines.join(u'\n');
}

} // namespace varnel::testing
