#pragma once

// Folders, requests and answers for the loopback registry's tests.

#include "tests/support/TestFiles.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

namespace {

using varnel::testing::ReadBytes;
using varnel::testing::WriteBytes;

// A request as the client writes it: Windows-1251, CR LF, the version comment, the document
// element and one line per row.
[[maybe_unused]] QByteArray ClientDocument(const QString& root, const QString& rootAttributes,
                                           const QString& row, const QStringList& rows)
{
    QString text = QStringLiteral("<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n"
                                  "<!-- Message has been generated with Varnel Client version "
                                  "2.1.0 -->\r\n");
    if (row.isEmpty()) {
        text += u'<' + root + u' ' + rootAttributes + QStringLiteral(" />\r\n");
    } else {
        text += u'<' + root + u' ' + rootAttributes + QStringLiteral(">\r\n");
        // The repo revocation rows are indented by three blanks before their "<".
        const QString name = row.trimmed();
        const QString indent = row.left(row.size() - name.size());
        for (const QString& r : rows)
            text += indent + u'<' + name + u' ' + r + QStringLiteral(" />\r\n");
        text += QStringLiteral("</") + root + QStringLiteral(">\r\n");
    }
    QStringEncoder encoder("windows-1251");
    return encoder.encode(text);
}

// An answer as text, with its time of creation blanked out.
[[maybe_unused]] QString AnswerText(const QByteArray& bytes)
{
    QStringDecoder decoder("windows-1251");
    QString text = decoder.decode(bytes);
    static const QRegularExpression created(QStringLiteral("Created=\"[0-9T:-]+\""));
    text.replace(created, QStringLiteral("Created=\"*\""));
    return text;
}

// The attributes of every Receipt row of an answer, values unescaped.
[[maybe_unused]] QList<QMap<QString, QString>> ReceiptRows(const QByteArray& bytes)
{
    QList<QMap<QString, QString>> rows;
    static const QRegularExpression attribute(QStringLiteral("(\\w+)=\"([^\"]*)\""));
    for (const QString& line : AnswerText(bytes).split(QStringLiteral("\r\n"))) {
        if (!line.startsWith(QStringLiteral("<Receipt ")))
            continue;
        QMap<QString, QString> row;
        for (auto it = attribute.globalMatch(line); it.hasNext();) {
            const auto m = it.next();
            QString value = m.captured(2);
            value.replace(QStringLiteral("&quot;"), QStringLiteral("\""))
                .replace(QStringLiteral("&apos;"), QStringLiteral("'"))
                .replace(QStringLiteral("&lt;"), QStringLiteral("<"))
                .replace(QStringLiteral("&gt;"), QStringLiteral(">"))
                .replace(QStringLiteral("&amp;"), QStringLiteral("&"));
            row.insert(m.captured(1), value);
        }
        rows.append(row);
    }
    return rows;
}

// The codes of an answer's rows in order, "ok" for an accepted one.
[[maybe_unused]] QStringList Codes(const QByteArray& bytes)
{
    QStringList codes;
    for (const auto& row : ReceiptRows(bytes))
        codes.append(row.value(QStringLiteral("Status")) == u"Accepted"
                         ? QStringLiteral("ok")
                         : row.value(QStringLiteral("Code")));
    return codes;
}

// A deal row of the client's ordinary report.
[[maybe_unused]] QString DealRow(const QString& participant, const QString& agreement,
                                 const QString& reference, const QString& extra = QString())
{
    QString row = QStringLiteral("Participant=\"%1\" Issue=\"SNEN-AO1\"").arg(participant);
    if (!agreement.isEmpty())
        row += QStringLiteral(" Agreement=\"%1\"").arg(agreement);
    if (!reference.isEmpty())
        row += QStringLiteral(" Reference=\"%1\"").arg(reference);
    row += QStringLiteral(" TradeDate=\"2024-03-15\" Price=\"10.5\" Currency=\"RUB\" "
                          "Qty=\"100\" SettlCurrency=\"RUB\"");
    if (!extra.isEmpty())
        row += u' ' + extra;
    return row;
}

[[maybe_unused]] QString RepoRow(const QString& participant, const QString& reference)
{
    return QStringLiteral("Participant=\"%1\" Issue=\"SNEN-AO1\" Reference=\"%2\" "
                          "Price=\"99.5\" Qty=\"10\" Currency=\"RUB\" Amount=\"995\" "
                          "RepoDays=\"7\" RepurchaseAmount=\"1000\" SettlCurrency=\"RUB\"")
        .arg(participant, reference);
}

} // namespace
