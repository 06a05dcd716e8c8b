#include "safefile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class CFd
{
public:
    explicit CFd(int fd = -1) : m_fd(fd) {}
    ~CFd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;
    int get() const { return m_fd; }
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

QString systemError(const QString& what)
{
    return QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(errno)));
}

bool writeAll(int fd, const char* data, qint64 size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(qMin<qint64>(size, 1 << 30)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

} // namespace

bool StampOfFile(const QString& path, tagFileStamp* stamp)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    stamp->size = st.st_size;
    stamp->mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    stamp->inode = st.st_ino;
    return true;
}

bool SyncFolderOf(const QString& path)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    CFd fd(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return fd.get() >= 0 && ::fsync(fd.get()) == 0;
}

bool WriteFileAtomically(const QString& path, const QByteArray& bytes, QString* error, int mode)
{
    const QByteArray target = QFile::encodeName(QFileInfo(path).absoluteFilePath());
    struct stat st;
    const mode_t bits = mode >= 0 ? mode_t(mode) : ::stat(target.constData(), &st) == 0 ? st.st_mode & 07777 : 0644;
    QByteArray temp = target + ".tmp-XXXXXX";
    CFd fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (fd.get() < 0) {
        *error = systemError(QStringLiteral("cannot create a file beside %1").arg(path));
        return false;
    }
    const bool written = ::fchmod(fd.get(), bits) == 0 && writeAll(fd.get(), bytes.constData(), bytes.size())
        && ::fsync(fd.get()) == 0;
    if (!written || ::close(fd.release()) != 0) {
        *error = systemError(QStringLiteral("cannot write %1").arg(QFile::decodeName(temp)));
        ::unlink(temp.constData());
        return false;
    }
    if (::rename(temp.constData(), target.constData()) != 0) {
        *error = systemError(QStringLiteral("cannot replace %1").arg(path));
        ::unlink(temp.constData());
        return false;
    }
    SyncFolderOf(path);
    return true;
}

bool CopyFileAtomically(const QString& source, const QString& target, QString* error)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(source, in.errorString());
        return false;
    }
    const QByteArray bytes = in.readAll();
    if (in.error() != QFileDevice::NoError) {
        *error = QStringLiteral("cannot read %1: %2").arg(source, in.errorString());
        return false;
    }
    struct stat st;
    const int mode = ::stat(QFile::encodeName(source).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
    return WriteFileAtomically(target, bytes, error, mode);
}
