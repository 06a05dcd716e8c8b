#include "safefile.h"

#include "platformbase.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

QString SystemError(const QString& what)
{
    return QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(errno)));
}

namespace {

// As many links as the kernel itself follows in one path.
constexpr int kMaxLinks = 40;
// A temporary file is named ".<name>.vessolin-XXXXXX", a name no other
// program and no user gives a file, so that a sweep never takes theirs.
const char kTemporaryInfix[] = ".vessolin-";

TemporaryWrittenHook& temporaryWrittenHook()
{
    static TemporaryWrittenHook hook;
    return hook;
}

void StampOfStat(const struct stat& st, tagFileStamp* stamp)
{
    stamp->size = st.st_size;
    stamp->mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    stamp->inode = st.st_ino;
}

// A write holds its folder's lock shared from the moment its temporary file
// has a name until that name is gone; a sweep takes it alone, and only when
// no write holds it. A lock on the temporary file itself would leave the
// moment between the file's creation and its lock open to a sweep of
// another process. A folder that cannot be locked (some network file
// systems) is written all the same, and swept only of what is old.
class CFolderLock
{
public:
    CFolderLock(const QString& path, int operation)
        : m_fd(::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(),
                      O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        m_held = m_fd.get() >= 0 && ::flock(m_fd.get(), operation) == 0;
        m_lockless = m_fd.get() >= 0 && !m_held && IsLocklessFileSystem(errno);
    }
    bool held() const { return m_held; }
    // The file system gives no lock at all.
    bool lockless() const { return m_lockless; }

private:
    CFileDescriptor m_fd; // closing it lets go of the lock
    bool m_held = false;
    bool m_lockless = false;
};

// Where no lock tells a leftover from a write still under way, a temporary
// file nobody changed for this long is a leftover: a write changes its file
// until its rename. One taken all the same only fails that write, whose
// changes stay in its journal.
constexpr qint64 kLocklessLeftoverAgeS = 60 * 60;

bool unchangedFor(const QString& path, qint64 seconds)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0
        && QDateTime::currentSecsSinceEpoch() - qint64(st.st_mtim.tv_sec) >= seconds;
}

bool ownerOfStat(const QString& path, tagFileOwner* owner)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    *owner = {qint64(st.st_uid), qint64(st.st_gid), int(st.st_mode & 07777)};
    return true;
}

bool writePieces(int fd, const QList<QByteArrayView>& pieces)
{
    for (const QByteArrayView& piece : pieces)
        if (!WriteAll(fd, piece.data(), size_t(piece.size())))
            return false;
    return ::fsync(fd) == 0;
}

// Whose attributes a new file takes: the user's file it replaces gives all
// of them, and a file of this program's the ACL of the library it belongs
// to. Empty: none.
struct tagAttributeSource
{
    QString path;
    bool aclOnly = false;
};

// A file of this program's without the library's ACL only keeps out whom
// the ACL lets in, until it goes: it is written all the same, logged.
bool takeAttributes(int fd, const QString& target, const tagAttributeSource& from, QString* error)
{
    if (from.path.isEmpty())
        return true;
    if (!from.aclOnly)
        return TakeAttributes(from.path, fd, QStringLiteral("Library agent"), error);
    QString refused;
    if (!TakeAcl(from.path, fd, &refused))
        PlatformLog(QStringLiteral("Library agent: %1 goes without the ACL of %2: %3").arg(target, from.path, refused));
    return true;
}

QByteArray temporaryTemplate(const QString& path)
{
    const QFileInfo info(path);
    return QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName()) + kTemporaryInfix
        + "XXXXXX";
}

