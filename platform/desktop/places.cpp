#include "places.h"
#include "desktop.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QStorageInfo>

#include <algorithm>

namespace desktop {

namespace {

// Kernel, container and desktop-service file systems: nothing a user keeps
// music on, even where one happens to be mounted below a user's folder
// (the document portal under ~/.cache, gvfs under /run/user, snaps).
const QSet<QByteArray>& systemTypes()
{
    static const QSet<QByteArray> types = {
        "proc", "sysfs", "devtmpfs", "devpts", "tmpfs", "ramfs", "cgroup", "cgroup2", "securityfs", "pstore",
        "bpf", "debugfs", "tracefs", "configfs", "fusectl", "mqueue", "hugetlbfs", "autofs", "binfmt_misc",
        "efivarfs", "rpc_pipefs", "nsfs", "nfsd", "selinuxfs", "squashfs", "overlay", "fuse.gvfsd-fuse",
        "fuse.portal", "fuse.snapfuse", "fuse.lxcfs"};
    return types;
}

const QSet<QByteArray>& networkTypes()
{
    static const QSet<QByteArray> types = {"nfs", "nfs4", "cifs", "smb3", "smbfs", "fuse.sshfs", "sshfs",
                                           "davfs", "fuse.davfs2", "ceph", "glusterfs", "afs"};
    return types;
}

bool isBelow(const QString& path, const QString& folder)
{
    return !folder.isEmpty() && path.startsWith(folder.endsWith(QLatin1Char('/')) ? folder : folder + '/');
}

bool hasHiddenPart(const QString& path)
{
    const QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    return std::any_of(parts.cbegin(), parts.cend(),
                       [](const QString& part) { return part.startsWith(QLatin1Char('.')); });
}

// The folder below which root lies where udisks, habit or the user put
// volumes, or empty.
QString userLocation(const QString& root, const QString& home)
{
    for (const char* folder : {"/media", "/run/media", "/mnt"}) {
        if (isBelow(root, QLatin1String(folder)))
            return QLatin1String(folder);
    }
    return isBelow(root, home) ? home : QString();
}

// Folders of the system itself; a network share mounted there is the
// system's business, not a place to look for music.
bool isSystemLocation(const QString& root)
{
    for (const char* folder : {"/proc", "/sys", "/dev", "/run", "/snap", "/boot", "/var", "/usr", "/etc", "/tmp"}) {
        if (root == QLatin1String(folder) || isBelow(root, QLatin1String(folder)))
            return true;
    }
    return false;
}

// Hidden parts count only below the user's folder: a home that itself
// lies below a hidden folder still shows the disks mounted in it.
bool userSees(const MountRecord& mount, const QString& root, const QString& home)
{
    if (!mount.ready || root.isEmpty() || QDir(root).isRoot())
        return false;
    if (systemTypes().contains(mount.fileSystemType))
        return false;
    const QString base = userLocation(root, home);
    if (!base.isEmpty())
        return !hasHiddenPart(root.mid(base.size()));
    return networkTypes().contains(mount.fileSystemType) && !isSystemLocation(root) && !hasHiddenPart(root);
}

Place volumePlace(const MountRecord& mount, const QString& root)
{
    Place place;
    place.path = root;
    place.name = mount.label.isEmpty() ? QFileInfo(root).fileName() : mount.label;
    place.kind = networkTypes().contains(mount.fileSystemType) ? PlaceKind::Network : PlaceKind::Volume;
    return place;
}

QString clean(const QString& path)
{
    return path.isEmpty() ? QString() : QDir::cleanPath(path);
}

void addFolder(QList<Place>& places, QSet<QString>& seen, const QString& path, const char* name, PlaceKind kind)
{
    const QString folder = clean(path);
    if (folder.isEmpty() || seen.contains(folder) || !QFileInfo(folder).isDir())
        return;
    seen.insert(folder);
    places << Place{QCoreApplication::translate("desktop", name), folder, kind};
}

} // namespace

QList<Place> buildPlaces(const PlaceFolders& folders, const QList<MountRecord>& mounts)
{
    QList<Place> places;
    QSet<QString> seen;
    addFolder(places, seen, folders.home, QT_TRANSLATE_NOOP("desktop", "Home"), PlaceKind::Home);
    addFolder(places, seen, folders.music, QT_TRANSLATE_NOOP("desktop", "Music"), PlaceKind::Music);
    addFolder(places, seen, folders.desktop, QT_TRANSLATE_NOOP("desktop", "Desktop"), PlaceKind::Desktop);
    addFolder(places, seen, QDir::rootPath(), QT_TRANSLATE_NOOP("desktop", "File System"), PlaceKind::Root);

    const QString home = clean(folders.home);
    QList<Place> volumes;
    for (const MountRecord& mount : mounts) {
        const QString root = clean(mount.root);
        if (seen.contains(root) || !userSees(mount, root, home))
            continue;
        seen.insert(root);
        volumes << volumePlace(mount, root);
    }
    std::stable_sort(volumes.begin(), volumes.end(), [](const Place& a, const Place& b) {
        return a.name.compare(b.name, Qt::CaseInsensitive) < 0;
    });
    return places + volumes;
}

QList<MountRecord> mountedFileSystems()
{
    QList<MountRecord> mounts;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes())
        mounts << MountRecord{volume.rootPath(), volume.fileSystemType(), volume.device(), volume.name(),
                              volume.isValid() && volume.isReady()};
    return mounts;
}

QList<Place> currentPlaces()
{
    const PlaceFolders folders{QDir::homePath(), standardFolder(Folder::Music), standardFolder(Folder::Desktop)};
    return buildPlaces(folders, mountedFileSystems());
}

} // namespace desktop
