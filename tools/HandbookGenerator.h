#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace varnel::tools {

// Makes securities handbooks as the registry sends them (an XML message in Windows-1251, root
// element IssueList with the attributes Language, Created and Count, one Issue element per
// instrument, sorted by code) for the demo program folder, the tests and the benches. The same seed
// gives the same file, byte for byte.
struct HandbookOptions {
    int instruments = 300;
    quint32 seed = 1;
    QDateTime stamp = QDateTime(QDate(2025, 3, 10), QTime(9, 30, 12));
};

// The attributes of an instrument, in the order they are written (an empty one is left out):
// Code, ShortName, Name (full name), ISIN, RegNum, Issuer, Kind ("Акция", "Облигация"),
// FaceValue, Currency, IssueSize, IssueDate, MaturityDate (bonds only).
inline constexpr const char* kHandbookAttributes[] = {
    "Code", "ShortName", "Name",     "ISIN",      "RegNum",    "Issuer",
    "Kind", "FaceValue", "Currency", "IssueSize", "IssueDate", "MaturityDate"};

// The whole file, CR LF line ends.
QByteArray GenerateHandbook(const HandbookOptions& options);

// Writes it; false (with the reason in *error) when the file cannot be written.
bool WriteHandbook(const QString& path, const HandbookOptions& options, QString* error = nullptr);

// The check digit of the first eleven characters of an ISIN.
int IsinCheckDigit(const QString& first11);

} // namespace varnel::tools
