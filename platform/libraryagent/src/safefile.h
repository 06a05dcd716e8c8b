// File operations that leave either the old or the new file behind, and
// the message they and the journal give when a system call fails.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// What tells one version of a file from another.
struct tagFileStamp
{
    qint64 size = -1;
    qint64 mtimeNs = -1;
    quint64 inode = 0;
    bool operator==(const tagFileStamp& o) const
    {
        return size == o.size && mtimeNs == o.mtimeNs && inode == o.inode;
    }
};

// Whose a written file is, and its permission bits; -1 for the writer's own.
struct tagFileOwner
{
    qint64 uid = -1;
    qint64 gid = -1;
    int mode = 0644;
};

// False when path cannot be examined.
bool StampOfFile(const QString& path, tagFileStamp* stamp);

// The file path names, wherever it really is: every symbolic link on the
// way resolved, a link to a link as well. A name not there yet is made
// absolute, with a link it is followed to. Empty for links in a loop.
QString ResolvedPath(const QString& path);

// Replaces the file path names (links followed: a link stays a link and
// the file it points to is replaced) with bytes: a temporary file beside
// that file is written, given owner's owner, group and permission bits, or
// without owner those of the file replaced (the writer's own and 0644 for a
// new one), and the extended attributes and ACL of the file replaced,
// synced, renamed over it, then the folder is synced. The mode, the
// attributes and the ACL are always kept (TakeAttributes); an owner or
// group this user may not give is logged and the writer's own taken
// instead. On failure path is untouched and error says why, except when
// only the folder's sync failed: path holds the new bytes then, which a
// crash may still take back.
bool WriteFileAtomically(const QString& path, const QByteArray& bytes, QString* error,
                         const tagFileOwner* owner = nullptr);
// The same with the new content given as pieces, written one after another;
// written, when given, receives the stamp of the file this call put in place.
bool WriteFileAtomically(const QString& path, const QList<QByteArrayView>& pieces, QString* error,
                         const tagFileOwner* owner = nullptr, tagFileStamp* written = nullptr);
// The same for a file of this program's own beside a library (the backup):
// the name path itself gets the writer's new file with mode and the ACL of
// library (one it cannot take is logged), never followed, so a link or
// another file put in its place is replaced, and what it pointed to stays
// as it was.
bool WriteOwnFileAtomically(const QString& path, const QByteArray& bytes, int mode, const QString& library,
                            QString* error);

// For tests: called with the temporary file of WriteFileAtomically once it
// holds every byte, before it replaces anything. Not thread-safe to set.
using TemporaryWrittenHook = std::function<void(const QString& temporary)>;
void SetTemporaryWrittenHook(TemporaryWrittenHook hook);

// Removes the temporary files that writes of paths (files of one folder)
// killed half-way left beside them, each logged, and never one whose write
// still runs nor any file of a name these writes do not make; the folder is
// listed once. Where the file system gives no lock, only those unchanged
// for an hour go. The count.
int RemoveLeftoverTemporaries(const QStringList& paths);

// The permission bits of path, or fallback when it cannot be examined.
int ModeOfFile(const QString& path, int fallback);

// "what: " and the system's text for errno, for the error of a failed call.
QString SystemError(const QString& what);
