// One clock for all processes of a bench run, and the lines they report.
#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <chrono>
#include <cstdio>

namespace movrabench {

// steady_clock is CLOCK_MONOTONIC on Linux: one time line for every
// process of a run, so the driver can subtract one process's stamp from
// another's.
inline qint64 nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// One line to the driver, flushed at once.
inline void report(const char *tag, qint64 ns, const QByteArray &rest = QByteArray())
{
    std::printf("%s %lld%s%s\n", tag, static_cast<long long>(ns), rest.isEmpty() ? "" : " ",
                rest.constData());
    std::fflush(stdout);
}

} // namespace movrabench
