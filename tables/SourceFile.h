#pragma once

#include "tables/TableLimits.h"

#include <QByteArray>
#include <QString>

namespace varnel::tables {

// The file a table is read from: a regular file opened for reading, never through a symbolic
// link, refused when larger than the limits allow. What it was when opened (its identity, size
// and times of change) is kept, so that a file another program writes while it is read is
// found out at the end instead of giving a mix of two files.
class SourceFile {
public:
    // Raises the reading error (TableReadErrorText) with the system's reason or the bound.
    SourceFile(const QString& path, const TableLimits& limits);
    ~SourceFile();
    SourceFile(const SourceFile&) = delete;
    SourceFile& operator=(const SourceFile&) = delete;

    const QString& path() const { return path_; }
    qint64 size() const { return size_; }
    // Up to size bytes from the current place; 0 at the end. Raises on a failed read.
    qint64 read(char* data, qint64 size);
    // Back to the start.
    void rewind();
    // Up to size bytes from offset on, the place of read() left where it was.
    QByteArray readAt(qint64 offset, qint64 size);
    // A second descriptor of the open file, for a library that reads it by itself and closes
    // it; -1 when there is none (then it opens path()).
    int duplicateDescriptor() const;
    // Raises when the file is no longer the one that was opened: written, truncated or grown
    // since.
    void checkUnchanged() const;

    // Raises the reading error of this file with the reason.
    [[noreturn]] void fail(const QString& reason) const;

private:
    QString path_;
    qint64 size_ = 0;
    int fd_ = -1;
    struct Identity {
        qint64 device = 0, inode = 0, size = 0;
        qint64 modified = 0, changed = 0; // nanoseconds
        bool operator==(const Identity&) const = default;
    };
    Identity identity() const;
    Identity opened_;
#if !defined(Q_OS_UNIX)
    struct Portable;
    std::unique_ptr<Portable> portable_;
#endif
};

// The text of a size in the messages: "256 МБ".
QString MegabytesText(qint64 bytes);

} // namespace varnel::tables
