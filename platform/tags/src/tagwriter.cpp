#include "tagwriter.h"

#include "audiospans.h"
#include "platformbase.h"
#include "tagfile.h"
#include "tags.h"

#include <taglib/fileref.h>
#include <taglib/mpegfile.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryFile>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

const char kCopyPrefix[] = ".vessolin-";
constexpr size_t kCopyChunk = 1 << 20;
// Room asked for beyond the file and what an edit adds: the padding and
// bookkeeping a save puts around a new tag.
constexpr int64_t kTagSlack = 64 * 1024;

CopyMadeHook& copyMadeHook()
{
    static CopyMadeHook hook;
    return hook;
}

std::atomic<bool>& audioCheck()
{
    static std::atomic<bool> on{true};
    return on;
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
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        // Without locks a live writer cannot be told from a dead one.
        if (IsLocklessFileSystem(errno))
            PlatformLog(QStringLiteral("%1 Left: the file system gives no lock that tells whether the copy's "
                                       "writer lives").arg(path));
        return false;
    }
    if (::lstat(name.constData(), &now) != 0 || now.st_dev != opened.st_dev || now.st_ino != opened.st_ino)
        return false;
    return ::unlink(name.constData()) == 0;
}

struct SweptFolders {
    QMutex lock;
    QSet<QString> folders;
    QSet<QString> unlocked; // folders whose file system gave a copy no lock, told in the log
};

SweptFolders& sweptFolders()
{
    static SweptFolders swept;
    return swept;
}

bool IsOutOfRoom(int error)
{
    return error == ENOSPC || error == EDQUOT || error == EFBIG;
}

// Whether the folder's file system has bytes free for us. One that cannot
// tell (some network and FUSE file systems give no size at all) goes on:
// every write into the copy is checked all the same.
bool HasRoomFor(const QString& folder, int64_t bytes)
{
    struct statvfs fs;
    if (::statvfs(QFile::encodeName(folder).constData(), &fs) != 0 || fs.f_blocks == 0)
        return true;
    return uint64_t(fs.f_bavail) * uint64_t(fs.f_frsize) >= uint64_t(bytes);
}

