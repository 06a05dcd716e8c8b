// CiTunesCtl: the load loop. Every track of the source becomes a database
// row (except in a reload, whose rows exist) and a track object handed to
// the manager, and the load callback hears of each.
#include "library/itunesctl.h"

#include "core/mmlog.h"
#include "core/musicobj.h"
#include "core/trackfields.h"
#include "db/dbsavepoint.h"
#include "db/trackdb.h"
#include "library/artworkprefetch.h"
#include "libraryagent.h"
#include "tags.h"

#include <QByteArray>
#include <QFileInfo>
#include <QSet>

#include <sqlite3.h>

#include <algorithm>
#include <memory>
#include <optional>

namespace {

// Files have no library IDs: their rows are numbered from these.
constexpr int kFilePersistentBase = 65535;
constexpr int kFileTrackIdBase = 10000;
constexpr int kLastTrackProgress = PROGRESS_FULL - 1;

// The one attribute of the agent that is no field of the track.
const char kTrackIdKey[] = "TrackID";

int trackProgress(int index, int count)
{
    const qint64 progress = (qint64(index) + 1) * PROGRESS_FULL / count;
    return int(std::min<qint64>(progress, kLastTrackProgress));
}

QString text(const char* utf8)
{
    return utf8 ? QString::fromUtf8(utf8) : QString();
}

// One row from the field texts, each null or UTF-8, in field order.
int insertRow(const char* const (&values)[TRACK_FIELD_COUNT], int trackId, int type)
{
    return InsertDataToDB(values[FIELD_NAME], values[FIELD_ARTIST], values[FIELD_ALBUM],
                          values[FIELD_TIME], values[FIELD_SIZE], values[FIELD_LOCATION],
                          values[FIELD_PERSISTENT_ID], values[FIELD_YEAR], values[FIELD_GENRE],
                          values[FIELD_BITRATE], trackId, type);
}

int insertRow(const tagMMusicInfo& info, int trackId, int type)
{
    QByteArray texts[TRACK_FIELD_COUNT];
    const char* values[TRACK_FIELD_COUNT] = {};
    for (int f = 0; f < TRACK_FIELD_COUNT; ++f) {
        texts[f] = (info.*kTrackFields[f].member).toUtf8();
        values[f] = texts[f].constData();
    }
    return insertRow(values, trackId, type);
}

// A stored artwork path without any separator was saved relative to the
// artwork folder.
QString resolveArtworkPath(const QString& stored, const QString& artworkFolder)
{
    if (stored.isEmpty() || stored.contains(QLatin1Char('/')) || stored.contains(QLatin1Char('\\')))
        return stored;
    return artworkFolder + QLatin1Char('/') + stored;
}

// Whether SQLite refused the row for the values in it, which the next song
// does not share: a text over its length limit (SQLITE_TOOBIG, from the
// bind), a constraint or a trigger's RAISE (SQLITE_CONSTRAINT with every
// extended kind, a STRICT table's datatype among them), a value an INTEGER
// PRIMARY KEY cannot hold (SQLITE_MISMATCH). Every other code is about the
// database, not the song: read-only (SQLITE_READONLY, also for a folder
// that takes no journal), no journal or file (SQLITE_CANTOPEN), SQLITE_CORRUPT,
// SQLITE_NOTADB, SQLITE_NOMEM, SQLITE_BUSY or SQLITE_LOCKED after the wait,
// a failing or full disk, SQLITE_RANGE and SQLITE_MISUSE (our statement,
// the same for every song); and so are our own negative codes. Extended
// codes are told by their primary code in the low byte. A commit hook's
// SQLITE_CONSTRAINT_COMMITHOOK cannot come from an insert of the load: no
// insert commits inside the load's savepoint.
bool refusedForItsData(int inserted)
{
    if (inserted <= 0)
        return false;
    switch (inserted & 0xff) {
    case SQLITE_TOOBIG:
    case SQLITE_CONSTRAINT:
    case SQLITE_MISMATCH:
        return true;
    default:
        return false;
    }
}

// Why the load cannot go on after a row was refused: anything but the
// song's own data, or SQLite having given up the whole block (a constraint
// may roll it back by its conflict rule). The rows before it are then in
// doubt too. DB_OK when only the song's own data was refused.
int storageFailure(int inserted, const DBSavepoint* rows)
{
    if (!refusedForItsData(inserted))
        return inserted;
    return rows && rows->rolledBack() ? int(DB_ERR_ROLLED_BACK) : int(DB_OK);
}

} // namespace

struct CiTunesCtl::LoadedTrack
{
    tagMMusicInfo working;
    tagMMusicInfo original;
    int absence = 0;
    int state = 0;
    long long repeatId = 0;
    int mode = 0;
    bool hasArtwork = false;
    QString artworkPath;
    int inserted = 0; // the row's insert, when it failed
};

