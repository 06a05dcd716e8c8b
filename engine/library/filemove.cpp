#include "library/filemove.h"

#include "platformbase.h"

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

// The copy made across file systems goes unless it took the target's name.
class TemporaryCopy
{
public:
    explicit TemporaryCopy(QByteArray path) : m_path(std::move(path)) {}
    ~TemporaryCopy()
    {
        if (!m_path.isEmpty())
            ::unlink(m_path.constData());
    }
    TemporaryCopy(const TemporaryCopy&) = delete;
    TemporaryCopy& operator=(const TemporaryCopy&) = delete;
    const char* path() const { return m_path.constData(); }
    void keep() { m_path.clear(); }

private:
    QByteArray m_path;
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

// Writes a verified copy next to the target, gives it the target's name
// without replacing anything, and only then removes the original.
int copyAcross(const char* from, const char* to, const struct stat& source)
{
    const QFileInfo target(QFile::decodeName(to));
    QByteArray pattern = QFile::encodeName(target.absolutePath() + QStringLiteral("/.")
                                           + target.fileName() + QStringLiteral(".XXXXXX"));
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0)
        return MOVE_FAILED;
    TemporaryCopy temporary(pattern);
    {
        CFileDescriptor out(fd);
        CFileDescriptor in(::open(from, O_RDONLY | O_CLOEXEC));
        const struct timespec times[2] = {source.st_atim, source.st_mtim};
        if (in.get() < 0 || !copyBytes(in.get(), out.get()) || ::fsync(out.get()) != 0
            || ::fchmod(out.get(), source.st_mode & 07777) != 0 || ::futimens(out.get(), times) != 0
            || !out.close())
            return MOVE_FAILED;
    }
    if (!sameContent(from, temporary.path()))
        return MOVE_FAILED;
    const int renamed = renameNoReplace(temporary.path(), to);
    if (renamed != 0)
        return renamed == EEXIST ? MOVE_TARGET_EXISTS : MOVE_FAILED;
    temporary.keep();
    if (::unlink(from) != 0) {
        // The original cannot go: the move did not happen.
        ::unlink(to);
        return MOVE_FAILED;
    }
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
