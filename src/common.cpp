#include "common.h"

#include "appInfo.h"
#include "desktop.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdlib>
#include <cstring>

QString g_strBundleId;
QString g_strVersion;
QString g_strDBName;
QString HOME;
QString HELP;
QString EMAIL;
QString EULA;
QString SUPPORT;
QString INSTALL;
QString g_strTranslate = QStringLiteral(VESSOLIN_URL_TRANSLATE);
QString g_strAppName;
QString g_strAppUpdateName;
QString g_strUpdateTitle = QStringLiteral("Ossival Vessolin");

void CreateLinkAndName()
{
    HOME = QStringLiteral(VESSOLIN_URL_HOME);
    HELP = QStringLiteral(VESSOLIN_URL_HELP);
    EMAIL = QStringLiteral(VESSOLIN_URL_EMAIL);
    EULA = QStringLiteral(VESSOLIN_URL_EULA);
    g_strAppName = QStringLiteral("Ossival Vessolin");
    g_strAppUpdateName = QStringLiteral("Ossival Mac Vessolin");
    SUPPORT = QStringLiteral(VESSOLIN_URL_SUPPORT);
    INSTALL = QStringLiteral(VESSOLIN_URL_INSTALL);
}

QString AppBundleIdentifier()
{
    char buffer[kInfoValueSize] = {};
    if (GetInfoAttribute_s(buffer, sizeof buffer, "CFBundleIdentifier") == 0 && buffer[0] != '\0')
        return QString::fromUtf8(buffer);
    // Without an identifier the music and artwork folders would be the
    // user's whole Music and Pictures folders, and clearing the caches
    // there would delete the user's own files.
    return QStringLiteral(VESSOLIN_BUNDLE_ID);
}

QString AppDataFolder()
{
    return desktop::standardFolder(desktop::Folder::DataHome) + QLatin1Char('/') + AppBundleIdentifier();
}

int CFormatTime(const QString& ms, QString& out)
{
    bool ok = false;
    qint64 total = ms.toLongLong(&ok);
    if (!ok)
        total = 0;
    const qint64 s = total / 1000;
    qint64 hours = s / 3600;
    qint64 minutes = s / 60 - 60 * hours;
    // Shown seconds start at 1, so a track shorter than a second does not read as empty.
    qint64 seconds = s - 60 * (s / 60) + 1;
    if (seconds == 60) {
        seconds = 0;
        if (++minutes == 60) {
            minutes = 0;
            ++hours;
        }
    }
    out = QString::asprintf("%02lld:%02lld:%02lld", hours, minutes, seconds);
    return 0;
}

int CFormatSize(const QString& bytes, QString& out)
{
    // Files of 2 GiB and more are common (lossless albums, videos in the
    // library): the count is read in 64 bits.
    bool ok = false;
    qint64 count = bytes.toLongLong(&ok);
    if (!ok)
        count = 0;
    out = QString::asprintf("%1.2fMB", double(count) * (1.0 / 1048576));
    return 0;
}

bool isFileExtist(const QString& path)
{
    return QFile::exists(path);
}

bool isFolderExtist(const QString& path)
{
    return QFileInfo(path).isDir();
}

bool CreateFolder(const QString& path)
{
    if (path.isEmpty())
        return false;
    return QFileInfo(path).isDir() || QDir().mkpath(path);
}

bool CreateFile_Zorva(const QString& path)
{
    if (path.isEmpty())
        return false;
    // A bare name lives in the current folder; making a folder of that name
    // would leave no room for the file.
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash > 0 && !CreateFolder(path.left(slash)))
        return false;
    if (QFile::exists(path))
        return true;
    QFile file(path);
    return file.open(QIODevice::WriteOnly);
}

void MemoryValue(char** dst, const char* src)
{
    if (!dst || !src)
        return;
    const size_t size = std::strlen(src) + 1;
    char* copy = static_cast<char*>(std::malloc(size));
    // The old text stays when there is no memory for the new one, so *dst
    // never points at freed memory.
    if (!copy)
        return;
    std::memcpy(copy, src, size);
    std::free(*dst);
    *dst = copy;
}