// Writes a temporary file beside target and renames it over target, which
// names the file itself: a link there is replaced, not followed. The new
// file takes the owner and mode wanted, then the attributes of from. True
// only once the new name is on the disk; when only the folder's sync
// fails, target holds the new bytes and error says so.
bool replaceName(const QString& target, const QList<QByteArrayView>& pieces, const tagFileOwner& wanted,
                 const tagAttributeSource& from, QString* error, tagFileStamp* written)
{
    const QByteArray name = QFile::encodeName(target);
    QByteArray temp = temporaryTemplate(target);
    const CFolderLock writing(target, LOCK_SH);
    CFileDescriptor fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (fd.get() < 0) {
        *error = SystemError(QStringLiteral("cannot create a file beside %1").arg(target));
        return false;
    }
    if (!TakeOwnerAndMode(fd.get(), wanted.uid < 0 ? uid_t(-1) : uid_t(wanted.uid),
                          wanted.gid < 0 ? gid_t(-1) : gid_t(wanted.gid), mode_t(wanted.mode), target,
                          QStringLiteral("Library agent"), error)
        || !takeAttributes(fd.get(), target, from, error)) {
        ::unlink(temp.constData());
        return false;
    }
    // Taken from the file written, not from target after the rename: a file
    // put there by someone else in between must not pass for ours.
    struct stat st;
    if (!writePieces(fd.get(), pieces) || (written && ::fstat(fd.get(), &st) != 0) || !fd.close()) {
        *error = SystemError(QStringLiteral("cannot write %1").arg(QFile::decodeName(temp)));
        ::unlink(temp.constData());
        return false;
    }
    if (const TemporaryWrittenHook& hook = temporaryWrittenHook())
        hook(QFile::decodeName(temp));
    if (::rename(temp.constData(), name.constData()) != 0) {
        *error = SystemError(QStringLiteral("cannot replace %1").arg(target));
        ::unlink(temp.constData());
        return false;
    }
    // Until the folder is synced a crash may still bring back the old file,
    // so nothing that only the new one holds may be let go before.
    if (!SyncFolderOf(target)) {
        *error = SystemError(QStringLiteral("%1 was replaced, but its folder could not be synced").arg(target));
        return false;
    }
    if (written)
        StampOfStat(st, written);
    return true;
}

} // namespace

bool StampOfFile(const QString& path, tagFileStamp* stamp)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    StampOfStat(st, stamp);
    return true;
}

QString ResolvedPath(const QString& path)
{
    QString at = QFileInfo(path).absoluteFilePath();
    for (int links = 0; links <= kMaxLinks; ++links) {
        const QFileInfo info(at);
        const QString real = info.canonicalFilePath();
        if (!real.isEmpty())
            return real;
        if (!info.isSymLink())
            return at;
        at = info.symLinkTarget();
    }
    return QString();
}

int ModeOfFile(const QString& path, int fallback)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : fallback;
}

bool WriteFileAtomically(const QString& path, const QByteArray& bytes, QString* error, const tagFileOwner* owner)
{
    return WriteFileAtomically(path, QList<QByteArrayView>{QByteArrayView(bytes)}, error, owner);
}

bool WriteFileAtomically(const QString& path, const QList<QByteArrayView>& pieces, QString* error,
                         const tagFileOwner* owner, tagFileStamp* written)
{
    const QString real = ResolvedPath(path);
    if (real.isEmpty()) {
        *error = QStringLiteral("the links of %1 go round in a loop").arg(path);
        return false;
    }
    tagFileOwner stated;
    const bool replaces = ownerOfStat(real, &stated);
    const tagFileOwner wanted = owner ? *owner : stated;
    // A new file has nothing to keep.
    const tagAttributeSource from{replaces ? real : QString(), false};
    return replaceName(real, pieces, wanted, from, error, written);
}

bool WriteOwnFileAtomically(const QString& path, const QByteArray& bytes, int mode, const QString& library,
                            QString* error)
{
    tagFileOwner own;
    own.mode = mode;
    return replaceName(QFileInfo(path).absoluteFilePath(), QList<QByteArrayView>{QByteArrayView(bytes)}, own,
                       tagAttributeSource{library, true}, error, nullptr);
}

void SetTemporaryWrittenHook(TemporaryWrittenHook hook)
{
    temporaryWrittenHook() = std::move(hook);
}

int RemoveLeftoverTemporaries(const QStringList& paths)
{
    if (paths.isEmpty())
        return 0;
    const CFolderLock sweeping(paths.first(), LOCK_EX | LOCK_NB);
    if (!sweeping.held() && !sweeping.lockless())
        return 0;
    const qint64 minimumAge = sweeping.held() ? 0 : kLocklessLeftoverAgeS;
    QStringList names;
    for (const QString& path : paths)
        names << QRegularExpression::escape(QFileInfo(path).fileName());
    const QRegularExpression pattern(QStringLiteral("^\\.(%1)%2[A-Za-z0-9]{6}$")
                                         .arg(names.join(QLatin1Char('|')),
                                              QRegularExpression::escape(QLatin1String(kTemporaryInfix))));
    const QDir folder = QFileInfo(paths.first()).absoluteDir();
    int removed = 0;
    // Matched here, not by a name filter, which would read wildcards into
    // the library's own name.
    for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks)) {
        const QString leftover = folder.filePath(name);
        if (!pattern.match(name).hasMatch() || (minimumAge > 0 && !unchangedFor(leftover, minimumAge))
            || ::unlink(QFile::encodeName(leftover).constData()) != 0)
            continue;
        PlatformLog(QStringLiteral("Library agent: %1 removed, left by a write that was killed").arg(leftover));
        ++removed;
    }
    if (removed > 0)
        SyncFolderOf(paths.first());
    return removed;
}