// 0, TAG_WRITE_NO_SPACE when a write found no room, else TAG_WRITE_NO_COPY.
int CopyBytes(const QString& from, int to)
{
    const CFileDescriptor source(::open(QFile::encodeName(from).constData(), O_RDONLY | O_CLOEXEC));
    if (source.get() < 0)
        return TAG_WRITE_NO_COPY;
    std::vector<char> buffer(kCopyChunk);
    for (;;) {
        const ssize_t got = ::read(source.get(), buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return got == 0 ? 0 : TAG_WRITE_NO_COPY;
        if (!WriteAll(to, buffer.data(), size_t(got)))
            return IsOutOfRoom(errno) ? TAG_WRITE_NO_SPACE : TAG_WRITE_NO_COPY;
    }
}

// Makes the working copy of target beside it. The copy keeps the extension
// of path, because TagLib and GetFileType both choose by it, and starts with
// a dot so file browsers do not show it while it exists. It stays open and
// locked until it is renamed or removed: the lock tells a sweep of the
// folder that its writer lives. 0 or a TagWriteResult.
int MakeCopy(const QString& path, const QString& target, QTemporaryFile& copy)
{
    const QString folder = QFileInfo(target).absolutePath();
    copy.setFileTemplate(WorkingCopyTemplate(folder, QFileInfo(path).suffix()));
    // The lock comes before the name, so no sweep finds the copy unlocked.
    // Asking for the name also gives an unnamed (O_TMPFILE) copy its name
    // in the folder, which the rename below needs.
    if (!copy.open() || !LockWorkingCopy(copy.handle(), folder) || copy.fileName().isEmpty())
        return TAG_WRITE_NO_COPY;
    const int copied = CopyBytes(target, copy.handle());
    if (copied != 0)
        return copied;
    if (const CopyMadeHook& hook = copyMadeHook())
        hook(copy.fileName());
    return 0;
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

bool CheckTags(const QString& copyPath, const TagCheck& check)
{
    std::unique_ptr<TagLib::FileRef> ref = OpenMusicFile(copyPath);
    if (!ref)
        return false;
    TagLib::Tag* tag = nullptr;
    const int kind = GetFileType(copyPath, ref->file(), &tag, true);
    return kind > 0 && tag && check(tag, kind);
}

// The saved copy must read back as written, and hold the original's audio
// to the last byte: TagLib reports success also when a write that moved
// the audio ran out of room half-way.
int CheckCopy(const QString& target, const QString& copyPath, const TagCheck& check)
{
    if (!CheckTags(copyPath, check))
        return TAG_WRITE_NOT_VERIFIED;
    if (audioCheck().load() && CompareAudio(target, copyPath) != AUDIO_SAME)
        return TAG_WRITE_AUDIO_CHANGED;
    return 0;
}

// Whether the file at target is still the one stated as original: the
// same inode, size, modification and change time to the nanosecond.
// Another tagger saves in place (a new modification time, and a change
// time even where it keeps the old one), another Vessolin renames a new
// file in (a new inode); either has been written since the copy was made.
bool IsStill(const QString& target, const struct stat& original)
{
    struct stat now;
    return ::stat(QFile::encodeName(target).constData(), &now) == 0 && now.st_dev == original.st_dev
        && now.st_ino == original.st_ino && now.st_size == original.st_size
        && now.st_mtim.tv_sec == original.st_mtim.tv_sec && now.st_mtim.tv_nsec == original.st_mtim.tv_nsec
        && now.st_ctim.tv_sec == original.st_ctim.tv_sec && now.st_ctim.tv_nsec == original.st_ctim.tv_nsec;
}

// Gives the copy the original's owner, group and permission bits, as far as
// this user may give the owner and group (TakeOwnerAndMode), then its
// extended attributes and ACL, makes it durable, and puts it in the
// original's place, unless someone else wrote the song meanwhile. Given
// last: the copy is this process's own while it is edited, whatever mode
// the song has.
int ReplaceWithCopy(QTemporaryFile& copy, const QString& target, const struct stat& original)
{
    QString refused;
    if (!TakeOwnerAndMode(copy.handle(), original.st_uid, original.st_gid, original.st_mode & 07777, target,
                          QStringLiteral("Tag writer"), &refused)) {
        PlatformLog(refused);
        return TAG_WRITE_MODE;
    }
    if (!TakeAttributes(target, copy.handle(), QStringLiteral("Tag writer"), &refused)) {
        PlatformLog(refused);
        return TAG_WRITE_ATTRIBUTES;
    }
    // Space a file system reserved lazily may run out only now.
    if (::fsync(copy.handle()) != 0)
        return IsOutOfRoom(errno) ? TAG_WRITE_NO_SPACE : TAG_WRITE_NO_REPLACE;
    // As late as it can be asked: what another program saved up to here
    // would be lost with the rename.
    if (!IsStill(target, original))
        return TAG_WRITE_CHANGED;
    const QByteArray copyName = QFile::encodeName(copy.fileName());
    if (::rename(copyName.constData(), QFile::encodeName(target).constData()) != 0)
        return TAG_WRITE_NO_REPLACE;
    copy.setAutoRemove(false);
    // The song is replaced whatever happens now; only a crash could still
    // bring back its old name.
    if (!SyncFolderOf(target))
        PlatformLog(QStringLiteral("%1 SyncFolder after a tag write Failed").arg(target));
    return 0;
}

// One write of target (path's real file) from the bytes it holds now.
int WriteOnce(const QString& path, const QString& target, const TagEdit& edit, const TagCheck& check,
              int64_t growth)
{
    // Stated before a byte is copied: a change while the copy is made shows too.
    struct stat original;
    if (::stat(QFile::encodeName(target).constData(), &original) != 0)
        return TAG_WRITE_NO_COPY;
    const QString folder = QFileInfo(target).absolutePath();
    if (!HasRoomFor(folder, int64_t(original.st_size) + std::max<int64_t>(growth, 0) + kTagSlack))
        return TAG_WRITE_NO_SPACE;
    QTemporaryFile copy; // removed again on every failure below
    const int made = MakeCopy(path, target, copy);
    if (made != 0)
        return made;
    const int edited = EditCopy(copy.fileName(), edit);
    if (edited != 0)
        return edited;
    // The audio is compared with the song as it is now, which another
    // program may have rewritten meanwhile.
    const int checked = CheckCopy(target, copy.fileName(), check);
    if (checked != 0)
        return IsStill(target, original) ? checked : TAG_WRITE_CHANGED;
    return ReplaceWithCopy(copy, target, original);
}

} // namespace

int WriteThroughCopy(const QString& path, const TagEdit& edit, const TagCheck& check, int64_t growth)
{
    if (!IsWritableFile(path))
        return TAG_WRITE_READ_ONLY;
    // A link is followed, so the file it points to changes, not the link.
    const QString target = QFileInfo(path).canonicalFilePath();
    if (target.isEmpty())
        return TAG_WRITE_NO_COPY;
    SweepTagCopiesOnce(QFileInfo(target).absolutePath());
    // A song another program saved meanwhile is written once more from what
    // it holds then, with that program's change; a second change in that
    // time refuses the write rather than race the other program for good.
    int result = WriteOnce(path, target, edit, check, growth);
    if (result == TAG_WRITE_CHANGED) {
        PlatformLog(QStringLiteral("%1 was changed by another program while it was written: written again "
                                   "from its new bytes").arg(target));
        result = WriteOnce(path, target, edit, check, growth);
    }
    return result;
}

QString WorkingCopyTemplate(const QString& folder, const QString& suffix)
{
    // A sweep knows a copy by its suffix too.
    return folder + QLatin1Char('/') + QLatin1String(kCopyPrefix) + QStringLiteral("XXXXXX.")
        + (suffix.isEmpty() ? QStringLiteral("copy") : suffix);
}

bool LockWorkingCopy(int fd, const QString& folder)
{
    if (::flock(fd, LOCK_EX) == 0)
        return true;
    if (!IsLocklessFileSystem(errno))
        return false;
    SweptFolders& swept = sweptFolders();
    QMutexLocker locker(&swept.lock);
    if (!swept.unlocked.contains(folder)) {
        swept.unlocked.insert(folder);
        PlatformLog(QStringLiteral("%1: the file system gives no locks; working copies there go without one, "
                                   "and none that a killed write or move left there is swept").arg(folder));
    }
    return true;
}

bool IsWorkingCopyName(const QString& fileName)
{
    static const QRegularExpression pattern(QStringLiteral("^\\.vessolin-[A-Za-z0-9]{6}\\.[^./]+$"));
    return pattern.match(fileName).hasMatch();
}

int RemoveStaleTagCopies(const QString& folder)
{
    const QDir dir(folder);
    int removed = 0;
    const QStringList names = dir.entryList({QLatin1String(kCopyPrefix) + QLatin1Char('*')},
                                            QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks);
    for (const QString& name : names) {
        const QString path = dir.filePath(name);
        if (!IsWorkingCopyName(name) || !RemoveIfStale(path))
            continue;
        PlatformLog(QStringLiteral("%1 Removed: a copy left by an interrupted write").arg(path));
        ++removed;
    }
    return removed;
}

// Copies left behind come only from a process that died, so a folder is
// swept once per run, by the load that lists it or before the first write
// into it. Keyed by the folder's real path, as a write names it.
int SweepTagCopiesOnce(const QString& folder)
{
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    const QString key = canonical.isEmpty() ? folder : canonical;
    SweptFolders& swept = sweptFolders();
    {
        QMutexLocker locker(&swept.lock);
        if (swept.folders.contains(key))
            return 0;
        swept.folders.insert(key);
    }
    return RemoveStaleTagCopies(folder);
}

void StartTagWriteRun()
{
    SweptFolders& swept = sweptFolders();
    QMutexLocker locker(&swept.lock);
    swept.folders.clear();
    swept.unlocked.clear();
}

void SetCopyMadeHook(CopyMadeHook hook)
{
    copyMadeHook() = std::move(hook);
}

void SetAudioCheck(bool on)
{
    audioCheck() = on;
}

bool RemoveStaleTagCopy(const QString& path)
{
    return IsWorkingCopyName(QFileInfo(path).fileName()) && RemoveIfStale(path);
}
