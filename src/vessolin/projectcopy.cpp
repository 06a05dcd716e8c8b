#include "vessolin/projectcopy.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The whole file, or false when it cannot be read completely.
bool ReadWhole(const QString& path, QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = file.size();
    bytes = file.readAll();
    return bytes.size() == size && file.error() == QFileDevice::NoError;
}

// SQLite keeps a journal beside the database while it changes it (and a
// crashed writer leaves one that the next open rolls back): the main file
// alone is then no consistent database.
bool IsBeingWritten(const QString& database)
{
    return QFile::exists(database + QStringLiteral("-journal"))
        || QFile::exists(database + QStringLiteral("-wal"));
}

int WriteSynced(QTemporaryFile& file, const QByteArray& bytes)
{
    if (file.write(bytes) != bytes.size() || !file.flush())
        return PC_WRITE_FAILED;
    if (::fsync(file.handle()) != 0)
        return PC_WRITE_FAILED;
    if (!file.seek(0))
        return PC_VERIFY_FAILED;
    const QByteArray back = file.readAll();
    return back == bytes && file.size() == bytes.size() ? PC_OK : PC_VERIFY_FAILED;
}

QFileDevice::Permissions TargetPermissions(const QString& to)
{
    if (QFile::exists(to))
        return QFile::permissions(to);
    return QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
         | QFileDevice::ReadOther;
}

// The new name itself must reach the disk too, or a power cut after the
// rename could bring back the old project, or none.
void SyncFolder(const QString& folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace

int CopyProjectFile(const QString& from, const QString& to)
{
    if (to.isEmpty() || QFileInfo(from).absoluteFilePath() == QFileInfo(to).absoluteFilePath())
        return PC_NO_TARGET;
    if (IsBeingWritten(from))
        return PC_SOURCE_BUSY;
    QByteArray bytes;
    if (!ReadWhole(from, bytes))
        return PC_NO_SOURCE;

    const QFileInfo target(to);
    QTemporaryFile staged(target.absolutePath() + QStringLiteral("/.") + target.fileName()
                          + QStringLiteral(".XXXXXX"));
    if (!staged.open())
        return PC_NO_TARGET;
    const int written = WriteSynced(staged, bytes);
    if (written != PC_OK)
        return written;
    QByteArray again;
    if (IsBeingWritten(from) || !ReadWhole(from, again) || again != bytes)
        return PC_SOURCE_CHANGED;
    staged.setPermissions(TargetPermissions(to));
    staged.close();
    // rename() replaces the old target in one step: a reader sees the old
    // project or the new one, never a mix.
    if (std::rename(QFile::encodeName(staged.fileName()).constData(), QFile::encodeName(to).constData()) != 0)
        return PC_RENAME_FAILED;
    staged.setAutoRemove(false);
    SyncFolder(target.absolutePath());
    return PC_OK;
}

// The project goes to a file beside the working database first and takes
// its place only when complete, so a failed copy (a full disk, an
// unreadable project) leaves the interrupted run's database as it was.
bool PlaceProject(const QString& project, const QString& database)
{
    const QString staged = database + QStringLiteral(".loading");
    QFile::remove(staged);
    const bool copied = QFile::copy(project, staged) && QFileInfo(staged).size() == QFileInfo(project).size();
    // rename() replaces the old database in one step: there is no moment
    // with neither the old run nor the project in place.
    if (!copied
        || std::rename(QFile::encodeName(staged).constData(), QFile::encodeName(database).constData()) != 0) {
        QFile::remove(staged);
        return false;
    }
    // A journal a crash left beside the old database belongs to it; the
    // engine opens a project without clearing side files (an interrupted
    // run needs its journal), and would replay this one into the project.
    for (const char* suffix : {"-journal", "-wal", "-shm"})
        QFile::remove(database + QLatin1String(suffix));
    return true;
}
