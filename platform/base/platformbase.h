// What the platform layers share: a POSIX file descriptor that closes
// itself, a write of a whole buffer, the fsync calls that make a written
// file or a new name in a folder durable, what the file system knows a file
// by, how a new file takes the owner, mode, extended attributes and ACL of
// the one it replaces, the one hook through which the layers log their
// failures, how text is made fit for a log line, what a server may send
// this program to, and how long a web request may take.
#pragma once

#include <QByteArray>
#include <QPair>
#include <QString>
#include <QUrl>

#include <cstddef>
#include <sys/types.h>

// Owns a descriptor and closes it on every way out; negative holds none.
class CFileDescriptor
{
public:
    explicit CFileDescriptor(int fd = -1) : m_fd(fd) {}
    ~CFileDescriptor();
    CFileDescriptor(const CFileDescriptor&) = delete;
    CFileDescriptor& operator=(const CFileDescriptor&) = delete;

    int get() const { return m_fd; }
    // Hands the descriptor over without closing it; this one then holds none.
    int release();
    // Closes now; false when the close reported an error (a late write error).
    bool close();

private:
    int m_fd;
};

// Writes all size bytes, going on after an interruption or a short write;
// false at the first write that fails (errno says why).
bool WriteAll(int fd, const char* data, size_t size);
// Reads size bytes, going on after an interruption or a short read until
// the end of the file: the count read, short only at the end; -1 at the
// first read that fails. From offset when it is not negative (the file
// position stays), else from the file position.
ssize_t ReadAll(int fd, char* data, size_t size, off_t offset = -1);

// Opens name with flags (O_CLOEXEC added) and syncs it; false when either fails.
bool SyncPath(const QByteArray& name, int flags);
// Syncs the folder holding path, so a new or removed name in it lasts.
bool SyncFolderOf(const QString& path);

// Whether path names a regular file, links followed; false for an empty path.
bool IsRegularFile(const QString& path);
// False when the user's file must not be changed: this process may not
// write it, or, for the super-user, whom no permission stops, its owner may
// not (a file locked by its owner, which even the super-user leaves alone).
bool IsWritableFile(const QString& path);

// Gives fd, a new file of this process's that is to take path's place, the
// owner uid and group gid (-1: the file's own) as far as this user may, then
// the permission bits mode. Only the super-user gives a file away, and a
// user gives a file only their own groups; a member of a shared folder's
// group must still get changes into its files, so what the file has instead
// is logged under who (the layer writing), not refused. The mode is set
// last, as a change of owner may clear bits, and checked: the kernel drops
// the setgid bit of a file in a group the process is not in, and some file
// systems accept a change they do not make. False, with the reason in
// error, when the file cannot have the mode.
bool TakeOwnerAndMode(int fd, uid_t uid, gid_t gid, mode_t mode, const QString& path, const QString& who,
                      QString* error);
// Gives fd, a new file of this process's that is to take the place of the
// file at source (links followed), source's extended attributes and its
// POSIX ACL; called once TakeOwnerAndMode has given fd its owner and mode,
// as an ACL's mask becomes the mode's group bits. What a file carries in
// user.* (desktops keep ratings, tags and comments there) and its ACL (who
// else may open it) are as much the user's as its mode: false, with the
// reason in error, when one that source has cannot be given, as for the
// mode. security.* and trusted.* ones only a privileged process sets: one
// this process may not set is left out, logged under who. A new file that
// a default ACL of its folder gave an ACL source has not loses it. A file
// system without extended attributes (ENOTSUP) has none to keep.
bool TakeAttributes(const QString& source, int fd, const QString& who, QString* error);
// Gives fd, a file of this program's beside source (a library's lock,
// journal, backup), source's ACL alone, or none where source has none, so
// that whoever may open source may open it too. False, with the reason in
// error, when it cannot be given.
bool TakeAcl(const QString& source, int fd, QString* error);

// Whether a failed flock's errno says the file system gives no locks at
// all (a share without a lock service), where writers go on unlocked
// rather than refuse every write there.
bool IsLocklessFileSystem(int error);

// A file's device and inode, which every path to it shares: two names, a
// hard link and a symbolic link of one file all give the same.
using FileId = QPair<quint64, quint64>;
// Sets id for the file at path, links followed; false when there is none.
bool FileIdOf(const QString& path, FileId& id);

// Where the platform layers' failure lines go: a function the program using
// them sets (the engine sends them to its own log). Until one is set, and
// after a null one, lines are dropped. Any thread.
using PlatformLogHook = void (*)(const QString& line);
void SetPlatformLog(PlatformLogHook hook);
// Hands one line to the hook set.
void PlatformLog(const QString& line);

// Server text kept in a log line; the rest is only counted.
constexpr int kMaxLoggedServerChars = 300;
// text with every character that could end a line or steer a terminal
// (controls, line and paragraph separators) written as an escape: a
// backslash and n, r or t, else a backslash, u and four hex digits. One
// call then writes one line however the text was made.
QString LogLineText(const QString& text);
// The first kMaxLoggedServerChars characters of text from a server, with
// the count of those left out: an answer may hold megabytes of it.
QString ServerTextForLog(const QString& text);

// Every web request, redirects included, ends within this time.
constexpr int kWebRequestDeadlineMs = 30000;

// Whether url is an http or https address with a host: the only kind a
// server's answer may send this program to.
bool IsWebLink(const QUrl& url);
