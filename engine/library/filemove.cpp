#include "library/filemove.h"

#include "core/mmlog.h"
#include "platformbase.h"
#include "tags.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr size_t kBlockSize = 1 << 20;

// The copy made across file systems, named as a sweep knows working copies
// (see WorkingCopyTemplate) and locked from right after its name is made
// until the name is gone: a sweep by this process or another one leaves a
// live copy alone, and takes the copy of a move that was killed. Its name
// goes unless it took the target's name.
class WorkingCopy
{
public:
    explicit WorkingCopy(const QString& target)
        : m_path(QFile::encodeName(WorkingCopyTemplate(QFileInfo(target).absolutePath(), QFileInfo(target).suffix()))),
          m_fd(::mkostemps(m_path.data(), int(m_path.size() - m_path.lastIndexOf('.')), O_CLOEXEC))
    {
        if (m_fd.get() < 0) {
            m_path.clear();
            return;
        }
        // A file system without locks (a share without a lock service) is
        // moved to all the same, as the library file is written there.
        m_locked = LockWorkingCopy(m_fd.get(), QFileInfo(target).absolutePath());
        // A sweep that came between the name and the lock took the name
        // away, and someone else may use it now: the move fails, the
        // original stays, and that name is not ours to remove.
        struct stat opened, named;
        if (m_locked
            && (::fstat(m_fd.get(), &opened) != 0 || ::lstat(m_path.constData(), &named) != 0
                || opened.st_dev != named.st_dev || opened.st_ino != named.st_ino)) {
            m_locked = false;
            m_path.clear();
        }
    }
    ~WorkingCopy()
    {
        // The name goes while the lock is still held.
        if (!m_path.isEmpty())
            ::unlink(m_path.constData());
    }
    WorkingCopy(const WorkingCopy&) = delete;
    WorkingCopy& operator=(const WorkingCopy&) = delete;

    // Whether the copy is there, ours and locked (where the file system locks).
    bool made() const { return m_locked; }
    int fd() const { return m_fd.get(); }
    const char* path() const { return m_path.constData(); }
    // The copy took the target's name.
    void renamed() { m_path.clear(); }
    // Closes now; false when the close reported an error (a late write error).
    bool close() { return m_fd.close(); }

private:
    QByteArray m_path; // before m_fd: the descriptor is made from it
    CFileDescriptor m_fd;
    bool m_locked = false;
};

bool copyBytes(int from, int to)
{
    QByteArray buffer(int(kBlockSize), Qt::Uninitialized);
    for (;;) {
        const ssize_t got = ReadAll(from, buffer.data(), kBlockSize);
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        if (!WriteAll(to, buffer.constData(), size_t(got)))
            return false;
    }
}

bool sameContent(const char* a, const char* b)
{
    CFileDescriptor fa(::open(a, O_RDONLY | O_CLOEXEC));
    CFileDescriptor fb(::open(b, O_RDONLY | O_CLOEXEC));
    if (fa.get() < 0 || fb.get() < 0)
        return false;
    QByteArray ba(int(kBlockSize), Qt::Uninitialized), bb(int(kBlockSize), Qt::Uninitialized);
    for (;;) {
        const ssize_t na = ReadAll(fa.get(), ba.data(), kBlockSize);
        const ssize_t nb = ReadAll(fb.get(), bb.data(), kBlockSize);
        if (na < 0 || na != nb || std::memcmp(ba.constData(), bb.constData(), size_t(na)) != 0)
            return false;
        if (na == 0)
            return true;
    }
}

// 0 or the errno of the refusal; EEXIST when something lies at to.
int renameNoReplace(const char* from, const char* to)
{
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0)
        return 0;
    int error = errno;
    if (error != EINVAL && error != ENOSYS)
        return error;
    // A file system that cannot refuse by itself still refuses a hard link
    // onto an existing name; the old name then goes.
    if (::link(from, to) == 0) {
        if (::unlink(from) == 0)
            return 0;
        error = errno;
        ::unlink(to);
        return error;
    }
    error = errno;
    if (error != EPERM && error != EOPNOTSUPP)
        return error;
    // No hard links either: the narrow window between test and rename is
    // the best such a file system offers.
    struct stat st;
    if (::lstat(to, &st) == 0)
        return EEXIST;
    return ::rename(from, to) == 0 ? 0 : errno;
}

