#pragma once

#include <QFile>
#include <QString>

namespace loopback {

// One line per event, with the local time to the millisecond, on standard output and
// appended to a log file. A log file that cannot be written does not stop the registry.
class Log {
public:
    void setFile(const QString& path);
    void setEcho(bool echo) { echo_ = echo; }
    void line(const QString& text);

private:
    QFile file_;
    bool echo_ = true;
};

} // namespace loopback
