#include "desktop.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace desktop {

namespace {

QString writable(QStandardPaths::StandardLocation location)
{
    return QDir::cleanPath(QStandardPaths::writableLocation(location));
}

QString usersFolder()
{
    const QString home = writable(QStandardPaths::HomeLocation);
    return home.isEmpty() ? QString() : QFileInfo(home).absolutePath();
}

} // namespace

QString standardFolder(Folder kind)
{
    switch (kind) {
    case Folder::Applications: return writable(QStandardPaths::ApplicationsLocation);
    case Folder::Users: return usersFolder();
    case Folder::Documents: return writable(QStandardPaths::DocumentsLocation);
    case Folder::Desktop: return writable(QStandardPaths::DesktopLocation);
    case Folder::Caches: return writable(QStandardPaths::GenericCacheLocation);
    case Folder::DataHome: return writable(QStandardPaths::GenericDataLocation);
    case Folder::Downloads: return writable(QStandardPaths::DownloadLocation);
    case Folder::Movies: return writable(QStandardPaths::MoviesLocation);
    case Folder::Music: return writable(QStandardPaths::MusicLocation);
    case Folder::Pictures: return writable(QStandardPaths::PicturesLocation);
    }
    return QString();
}

} // namespace desktop
