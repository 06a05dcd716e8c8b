// The places a file chooser offers beside its listing: the user's own
// folders, the file-system root and the volumes a user mounted or plugged
// in, without the mounts the system keeps for itself.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace desktop {

// One mounted file system as the system lists it.
struct MountRecord {
    QString root;               // where it is mounted
    QByteArray fileSystemType;  // "ext4", "nfs4", "fuse.sshfs", ...
    QByteArray device;
    QString label;              // the volume's own name; may be empty
    bool ready = true;
};

enum class PlaceKind { Home, Music, Desktop, Root, Volume, Network };

struct Place {
    QString name;
    QString path;
    PlaceKind kind = PlaceKind::Volume;
};

// The user's folders a place may stand for; empty or missing ones are left out.
struct PlaceFolders {
    QString home;
    QString music;
    QString desktop;
};

// Home, Music and Desktop, the root, then the user's volumes by name.
// Each path appears once.
QList<Place> buildPlaces(const PlaceFolders& folders, const QList<MountRecord>& mounts);

// The mounted file systems of this machine.
QList<MountRecord> mountedFileSystems();

// buildPlaces over the current user's folders and this machine's mounts.
QList<Place> currentPlaces();

} // namespace desktop
