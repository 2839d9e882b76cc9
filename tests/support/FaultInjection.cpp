#include "tests/support/FaultInjection.h"

#include "filesave/ReplacingFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <exception>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace varnel::testing {
namespace {

bool writeAllTo(int fd, const QByteArray& bytes)
{
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        left -= n;
    }
    return true;
}

} // namespace

std::optional<QString> RunWithFileSizeLimit(qint64 limit, const std::function<QString()>& action,
                                            const std::function<void()>& start)
{
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return std::nullopt;
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return std::nullopt;
    }
    if (child == 0) {
        ::close(pipeFds[0]);
        std::signal(SIGXFSZ, SIG_DFL);
        const rlimit fileSize{rlim_t(limit), rlim_t(limit)};
        ::setrlimit(RLIMIT_FSIZE, &fileSize);
        QString result;
        try {
            if (start)
                start();
            else
                filesave::IgnoreFileSizeSignal();
            result = action();
        } catch (const std::exception& e) {
            result = QString::fromUtf8(e.what());
        } catch (...) {
            result = QStringLiteral("unknown exception");
        }
        _exit(writeAllTo(pipeFds[1], result.toUtf8()) ? 0 : 3);
    }
    ::close(pipeFds[1]);
    QByteArray bytes;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        bytes.append(buffer, n);
    }
    ::close(pipeFds[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return QString::fromUtf8(bytes);
}

SmallDisk::SmallDisk(qint64 bytes, qint64 files)
{
    if (::geteuid() != 0) {
        skipReason_ = QStringLiteral("a full disk needs a tmpfs of its own, which only root "
                                     "may mount");
        return;
    }
    const QString base = QDir::tempPath() + QStringLiteral("/varnel-disk-XXXXXX");
    QByteArray folder = QFile::encodeName(base);
    if (!::mkdtemp(folder.data())) {
        skipReason_ =
            QStringLiteral("no temporary folder: ") + QString::fromLocal8Bit(std::strerror(errno));
        return;
    }
    path_ = QFile::decodeName(folder);
    QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0755";
    if (files > 0)
        options += ",nr_inodes=" + QByteArray::number(files);
    if (::mount("tmpfs", folder.constData(), "tmpfs", MS_NOSUID | MS_NODEV, options.constData()) !=
        0) {
        skipReason_ = QStringLiteral("cannot mount a tmpfs here: ") +
                      QString::fromLocal8Bit(std::strerror(errno));
        ::rmdir(folder.constData());
        path_.clear();
        return;
    }
    mounted_ = true;
}

SmallDisk::~SmallDisk()
{
    if (!mounted_)
        return;
    const QByteArray folder = QFile::encodeName(path_);
    ::umount2(folder.constData(), MNT_DETACH);
    ::rmdir(folder.constData());
}

void SmallDisk::fill()
{
    const QByteArray filler = QFile::encodeName(filePath(QStringLiteral(".filler")));
    const int fd = ::open(filler.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    static const QByteArray block(64 * 1024, 'f');
    for (qsizetype size = block.size(); size > 0; size /= 2) {
        while (::write(fd, block.constData(), size_t(size)) == ssize_t(size)) {
        }
    }
    ::close(fd);
}

void SmallDisk::useUpFiles()
{
    for (int i = 0;; ++i) {
        const QByteArray name =
            QFile::encodeName(filePath(QStringLiteral(".slot") + QString::number(i)));
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0)
            break;
        ::close(fd);
    }
}

void SmallDisk::makeReadOnly()
{
    if (!mounted_)
        return;
    const QByteArray folder = QFile::encodeName(path_);
    ::mount("tmpfs", folder.constData(), "tmpfs", MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV,
            nullptr);
}

QStringList FolderEntries(const QString& folder)
{
    QStringList names = QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    names.removeIf([](const QString& name) {
        return name == u".filler" || name.startsWith(QStringLiteral(".slot"));
    });
    return names;
}

} // namespace varnel::testing
