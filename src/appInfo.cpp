#include "appInfo.h"

#include "desktop.h"
#include "textbuffer.h"

#include <cstring>

namespace {

QString fromUtf16(const unsigned short* text, int length)
{
    if (!text || length <= 0)
        return QString();
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(text), length);
}


} // namespace

int GetInfoAttribute_s(char* out, size_t size, const char* key)
{
    QString value;
    if (!key || desktop::bundleValue(QString::fromUtf8(key), value) != 0)
        return -1;
    return CopyToBuffer(value.toUtf8(), out, size);
}

int GetInfoAttribute(char* out, const char* key)
{
    return GetInfoAttribute_s(out, kInfoValueSize, key);
}

int GetBundleIdentifier_s(char* out, size_t size)
{
    if (!out)
        return -1;
    std::memset(out, 0, size);
    QString identifier;
    if (desktop::bundleValue(QStringLiteral("CFBundleIdentifier"), identifier) != 0 || identifier.isEmpty())
        return -1;
    return CopyToBuffer(identifier.toUtf8(), out, size);
}

int GetBundleIdentifier(char* out)
{
    return GetBundleIdentifier_s(out, kBundleIdSize);
}

int OpenFileInWindows(const unsigned short* path, int length)
{
    if (!path)
        return 0;
    return desktop::revealFile(fromUtf16(path, length));
}

void GetSystemVersionMajor(unsigned int* major, unsigned int* minor, unsigned int* update)
{
    desktop::SystemVersion version;
    if (desktop::systemVersion(version) != 0)
        version = {10, 0, 0};
    if (major)
        *major = version.major;
    if (minor)
        *minor = version.minor;
    if (update)
        *update = version.patch;
}

int CheckOSVersionIsNotSafe()
{
    unsigned int major = 0, minor = 0, update = 0;
    GetSystemVersionMajor(&major, &minor, &update);
    return major == 10 && minor == 7 && update <= 2 ? int(update) : -1;
}

void GetOpenFileNamesFun(const unsigned short* folder, int length, std::vector<QString>& out)
{
    out.clear();
    const QStringList chosen =
        desktop::pickFilesAndFolders(fromUtf16(folder, length), {QStringLiteral("mp3"), QStringLiteral("m4a")});
    out.assign(chosen.cbegin(), chosen.cend());
}

QString GetOpenFileNameFun(const unsigned short* folder, int length, const char* extension)
{
    if (!extension)
        return QString();
    return desktop::pickFile(fromUtf16(folder, length), QString::fromUtf8(extension));
}

QString GetSaveFileFunWithType(const unsigned short* folder, int length, const char* extension)
{
    // Refused like the open panel: a save panel without a type could not
    // hold the name to the caller's kind of file.
    if (!extension)
        return QString();
    return desktop::pickSaveFile(fromUtf16(folder, length), QString::fromUtf8(extension));
}

QString GetSaveFileFun(const unsigned short* folder, int length)
{
    return desktop::pickSaveFile(fromUtf16(folder, length), QStringLiteral("zorvadata"));
}

QString GetSubtitleFileFun(const unsigned short* folder, int length)
{
    return desktop::pickFile(fromUtf16(folder, length), QStringLiteral("srt"));
}

QString GetSaveFolderFun(const unsigned short* folder, int length)
{
    return desktop::pickFolder(fromUtf16(folder, length));
}

QString GetOpenFilesCompetence(const unsigned short* folder, int length)
{
    return desktop::pickFolder(fromUtf16(folder, length));
}
