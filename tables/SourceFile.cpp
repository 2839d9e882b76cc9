#include "tables/SourceFile.h"

#include "core/AtomicSave.h"
#include "core/Error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#if defined(Q_OS_UNIX)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>

namespace varnel {

QString TableReadErrorText(const QString& path, const QString& reason)
{
    return QStringLiteral("Не удалось прочитать файл ") + QDir::toNativeSeparators(path) +
           QStringLiteral(":\r\n") + reason;
}

namespace tables {

QString MegabytesText(qint64 bytes)
{
    return QString::number((bytes + 1024 * 1024 - 1) / (1024 * 1024)) + QStringLiteral(" МБ");
}

void SourceFile::fail(const QString& reason) const
{
    Fail(TableReadErrorText(path_, reason));
}

#if defined(Q_OS_UNIX)

namespace {

const QString kNotRegular =
    QStringLiteral("это не обычный файл (папка, устройство, канал или сокет)");

} // namespace

SourceFile::SourceFile(const QString& path, const TableLimits& limits) : path_(path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0)
        fail(SystemErrorText(errno));
    if (S_ISLNK(st.st_mode))
        fail(QStringLiteral("это символьная ссылка, а не сам файл"));
    if (!S_ISREG(st.st_mode))
        fail(kNotRegular);
    fd_ = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC);
    if (fd_ < 0)
        fail(SystemErrorText(errno));
    try {
        if (::fstat(fd_, &st) != 0)
            fail(SystemErrorText(errno));
        if (!S_ISREG(st.st_mode))
            fail(kNotRegular);
        size_ = qint64(st.st_size);
        if (size_ > limits.fileBytes)
            fail(QStringLiteral("файл больше ") + MegabytesText(limits.fileBytes) +
                 QStringLiteral(" и не загружается"));
        opened_ = identity();
    } catch (...) {
        ::close(fd_);
        throw;
    }
}

SourceFile::~SourceFile()
{
    if (fd_ >= 0)
        ::close(fd_);
}

SourceFile::Identity SourceFile::identity() const
{
    struct stat st {};
    if (::fstat(fd_, &st) != 0)
        fail(SystemErrorText(errno));
    const auto ns = [](const timespec& t) { return qint64(t.tv_sec) * 1000000000 + t.tv_nsec; };
    return {qint64(st.st_dev), qint64(st.st_ino), qint64(st.st_size), ns(st.st_mtim),
            ns(st.st_ctim)};
}

qint64 SourceFile::read(char* data, qint64 size)
{
    for (;;) {
        const ssize_t n = ::read(fd_, data, size_t(size));
        if (n >= 0)
            return qint64(n);
        if (errno != EINTR)
            fail(SystemErrorText(errno));
    }
}

void SourceFile::rewind()
{
    if (::lseek(fd_, 0, SEEK_SET) != 0)
        fail(SystemErrorText(errno));
}

QByteArray SourceFile::readAt(qint64 offset, qint64 size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (;;) {
        // pread leaves the place of the next read alone.
        const ssize_t n = ::pread(fd_, bytes.data(), size_t(size), off_t(offset));
        if (n >= 0) {
            bytes.resize(n);
            return bytes;
        }
        if (errno != EINTR)
            fail(SystemErrorText(errno));
    }
}

int SourceFile::duplicateDescriptor() const
{
    const int fd = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
    if (fd < 0)
        fail(SystemErrorText(errno));
    return fd;
}

void SourceFile::checkUnchanged() const
{
    if (!(identity() == opened_))
        fail(QStringLiteral("файл изменился, пока он читался; загрузите его еще раз, когда "
                            "запись в него закончится"));
}

#else

struct SourceFile::Portable {
    QFile file;
    QDateTime modified;
};

SourceFile::SourceFile(const QString& path, const TableLimits& limits)
    : path_(path), portable_(std::make_unique<Portable>())
{
    const QFileInfo info(path);
    if (info.isSymLink())
        fail(QStringLiteral("это символьная ссылка, а не сам файл"));
    if (!info.isFile())
        fail(info.exists() ? QStringLiteral("это не обычный файл") : SystemErrorText(ENOENT));
    portable_->file.setFileName(path);
    if (!portable_->file.open(QIODevice::ReadOnly))
        fail(portable_->file.errorString());
    size_ = portable_->file.size();
    if (size_ > limits.fileBytes)
        fail(QStringLiteral("файл больше ") + MegabytesText(limits.fileBytes) +
             QStringLiteral(" и не загружается"));
    opened_ = identity();
}

SourceFile::~SourceFile() = default;

SourceFile::Identity SourceFile::identity() const
{
    const QFileInfo info(path_);
    return {0, 0, info.size(), info.lastModified().toMSecsSinceEpoch(), 0};
}

qint64 SourceFile::read(char* data, qint64 size)
{
    const qint64 n = portable_->file.read(data, size);
    if (n < 0)
        fail(portable_->file.errorString());
    return n;
}

void SourceFile::rewind()
{
    portable_->file.seek(0);
}

QByteArray SourceFile::readAt(qint64 offset, qint64 size)
{
    const qint64 at = portable_->file.pos();
    portable_->file.seek(offset);
    QByteArray bytes = portable_->file.read(size);
    portable_->file.seek(at);
    return bytes;
}

int SourceFile::duplicateDescriptor() const
{
    return -1;
}

void SourceFile::checkUnchanged() const
{
    if (!(identity() == opened_))
        fail(QStringLiteral("файл изменился, пока он читался; загрузите его еще раз, когда "
                            "запись в него закончится"));
}

#endif

} // namespace tables
} // namespace varnel
