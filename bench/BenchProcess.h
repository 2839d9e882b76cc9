#pragma once

// Runs a program in a child process for a bench: its wall time, its peak memory and what it
// printed, so each figure can stand next to a baseline program timed the same way.
#include <QElapsedTimer>

#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace varnel::bench {

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
