#include "librarylock.h"

#include "libraryagent.h"
#include "safefile.h"

#include "platformbase.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Each try loses only to another process that created, removed or
// replaced the lock file at that very moment.
constexpr int kMaxTries = 16;

// The locks this process holds, by library: a second flock of the same
// file through another descriptor would be refused as if another process
// held it.
QHash<QString, std::weak_ptr<CLibraryLock>>& heldLocks()
{
    static QHash<QString, std::weak_ptr<CLibraryLock>> locks;
    return locks;
}

// Whether name still names the file fd is open on: a lock file removed
// or replaced after it was opened guards nothing.
bool namesFile(const QByteArray& name, int fd)
{
    struct stat at, open;
    return ::lstat(name.constData(), &at) == 0 && ::fstat(fd, &open) == 0 && at.st_dev == open.st_dev
        && at.st_ino == open.st_ino;
}

// Opens the lock file without following a link; a new one is made with
// the library's mode, group and ACL, so that the library's other writers,
// and whoever the ACL lets open the library, can open it too, also in a
// folder whose new files take their maker's group. A user who may not
// write it, or who finds it on a file system mounted read-only, opens it
// for reading: flock needs no more on a local disk. *made: this call made
// it; *creating: the failure was that of making it.
int openLockFile(const QByteArray& name, const QString& library, int mode, qint64 group, bool* made,
                 bool* creating)
{
    *made = *creating = false;
    const int flags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    int fd = ::open(name.constData(), O_RDWR | flags);
    if (fd < 0 && (errno == EACCES || errno == EROFS))
        fd = ::open(name.constData(), O_RDONLY | flags);
    if (fd >= 0 || errno != ENOENT)
        return fd;
    fd = ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | flags, mode_t(mode));
    if (fd < 0) {
        *creating = errno != EEXIST;
        return -1;
    }
    *made = true;
    struct stat st;
    if (group >= 0 && ::fstat(fd, &st) == 0 && st.st_gid != gid_t(group) && ::fchown(fd, uid_t(-1), gid_t(group)) != 0)
        PlatformLog(SystemError(QStringLiteral("Library agent: %1 cannot take the library's group %2")
                                    .arg(QFile::decodeName(name))
                                    .arg(group)));
    ::fchmod(fd, mode_t(mode));
    QString refused;
    if (!TakeAcl(library, fd, &refused))
        PlatformLog(QStringLiteral("Library agent: %1 goes without the library's ACL: %2")
                        .arg(QFile::decodeName(name), refused));
    return fd;
}

// Why a lock file that is there cannot be had, from the errno of its open.
int openRefusal(int error)
{
    if (error == EACCES || error == EPERM)
        return AGENT_ERR_LOCK_DENIED;
    return error == EISDIR || error == ENXIO ? AGENT_ERR_LOCK_NOT_FILE : AGENT_ERR_LOCK;
}

// Whether this user may make and remove names in path's folder.
bool mayWriteFolderOf(const QString& path)
{
    return ::faccessat(AT_FDCWD, QFile::encodeName(QFileInfo(path).absolutePath()).constData(), W_OK,
                       AT_EACCESS)
        == 0;
}

// Exclusive, not waiting. Some network file systems lock exclusively only
// through a descriptor open for writing: a user who may only read the
// lock file (and so the library) takes it shared, which keeps every writer
// out all the same.
int lockFile(int fd)
{
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
        return 0;
    return errno == EBADF ? ::flock(fd, LOCK_SH | LOCK_NB) : -1;
}

} // namespace

int CLibraryLock::take(const QString& path, int mode, std::shared_ptr<CLibraryLock>* lock, QString* error)
{
    std::weak_ptr<CLibraryLock>& known = heldLocks()[path];
    if (std::shared_ptr<CLibraryLock> held = known.lock()) {
        *lock = std::move(held);
        return AGENT_OK;
    }
    struct stat st;
    const qint64 group = ::stat(QFile::encodeName(path).constData(), &st) == 0 ? qint64(st.st_gid) : -1;
    std::shared_ptr<CLibraryLock> made(new CLibraryLock(path + QStringLiteral(".lock")));
    const int result = made->acquire(path, mode, group, error);
    if (result != AGENT_OK)
        return result;
    known = made;
    *lock = std::move(made);
    return AGENT_OK;
}

