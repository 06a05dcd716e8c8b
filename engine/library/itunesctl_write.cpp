// CiTunesCtl: writing fields and artwork back to the library or the file's
// tags, the database writes the manager asks for, and the artwork cache.
#include "library/itunesctl.h"

#include "core/mmlog.h"
#include "core/trackfields.h"
#include "db/trackdb.h"
#include "libraryagent.h"
#include "tags.h"

#include <QByteArray>
#include <QFile>

#include <cstdlib>
#include <cstring>

namespace {

constexpr int kNullInfo = -15;
constexpr int kNullArtworkArgs = -25;

// Picture bytes in a malloc'd buffer, freed with the object.
struct PictureBytes {
    void* data = nullptr;
    int length = 0;
    PictureBytes() = default;
    ~PictureBytes() { std::free(data); }
    PictureBytes(const PictureBytes&) = delete;
    PictureBytes& operator=(const PictureBytes&) = delete;
};

bool readFileBytes(const QString& path, PictureBytes& bytes)
{
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray content = file.readAll();
    if (content.isEmpty())
        return false;
    bytes.data = std::malloc(size_t(content.size()));
    if (!bytes.data)
        return false;
    std::memcpy(bytes.data, content.constData(), size_t(content.size()));
    bytes.length = int(content.size());
    return true;
}

// The cached picture of the row. A picture chosen but never cached (a
// candidate taken over from another track of the album) is still the one
// the user saw: its file stands in for the cache.
void readArtwork(const tagMMusicInfo& info, int mode, const QString& artworkPath, PictureBytes& bytes)
{
    const QByteArray pid = info.strPersistentID.toUtf8();
    if (SelectArtworkDataFromDB(pid.constData(), mode, &bytes.data, &bytes.length) == 0
        && bytes.data && bytes.length > 0)
        return;
    std::free(bytes.data);
    bytes.data = nullptr;
    bytes.length = 0;
    readFileBytes(artworkPath, bytes);
}

CPICTURE_TYPE pictureType(const PictureBytes& bytes)
{
    static const char kPng[] = "\x89PNG";
    const bool png = bytes.length >= 4 && std::memcmp(bytes.data, kPng, 4) == 0;
    return png ? CPICTURE_PNG : CPICTURE_JPEG;
}

// The agent's codes overlap those by which the application tells why a
// song was refused (cadenzo.h); one of those values from the agent means
// something else and passes as a failed write. A library another process
// has open, or whose lock file cannot be had, is told as such: the user can
// do something about it.
int agentFailure(int result)
{
    if (const int refusal = LibraryRefusalOf(result))
        return refusal;
    switch (result) {
    case MM_ERR_SONG_GONE:
    case MM_ERR_SONG_READ_ONLY:
    case MM_ERR_SONG_NO_COPY:
    case MM_ERR_SONG_MODE:
    case MM_ERR_SONG_ATTRIBUTES:
    case MM_ERR_SONG_CHANGED:
        return MM_ERR_WRITE;
    default:
        return result;
    }
}

int writeToLibrary(const tagMMusicInfo& info, int flags, const PictureBytes& artwork, int& written)
{
    const QByteArray pid = info.strPersistentID.toUtf8();
    bool asked = false;
    int failure = 0;
    // The editable fields are the ones the library takes as attributes.
    for (const tagTrackField& field : kTrackFields) {
        if (!isEditable(field) || !(flags & field.bit))
            continue;
        asked = true;
        const QByteArray value = (info.*field.member).toUtf8();
        const int result = SetAttributeValue_kwr(pid.constData(), field.agentKey, value.constData());
        if (result == 0) {
            written |= field.bit;
            continue;
        }
        WriteLog(QStringLiteral("%1 SetAttributeValue_kwr %2 Failed:%3")
                     .arg(info.strLocation, QLatin1String(field.agentKey), QString::number(result)));
        failure = agentFailure(result);
    }
    if (flags & MF_ARTWORK) {
        asked = true;
        const int result = SetArtworkData_kwr(pid.constData(), artwork.data, artwork.length);
        if (result == 0) {
            written |= MF_ARTWORK;
        } else {
            WriteLog(QStringLiteral("%1 SetAttributeValue_kwr Artwork Failed:%2").arg(info.strLocation, QString::number(result)));
            failure = agentFailure(result);
        }
    }
    return asked ? failure : CTL_ERR_FAIL;
}

int writeToTags(const tagMMusicInfo& info, int flags, const PictureBytes& artwork, int& written)
{
    const tagMusicTags tags = TagFieldsOf(info);
    int tagWritten = 0;
    int failure = SetMusicInfo_tag(&tags, ToTagBits(flags), &tagWritten);
    if (failure != 0)
        WriteLog(QStringLiteral("%1 SetMusicInfo_tag Failed:%2").arg(info.strLocation, QString::number(failure)));
    written |= FromTagBits(tagWritten);
    if (flags & MF_ARTWORK) {
        const int result = SetMusicArtwork_tag(info.strLocation, artwork.data, artwork.length,
                                               pictureType(artwork));
        if (result == 0)
            written |= MF_ARTWORK;
        else
            WriteLog(QStringLiteral("%1 SetMusicArtwork_tag Failed:%2").arg(info.strLocation, QString::number(result)));
        failure = result != 0 ? result : failure;
    }
    return failure;
}

} // namespace

