#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QProcessEnvironment>
#include <QStringList>

#include <cstdio>
#include <vector>

// What one run of a program cost: wall time, its own user CPU time and its peak resident size,
// and how it ended.
struct Usage {
    double seconds = 0;
    double userCpu = 0;
    double peakMiB = 0;
    int exitStatus = 0;
};

// Runs the program to its end with its output dropped (only the figures go to the terminal).
inline Usage RunMeasured(const QString& program, const QStringList& args,
                         const QProcessEnvironment& env) {
    // Dirty pages of the run before (or of the tree just made) would otherwise be written back
    // during this one and charged to it.
    ::sync();
    QList<QByteArray> argBytes{program.toLocal8Bit()};
    for (const QString& a : args)
        argBytes.append(a.toLocal8Bit());
    QList<QByteArray> envBytes;
    for (const QString& e : env.toStringList())
        envBytes.append(e.toLocal8Bit());
    std::vector<char*> argv;
    std::vector<char*> envp;
    for (QByteArray& a : argBytes)
        argv.push_back(a.data());
    for (QByteArray& e : envBytes)
        envp.push_back(e.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);

    QElapsedTimer timer;
    timer.start();
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    ::posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    pid_t pid = 0;
    const int spawned = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    ::posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        qFatal("cannot start %s", qPrintable(program));
    int status = 0;
    rusage usage{};
    if (::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status))
        qFatal("%s did not finish", qPrintable(program));
    Usage result;
    result.seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    result.userCpu = static_cast<double>(usage.ru_utime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec) / 1e6;
    result.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024;
    result.exitStatus = WEXITSTATUS(status);
    if (result.exitStatus != 0)
        std::fprintf(stderr, "warning: %s exited with %d\n", qPrintable(program),
                     result.exitStatus);
    return result;
}
