// The figures several benchmarks take of their own process: CPU time, the
// calling thread's CPU time and the resident memory.
#pragma once

#include <sys/resource.h>

#include <QFile>
#include <ctime>

namespace tarnwick::bench {

// User and system CPU seconds of the whole process, every thread's.
inline double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// CPU seconds of the calling thread.
inline double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// The process's resident memory in KiB; -1 when /proc does not say.
inline long residentKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

}  // namespace tarnwick::bench
