#pragma once

#include "handbook/viewer/XslTransform.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>
#include <QStringList>

namespace varnel {

// What one page's stylesheet run may still read: the files of its folders, within its clock
// and its memory. Every file the XSL engine loads for the page is checked and counted here, and
// the run's watchdog keeps the same clock.
class ReadBudget {
public:
    ReadBudget(const TransformLimits& limits, const QStringList& folders);

    const TransformLimits& limits() const { return limits_; }
    const QDeadlineTimer& deadline() const { return deadline_; }
    qint64 residentBaseline() const { return baseline_; }

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
    qint64 read_ = 0;
    QStringList folders_;
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

// Resident size of the process in bytes; 0 where it cannot be had.
qint64 ResidentBytes();

} // namespace varnel
