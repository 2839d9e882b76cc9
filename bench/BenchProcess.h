#pragma once

// Runs a program in a child process for a bench: its wall time, its peak memory and what it
// printed, so each figure can stand next to a baseline program timed the same way.
#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QtGlobal>

#include <ctime>

#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace varnel::bench {

// A size the environment may set for a bench (a smaller run while trying a change), else its own.
inline int Setting(const char* name, int fallback)
{
    const int value = qEnvironmentVariableIntValue(name);
    return value > 0 ? value : fallback;
}

// The peak resident memory of a process (this one by default), in kilobytes; 0 when unknown. A
// child's figure from wait4() would hold the bench's own size at the fork, so each child tells
// its own.
inline long PeakKilobytesOf(qint64 pid = 0)
{
    QFile status(pid > 0 ? QStringLiteral("/proc/%1/status").arg(pid)
                         : QStringLiteral("/proc/self/status"));
    if (pid < 0 || !status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return 0;
}

// The processor time this process has used, in seconds.
inline double CpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

struct Measured {
    double wallSeconds = 0;
    long peakKilobytes = 0;
    int status = -1;
    std::string output;
};

inline Measured Run(const std::vector<std::string>& args)
{
    Measured m;
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return m;
    QElapsedTimer timer;
    timer.start();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        close(pipeFds[0]);
        close(pipeFds[1]);
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    char buffer[4096];
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        m.output.append(buffer, std::size_t(n));
    close(pipeFds[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    m.wallSeconds = double(timer.nsecsElapsed()) / 1e9;
    m.peakKilobytes = usage.ru_maxrss;
    m.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return m;
}

} // namespace varnel::bench
