#include "appguide.h"

#include "desktop.h"
#include "textbuffer.h"

#include <QDir>
#include <QFileInfo>

namespace {

// The smaller of the two buffer sizes callers pass without a size.
constexpr size_t kFolderPathSize = 512;

// Kinds follow the Mac folder numbering the callers were written against.
bool folderOfKind(int kind, desktop::Folder& folder)
{
    using desktop::Folder;
    switch (kind) {
    case 0: folder = Folder::Applications; return true;
    case 1: return false;  // Library: a freedesktop system has none
    case 2: return false;  // Developer
    case 3: folder = Folder::Users; return true;
    case 4: folder = Folder::Documents; return true;
    case 5: folder = Folder::Desktop; return true;
    case 6: folder = Folder::Caches; return true;
    case 8: folder = Folder::Downloads; return true;
    case 9: folder = Folder::Movies; return true;
    case 10: folder = Folder::Music; return true;
    case 11: folder = Folder::Pictures; return true;
    default: folder = Folder::DataHome; return true;
    }
}


} // namespace

int applicationDataDirectory_s(char* out, size_t size, int kind, const char* sub)
{
    desktop::Folder folder;
    if (!folderOfKind(kind, folder))
        return -1;
    QString path = desktop::standardFolder(folder);
    if (path.isEmpty())
        return -1;
    if (sub)
        path += QLatin1Char('/') + QString::fromUtf8(sub);
    return CopyToBuffer(path.toUtf8(), out, size);
}

int applicationDataDirectory(char* out, int kind, const char* sub)
{
    return applicationDataDirectory_s(out, kFolderPathSize, kind, sub);
}

int CreateDirectory(const char* path)
{
    if (!path || !*path)
        return -1;
    const QString folder = QString::fromUtf8(path);
    if (QFileInfo(folder).isDir())
        return 0;
    return QDir().mkpath(folder) ? 0 : -1;
}
