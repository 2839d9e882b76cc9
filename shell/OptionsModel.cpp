#include "shell/OptionsModel.h"

#include "core/SettingKeys.h"
#include "core/Settings.h"
#include "core/Values.h"

namespace varnel {
namespace {

OptionSetting option(OptionField field, const SettingKey& setting, const char* control)
{
    return {field, setting.sectionName(), setting.keyName(), QString::fromLatin1(control)};
}

} // namespace

const QList<OptionSetting>& OptionsModel::Fields()
{
    static const QList<OptionSetting> fields = {
        option(OptionField::Participant, settings::kParticipant, "txtParticipant"),
        option(OptionField::Language, settings::kLanguage, "cmbLanguage"),
        option(OptionField::SchemaDeals, settings::kSchemaDeals, "txtDealsSchema"),
        option(OptionField::SchemaDealsRevoke, settings::kSchemaDealsRevoke,
               "txtDealsRevokeSchema"),
        option(OptionField::SchemaILSubscribe, settings::kSchemaIssueListSubscribe,
               "txtILSubscribeSchema"),
        option(OptionField::SchemaIssueList, settings::kSchemaIssueList, "txtIssueListSchema"),
        option(OptionField::FolderWork, settings::kFolderWork, "txtFolderWork"),
        option(OptionField::FolderSend, settings::kFolderSend, "txtFolderSend"),
        option(OptionField::FolderReceive, settings::kFolderReceive, "txtFolderReceive"),
    };
    return fields;
}

const OptionSetting& OptionsModel::FieldSetting(OptionField field)
{
    return Fields().at(qsizetype(field));
}

const QList<OptionField>& OptionsModel::SaveOrder()
{
    static const QList<OptionField> order = {
        OptionField::Participant,       OptionField::Language,    OptionField::SchemaIssueList,
        OptionField::SchemaILSubscribe, OptionField::SchemaDeals, OptionField::SchemaDealsRevoke,
        OptionField::FolderWork,        OptionField::FolderSend,  OptionField::FolderReceive,
    };
    return order;
}

const QStringList& OptionsModel::Languages()
{
    static const QStringList languages = {QStringLiteral("RU"), QStringLiteral("EN")};
    return languages;
}

int OptionsModel::LanguageIndex(const QString& stored)
{
    const QString wanted = TrimSpaces(stored).toUpper();
    return int(Languages().indexOf(wanted));
}

QString OptionsModel::stored(OptionField field)
{
    const OptionSetting& s = FieldSetting(field);
    return ReadSetting(s.section, s.key, QString());
}

void OptionsModel::Load()
{
    for (const OptionSetting& s : Fields())
        setValue(s.field, stored(s.field));
}

void OptionsModel::Save() const
{
    for (OptionField field : SaveOrder()) {
        const OptionSetting& s = FieldSetting(field);
        WriteSettingOrFail(s.section, s.key, value(field));
    }
}

bool OptionsModel::DiffersFromStored() const
{
    for (const OptionSetting& s : Fields()) {
        if (TrimSpaces(value(s.field)) != TrimSpaces(stored(s.field)))
            return true;
    }
    return false;
}

} // namespace varnel