// The attributes and ACL come with the song, or the song stays: the trash
// is where it is kept for an undo.
bool takeAttributes(const char* from, const WorkingCopy& copy)
{
    QString refused;
    if (TakeAttributes(QFile::decodeName(from), copy.fd(), QStringLiteral("Move"), &refused))
        return true;
    WriteLog(refused);
    return false;
}

// The copy holds the original's bytes, permission bits, extended
// attributes, ACL and times, all of them on the disk, and reads back as the
// original.
bool fillCopy(const char* from, const WorkingCopy& copy, const struct stat& source)
{
    const CFileDescriptor in(::open(from, O_RDONLY | O_CLOEXEC));
    const struct timespec times[2] = {source.st_atim, source.st_mtim};
    return in.get() >= 0 && copyBytes(in.get(), copy.fd()) && ::fchmod(copy.fd(), source.st_mode & 07777) == 0
        && takeAttributes(from, copy) && ::futimens(copy.fd(), times) == 0 && ::fsync(copy.fd()) == 0
        && sameContent(from, copy.path());
}

// A name made in a folder lasts once the folder is synced, and a folder
// this run made (the trash's folder of the day, the trash itself at the
// first start) once the folder above it is. So every folder from the
// target's up to the top of its file system is synced. A folder above the
// target's that we may not read is none this program made, nor is any
// folder above it.
bool syncTargetFolders(const QString& target)
{
    QString folder = QFileInfo(target).canonicalPath();
    if (folder.isEmpty())
        return false;
    dev_t device = 0;
    for (bool first = true;; first = false) {
        const CFileDescriptor fd(::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (fd.get() < 0)
            return !first && errno == EACCES;
        struct stat st;
        if (::fstat(fd.get(), &st) != 0)
            return false;
        if (!first && st.st_dev != device)
            return true;
        if (::fsync(fd.get()) != 0)
            return false;
        device = st.st_dev;
        if (folder == QLatin1String("/"))
            return true;
        folder = QFileInfo(folder).path();
    }
}

// Writes a verified copy next to the target, gives it the target's name
// without replacing anything, and only then removes the original. The
// copy and its new name are on the disk before the original goes: after a
// power cut the song is in the trash under its name or still where it was,
// never only in a hidden copy that no Undo knows.
int copyAcross(const char* from, const char* to, const struct stat& source)
{
    const QString target = QFile::decodeName(to);
    WorkingCopy copy(target);
    if (!copy.made() || !fillCopy(from, copy, source))
        return MOVE_FAILED;
    const int renamed = renameNoReplace(copy.path(), to);
    if (renamed != 0)
        return renamed == EEXIST ? MOVE_TARGET_EXISTS : MOVE_FAILED;
    copy.renamed();
    // Until the original goes, a failure here takes back the copy and the
    // move did not happen.
    if (!syncTargetFolders(target) || !copy.close() || ::unlink(from) != 0) {
        ::unlink(to);
        return MOVE_FAILED;
    }
    // The song is in its new place whatever happens now; a crash could
    // still bring back its old name beside it, never lose it.
    if (!SyncFolderOf(QFile::decodeName(from)))
        WriteLog(QStringLiteral("%1 SyncFolder after a move to %2 Failed").arg(QFile::decodeName(from), target));
    return MOVE_OK;
}

} // namespace

int MoveFileNoReplace(const QString& from, const QString& to)
{
    const QByteArray source = QFile::encodeName(from), target = QFile::encodeName(to);
    struct stat st;
    if (from.isEmpty() || ::stat(source.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return MOVE_NO_SOURCE;
    if (to.isEmpty())
        return MOVE_FAILED;
    // Copies that killed moves (or tag writes) left in the folder go before
    // the first move of the run into it.
    SweepTagCopiesOnce(QFileInfo(to).absolutePath());
    struct stat existing;
    if (::lstat(target.constData(), &existing) == 0)
        return MOVE_TARGET_EXISTS;
    const int error = renameNoReplace(source.constData(), target.constData());
    if (error == 0)
        return MOVE_OK;
    if (error == EEXIST)
        return MOVE_TARGET_EXISTS;
    if (error == EXDEV)
        return copyAcross(source.constData(), target.constData(), st);
    return MOVE_FAILED;
}
