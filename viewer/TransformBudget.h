#pragma once

#include "viewer/XslTransform.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>
#include <QStringList>

#include <atomic>

namespace varnel {

// What one page may take, however many runs of its stylesheet make it: the time from its first
// run on, the bytes of the page, and the memory the process grows by meanwhile, with the page's
// bytes counted as memory too. Every run of the page keeps within it besides its own limits.
class PageBudget {
public:
    explicit PageBudget(const TransformLimits& limits);

    const TransformLimits& limits() const { return limits_; }
    const QDeadlineTimer& deadline() const { return deadline_; }
    qint64 residentBaseline() const { return baseline_; }
    qint64 made() const { return made_.load(); }
    // The memory the page takes now: the growth of the process and the bytes of the page.
    qint64 memoryTaken() const;

    // Counts bytes added to the page; raises PageOverBudget when the page grows beyond its size.
    void make(qint64 bytes);
    // Raises PageOverBudget when bytes held on their way into the page would make it too big.
    void check(qint64 held) const;
    // Why nothing more may be made for the page; empty while it is within its budget.
    QString exhausted() const;
    // A run of the page was stopped at the page's memory: the page is spent.
    void spend(const QString& reason) { spent_ = reason; }

private:
    TransformLimits limits_;
    QDeadlineTimer deadline_;
    qint64 baseline_ = 0;
    std::atomic<qint64> made_{0};
    QString spent_;
};

// Raised when a page passes its budget: it is not made.
struct PageOverBudget {
    QString reason;
};

// What one page's stylesheet run may still read: the files of its folders, within its clock
// and its memory. Every file the XSL engine loads for the page is checked and counted here, and
// the run's watchdog keeps the same clock.
class ReadBudget {
public:
    // A run of a page keeps its page's budget too: the page's clock when it ends first, and
    // the page's memory counted from the page's start.
    ReadBudget(const TransformLimits& limits, const QStringList& folders,
               const PageBudget* page = nullptr);

    const TransformLimits& limits() const { return limits_; }
    const QDeadlineTimer& deadline() const { return deadline_; }
    // Whether the memory the run (and its page) has taken passes the limit.
    bool overMemory() const;
    // The texts of this run stopped at its clock or its memory: the page's limit when it was the
    // page's.
    QString outOfTime() const;
    QString outOfMemory() const;

    // Whether the path lies in one of the folders, as the file system resolves it.
    bool mayRead(const QString& path) const;
    // Why nothing more may be read now; empty while the run is within its limits.
    QString exhausted() const;
    // Why a file that has grown to bytes may not be read on; empty while it may.
    QString tooMuch(qint64 bytes) const;
    void count(qint64 bytes) { read_ += bytes; }

private:
    TransformLimits limits_;
    QDeadlineTimer deadline_;
    qint64 baseline_ = 0;
    std::atomic<qint64> read_{0}; // the watchdog looks at it while the run counts
    QStringList folders_;
    const PageBudget* page_ = nullptr;
    bool pageClock_ = false; // the page's clock ends before the run's
};

// Reads a file a stylesheet names. Only a regular file is read: a device, a pipe or a socket is
// refused before it is opened, and the file is opened so that nothing can make the open wait.
// It is read in pieces, each counted against the budget before it is kept, and the clock is
// looked at between them. False with the reason.
bool ReadRegularFile(const QString& path, const ReadBudget& budget, QByteArray& bytes,
                     QString& reason);
// True when the path names something other than a regular file (a device, a pipe, a socket,
// a folder); false for a regular file and for a path that names nothing.
bool IsSpecialFile(const QString& path);

// The texts of a run stopped at its limits.
QString OutOfTimeText(const TransformLimits& limits);
QString OutOfMemoryText(const TransformLimits& limits);
QString PageTooLargeText(const TransformLimits& limits);

// Resident size of the process in bytes; 0 where it cannot be had.
qint64 ResidentBytes();

} // namespace varnel