int CiTunesCtl::LoadMusicList(const QString& artworkFolder, MMCallBack callback, void* user)
{
    if (m_runMode < RUN_ITUNES || m_runMode > RUN_DUP_ITUNES || !m_trackSink)
        return CTL_ERR_FAIL;
    const QStringList files = takeFileList();
    const int count = sourceCount(files);
    bool ended = false;
    int stored = DB_OK;
    int committed = DB_OK;
    {
        // Every insert of one load is one block, committed however the loop
        // ends (stop and exit included). It nests in a transaction the
        // application may hold. A reload inserts nothing.
        std::optional<DBSavepoint> rows;
        if (m_runMode != RUN_PROJECT)
            rows.emplace("LoadMusicList");
        WriteLog(QStringLiteral("Music Num = %1").arg(count));
        m_gate.Reset(CTL_RUN);
        // Ends, its threads waited for, before the agent is released.
        const std::unique_ptr<CArtworkPrefetch> artwork = prefetchArtwork(count);
        ended = loadTracks(count, files, artworkFolder, callback, user, artwork.get(), rows ? &*rows : nullptr,
                           &stored)
            && !m_bExit;
        // A load whose rows could not all be stored keeps none of them.
        if (stored != DB_OK)
            committed = stored;
        else if (rows && rows->status() == DB_OK)
            committed = rows->commit();
    }
    if (committed != DB_OK)
        WriteLog(QStringLiteral("LoadMusicList Failed: the loaded tracks could not be stored:%1 %2")
                     .arg(committed).arg(QString::fromUtf8(DBResultText(committed))));
    if (ended && callback)
        sendLoadEnd(committed == DB_OK ? 0 : int(MM_ERR_DATABASE), callback, user);
    // After the end: the analysis need not wait for the folders' listings.
    sweepTagCopies(files);
    releaseSource();
    m_gate.Reset(CTL_IDLE);
    return committed == DB_OK ? int(CTL_OK) : int(MM_ERR_DATABASE);
}

// The end goes out only once the rows are committed: the application
// analyses, saves and may be killed from here on, and a crash must find the
// loaded library in the database. Rows that were not stored end the load
// with a failure (state) instead.
void CiTunesCtl::sendLoadEnd(int state, MMCallBack callback, void* user)
{
    tagAnaluyzeInfo end = {};
    end.iOperation = CMD_LOAD;
    end.iState = state;
    end.iProgress = PROGRESS_FULL;
    callback(&end, user);
}

int CiTunesCtl::sourceCount(const QStringList& files) const
{
    int count = 0;
    if (m_runMode == RUN_FILES || m_runMode == RUN_DUP_FILES)
        count = files.size();
    else if (m_runMode == RUN_PROJECT)
        count = SelectTrackCountFromDB();
    else
        count = GetTrackCount_kwr();
    return std::max(count, 0);
}

void CiTunesCtl::releaseSource()
{
    if (m_runMode == RUN_PROJECT) {
        ReleaseSelectMultiValues();
    } else if (m_bAgentOpen) {
        // Later writes to the library do not need the agent created again;
        // until the end of this object the library stays this process's.
        EndServing_kwr();
        m_bAgentOpen = false;
    }
}

// A library load asks the library about every track's artwork.
std::unique_ptr<CArtworkPrefetch> CiTunesCtl::prefetchArtwork(int count)
{
    if (m_runMode != RUN_ITUNES || count <= 0)
        return nullptr;
    return std::make_unique<CArtworkPrefetch>(count, [](int first, int tracks, int* answers) {
        HasArtworkOfServed_kwr(first, tracks, answers);
    });
}

// False when the loop was left early (stop, exit). *stored: DB_OK, or why
// a row could not be stored, which ends the loop as well.
bool CiTunesCtl::loadTracks(int count, const QStringList& files, const QString& artworkFolder,
                            MMCallBack callback, void* user, CArtworkPrefetch* artwork, const DBSavepoint* rows,
                            int* stored)
{
    for (int i = 0; i < count; ++i) {
        if (m_bExit || !m_gate.WaitForTurn(m_bExit))
            return false;
        LoadedTrack track;
        if (!readTrack(i, files, artworkFolder, track)) {
            *stored = track.inserted != 0 ? storageFailure(track.inserted, rows) : int(DB_OK);
            if (*stored != DB_OK)
                return true;
            continue;
        }
        CMusicObj* music = makeTrackObject(track, i, artwork);
        if (m_bExit) {
            delete music;
            return false;
        }
        m_trackSink(music);
        const QByteArray location = track.working.strLocation.toUtf8();
        tagAnaluyzeInfo record = {};
        record.iOperation = CMD_LOAD;
        record.iState = 1;
        record.pMusic = music;
        record.iProgress = trackProgress(i, count);
        record.pLocation = location.constData();
        if (m_bExit)
            return false;
        if (callback)
            callback(&record, user);
    }
    return true;
}

