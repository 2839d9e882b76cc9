#pragma once

// The deal layout the report benches run on: the fields of a deal in layout order, the layout
// file made of them, and the dates of generated deals.
#include "core/AppContext.h"
#include "core/Settings.h"

#include <QByteArray>
#include <QFile>
#include <QLatin1String>
#include <QString>

#include <vector>

namespace varnel::bench {

struct DealField {
    const char* name;
    const char* type;
    const char* format;
};

struct DealLayoutOptions {
    bool trader = false;      // a "Trader" field before "Comment": 25 fields instead of 24
    bool emptyValues = false; // every field an Empty attribute: "0" for AccruedInt, else ""
};

// The fields of the layout in their order.
inline std::vector<DealField> DealFields(const DealLayoutOptions& options)
{
    std::vector<DealField> fields = {{"Participant", "", ""},
                                     {"Issue", "", ""},
                                     {"ISIN", "", ""},
                                     {"RegNum", "", ""},
                                     {"Agreement", "", ""},
                                     {"Reference", "", ""},
                                     {"TradeDate", "D", ""},
                                     {"SettleDate", "D", ""},
                                     {"Side", "", ""},
                                     {"Counterparty", "", ""},
                                     {"CounterpartyName", "", ""},
                                     {"Price", "N", "0.00########"},
                                     {"Currency", "", ""},
                                     {"Qty", "N", "0"},
                                     {"QtyFrac", "N", ""},
                                     {"Amount", "N", "#,##0.00"},
                                     {"AccruedInt", "N", "#,##0.00"},
                                     {"SettlCurrency", "", ""},
                                     {"SettlAmount", "N", "#,##0.00"},
                                     {"Settle", "N", "0"},
                                     {"Block", "N", "0"},
                                     {"TradePlace", "", ""},
                                     {"Broker", "", ""}};
    if (options.trader)
        fields.push_back({"Trader", "", ""});
    fields.push_back({"Comment", "", ""});
    return fields;
}

// The date of generated deal r, a day of 2024 as the date fields show it.
inline QString DealDate(int r)
{
    return QStringLiteral("%1.%2.2024")
        .arg(1 + r % 28, 2, 10, QChar(u'0'))
        .arg(1 + (r / 28) % 12, 2, 10, QChar(u'0'));
}

// The layout file of those fields, each titled with its name and 1200 twips wide.
inline QByteArray DealLayoutXml(const DealLayoutOptions& options)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<DealsStructure>\r\n";
    for (const DealField& f : DealFields(options)) {
        QString line =
            QStringLiteral("  <Field Name=\"%1\" Title=\"%1\" Width=\"1200\" Type=\"%2\" "
                           "Format=\"%3\"")
                .arg(QLatin1String(f.name), QLatin1String(f.type), QLatin1String(f.format));
        if (options.emptyValues)
            line += QStringLiteral(" Empty=\"%1\"")
                        .arg(QLatin1String(QByteArray(f.name) == "AccruedInt" ? "0" : ""));
        xml += (line + QStringLiteral(" />\r\n")).toUtf8();
    }
    xml += "</DealsStructure>\r\n";
    return xml;
}

// A program folder of a bench run: its settings (participant MC0001, messages in Russian) and
// the deals' layout, each written once.
inline void SetUpDealsFolder(const QString& folder, const DealLayoutOptions& options)
{
    SetProgramFolder(folder);
    SetSettingsFilePath(folder + QStringLiteral("/varnel_client.ini"));
    QFile ini(SettingsFilePath());
    if (!ini.exists() && ini.open(QIODevice::WriteOnly))
        ini.write("[Main]\r\nParticipant=MC0001\r\nLanguage=RU\r\n");
    QFile layout(folder + QStringLiteral("/deals_struct_client.xml"));
    if (layout.exists() || !layout.open(QIODevice::WriteOnly))
        return;
    layout.write(DealLayoutXml(options));
}

} // namespace varnel::bench
