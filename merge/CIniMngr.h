#pragma once

#include "IniError.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <vector>

namespace varnel {

enum class IniLineKind {
    Other = 0,  // comment, blank line, line of spaces
    Header = 1, // section header
    Key = 2,    // key line
};

// One line of an INI text as the document keeps it.
struct IniLineRecord {
    IniLineKind kind = IniLineKind::Other;
    QString name;  // header: the section name; key line: the key name
    QString value; // key line: the text after "="; other line: the whole line as read
};

// Parses one line of an INI text; a malformed line raises error 9.
IniLineRecord ParseIniLine(const QString& line);

// The form in which a record is written back.
QString FormatIniLine(const IniLineRecord& record);

// A name that compares and hashes without regard to letter case (Latin and Cyrillic letters
// alike); the text itself stays as written.
struct NoCaseName {
    QString text;
};
bool operator==(const NoCaseName& a, const NoCaseName& b) noexcept;
size_t qHash(const NoCaseName& name, size_t seed = 0) noexcept;

// Ordered map from combined key to value text; keys compare exactly.
class IniValueMap {
public:
    qsizetype size() const { return keys_.size(); }
    bool isEmpty() const { return keys_.isEmpty(); }
    bool contains(const QString& key) const;
    QString value(const QString& key) const;
    const QStringList& keys() const { return keys_; }
    const QStringList& values() const { return values_; }

    // Appends an entry; a key already held raises error 457.
    void insert(const QString& key, const QString& value);

private:
    friend class CIniMngr;
    const QHash<QString, qsizetype>& Index() const;

    QStringList keys_;
    QStringList values_;
    mutable QHash<QString, qsizetype> index_; // built on first lookup
    mutable bool indexed_ = false;
};

// In-memory model of one INI text. Every line is kept, comments, blank lines and their order
// included; sections and keys are found without regard to letter case (Latin and Cyrillic).
// A combined key is "[" + section + "]" + key name.
class CIniMngr {
public:
    QString Value(const QString& bstKey_I) const;
    void Value(const QString& bstKey_I, const QString& bstValueNew_I);

    QString ValueGet(const QString& bstSectionName_I, const QString& bstParamName_I) const;
    void ValueLet(const QString& bstSectionName_I, const QString& bstParamName_I,
                  const QString& bstValue_I);

    // Adds a key line directly after the section's header, appending the header at the end
    // of the document when the section is new; with an empty key name only the section.
    void ValueAdd(const QString& bstSectionName_I, const QString& bstParamName_I,
                  const QString& bstValue_I);

    bool ValueExistsKey(const QString& bstKey_I) const;
    // With an empty key name: whether the section has a header line.
    bool ValueExists(const QString& bstSectionName_I, const QString& bstParamName_I) const;

    static void ValueKeyParce(const QString& bstKey_I, QString& bstSection_O, QString& bstParam_O);

    // Combined key to value, one entry per key line, in the order the keys were entered.
    IniValueMap Values() const;

    // Appends the lines of a text split at every CR and LF; empty pieces are dropped.
    void Load(const QString& bstIniText_I);
    // Appends each element as one line.
    void LoadLines(const QStringList& abstIniText_I);

    void Save(QString& bstIniText_O) const;
    void SaveLines(QStringList& abstIniText_O) const;

    void Clear();

    // Number of line records.
    qsizetype Count() const { return static_cast<qsizetype>(records_.size()); }

private:
    struct Record {
        IniLineRecord line;
        QString combined; // key line: its combined key, section name as written before it
        int next = -1;    // the record written after this one
    };
    struct Section {
        QHash<NoCaseName, int> keys; // key name -> record index
    };

    int EnterSection(const QString& name);
    int AppendRecord(Record record);
    void LinkAfter(int after, int index);
    int KeyRecord(const QString& bstKey_I) const;
    int KeyRecord(const QString& section, const QString& name) const;

    std::vector<Record> records_;
    std::vector<Section> sections_;
    QHash<NoCaseName, int> sectionTable_; // section name -> index into sections_
    QHash<NoCaseName, int> headerTable_;  // section name -> record of its first header
    QHash<NoCaseName, int> keyIndex_;     // combined key -> record index
    int first_ = -1;                      // record written first
    int last_ = -1;                       // record written last
};

} // namespace varnel
