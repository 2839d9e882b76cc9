#pragma once

// Files of the tests: read, written and listed in one way for every suite. Qt Core only, so that
// the suites that link nothing of the client (the merge tool's, the loopback registry's) use it
// as well.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QString>

#include <clocale>

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

// The C library's numeric locale set to name (a desktop's, "ru_RU.UTF-8") for as long as it
// lives, as Qt's application object sets it from the environment; put back afterwards.
// available() is false when the system lacks that locale.
class NumericLocale {
public:
    explicit NumericLocale(const char* name) : old_(std::setlocale(LC_NUMERIC, nullptr))
    {
        available_ = std::setlocale(LC_NUMERIC, name) != nullptr;
    }
    ~NumericLocale() { std::setlocale(LC_NUMERIC, old_.constData()); }
    NumericLocale(const NumericLocale&) = delete;
    NumericLocale& operator=(const NumericLocale&) = delete;
    bool available() const { return available_; }

private:
    QByteArray old_;
    bool available_ = false;
};

} // namespace varnel::testing
