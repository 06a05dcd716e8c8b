#include "common.h"
#include "config.h"
#include "platformbase.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>

#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr qint64 kRotateSize = 10 * 1024 * 1024;
constexpr int kRotatedFiles = 10;

QMutex g_mutexLog;
QFile* g_pLog = nullptr;

constexpr QIODevice::OpenMode kLogMode = QIODevice::ReadWrite | QIODevice::Append;

QString rotatedName(const QString& folder, int number)
{
    return folder + QStringLiteral("/UI_%1.log").arg(number);
}

// The first unused number, or an empty name when all ten are taken.
QString firstFreeRotated(const QString& folder)
{
    for (int n = 0; n < kRotatedFiles; ++n) {
        const QString name = rotatedName(folder, n);
        if (!QFile::exists(name))
            return name;
    }
    return QString();
}

// Drops the older half and moves the newer half down to 0..4.
QString makeRoomForRotation(const QString& folder)
{
    const int half = kRotatedFiles / 2;
    for (int n = 0; n < half; ++n)
        QFile::remove(rotatedName(folder, n));
    for (int n = half; n < kRotatedFiles; ++n)
        QFile::rename(rotatedName(folder, n), rotatedName(folder, n - half));
    return rotatedName(folder, half);
}

// Called with g_mutexLog held. The folder is the live log's own: asking the
// settings here could build them anew after they were destroyed at exit.
bool rotate(QFile& log)
{
    const QString live = log.fileName();
    const QString folder = QFileInfo(live).absolutePath();
    QString target = firstFreeRotated(folder);
    if (target.isEmpty())
        target = makeRoomForRotation(folder);
    log.rename(target);
    log.close();
    log.setFileName(live);
    return log.open(kLogMode);
}

QByteArray formatLine(const QString& text)
{
    const QString line = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"))
        + QStringLiteral("[tid:%1]: ").arg(CurrentKernelThreadId()) + LogLineText(text) + QLatin1Char('\n');
    return line.toUtf8();
}

// The platform layers of the application (the chooser's mount listing)
// log their failures here.
void writePlatformLine(const QString& line)
{
    WriteUILog(line);
}

} // namespace

long CurrentKernelThreadId()
{
    return static_cast<long>(::syscall(SYS_gettid));
}

bool CreateUILog()
{
    // The settings are made outside the lock: loading them may write a line
    // of its own, which comes back here.
    const QString folder = CConfig::instance()->GetLogFile();
    QMutexLocker lock(&g_mutexLog);
    if (g_pLog)
        return false;
    g_pLog = new QFile(folder + QStringLiteral("/UI.log"));
    SetPlatformLog(&writePlatformLine);
    return g_pLog->open(kLogMode);
}

int WriteUILog(const QString& text)
{
    QMutexLocker lock(&g_mutexLog);
    if (!g_pLog) {
        lock.unlock();
        CreateUILog();
        lock.relock();
        // Another thread may have made the log in the meantime; its line and
        // ours both belong in it.
        if (!g_pLog)
            return -1;
    }
    if (!g_pLog->isOpen() && !g_pLog->open(kLogMode))
        return -1;
    if (g_pLog->size() >= kRotateSize && !rotate(*g_pLog))
        return -1;
    g_pLog->write(formatLine(text));
    g_pLog->flush();
    return 0;
}

void DestroyUILog()
{
    // A mount listing still running at the program's end logs nothing then.
    SetPlatformLog(nullptr);
    QMutexLocker lock(&g_mutexLog);
    if (!g_pLog)
        return;
    g_pLog->close();
    delete g_pLog;
    g_pLog = nullptr;
}
