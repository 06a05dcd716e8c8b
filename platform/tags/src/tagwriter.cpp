#include "tagwriter.h"

#include "platformbase.h"
#include "tagfile.h"
#include "tags.h"

#include <taglib/fileref.h>
#include <taglib/id3v2header.h>
#include <taglib/mpegfile.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

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
// a dot so file browsers do not show it while it exists.
bool MakeCopy(const QString& path, const QString& target, QTemporaryFile& copy)
{
    const QFileInfo info(target);
    copy.setFileTemplate(info.absolutePath() + QStringLiteral("/.vessolin-XXXXXX.")
                         + QFileInfo(path).suffix());
    // Asking for the name also gives an unnamed (O_TMPFILE) copy its name
    // in the folder, which the rename below needs.
    if (!copy.open() || copy.fileName().isEmpty())
        return false;
    const bool copied = CopyBytes(target, copy);
    copy.close();
    return copied;
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
