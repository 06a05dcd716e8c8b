#include "tagwriter.h"

#include "platformbase.h"
#include "tagfile.h"
#include "tags.h"

#include <taglib/fileref.h>
#include <taglib/id3v2header.h>
#include <taglib/mpegfile.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryFile>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kCopyPrefix[] = ".vessolin-";

CopyMadeHook& copyMadeHook()
{
    static CopyMadeHook hook;
    return hook;
}

// Whether the copy at path is one whose writer is gone: its writer holds a
// lock on it for as long as it lives, and a process that dies lets go.
// Removes it then; a link, a folder or a file replaced meanwhile stays.
bool RemoveIfStale(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    const CFileDescriptor fd(::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    struct stat opened, now;
    if (fd.get() < 0 || ::fstat(fd.get(), &opened) != 0 || !S_ISREG(opened.st_mode))
        return false;
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
        return false;
    if (::lstat(name.constData(), &now) != 0 || now.st_dev != opened.st_dev || now.st_ino != opened.st_ino)
        return false;
    return ::unlink(name.constData()) == 0;
}

// Copies left behind come only from a process that died, so a folder is
// swept once per process, before the first write into it.
void SweepFolderOnce(const QString& folder)
{
    static QMutex lock;
    static QSet<QString> swept;
    {
        QMutexLocker locker(&lock);
        if (swept.contains(folder))
            return;
        swept.insert(folder);
    }
    const int removed = RemoveStaleCopies(folder);
    if (removed > 0)
        PlatformLog(QStringLiteral("%1 Removed copies left by interrupted tag writes: %2").arg(folder).arg(removed));
}

bool CopyBytes(const QString& from, QFile& to)
{
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly))
        return false;
    constexpr qint64 kChunk = 1 << 20;
    while (!source.atEnd()) {
        const QByteArray chunk = source.read(kChunk);
        if (chunk.isEmpty() || to.write(chunk) != chunk.size())
            return false;
    }
    return to.flush();
}

// Makes the working copy beside target. The copy keeps the extension of
// path, because TagLib and GetFileType both choose by it, and starts with
// a dot so file browsers do not show it while it exists. It stays open and
// locked until it is renamed or removed: the lock tells a sweep of the
// folder that its writer lives.
bool MakeCopy(const QString& path, const QString& target, QTemporaryFile& copy)
{
    const QFileInfo info(target);
    copy.setFileTemplate(info.absolutePath() + QLatin1Char('/') + QLatin1String(kCopyPrefix)
                         + QStringLiteral("XXXXXX.") + QFileInfo(path).suffix());
    // The lock comes before the name, so no sweep finds the copy unlocked.
    // Asking for the name also gives an unnamed (O_TMPFILE) copy its name
    // in the folder, which the rename below needs.
    if (!copy.open() || ::flock(copy.handle(), LOCK_EX) != 0 || copy.fileName().isEmpty())
        return false;
    if (!CopyBytes(target, copy))
        return false;
    if (const CopyMadeHook& hook = copyMadeHook())
        hook(copy.fileName());
    return true;
}

// MP3s keep the ID3v1 and APE tags they have, and TagLib must not fill
// them from the ID3v2 tag by itself: only the requested fields change.
bool SaveTags(TagLib::File* file)
{
    if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(file))
        return mpeg->save(TagLib::MPEG::File::ID3v2, TagLib::File::StripNone, TagLib::ID3v2::v4,
                          TagLib::File::DoNotDuplicate);
    return file->save();
}

int EditCopy(const QString& copyPath, const TagEdit& edit)
{
    std::unique_ptr<TagLib::FileRef> ref = OpenMusicFile(copyPath);
    if (!ref)
        return -3;
    TagLib::Tag* tag = nullptr;
    const int kind = GetFileType(copyPath, ref->file(), &tag, true);
    if (kind < 0 || !tag)
        return -4;
    const int edited = edit(ref->file(), tag, kind);
    if (edited != 0)
        return edited;
    return SaveTags(ref->file()) ? 0 : TAG_WRITE_SAVE_FAILED;
}

bool CheckCopy(const QString& copyPath, const TagCheck& check)
{
    std::unique_ptr<TagLib::FileRef> ref = OpenMusicFile(copyPath);
    if (!ref)
        return false;
    TagLib::Tag* tag = nullptr;
    const int kind = GetFileType(copyPath, ref->file(), &tag, true);
    return kind > 0 && tag && check(tag, kind);
}

// Gives the copy the original's permission bits and, where allowed, its
// owner, makes it durable, and puts it in the original's place.
int ReplaceWithCopy(QTemporaryFile& copy, const QString& target)
{
    const QByteArray copyName = QFile::encodeName(copy.fileName());
    const QByteArray targetName = QFile::encodeName(target);
    struct stat st;
    if (::stat(targetName.constData(), &st) != 0)
        return TAG_WRITE_NO_REPLACE;
    // Owner first: a change of owner may clear mode bits set before it.
    if (::chown(copyName.constData(), st.st_uid, st.st_gid) != 0) {
        // Only the super-user may give files away; a copy of our own stays ours.
    }
    if (::chmod(copyName.constData(), st.st_mode & 07777) != 0)
        return TAG_WRITE_NO_REPLACE;
    if (!SyncPath(copyName, O_RDONLY) || ::rename(copyName.constData(), targetName.constData()) != 0)
        return TAG_WRITE_NO_REPLACE;
    copy.setAutoRemove(false);
    SyncFolderOf(target);
    return 0;
}

} // namespace

bool IsWritableMusicFile(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st;
    return ::stat(name.constData(), &st) == 0 && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0
        && ::access(name.constData(), W_OK) == 0;
}

int WriteThroughCopy(const QString& path, const TagEdit& edit, const TagCheck& check)
{
    if (!IsWritableMusicFile(path))
        return TAG_WRITE_READ_ONLY;
    // A link is followed, so the file it points to changes, not the link.
    const QString target = QFileInfo(path).canonicalFilePath();
    if (!target.isEmpty())
        SweepFolderOnce(QFileInfo(target).absolutePath());
    QTemporaryFile copy; // removed again on every failure below
    if (target.isEmpty() || !MakeCopy(path, target, copy))
        return TAG_WRITE_NO_COPY;
    const int edited = EditCopy(copy.fileName(), edit);
    if (edited != 0)
        return edited;
    if (!CheckCopy(copy.fileName(), check))
        return TAG_WRITE_NOT_VERIFIED;
    return ReplaceWithCopy(copy, target);
}

bool IsWorkingCopyName(const QString& fileName)
{
    static const QRegularExpression pattern(QStringLiteral("^\\.vessolin-[A-Za-z0-9]{6}\\.[^./]+$"));
    return pattern.match(fileName).hasMatch();
}

int RemoveStaleCopies(const QString& folder)
{
    const QDir dir(folder);
    int removed = 0;
    const QStringList names = dir.entryList({QLatin1String(kCopyPrefix) + QLatin1Char('*')},
                                            QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks);
    for (const QString& name : names) {
        if (IsWorkingCopyName(name) && RemoveIfStale(dir.filePath(name)))
            ++removed;
    }
    return removed;
}

void SetCopyMadeHook(CopyMadeHook hook)
{
    copyMadeHook() = std::move(hook);
}

bool RemoveStaleTagCopy(const QString& path)
{
    return IsWorkingCopyName(QFileInfo(path).fileName()) && RemoveIfStale(path);
}
