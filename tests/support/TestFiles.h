#pragma once

// Files of the tests: read, written and listed in one way for every suite. Qt Core only, so that
// the suites that link nothing of the client (the merge tool's, the loopback registry's) use it
// as well.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QString>

namespace varnel::testing {

// The bytes of a file; "<unreadable>" when it cannot be read, so that a missing file never
// passes for an empty one.
inline QByteArray ReadBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

// Writes the bytes over the file; true when all of them were written.
inline bool WriteBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// Every file of a folder (hidden ones too) with its bytes.
inline QMap<QString, QByteArray> FolderSnapshot(const QString& folder)
{
    QMap<QString, QByteArray> files;
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden))
        files.insert(name, ReadBytes(folder + u'/' + name));
    return files;
}

} // namespace varnel::testing
