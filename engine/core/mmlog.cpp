#include "core/mmlog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>

#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr qint64 kMaxLogSize = 10 * 1024 * 1024;

QMutex g_mutexLog;
QFile* g_pLog = nullptr;

} // namespace

long CurrentThreadId()
{
    return static_cast<long>(::syscall(SYS_gettid));
}

bool CreateLog(const QString& folder)
{
    if (folder.isEmpty())
        return false;
    QMutexLocker lock(&g_mutexLog);
    if (g_pLog)
        return true;
    const QString path = folder + QStringLiteral("/MM.log");
    // The size is checked only here, when the engine starts: a run may grow
    // the file past the limit and the next start deletes it whole.
    QFileInfo info(path);
    if (info.exists() && info.size() > kMaxLogSize)
        QFile::remove(path);
    auto* file = new QFile(path);
    if (!file->open(QIODevice::ReadWrite | QIODevice::Append)) {
        delete file;
        return false;
    }
    g_pLog = file;
    return true;
}

void WriteLog(const QString& text)
{
    QMutexLocker lock(&g_mutexLog);
    if (!g_pLog)
        return;
    const QString line = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss:zzz "))
        + QStringLiteral("[tid: %1]: ").arg(CurrentThreadId()) + text + QLatin1Char('\n');
    g_pLog->write(line.toUtf8());
    g_pLog->flush();
}

void DestroyLog()
{
    QMutexLocker lock(&g_mutexLog);
    if (!g_pLog)
        return;
    g_pLog->close();
    delete g_pLog;
    g_pLog = nullptr;
}

bool CreateFolder(const QString& path)
{
    if (path.isEmpty())
        return false;
    QDir dir(path);
    return dir.exists() || dir.mkpath(QStringLiteral("."));
}

bool isFileExists(const QString& path)
{
    return !path.isEmpty() && QFileInfo::exists(path);
}