// Whoever may not write the library's folder can neither replace what is
// in the lock file's place nor write the library or its journal there: it
// only reads the library, which it is let do without a lock, as where no
// lock file can be made. Whoever may is refused, told why.
int CLibraryLock::unlockable(int result, const QString& reason, QString* error) const
{
    if (mayWriteFolderOf(m_path)) {
        *error = QStringLiteral("%1 %2").arg(m_path, reason);
        return result;
    }
    PlatformLog(QStringLiteral("Library agent: %1 %2 and this user may not write its folder, so the library is "
                               "opened without a lock")
                    .arg(m_path, reason));
    return AGENT_OK;
}

int CLibraryLock::acquire(const QString& library, int mode, qint64 group, QString* error)
{
    const QByteArray name = QFile::encodeName(m_path);
    for (int tries = 0; tries < kMaxTries; ++tries) {
        bool made = false, creating = false;
        CFileDescriptor fd(openLockFile(name, library, mode, group, &made, &creating));
        if (fd.get() < 0 && (errno == EEXIST || errno == ENOENT) && !creating)
            continue;
        // A link in the lock file's place is replaced; what it names stays.
        if (fd.get() < 0 && errno == ELOOP && (::unlink(name.constData()) == 0 || errno == ENOENT)) {
            PlatformLog(QStringLiteral("Library agent: %1 was a link: removed").arg(m_path));
            continue;
        }
        // Whoever may not make a file in the library's folder cannot
        // replace the library or make its journal either.
        if (fd.get() < 0 && creating && (errno == EACCES || errno == EPERM || errno == EROFS)) {
            PlatformLog(SystemError(QStringLiteral("Library agent: %1 cannot be made, so the library is opened "
                                                   "without a lock")
                                        .arg(m_path)));
            return AGENT_OK;
        }
        if (fd.get() < 0) {
            const int refusal = openRefusal(errno);
            return unlockable(refusal, SystemError(QStringLiteral("cannot be opened")), error);
        }
        struct stat st;
        if (::fstat(fd.get(), &st) != 0) {
            *error = SystemError(QStringLiteral("cannot examine %1").arg(m_path));
            return AGENT_ERR_LOCK;
        }
        if (!S_ISREG(st.st_mode))
            return unlockable(AGENT_ERR_LOCK_NOT_FILE, QStringLiteral("is not a file"), error);
        if (lockFile(fd.get()) != 0) {
            if (errno == EWOULDBLOCK) {
                *error = QStringLiteral("%1 is held: the library is in use by another process").arg(m_path);
                return AGENT_ERR_IN_USE;
            }
            if (IsLocklessFileSystem(errno)) {
                PlatformLog(SystemError(QStringLiteral("Library agent: %1 cannot be locked, so another process may "
                                                       "open the library at the same time")
                                            .arg(m_path)));
                if (made)
                    ::unlink(name.constData());
                return AGENT_OK;
            }
            // A network file system's answer for a file another machine removed meanwhile.
            if (errno == ESTALE)
                continue;
            *error = SystemError(QStringLiteral("cannot lock %1").arg(m_path));
            return AGENT_ERR_LOCK;
        }
        if (namesFile(name, fd.get())) {
            m_fd = fd.release();
            return AGENT_OK;
        }
    }
    *error = QStringLiteral("cannot lock %1: it is made and removed again all the time").arg(m_path);
    return AGENT_ERR_LOCK;
}

CLibraryLock::~CLibraryLock()
{
    if (m_fd < 0)
        return;
    // Removed while still held, so that nobody locks it between: a process
    // that opened it before locks a file without a name, which it notices.
    const QByteArray name = QFile::encodeName(m_path);
    if (namesFile(name, m_fd))
        ::unlink(name.constData());
    ::close(m_fd);
}