// Copies that killed tag writes left beside the loaded files go with the
// load: a folder scan does not list hidden files, so no load is handed them.
// A folder swept here is not listed again by the first write into it.
void CiTunesCtl::sweepTagCopies(const QStringList& files) const
{
    QSet<QString> folders;
    for (const QString& file : files)
        folders.insert(QFileInfo(file).absolutePath());
    for (const QString& folder : folders) {
        if (m_bExit)
            return;
        SweepTagCopiesOnce(folder);
    }
}

bool CiTunesCtl::readTrack(int index, const QStringList& files, const QString& artworkFolder,
                           LoadedTrack& track)
{
    switch (m_runMode) {
    case RUN_FILES:
    case RUN_DUP_FILES:
        return readFileTrack(index, files.at(index), track);
    case RUN_PROJECT:
        return readSavedTrack(index, artworkFolder, track);
    default:
        return readLibraryTrack(index, track);
    }
}

bool CiTunesCtl::readFileTrack(int index, const QString& path, LoadedTrack& track)
{
    // A copy a killed tag write or move left behind is no song of the
    // user's; it would come back as a duplicate of the song it was made from.
    if (RemoveStaleTagCopy(path)) {
        WriteLog(QStringLiteral("%1 Removed: a copy left by an interrupted write").arg(path));
        return false;
    }
    tagMusicTags tags;
    const int result = GetMusicInfo_tag(path, &tags);
    TakeTagFields(tags, track.working);
    if (result < 0) {
        WriteLog(QStringLiteral("%1 GetMusicInfo Failed: %2").arg(path).arg(result));
        return false;
    }
    track.hasArtwork = result == 1;
    track.working.strPersistentID = QString::number(index + kFilePersistentBase);
    track.inserted = insertRow(track.working, index + kFileTrackIdBase, m_runMode);
    if (track.inserted != 0) {
        WriteLog(QStringLiteral("%1 InsertDataToDB Failed:%2").arg(track.working.strLocation).arg(track.inserted));
        return false;
    }
    CopyEditableFields(track.working, track.original);
    track.mode = m_runMode;
    return true;
}

bool CiTunesCtl::readLibraryTrack(int index, LoadedTrack& track)
{
    // All texts stay the agent's until the track's row is written.
    char* trackIdText = nullptr;
    FindAttributeValue_kwr(&trackIdText, kTrackIdKey, index);
    char* values[TRACK_FIELD_COUNT] = {};
    for (int f = 0; f < TRACK_FIELD_COUNT; ++f)
        FindAttributeValue_kwr(&values[f], kTrackFields[f].agentKey, index);
    const int trackId = trackIdText ? QByteArray(trackIdText).toInt() : 0;
    track.inserted = insertRow(values, trackId, m_runMode);
    if (track.inserted != 0) {
        WriteLog(QStringLiteral("%1 InsertDataToDB Failed:%2").arg(text(values[FIELD_LOCATION])).arg(track.inserted));
        return false;
    }
    for (int f = 0; f < TRACK_FIELD_COUNT; ++f)
        track.working.*kTrackFields[f].member = text(values[f]);
    CopyEditableFields(track.working, track.original);
    track.mode = m_runMode;
    return true;
}

bool CiTunesCtl::readSavedTrack(int index, const QString& artworkFolder, LoadedTrack& track)
{
    const char* const* row = SelectMultiValuesFromDB(index);
    if (!row) {
        WriteLog(QStringLiteral("SelectMultiValuesFromDB Failed: i=%1").arg(index));
        return false;
    }
    auto value = [row](const char* column) { return text(FindValueFromData(row, column)); };
    for (const tagTrackField& field : kTrackFields) {
        track.working.*field.member = value(field.column);
        // The library copy is the track as first loaded.
        if (isEditable(field))
            track.original.*field.member = value(field.oldColumn);
    }
    track.absence = value("Absence").toInt();
    track.state = value("State").toInt();
    track.repeatId = value("RepeatID").toLongLong();
    track.mode = value("Type").toInt();
    track.artworkPath = resolveArtworkPath(value("ArtPath"), artworkFolder);
    return true;
}

CMusicObj* CiTunesCtl::makeTrackObject(const LoadedTrack& track, int index, CArtworkPrefetch* artwork)
{
    CMusicObj* music = CreateMuisicObj(&track.working, track.original);
    music->SetAbsenceType(track.absence);
    bool hasArtwork = track.hasArtwork;
    // Files loaded now told their artwork with their tags; a reloaded file
    // row is asked again, or the analysis would count its artwork missing.
    const bool reloadedFile = track.mode == RUN_FILES && m_runMode == RUN_PROJECT;
    if (track.absence == 0 && (track.mode == RUN_ITUNES || reloadedFile))
        hasArtwork = artwork ? artwork->Answer(index) : HasArtwork(track.working, track.mode);
    music->SetMusicArtwork(hasArtwork);
    if (!track.artworkPath.isEmpty()) {
        music->SetArtworkState(DS_DONE);
        music->SetCurPixPath(track.artworkPath);
    }
    music->SetState(track.state);
    music->SetRepeatID(track.repeatId);
    music->SetRunMode(tagMusicRunMode(track.mode));
    return music;
}
