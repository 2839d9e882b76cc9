#include "viewer/TransformBudget.h"

#include "viewer/PageView.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>

#if defined(Q_OS_UNIX)
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace varnel {
namespace {

QString Seconds(int milliseconds)
{
    return QString::number(milliseconds / 1000.0, 'g', 3);
}

} // namespace

QString OutOfTimeText(const TransformLimits& limits)
{
    return QStringLiteral("таблица стилей выполнялась дольше ") + Seconds(limits.milliseconds) +
           QStringLiteral(" с и остановлена");
}

QString OutOfMemoryText(const TransformLimits& limits)
{
    return QStringLiteral("таблица стилей заняла больше ") +
           QString::number(limits.memoryBytes / (1024 * 1024)) +
           QStringLiteral(" МБ памяти и остановлена");
}

QString PageTooLargeText(const TransformLimits& limits)
{
    return QStringLiteral("таблица стилей сделала страницу больше ") +
           QString::number(limits.pageBytes / (1024 * 1024)) + QStringLiteral(" МБ и остановлена");
}

qint64 ResidentBytes()
{
#if defined(Q_OS_LINUX)
    FILE* statm = std::fopen("/proc/self/statm", "r");
    if (!statm)
        return 0;
    long size = 0;
    long resident = 0;
    const int read = std::fscanf(statm, "%ld %ld", &size, &resident);
    std::fclose(statm);
    return read == 2 ? qint64(resident) * ::sysconf(_SC_PAGESIZE) : 0;
#else
    return 0;
#endif
}

PageBudget::PageBudget(const TransformLimits& limits)
    : limits_(limits), deadline_(qMax(limits.pageMilliseconds, 0)), baseline_(ResidentBytes())
{
}

qint64 PageBudget::memoryTaken() const
{
    // Memory the process gave back since the page began (an earlier page's) is no room for
    // this one: the page's own bytes count whatever the process holds.
    return (baseline_ > 0 ? std::max<qint64>(ResidentBytes() - baseline_, 0) : 0) + made_.load();
}

void PageBudget::make(qint64 bytes)
{
    if (made_.fetch_add(bytes) + bytes > limits_.pageBytes)
        throw PageOverBudget{PageTooLargeText(limits_)};
}

void PageBudget::check(qint64 held) const
{
    if (made_.load() + held > limits_.pageBytes)
        throw PageOverBudget{PageTooLargeText(limits_)};
}

QString PageBudget::exhausted() const
{
    if (!spent_.isEmpty())
        return spent_;
    if (made_.load() > limits_.pageBytes)
        return PageTooLargeText(limits_);
    if (deadline_.hasExpired()) {
        TransformLimits all = limits_;
        all.milliseconds = limits_.pageMilliseconds;
        return OutOfTimeText(all);
    }
    if (memoryTaken() > limits_.memoryBytes)
        return OutOfMemoryText(limits_);
    return QString();
}

ReadBudget::ReadBudget(const TransformLimits& limits, const QStringList& folders,
                       const PageBudget* page)
    : limits_(limits), deadline_(qMax(limits.milliseconds, 0)), baseline_(ResidentBytes()),
      page_(page)
{
    if (page) {
        if (page->deadline() < deadline_) {
            deadline_ = page->deadline();
            pageClock_ = true;
        }
        baseline_ = page->residentBaseline();
        limits_.memoryBytes = std::min(limits_.memoryBytes, page->limits().memoryBytes);
    }
    for (const QString& folder : folders) {
        if (folder.trimmed().isEmpty())
            continue;
        QString resolved = ResolvedPath(folder);
        if (!resolved.endsWith(u'/'))
            resolved += u'/';
        if (!folders_.contains(resolved))
            folders_ << resolved;
    }
}

bool ReadBudget::mayRead(const QString& path) const
{
    const QString resolved = ResolvedPath(path);
    for (const QString& folder : folders_) {
        if (resolved.startsWith(folder))
            return true;
    }
    return false;
}

bool ReadBudget::overMemory() const
{
    const qint64 page = page_ ? page_->made() : 0;
    return read_ + page > limits_.memoryBytes ||
           (baseline_ > 0 &&
            std::max<qint64>(ResidentBytes() - baseline_, 0) + page > limits_.memoryBytes);
}

QString ReadBudget::outOfTime() const
{
    if (!pageClock_)
        return OutOfTimeText(limits_);
    TransformLimits all = limits_;
    all.milliseconds = page_->limits().pageMilliseconds;
    return OutOfTimeText(all);
}

QString ReadBudget::outOfMemory() const
{
    return OutOfMemoryText(limits_);
}

QString ReadBudget::exhausted() const
{
    if (deadline_.hasExpired())
        return outOfTime();
    if (overMemory())
        return outOfMemory();
    return QString();
}

QString ReadBudget::tooMuch(qint64 bytes) const
{
    if (bytes > limits_.fileBytes)
        return QStringLiteral("файл больше ") + QString::number(limits_.fileBytes) +
               QStringLiteral(" байт, не читается");
    if (read_ + bytes > limits_.memoryBytes)
        return OutOfMemoryText(limits_);
    return QString();
}

bool IsSpecialFile(const QString& path)
{
#if defined(Q_OS_UNIX)
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && !S_ISREG(st.st_mode);
#else
    const QFileInfo info(path);
    return info.exists() && !info.isFile();
#endif
}

bool ReadRegularFile(const QString& path, const ReadBudget& budget, QByteArray& bytes,
                     QString& reason)
{
#if defined(Q_OS_UNIX)
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::stat(name.constData(), &st) != 0) {
        reason = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    const auto special = [&] {
        reason = QStringLiteral("не обычный файл (устройство, канал или сокет), не читается");
        return false;
    };
    if (!S_ISREG(st.st_mode))
        return special();
    const int fd =
        ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        reason = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    const struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return special();
    bytes.clear();
    char buffer[64 * 1024];
    for (;;) {
        if (const QString why = budget.exhausted(); !why.isEmpty()) {
            reason = why;
            return false;
        }
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            reason = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        if (n == 0)
            return true;
        reason = budget.tooMuch(bytes.size() + n);
        if (!reason.isEmpty())
            return false;
        bytes.append(buffer, n);
    }
#else
    QFile file(path);
    if (!QFileInfo(path).isFile()) {
        reason = QStringLiteral("не обычный файл, не читается");
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        reason = file.errorString();
        return false;
    }
    bytes = file.read(budget.limits().fileBytes + 1);
    reason = budget.tooMuch(bytes.size());
    return reason.isEmpty();
#endif
}

} // namespace varnel
