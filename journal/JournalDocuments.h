#pragma once

#include "answers/Answers.h"
#include "core/XmlLoad.h"
#include "journal/JournalTypes.h"

#include <QString>

namespace varnel::journal {

// A request document as the send pipeline wrote it, one row after another.
class RequestDocumentReader {
public:
    explicit RequestDocumentReader(const QString& path);
    const QString& rootName() const { return reader_.root().name; }
    // The attributes of the next row; false at the end.
    bool next(Attributes& row);

private:
    XmlChildReader reader_;
    XmlElement element_;
};

// The deal of a request row: the keys the receipt names, and the row itself.
DealEntry DealOfRow(int n, Attributes row);

// The value of an attribute (exact name); empty when absent.
QString ValueOf(const Attributes& attributes, QStringView name);

} // namespace varnel::journal
