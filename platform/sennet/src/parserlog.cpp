#include "parserlog.h"

#include "platformbase.h"

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
const char* const kLogName = "MusicParser.log";
const char* const kOldLogName = "MusicParser.old.log";

QMutex g_logMutex;
std::unique_ptr<QFile> g_logFile;

long threadId()
{
    return static_cast<long>(::syscall(SYS_gettid));
}

std::unique_ptr<QFile> openForAppend(const QString& path)
{
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Append))
        return nullptr;
    return file;
}

// The full log becomes the one old file, replacing the one before, so the
// two together never hold much more than twice the cap.
void moveToOld(const QString& path)
{
    const QString old = QFileInfo(path).dir().filePath(QLatin1String(kOldLogName));
    QFile::remove(old);
    if (!QFile::rename(path, old))
        QFile::remove(path);
}

// Called with g_logMutex held. Without a new log the lines go to the
// warning output, as before the log was opened.
void startAfresh()
{
    const QString path = g_logFile->fileName();
    g_logFile.reset();
    moveToOld(path);
    g_logFile = openForAppend(path);
}

} // namespace

bool openLog(const QString& folder)
{
    QMutexLocker lock(&g_logMutex);
    g_logFile.reset();
    if (folder.isEmpty() || !QDir().mkpath(folder))
        return false;
    const QString path = QDir(folder).filePath(QLatin1String(kLogName));
    if (QFileInfo(path).size() >= kMaxLogBytes)
        moveToOld(path);
    g_logFile = openForAppend(path);
    return g_logFile != nullptr;
}

void logLine(const QString& text)
{
    const QString line = QStringLiteral("%1 [tid: %2]: %3\n")
                             .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss:zzz")))
                             .arg(threadId())
                             .arg(LogLineText(text));
    const QByteArray bytes = line.toUtf8();
    QMutexLocker lock(&g_logMutex);
    if (g_logFile && g_logFile->size() + bytes.size() > kMaxLogBytes)
        startAfresh();
    if (!g_logFile) {
        qWarning("%s", qPrintable(line.trimmed()));
        return;
    }
    g_logFile->write(bytes);
    g_logFile->flush();
}

QString failureForLog(const QString& why, const QString& serviceSays)
{
    if (serviceSays.isEmpty())
        return ServerTextForLog(why);
    return QStringLiteral("%1 (%2)").arg(ServerTextForLog(why), ServerTextForLog(serviceSays));
}

void closeLog()
{
    QMutexLocker lock(&g_logMutex);
    g_logFile.reset();
}

} // namespace sennet
