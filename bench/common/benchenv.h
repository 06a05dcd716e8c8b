// What the application's benchmarks share around their run: a home of
// their own and the machine's load to print beside the figures.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <unistd.h>

namespace benchenv {

// Points HOME and the XDG folders into home, so a run reads and writes no
// real settings, library, database or trash; offscreen unless the caller
// asked for a platform. Before the QApplication is made.
inline void usePrivateHome(const QString& home)
{
    qputenv("HOME", home.toUtf8());
    qputenv("XDG_DATA_HOME", (home + QStringLiteral("/.local/share")).toUtf8());
    qputenv("XDG_CONFIG_HOME", (home + QStringLiteral("/.config")).toUtf8());
    qputenv("XDG_CACHE_HOME", (home + QStringLiteral("/.cache")).toUtf8());
    qputenv("XDG_MUSIC_DIR", (home + QStringLiteral("/Music")).toUtf8());
    qputenv("XDG_PICTURES_DIR", (home + QStringLiteral("/Pictures")).toUtf8());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

// The line of /proc/loadavg (three averages, runnable/total, last PID);
// "unknown" where the machine has none.
inline QByteArray loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed() : QByteArray("unknown");
}

#ifdef VESSOLIN_SLOWFSYNC_PATH
// The slow disk: with VESSOLIN_BENCH_FSYNC_MS set to a number of
// milliseconds, the bench starts again at once in its own process with the
// shim preloaded that adds them to every fsync and fdatasync. Returns the
// delay in effect, 0 on the local disk; first thing in main.
inline long slowDiskOrLocal(char** argv)
{
    const long wanted = std::atol(qgetenv("VESSOLIN_BENCH_FSYNC_MS").constData());
    if (wanted <= 0)
        return 0;
    if (const auto* preloaded = static_cast<const long*>(dlsym(RTLD_DEFAULT, "vessolin_slow_fsync_ms")))
        return *preloaded;
    setenv("LD_PRELOAD", VESSOLIN_SLOWFSYNC_PATH, 1);
    execv("/proc/self/exe", argv);
    std::perror("could not start again with the slow disk");
    std::exit(1);
}

inline void printDisk(long fsyncMs)
{
    if (fsyncMs > 0)
        std::printf("disk: the local disk with %ld ms added to every fsync and fdatasync\n", fsyncMs);
    else
        std::printf("disk: the local disk\n");
}
#endif

} // namespace benchenv
