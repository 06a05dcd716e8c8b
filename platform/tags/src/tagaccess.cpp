#include "tags.h"

#include "artworkscan.h"
#include "platformbase.h"
#include "tagfile.h"
#include "tagwriter.h"

#include <taglib/fileref.h>
#include <taglib/tag.h>

#include <QFileInfo>

#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kInfoFields = TF_TITLE | TF_ARTIST | TF_ALBUM | TF_GENRE | TF_YEAR;

void LogFailure(const char* call, const QString& path, int code, const char* why)
{
    PlatformLog(QStringLiteral("%1 %2 Failed: %3 (%4)")
                 .arg(path, QLatin1String(call))
                 .arg(code)
                 .arg(QLatin1String(why)));
}

// The tag of an opened file, as readers or as writers see it.
struct OpenedTag {
    std::unique_ptr<TagLib::FileRef> ref;
    TagLib::Tag* tag = nullptr;
    int kind = 0;
    bool hasTag() const { return kind > 0 && tag; }
};

OpenedTag OpenTag(const QString& path, bool forWrite)
{
    OpenedTag opened;
    opened.ref = OpenMusicFile(path);
    if (opened.ref)
        opened.kind = GetFileType(path, opened.ref->file(), &opened.tag, forWrite);
    return opened;
}

// Whether path names no file; logged for call with code when so.
bool IsMissing(const char* call, const QString& path, int code)
{
    if (CheckMusicFile(path) != MUSIC_FILE_MISSING)
        return false;
    LogFailure(call, path, code, "no such file");
    return true;
}

// The codes a call gives for a file TagLib cannot read as audio and for
// one without a tag.
struct OpenFailures {
    int unreadable;
    int noTag;
};

// Opens path's tag for call: 0, or the failure of failures, logged. On
// noTag the file itself is open.
int OpenTagFor(const char* call, const QString& path, bool forWrite, OpenFailures failures, OpenedTag& opened)
{
    opened = OpenTag(path, forWrite);
    if (!opened.ref) {
        LogFailure(call, path, failures.unreadable, "not a readable audio file");
        return failures.unreadable;
    }
    if (!opened.hasTag()) {
        LogFailure(call, path, failures.noTag, forWrite ? "no tag to write" : "no tag");
        return failures.noTag;
    }
    return 0;
}

// The name shown for a file whose title is blank: its file name without
// folders and extension. Backslashes count as folder separators too.
QString NameFromLocation(const QString& location)
{
    QString name = location;
    name.replace(QLatin1Char('\\'), QLatin1Char('/'));
    name = name.mid(name.lastIndexOf(QLatin1Char('/')) + 1);
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? name : name.left(dot);
}

void ReadAudioProperties(const TagLib::FileRef& ref, tagMusicTags* info)
{
    const TagLib::AudioProperties* audio = ref.audioProperties();
    info->strTotalTime = QString::number(qint64(audio->lengthInSeconds()) * 1000);
    info->strBitRate = QString::number(audio->bitrate());
}

void ReadTagFields(const TagLib::Tag* tag, tagMusicTags* info)
{
    info->strName = FromTagText(tag->title());
    info->strArtist = FromTagText(tag->artist());
    info->strAlbum = FromTagText(tag->album());
    info->strGenre = FromTagText(tag->genre());
    if (tag->year() != 0)
        info->strYear = QString::number(tag->year());
    if (info->strName.trimmed().isEmpty())
        info->strName = NameFromLocation(info->strLocation);
}

// A year as C's strtoul reads it: leading decimal digits, 0 when none.
unsigned int YearNumber(const QString& text)
{
    const QString trimmed = text.trimmed();
    int digits = 0;
    while (digits < trimmed.size() && trimmed.at(digits) >= QLatin1Char('0')
           && trimmed.at(digits) <= QLatin1Char('9'))
        ++digits;
    bool ok = false;
    const unsigned int year = trimmed.left(digits).toUInt(&ok);
    return ok ? year : 0;
}

// The fields of flags this write changes: title, artist and album always;
// genre and year only fill a blank.
int PlanFields(const TagLib::Tag* tag, const tagMusicTags& info, int flags)
{
    int plan = flags & (TF_TITLE | TF_ARTIST | TF_ALBUM);
    if ((flags & TF_GENRE) && tag->genre().isEmpty() && !info.strGenre.isEmpty())
        plan |= TF_GENRE;
    if ((flags & TF_YEAR) && tag->year() == 0 && YearNumber(info.strYear) > 0)
        plan |= TF_YEAR;
    return plan;
}

