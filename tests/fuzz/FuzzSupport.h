#pragma once

// What the fuzz targets share: a scratch folder for the files a parser reads, checks that stop
// the run with a message, and turning fuzz bytes into text.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <unistd.h>

namespace varnel::fuzz {

// A folder of this process for the files the targets write, in memory where the system has
// such a folder.
inline const QString& ScratchFolder()
{
    static const QString folder = [] {
        const QString base = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm")
                                                                       : QDir::tempPath();
        const QString path = base + QStringLiteral("/varnel-fuzz-") + QString::number(::getpid());
        QDir().mkpath(path);
        return path;
    }();
    return folder;
}

inline QString ScratchFile(const char* name)
{
    return ScratchFolder() + u'/' + QString::fromLatin1(name);
}

// Puts the bytes in a file, replacing what it held.
inline void WriteFile(const QString& path, const char* data, size_t size)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        std::perror("fuzz scratch file");
        std::abort();
    }
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n <= 0) {
            std::perror("fuzz scratch file");
            std::abort();
        }
        data += n;
        size -= size_t(n);
    }
    ::close(fd);
}

inline QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Stops the run when a property does not hold; libFuzzer keeps the input.
#define FUZZ_CHECK(condition, ...)                                                                 \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "property failed: %s\n", #condition);                             \
            std::fprintf(stderr, __VA_ARGS__);                                                     \
            std::fprintf(stderr, "\n");                                                            \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

// UTF-16 units taken two bytes at a time, so that every unit (lone surrogates included) can
// occur.
inline QString Utf16Units(const std::string& bytes)
{
    QString text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        text.append(QChar(char16_t(uint8_t(bytes[i]) | uint8_t(bytes[i + 1]) << 8)));
    return text;
}

inline QByteArray Printable(const QString& text)
{
    return text.toUtf8().toPercentEncoding(" =[];\"'<>&.,:-_/");
}

} // namespace varnel::fuzz
