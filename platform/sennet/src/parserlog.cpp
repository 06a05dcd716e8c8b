#include "parserlog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>

#include <memory>

#include <sys/syscall.h>
#include <unistd.h>

namespace sennet {

namespace {

constexpr qint64 kMaxLogBytes = 10 * 1024 * 1024;

QMutex g_logMutex;
std::unique_ptr<QFile> g_logFile;

long threadId()
{
    return static_cast<long>(::syscall(SYS_gettid));
}

} // namespace

bool openLog(const QString& folder)
{
    QMutexLocker lock(&g_logMutex);
    g_logFile.reset();
    if (folder.isEmpty() || !QDir().mkpath(folder))
        return false;
    const QString path = QDir(folder).filePath(QStringLiteral("MusicParser.log"));
    if (QFileInfo(path).size() > kMaxLogBytes)
        QFile::remove(path);
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    g_logFile = std::move(file);
    return true;
}

void logLine(const QString& text)
{
    const QString line = QStringLiteral("%1 [tid: %2]: %3\n")
                             .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss:zzz")))
                             .arg(threadId())
                             .arg(text);
    QMutexLocker lock(&g_logMutex);
    if (!g_logFile) {
        qWarning("%s", qPrintable(line.trimmed()));
        return;
    }
    g_logFile->write(line.toUtf8());
    g_logFile->flush();
}

void closeLog()
{
    QMutexLocker lock(&g_logMutex);
    g_logFile.reset();
}

} // namespace sennet