void ApplyFields(TagLib::Tag* tag, const tagMusicTags& info, int plan)
{
    if (plan & TF_TITLE)
        tag->setTitle(ToTagText(info.strName));
    if (plan & TF_ARTIST)
        tag->setArtist(ToTagText(info.strArtist));
    if (plan & TF_ALBUM)
        tag->setAlbum(ToTagText(info.strAlbum));
    if (plan & TF_GENRE)
        tag->setGenre(ToTagText(info.strGenre));
    if (plan & TF_YEAR)
        tag->setYear(YearNumber(info.strYear));
}

// The planned fields as the tag itself reads them, so that a value the
// tag kind interprets (an ID3v2 genre given as a number) still compares.
struct FieldValues {
    TagLib::String title, artist, album, genre;
    unsigned int year = 0;
};

FieldValues ReadFieldValues(const TagLib::Tag* tag)
{
    return FieldValues{tag->title(), tag->artist(), tag->album(), tag->genre(), tag->year()};
}

bool SameFields(const FieldValues& a, const FieldValues& b, int plan)
{
    return (!(plan & TF_TITLE) || a.title == b.title) && (!(plan & TF_ARTIST) || a.artist == b.artist)
        && (!(plan & TF_ALBUM) || a.album == b.album) && (!(plan & TF_GENRE) || a.genre == b.genre)
        && (!(plan & TF_YEAR) || a.year == b.year);
}

// What the planned fields may add to a tag at most: their text in UTF-16,
// the widest encoding a tag kind stores.
int64_t TextGrowth(const tagMusicTags& info, int plan)
{
    const QString* const texts[] = {&info.strName, &info.strArtist, &info.strAlbum, &info.strGenre, &info.strYear};
    const int bits[] = {TF_TITLE, TF_ARTIST, TF_ALBUM, TF_GENRE, TF_YEAR};
    int64_t growth = 0;
    for (int i = 0; i < 5; ++i) {
        if (plan & bits[i])
            growth += 2 * int64_t(texts[i]->size());
    }
    return growth;
}

int WriteFields(const tagMusicTags& info, int plan)
{
    FieldValues expected;
    const TagEdit edit = [&](TagLib::File* file, TagLib::Tag* tag, int) {
        KeepShownFields(file);
        ApplyFields(tag, info, plan);
        expected = ReadFieldValues(tag);
        return 0;
    };
    const TagCheck check = [&](TagLib::Tag* tag, int) {
        return SameFields(ReadFieldValues(tag), expected, plan);
    };
    return WriteThroughCopy(info.strLocation, edit, check, TextGrowth(info, plan));
}

int WritePicture(const QString& path, const TagLib::ByteVector& bytes, CPICTURE_TYPE type)
{
    const TagEdit edit = [&](TagLib::File* file, TagLib::Tag* tag, int kind) {
        KeepShownFields(file);
        return AddPicture(tag, kind, bytes, type);
    };
    const TagCheck check = [&](TagLib::Tag* tag, int kind) { return FirstPicture(tag, kind) == bytes; };
    return WriteThroughCopy(path, edit, check, int64_t(bytes.size()));
}

// The codes by which a picture type is refused before anything is copied.
int PictureTypeCheck(int kind, CPICTURE_TYPE type)
{
    if (kind == TAG_ID3V2 && type != CPICTURE_JPEG && type != CPICTURE_PNG)
        return -7;
    if (kind == TAG_MP4 && (type < CPICTURE_JPEG || type > CPICTURE_GIF))
        return -9;
    return 0;
}

const char* WriteFailureText(int code)
{
    switch (code) {
    case -3: return "the working copy is not readable";
    case -4: return "the working copy has no tag";
    case -6: return "no picture frame could be made";
    case TAG_WRITE_READ_ONLY: return "the file is read-only";
    case TAG_WRITE_NO_COPY: return "no working copy could be made in the folder";
    case TAG_WRITE_SAVE_FAILED: return "the tags could not be saved";
    case TAG_WRITE_NOT_VERIFIED: return "the saved tags do not read back as written";
    case TAG_WRITE_NO_REPLACE: return "the working copy could not replace the file";
    case TAG_WRITE_NO_SPACE: return "no room in the folder for the working copy";
    case TAG_WRITE_AUDIO_CHANGED: return "the audio of the saved copy differs from the file's";
    case TAG_WRITE_MODE: return "the working copy cannot keep the file's permission bits";
    case TAG_WRITE_ATTRIBUTES: return "the working copy cannot keep the file's extended attributes or ACL";
    case TAG_WRITE_CHANGED: return "another program changed the file while it was written, twice";
    default: return "write failed";
    }
}

} // namespace

