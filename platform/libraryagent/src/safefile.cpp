#include "safefile.h"

#include "platformbase.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QString SystemError(const QString& what)
{
    return QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(errno)));
}

namespace {

void StampOfStat(const struct stat& st, tagFileStamp* stamp)
{
    stamp->size = st.st_size;
    stamp->mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    stamp->inode = st.st_ino;
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

int ModeOfFile(const QString& path, int fallback)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : fallback;
}

bool WriteFileAtomically(const QString& path, const QByteArray& bytes, QString* error, int mode)
{
    return WriteFileAtomically(path, QList<QByteArrayView>{QByteArrayView(bytes)}, error, mode);
}

bool WriteFileAtomically(const QString& path, const QList<QByteArrayView>& pieces, QString* error, int mode,
                         tagFileStamp* written)
{
    const QByteArray target = QFile::encodeName(QFileInfo(path).absoluteFilePath());
    const mode_t bits = mode_t(mode >= 0 ? mode : ModeOfFile(path, 0644));
    QByteArray temp = target + ".tmp-XXXXXX";
    CFileDescriptor fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (fd.get() < 0) {
        *error = SystemError(QStringLiteral("cannot create a file beside %1").arg(path));
        return false;
    }
    bool complete = ::fchmod(fd.get(), bits) == 0;
    for (const QByteArrayView& piece : pieces)
        complete = complete && WriteAll(fd.get(), piece.data(), size_t(piece.size()));
    complete = complete && ::fsync(fd.get()) == 0;
    // Taken from the file written, not from path after the rename: a file
    // put there by someone else in between must not pass for ours.
    struct stat st;
    complete = complete && (!written || ::fstat(fd.get(), &st) == 0);
    if (!complete || !fd.close()) {
        *error = SystemError(QStringLiteral("cannot write %1").arg(QFile::decodeName(temp)));
        ::unlink(temp.constData());
        return false;
    }
    if (::rename(temp.constData(), target.constData()) != 0) {
        *error = SystemError(QStringLiteral("cannot replace %1").arg(path));
        ::unlink(temp.constData());
        return false;
    }
    SyncFolderOf(path);
    if (written)
        StampOfStat(st, written);
    return true;
}
