// What the application's benchmarks share around their run: a home of
// their own and the machine's load to print beside the figures.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

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

} // namespace benchenv
