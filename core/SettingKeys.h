#pragma once

#include <QString>

namespace varnel {

// One entry of the settings file: its section, its key and the value read when it is absent or
// empty.
struct SettingKey {
    const char* section;
    const char* key;
    const char* def = "";

    QString sectionName() const { return QString::fromLatin1(section); }
    QString keyName() const { return QString::fromLatin1(key); }
    // True when section and key name this entry (letter case aside, as the file has it).
    bool is(const QString& sectionText, const QString& keyText) const
    {
        return sectionText.compare(QLatin1String(section), Qt::CaseInsensitive) == 0 &&
               keyText.compare(QLatin1String(key), Qt::CaseInsensitive) == 0;
    }

    QString read() const;
    // A write made in passing; a failure is silent (WriteSetting).
    void write(const QString& value) const;
    // A write the user asked for; a failure raises (WriteSettingOrFail).
    void writeOrFail(const QString& value) const;
};

// Every entry the client reads or writes by name, each named once, here. Sections whose keys
// are made up at run time are named below them.
namespace settings {

inline constexpr SettingKey kParticipant{"Main", "Participant"};
inline constexpr SettingKey kLanguage{"Main", "Language", "RU"};
// "1" in the demo program folder: its title says so, and it runs beside the user's own client.
inline constexpr SettingKey kDemo{"Main", "Demo"};

inline constexpr SettingKey kFolderWork{"Path", "FolderWork"};
inline constexpr SettingKey kFolderSend{"Path", "FolderSend"};
inline constexpr SettingKey kFolderReceive{"Path", "FolderReceive"};
// The stylesheets of the incoming messages.
inline constexpr SettingKey kSchemaDeals{"Path", "SchemaDeals"};
inline constexpr SettingKey kSchemaRepoDeals{"Path", "SchemaRepoDeals"};
inline constexpr SettingKey kSchemaIssueList{"Path", "SchemaIssueList"};
inline constexpr SettingKey kSchemaIssueListSubscribe{"Path", "SchemaIssueListSubscr"};
inline constexpr SettingKey kSchemaDealsRevoke{"Path", "SchemaDealsRevoke"};
inline constexpr SettingKey kSchemaRepoDealsRevoke{"Path", "SchemaRepoDealsRevoke"};

inline constexpr SettingKey kCurrentHandbookPath{"IssueList", "CurrentHandbookPath"};
inline constexpr SettingKey kCurrentHandbookTime{"IssueList", "CurrentHandbookTime"};

// Coded message texts: key = code + "_" + language.
inline constexpr const char* kErrorMessageSection = "ErrorMessage";
// Column widths of the report grids, by field name.
inline constexpr const char* kReportGridSection = "Grid_Reports";

} // namespace settings

// The ones most read, typed.

// Main/Language: the message language, "RU" when not set.
QString MessageLanguage();
// Main/Participant: the participant code filled in where a deal or revocation has none.
QString DefaultParticipant();
// Path/FolderWork and Path/FolderReceive, resolved against the program folder.
QString WorkFolder();
QString ReceiveFolder();
// IssueList/CurrentHandbookPath as written.
QString CurrentHandbookPath();

} // namespace varnel
