#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <array>

namespace varnel {

// The nine settings the options dialog edits, in the order the dialog shows them.
enum class OptionField {
    Participant,
    Language,
    SchemaDeals,
    SchemaDealsRevoke,
    SchemaILSubscribe,
    SchemaIssueList,
    FolderWork,
    FolderSend,
    FolderReceive,
};
inline constexpr int kOptionFieldCount = 9;

struct OptionSetting {
    OptionField field;
    QString section;
    QString key;
    QString control; // the dialog's field for it
};

// The options dialog without its widgets: what it reads when it opens, what it writes on OK and
// Apply, and when Apply has something to do.
class OptionsModel {
public:
    // The fields in the dialog's order, with their settings.
    static const QList<OptionSetting>& Fields();
    static const OptionSetting& FieldSetting(OptionField field);
    // The order in which OK and Apply write the settings.
    static const QList<OptionField>& SaveOrder();
    // Items of the language list.
    static const QStringList& Languages();
    // The first language item equal to the stored value once that is trimmed of blanks and
    // both are upper-cased; -1 when none is.
    static int LanguageIndex(const QString& stored);

    // Takes every value from the settings file (empty when a key is absent).
    void Load();
    // Writes every value as it stands, untrimmed, in the save order. Raises the first failed
    // write; the values before it are written.
    void Save() const;
    // True when a value differs from its stored setting, both trimmed of blanks, letter case
    // counting.
    bool DiffersFromStored() const;

    const QString& value(OptionField field) const { return values_[std::size_t(field)]; }
    void setValue(OptionField field, const QString& value) { values_[std::size_t(field)] = value; }

private:
    static QString stored(OptionField field);
    std::array<QString, kOptionFieldCount> values_;
};

} // namespace varnel
