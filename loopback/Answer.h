#pragma once

#include "FileOps.h"
#include "Request.h"

#include <QByteArray>
#include <QTemporaryFile>

#include <memory>

namespace loopback {

// The lines of an answer document: Windows-1251, each line ending in CR LF, attributes in the
// order given and left out when empty.
QByteArray DeclarationLine();
// Now as an answer's Created value: yyyy-mm-ddThh:mm:ss, the registry's local time.
QString CreatedText();
// "<Name a="1" b="2">" or, with empty, "<Name a="1" />".
void AppendStartTag(QByteArray& out, QStringView element, const Attributes& attributes, bool empty);
void AppendEndTag(QByteArray& out, QStringView element);

// The rows of an answer while its request is read: the counts of the document element are
// known only at the end. Kept in memory, and in a hidden file of the given folder beyond a
// few megabytes.
class RowSpool {
public:
    explicit RowSpool(const QString& folder) : folder_(folder) {}
    // 0 or errno.
    int append(const QByteArray& line);
    int writeTo(HiddenFile& file);

private:
    QString folder_;
    QByteArray buffer_;
    std::unique_ptr<QTemporaryFile> file_;
};

} // namespace loopback
