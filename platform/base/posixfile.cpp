#include "platformbase.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

CFileDescriptor::~CFileDescriptor()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

int CFileDescriptor::release()
{
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

bool CFileDescriptor::close()
{
    return ::close(release()) == 0;
}

bool WriteAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= size_t(written);
    }
    return true;
}

ssize_t ReadAll(int fd, char* data, size_t size, off_t offset)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t got = offset < 0 ? ::read(fd, data + done, size - done)
                                       : ::pread(fd, data + done, size - done, offset + off_t(done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        done += size_t(got);
    }
    return ssize_t(done);
}

bool SyncPath(const QByteArray& name, int flags)
{
    CFileDescriptor fd(::open(name.constData(), flags | O_CLOEXEC));
    return fd.get() >= 0 && ::fsync(fd.get()) == 0;
}

bool SyncFolderOf(const QString& path)
{
    return SyncPath(QFile::encodeName(QFileInfo(path).absolutePath()), O_RDONLY | O_DIRECTORY);
}

bool IsRegularFile(const QString& path)
{
    struct stat st;
    return !path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsWritableFile(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st;
    if (::stat(name.constData(), &st) != 0)
        return false;
    // No access check stops the super-user; it goes by the owner's own mark.
    if (::geteuid() == 0)
        return (st.st_mode & S_IWUSR) != 0;
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0 && ::access(name.constData(), W_OK) == 0;
}

bool FileIdOf(const QString& path, FileId& id)
{
    struct stat st;
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    id = FileId(quint64(st.st_dev), quint64(st.st_ino));
    return true;
}

bool IsLocklessFileSystem(int error)
{
    return error == ENOLCK || error == EOPNOTSUPP;
}