int GetMusicInfo_tag(const QString& path, tagMusicTags* info)
{
    if (!info || path.isEmpty())
        return -1;
    if (IsMissing("GetMusicInfo_tag", path, -2))
        return -2;
    info->strSize = QString::number(QFileInfo(path).size());
    info->strLocation = path;
    OpenedTag opened;
    const int failure = OpenTagFor("GetMusicInfo_tag", path, false, {-3, -4}, opened);
    // An audio file without a tag still has its duration and bit rate.
    if (opened.ref)
        ReadAudioProperties(*opened.ref, info);
    if (failure != 0)
        return failure;
    ReadTagFields(opened.tag, info);
    return HasPicture(opened.tag, opened.kind) ? 1 : 0;
}

int HasMusicArtwork_tag(const QString& path)
{
    if (IsMissing("HasMusicArtwork_tag", path, -1))
        return -1;
    // TagLib reads every picture whole only to tell that there is one; the
    // scan of the headers answers the same for all but unusual files.
    switch (ScanArtwork(path)) {
    case SCAN_PICTURE:
        return 1;
    case SCAN_NO_PICTURE:
        return 0;
    case SCAN_NO_TAG:
        LogFailure("HasMusicArtwork_tag", path, -3, "no tag");
        return -3;
    case SCAN_UNSURE:
        break;
    }
    return HasPictureByTagLib(path);
}

int HasPictureByTagLib(const QString& path)
{
    OpenedTag opened;
    const int failure = OpenTagFor("HasMusicArtwork_tag", path, false, {-2, -3}, opened);
    if (failure != 0)
        return failure;
    return HasPicture(opened.tag, opened.kind) ? 1 : 0;
}

int GetMusicArtwork_tag(const QString& path, void** data, int* length)
{
    if (IsMissing("GetMusicArtwork_tag", path, -1))
        return -1;
    if (!data || !length)
        return -2;
    *data = nullptr;
    *length = 0;
    OpenedTag opened;
    const int failure = OpenTagFor("GetMusicArtwork_tag", path, false, {-3, -4}, opened);
    if (failure != 0)
        return failure;
    const TagLib::ByteVector bytes = FirstPicture(opened.tag, opened.kind);
    if (bytes.isEmpty())
        return 1;
    void* copy = bytes.size() <= unsigned(INT_MAX) ? std::malloc(bytes.size()) : nullptr;
    if (!copy) {
        LogFailure("GetMusicArtwork_tag", path, -6, "no memory for the picture");
        return -6;
    }
    std::memcpy(copy, bytes.data(), bytes.size());
    *data = copy;
    *length = int(bytes.size());
    return 0;
}

int SetMusicArtwork_tag(const QString& path, const void* data, int length, CPICTURE_TYPE type)
{
    if (!data || length < 1) {
        LogFailure("SetMusicArtwork_tag", path, -1, "no picture bytes");
        return -1;
    }
    if (IsMissing("SetMusicArtwork_tag", path, -2))
        return -2;
    int kind = 0;
    {
        OpenedTag opened;
        const int failure = OpenTagFor("SetMusicArtwork_tag", path, true, {-3, -4}, opened);
        if (failure != 0)
            return failure;
        if (HasPicture(opened.tag, opened.kind))
            return 0;
        kind = opened.kind;
    }
    const int refused = PictureTypeCheck(kind, type);
    if (refused != 0) {
        LogFailure("SetMusicArtwork_tag", path, refused, "picture type not supported by the tag");
        return refused;
    }
    const TagLib::ByteVector bytes(static_cast<const char*>(data), unsigned(length));
    const int result = WritePicture(path, bytes, type);
    if (result != 0)
        LogFailure("SetMusicArtwork_tag", path, result, WriteFailureText(result));
    return result;
}

int SetMusicInfo_tag(const tagMusicTags* info, int flags, int* written)
{
    if (written)
        *written = 0;
    if (!info)
        return -1;
    if (!(flags & kInfoFields))
        return 0;
    const QString& path = info->strLocation;
    if (IsMissing("SetMusicInfo_tag", path, -2))
        return -2;
    int plan = 0;
    {
        OpenedTag opened;
        const int failure = OpenTagFor("SetMusicInfo_tag", path, true, {-3, -4}, opened);
        if (failure != 0)
            return failure;
        // Plan against what readers show, which for an MP3 with only an
        // ID3v1 or APE tag is that tag's text.
        KeepShownFields(opened.ref->file());
        plan = PlanFields(opened.tag, *info, flags);
    }
    if (plan == 0)
        return 0;
    const int result = WriteFields(*info, plan);
    if (result != 0) {
        LogFailure("SetMusicInfo_tag", path, result, WriteFailureText(result));
        return result;
    }
    if (written)
        *written = plan;
    return 0;
}
