#include "shell/OptionsModel.h"

#include "core/Settings.h"
#include "core/Values.h"

namespace varnel {
namespace {

const QString kMain = QStringLiteral("Main");
const QString kPath = QStringLiteral("Path");

} // namespace

const QList<OptionSetting>& OptionsModel::Fields()
{
    static const QList<OptionSetting> fields = {
        {OptionField::Participant, kMain, QStringLiteral("Participant"),
         QStringLiteral("txtParticipant")},
        {OptionField::Language, kMain, QStringLiteral("Language"), QStringLiteral("cmbLanguage")},
        {OptionField::SchemaDeals, kPath, QStringLiteral("SchemaDeals"),
         QStringLiteral("txtDealsSchema")},
        {OptionField::SchemaDealsRevoke, kPath, QStringLiteral("SchemaDealsRevoke"),
         QStringLiteral("txtDealsRevokeSchema")},
        {OptionField::SchemaILSubscribe, kPath, QStringLiteral("SchemaIssueListSubscr"),
         QStringLiteral("txtILSubscribeSchema")},
        {OptionField::SchemaIssueList, kPath, QStringLiteral("SchemaIssueList"),
         QStringLiteral("txtIssueListSchema")},
        {OptionField::FolderWork, kPath, QStringLiteral("FolderWork"),
         QStringLiteral("txtFolderWork")},
        {OptionField::FolderSend, kPath, QStringLiteral("FolderSend"),
         QStringLiteral("txtFolderSend")},
        {OptionField::FolderReceive, kPath, QStringLiteral("FolderReceive"),
         QStringLiteral("txtFolderReceive")},
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