int CiTunesCtl::SetMusicInfo(const tagMMusicInfo* info, const QString& artworkPath, int mode,
                             int flags, int* written)
{
    int done = 0;
    if (written)
        *written = 0;
    if (!info)
        return kNullInfo;
    if (mode != RUN_ITUNES && mode != RUN_FILES)
        return CTL_ERR_FAIL;
    PictureBytes artwork;
    if (flags & MF_ARTWORK)
        readArtwork(*info, mode, artworkPath, artwork);
    const int result = mode == RUN_ITUNES ? writeToLibrary(*info, flags, artwork, done)
                                          : writeToTags(*info, flags, artwork, done);
    if (written)
        *written = done;
    return result;
}

int CiTunesCtl::SaveMusicInfo(const char* persistentId, int mode, const char* column,
                              const char* text, long long value)
{
    const int result = UpdateValueToDB(persistentId, mode, column, text, value);
    if (result != 0)
        WriteLog(QStringLiteral("%1 UpdateValueToDB %2 Failed: %3")
                     .arg(QString::fromUtf8(persistentId), QString::fromUtf8(column),
                          QString::number(result)));
    return result;
}

int CiTunesCtl::SaveMusicInfo(const char* persistentId, int mode, const char* const* columns,
                              const char* const* values, int count)
{
    const int result = UpdateMultiValuesToDB(persistentId, mode, columns, values, count);
    if (result != 0)
        WriteLog(QStringLiteral("%1 UpdateMultiValuesToDB Failed: %2").arg(QString::fromUtf8(persistentId), QString::number(result)));
    return result;
}

int CiTunesCtl::SaveMusicInfo(const tagMMusicInfo* info, int mode, int mask)
{
    Q_UNUSED(mask);
    if (!info)
        return kNullInfo;
    QByteArray texts[TRACK_FIELD_COUNT];
    const char* columns[TRACK_FIELD_COUNT] = {};
    const char* values[TRACK_FIELD_COUNT] = {};
    int count = 0;
    for (const tagTrackField& field : kTrackFields) {
        const QString& value = info->*field.member;
        if (!isEditable(field) || value.isEmpty())
            continue;
        texts[count] = value.toUtf8();
        columns[count] = field.column;
        values[count] = texts[count].constData();
        ++count;
    }
    if (count == 0)
        return CTL_OK;
    const QByteArray pid = info->strPersistentID.toUtf8();
    const int result = UpdateMultiValuesToDB(pid.constData(), mode, columns, values, count);
    if (result != 0)
        WriteLog(QStringLiteral("%1 UpdateMultiValuesToDB Failed:%2").arg(info->strLocation, QString::number(result)));
    return result;
}

int CiTunesCtl::DeleteMusicFromDB(const char* persistentId, int mode)
{
    const int result = DeleteDataFromDB(persistentId, mode);
    if (result != 0)
        WriteLog(QStringLiteral("%1 DeleteMusicFromDB Failed: %2").arg(QString::fromUtf8(persistentId), QString::number(result)));
    return result;
}

int CiTunesCtl::ChangeAllMusicState(int bits, int on)
{
    const int result = UpdateAllMusicStateToDB(bits, on);
    if (result != 0)
        WriteLog(QStringLiteral("iType = %1 iFlag = %2 UpdateAllMusicStateToDB Failed:%3").arg(bits).arg(on).arg(result));
    return result;
}

int CiTunesCtl::SaveArtworkPic(const tagMMusicInfo* info, int mode, const QString& imagePath)
{
    if (m_bExit)
        return CTL_OK;
    PictureBytes bytes;
    if (!info || !readFileBytes(imagePath, bytes))
        return CTL_ERR_FAIL;
    const QByteArray pid = info->strPersistentID.toUtf8(), path = imagePath.toUtf8();
    const int result = UpdateArtworkDataToDB(pid.constData(), mode, path.constData(), bytes.data, bytes.length);
    if (result != 0)
        WriteLog(QStringLiteral("%1 UpdateArtworkDataToDB Failed:%2").arg(info->strPersistentID, QString::number(result)));
    return result;
}

int CiTunesCtl::GetArtworkPic(const tagMMusicInfo* info, int mode, const QString& exportPath,
                              void** data, int& length)
{
    if (!info || !data)
        return kNullArtworkArgs;
    *data = nullptr;
    length = 0;
    const QByteArray pid = info->strPersistentID.toUtf8();
    if (SelectArtworkDataFromDB(pid.constData(), mode, data, &length) == 0 && *data)
        return CTL_OK;
    ReleaseArtworkPic(data);
    length = 0;
    int result = CTL_ERR_FAIL;
    if (mode == RUN_ITUNES)
        result = GetArtworkData_kwr(pid.constData(), data, &length);
    else if (mode == RUN_FILES)
        result = GetMusicArtwork_tag(info->strLocation, data, &length);
    else
        return CTL_ERR_FAIL;
    if (result != 0) {
        WriteLog(QStringLiteral("HasArtwork But GetArtworkPicture Failed:%1 %2").arg(QString::number(result), info->strLocation));
        ReleaseArtworkPic(data);
        length = 0;
        return result;
    }
    const QByteArray path = exportPath.toUtf8();
    const int cached = UpdateArtworkDataToDB(pid.constData(), mode, path.constData(), *data, length);
    // The cache only spares the next read the file; the bytes are the
    // caller's all the same.
    if (cached != 0)
        WriteLog(QStringLiteral("HasArtwork But UpdateArtworkDataToDB Failed:%1 %2 %3")
                     .arg(QString::number(cached), info->strLocation, exportPath));
    return CTL_OK;
}
