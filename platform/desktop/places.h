// The places a file chooser offers beside its listing: the user's own
// folders, the file-system root and the volumes a user mounted or plugged
// in, without the mounts the system keeps for itself.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

class QObject;

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

// The current user's Home, Music and Desktop folders.
PlaceFolders currentFolders();

// buildPlaces over the current user's folders alone, without a look at a
// mount: what a chooser offers at once.
QList<Place> folderPlaces();

// The kernel's table of mounts (the text of /proc/self/mountinfo) in
// records, each with the label udev knows its device by, all marked ready.
QList<MountRecord> parseMountTable(const QByteArray& table);

// Where a listing of the mounts comes from, and the chooser's look at its
// last folder. A network file system that stopped answering blocks every
// look at it, and no thread blocked there can be woken or joined: each
// mount, and the folder, is asked on a thread of its own that nothing
// waits for beyond the deadline.
struct MountSource {
    // The text of the kernel's mount table.
    std::function<QByteArray()> table;
    // Whether the file system mounted at root answers (statvfs). Runs on
    // a thread of its own, which it may never leave.
    std::function<bool(const QString& root)> answers;
    // Whether path is a folder (stat). Runs on a thread of its own, which
    // it may never leave.
    std::function<bool(const QString& path)> isFolder;
    int deadlineMs = 2000;
};
// The source the chooser uses: this machine's table and statvfs, unless a
// test set another.
MountSource mountSource();
// For tests; an empty member falls back to the machine's own.
void setMountSource(const MountSource& source);

// The mounts of the source that answered before the deadline, those of the
// kernel's own file systems left out unasked; one that did not answer is
// left out and logged (PlatformLog). Blocks up to the deadline: never on
// the GUI thread.
QList<MountRecord> answeringMounts(const MountSource& source);

// Whether folder is a folder, asked as a mount is: false when it is not,
// or did not answer before the deadline (logged). Blocks up to the
// deadline, however long the file system keeps the question.
bool folderAnswers(const QString& folder, const MountSource& source = mountSource());

// Runs answeringMounts on a thread of its own and hands the result to done
// on receiver's thread, unless receiver is gone by then. Returns at once;
// the program's end never waits for it.
void listMountsLater(QObject* receiver, std::function<void(const QList<MountRecord>&)> done,
                     const MountSource& source = mountSource());

} // namespace desktop
