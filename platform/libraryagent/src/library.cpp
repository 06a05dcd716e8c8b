#include "library.h"

#include "libraryagent.h"
#include "librarywriter.h"
#include "location.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSet>

#include <algorithm>
#include <limits>

namespace {

constexpr qint64 kMinJournalLimit = 64 * 1024;

// Journal record kinds.
const QByteArray kSet("S");    // S id key value
const QByteArray kAdd("A");    // A id trackId then key value pairs
const QByteArray kDelete("D"); // D id
const QByteArray kModified("DateModified");
const QByteArray kAdded("DateAdded");
// An entry brought back as it was: its old text and its places.
const QByteArray kEntry("Entry");
const QByteArray kPlace("Place"); // playlist ID, ordinal, the item's text

// Processes that already kept a backup of a library, by path.
QSet<QString>& backedUp()
{
    static QSet<QString> paths;
    return paths;
}

QByteArray isoDate(const QDateTime& date)
{
    return date.toUTC().toString(Qt::ISODate).toLatin1();
}

QDateTime dateOf(const QByteArray& iso)
{
    return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate);
}

QByteArray placeText(const tagPlaylistPlace& place)
{
    return QByteArray::number(place.playlistId) + ' ' + QByteArray::number(place.ordinal) + ' ' + place.itemXml;
}

bool placeOfText(const QByteArray& text, tagPlaylistPlace* place)
{
    const qsizetype first = text.indexOf(' ');
    const qsizetype second = first < 0 ? -1 : text.indexOf(' ', first + 1);
    if (second < 0)
        return false;
    bool isId = false, isOrdinal = false;
    place->playlistId = text.left(first).toLongLong(&isId);
    place->ordinal = text.mid(first + 1, second - first - 1).toLongLong(&isOrdinal);
    place->itemXml = text.mid(second + 1);
    return isId && isOrdinal && place->ordinal >= 0;
}

} // namespace

CLibrary::CLibrary(const QString& path, const QString& journalPath, int mode)
    : m_path(path), m_journal(journalPath, path, mode)
{
}

CLibrary::~CLibrary() = default;

QString CLibrary::realPath(const QString& path)
{
    const QString resolved = ResolvedPath(path);
    return resolved.isEmpty() ? QFileInfo(path).absoluteFilePath() : resolved;
}

int CLibrary::open(const QString& path, std::unique_ptr<CLibrary>* library, QString* error)
{
    // Through a link or through the file it points to, one library, whose
    // journal and backup lie beside the file itself.
    const QString real = realPath(path);
    // The journal holds the library's data: it is as private as the library.
    const int mode = ModeOfFile(real, 0644) & 0666;
    // Taken before the journal is read: until another process lets go of
    // the library, what its journal holds is still being written.
    std::shared_ptr<CLibraryLock> lock;
    if (IsRegularFile(real)) {
        const int locked = CLibraryLock::take(real, mode, &lock, error);
        if (locked != AGENT_OK)
            return locked;
    }
    std::unique_ptr<CLibrary> opened(new CLibrary(real, real + QStringLiteral(".journal"), mode));
    opened->m_lock = std::move(lock);
    const int result = opened->load(error);
    if (result != AGENT_OK)
        return result;
    // A rewrite killed half-way leaves its temporary file beside the file.
    // Swept only beside a library that opened, once its journal was read,
    // which holds every change the temporary file may hold. No other
    // process rewrites the library while its lock is held, nor this one
    // while the agent's lock is; a write that holds the folder's lock all
    // the same keeps the sweep away from its file.
    RemoveLeftoverTemporaries(
        {real, real + QStringLiteral(".backup"), real + QStringLiteral(".journal")});
    *library = std::move(opened);
    return AGENT_OK;
}

int CLibrary::load(QString* error)
{
    QFile file(m_path);
    if (!StampOfFile(m_path, &m_stamp) || !file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(m_path, file.errorString());
        return AGENT_ERR_READ;
    }
    m_text = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *error = QStringLiteral("cannot read %1: %2").arg(m_path, file.errorString());
        return AGENT_ERR_READ;
    }
    m_textStart = m_text.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    const int indexed = IndexLibrary(m_text, m_textStart, &m_index, error);
    if (indexed != AGENT_OK)
        return indexed;
    m_byId = std::move(m_index.byId);
    QList<JournalRecord> records;
    if (!m_journal.read(&records, error))
        return AGENT_ERR_READ;
    if (!replay(records)) {
        *error = QStringLiteral("the journal of %1 does not fit the library").arg(m_path);
        return AGENT_ERR_FORMAT;
    }
    return AGENT_OK;
}

bool CLibrary::isCurrent() const
{
    tagFileStamp now;
    return StampOfFile(m_path, &now) && now == m_stamp;
}

bool CLibrary::journalFull() const
{
    return m_journal.size() > qMax(kMinJournalLimit, qint64(m_text.size()) / 4);
}

void CLibrary::beginServing()
{
    m_serving = true;
    m_served.clear();
    for (int i = 0; i < m_index.tracks.size(); ++i)
        if (!m_index.tracks.at(i).deleted)
            m_served.append(i);
}

const char* CLibrary::servedText(int index, tagServedKey key) const
{
    if (index < 0 || index >= m_served.size() || key < 0 || key >= SK_COUNT)
        return nullptr;
    const CTrackRecord& track = m_index.tracks.at(m_served.at(index));
    return track.deleted ? nullptr : track.text(key);
}

bool CLibrary::locationOf(const QByteArray& persistentId, QString* path) const
{
    const auto found = m_byId.constFind(persistentId);
    if (found == m_byId.constEnd())
        return false;
    *path = QString::fromUtf8(m_index.tracks.at(*found).value(SK_LOCATION));
    return true;
}

QByteArray CLibrary::idOfLocation(const QString& path) const
{
    const QByteArray wanted = path.toUtf8();
    for (const CTrackRecord& track : m_index.tracks) {
        if (!track.deleted && IsSameLocalPath(track.text(SK_LOCATION), wanted))
            return track.value(SK_PERSISTENT_ID);
    }
    return QByteArray();
}

// The first change of a process keeps the file as it was before it.
bool CLibrary::backUpOnce(QString* error)
{
    if (backedUp().contains(m_path))
        return true;
    // The text held is the file on disk: the agent checks before a change.
    // The backup is the writer's own file, with the library's mode and ACL,
    // which keep its data as private and as shared. Whoever may write the library's folder
    // may put a link in its place: the link goes, what it names stays.
    if (!WriteOwnFileAtomically(m_path + QStringLiteral(".backup"), m_text, ModeOfFile(m_path, 0644), m_path, error))
        return false;
    backedUp().insert(m_path);
    return true;
}

bool CLibrary::record(const JournalRecord& fields, QString* error)
{
    return backUpOnce(error) && m_journal.append(fields, error);
}

int CLibrary::setField(const QByteArray& persistentId, const tagWritableInfo& field, const QByteArray& value,
                       QString* error)
{
    const auto found = m_byId.constFind(persistentId);
    if (found == m_byId.constEnd())
        return AGENT_ERR_NO_TRACK;
    QByteArray xml;
    if (!value.isEmpty() && !FieldValueXml(field, value, &xml)) {
        *error = QStringLiteral("\"%1\" cannot hold \"%2\"").arg(QLatin1String(field.key), QString::fromUtf8(value));
        return AGENT_ERR_VALUE;
    }
    if (m_index.tracks.at(*found).value(field.served) == value)
        return AGENT_OK;
    if (!record({kSet, persistentId, field.key, value}, error))
        return AGENT_ERR_WRITE;
    applyField(*found, field, value);
    return AGENT_OK;
}

int CLibrary::addTrack(const tagNewTrack& track, QByteArray* persistentId, QString* error)
{
    return addRecorded(track, nullptr, persistentId, error);
}

// The entry of removedId as this object saw it go, when it was an entry of
// the file path names; null otherwise.
const tagEntryCopy* CLibrary::removedEntry(const QByteArray& removedId, const QByteArray& path) const
{
    const auto known = m_removed.constFind(removedId);
    return known != m_removed.constEnd() && IsSameLocalPath(known->record.text(SK_LOCATION), path) ? &*known
                                                                                                     : nullptr;
}

bool CLibrary::holdsEntry(const QByteArray& removedId, const QByteArray& path) const
{
    return m_byId.contains(removedId) || removedEntry(removedId, path);
}

int CLibrary::restoreTrack(const QByteArray& removedId, const tagNewTrack& described, QByteArray* persistentId,
                           QString* error)
{
    if (m_byId.contains(removedId)) {
        *persistentId = removedId;
        return AGENT_OK;
    }
    const tagEntryCopy* known = removedEntry(removedId, described.values[SK_LOCATION]);
    if (!known)
        return addTrack(described, persistentId, error);
    tagNewTrack track;
    for (int key = 0; key < SK_COUNT; ++key)
        track.values[key] = known->record.value(tagServedKey(key));
    track.modified = described.modified;
    const int result = addRecorded(track, known, persistentId, error);
    if (result == AGENT_OK)
        m_removed.remove(removedId);
    return result;
}

void CLibrary::adoptRemoved(const CLibrary& earlier)
{
    for (auto it = earlier.m_removed.cbegin(); it != earlier.m_removed.cend(); ++it)
        if (!m_removed.contains(it.key()))
            m_removed.insert(it.key(), it.value());
}

// restored: what the entry brings back of its old self, when it does.
int CLibrary::addRecorded(const tagNewTrack& track, const tagEntryCopy* restored, QByteArray* persistentId,
                          QString* error)
{
    if (m_index.tracksEmptyElement) {
        *error = QStringLiteral("the track list of %1 is an empty element").arg(m_path);
        return AGENT_ERR_FORMAT;
    }
    const QByteArray id = newPersistentId();
    const QByteArray trackId = newTrackId();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    // Refused here, not at the rewrite: an entry the text cannot take would
    // hold back every change after it in the journal for good.
    QByteArray entry;
    qint64 valueOffset = 0;
    if (!AddedTrackXml(recordOf(id, trackId, track), restored ? restored->dict : QByteArray(), {now, track.modified},
                       entryIndent(), &entry, &valueOffset, error))
        return AGENT_ERR_VALUE;
    JournalRecord fields{kAdd, id, trackId};
    for (int key = 0; key < SK_COUNT; ++key) {
        if (key != SK_PERSISTENT_ID && key != SK_TRACK_ID && !track.values[key].isEmpty())
            fields << ServedKeyName(tagServedKey(key)) << track.values[key];
    }
    if (restored && !restored->dict.isEmpty())
        fields << kEntry << restored->dict;
    if (restored)
        for (const tagPlaylistPlace& place : restored->places)
            fields << kPlace << placeText(place);
    fields << kAdded << isoDate(now);
    if (track.modified.isValid())
        fields << kModified << isoDate(track.modified);
    if (!record(fields, error))
        return AGENT_ERR_WRITE;
    applyRecord(fields);
    *persistentId = id;
    return AGENT_OK;
}

int CLibrary::deleteTrack(const QByteArray& persistentId, QString* error)
{
    const auto found = m_byId.constFind(persistentId);
    if (found == m_byId.constEnd())
        return AGENT_ERR_NO_TRACK;
    if (!record({kDelete, persistentId}, error))
        return AGENT_ERR_WRITE;
    applyDelete(*found);
    return AGENT_OK;
}

bool CLibrary::replay(const QList<JournalRecord>& records)
{
    for (const JournalRecord& fields : records)
        if (!applyRecord(fields))
            return false;
    return true;
}

// Records are applied as they come; one that names a track no longer (or
// already) there is passed over, so that a journal the file already took
// in can be applied again without harm.
bool CLibrary::applyRecord(const JournalRecord& fields)
{
    if (fields.isEmpty())
        return false;
    const QByteArray& kind = fields.first();
    if (kind == kSet && fields.size() == 4) {
        const tagWritableInfo* field = WritableFieldOf(fields.at(2).constData());
        const auto found = m_byId.constFind(fields.at(1));
        if (field && found != m_byId.constEnd())
            applyField(*found, *field, fields.at(3));
        return field != nullptr;
    }
    if (kind == kDelete && fields.size() == 2) {
        const auto found = m_byId.constFind(fields.at(1));
        if (found != m_byId.constEnd())
            applyDelete(*found);
        return true;
    }
    if (kind == kAdd && fields.size() >= 3 && fields.size() % 2 == 1)
        return applyAddRecord(fields);
    return false;
}

bool CLibrary::applyAddRecord(const JournalRecord& fields)
{
    tagNewTrack track;
    tagEntryCopy copy;
    QDateTime added;
    for (qsizetype i = 3; i + 1 < fields.size(); i += 2) {
        const QByteArray& key = fields.at(i);
        const QByteArray& value = fields.at(i + 1);
        const tagServedKey served = ServedKeyOf(key.constData());
        tagPlaylistPlace place;
        if (served != SK_COUNT)
            track.values[served] = value;
        else if (key == kAdded)
            added = dateOf(value);
        else if (key == kModified)
            track.modified = dateOf(value);
        else if (key == kEntry)
            copy.dict = value;
        else if (key == kPlace && placeOfText(value, &place))
            copy.places.append(place);
    }
    const QByteArray& id = fields.at(1);
    if (m_byId.contains(id) || m_index.otherIds.contains(id))
        return true;
    applyAdd(id, freeTrackId(fields.at(2)), track);
    m_added[id].added = added;
    if (!copy.dict.isEmpty() || !copy.places.isEmpty())
        m_restored.insert(id, copy);
    return true;
}

// The ID was the next free one of the text it was chosen for; the text it
// lands in may be another (the file was replaced meanwhile, or the record
// waited in the journal), which may use it. Any ID up to the highest that
// text uses counts as taken there.
QByteArray CLibrary::freeTrackId(const QByteArray& recorded) const
{
    bool isNumber = false;
    if (recorded.toLongLong(&isNumber) > m_index.maxId && isNumber)
        return recorded;
    const QByteArray free = newTrackId();
    if (free != recorded)
        PlatformLog(QStringLiteral("Library agent: a new entry of %1 takes the Track ID %2, as %3 may be taken there")
                        .arg(m_path, QString::fromLatin1(free), QString::fromLatin1(recorded)));
    return free;
}

// One above every integer the text uses for a track; past the last integer
// the lowest one nothing uses, which costs a sort of every such integer but
// is only ever needed in a library that has reached that far.
QByteArray CLibrary::newTrackId() const
{
    if (m_index.maxId < std::numeric_limits<qint64>::max())
        return QByteArray::number(m_index.maxId + 1);
    QList<qint64> used = m_index.otherNumbers;
    for (const CTrackRecord& track : m_index.tracks)
        used.append(track.value(SK_TRACK_ID).toLongLong());
    for (const tagPlaylistItem& item : m_index.items)
        used.append(item.trackId);
    for (const tagPlaylist& playlist : m_index.playlists)
        used.append(playlist.id);
    std::sort(used.begin(), used.end());
    qint64 free = 1;
    for (const qint64 number : used) {
        if (number > free)
            break;
        if (number == free)
            ++free;
    }
    return QByteArray::number(free);
}

void CLibrary::applyField(int track, const tagWritableInfo& field, const QByteArray& value)
{
    CTrackRecord& record = m_index.tracks[track];
    const QByteArray old = record.setValue(field.served, value);
    if (m_serving)
        m_retired.append(old);
    record.edited |= field.field;
}

CTrackRecord CLibrary::recordOf(const QByteArray& id, const QByteArray& trackId, const tagNewTrack& track)
{
    CTrackRecord record;
    for (int key = 0; key < SK_COUNT; ++key)
        if (!track.values[key].isEmpty())
            record.setValue(tagServedKey(key), track.values[key]);
    record.setValue(SK_PERSISTENT_ID, id);
    record.setValue(SK_TRACK_ID, trackId);
    record.added = true;
    return record;
}

void CLibrary::applyAdd(const QByteArray& id, const QByteArray& trackId, const tagNewTrack& track)
{
    const CTrackRecord record = recordOf(id, trackId, track);
    m_index.maxId = qMax(m_index.maxId, trackId.toLongLong());
    m_byId.insert(id, int(m_index.tracks.size()));
    m_index.tracks.append(record);
    m_added[id].modified = track.modified;
}

void CLibrary::applyDelete(int track)
{
    CTrackRecord& record = m_index.tracks[track];
    const QByteArray id = record.value(SK_PERSISTENT_ID);
    m_removed.insert(id, copyOf(record));
    m_byId.remove(id);
    record.deleted = true;
}

tagEntryCopy CLibrary::copyOf(const CTrackRecord& track)
{
    tagEntryCopy copy{track, QByteArray(), {}};
    if (track.added) {
        // Not in the text yet: as it was brought back, when it was.
        const tagEntryCopy restored = m_restored.take(track.value(SK_PERSISTENT_ID));
        copy.dict = restored.dict;
        copy.places = restored.places;
    } else if (track.begin >= 0) {
        copy.dict = m_text.mid(track.valueBegin, track.end - track.valueBegin);
        copy.places = placesOf(track.value(SK_TRACK_ID).toLongLong());
    }
    // Changes the text never took are in the values alone; a text that
    // cannot take them is dropped, and the values describe the entry.
    QByteArray patched;
    QString ignored;
    if (track.edited && !copy.dict.isEmpty())
        copy.dict = PatchTrackXml(copy.dict, track, &patched, &ignored) ? patched : QByteArray();
    return copy;
}

QList<tagPlaylistPlace> CLibrary::placesOf(qint64 trackId)
{
    if (m_itemsOfTrack.isEmpty())
        for (int i = 0; i < m_index.items.size(); ++i)
            m_itemsOfTrack.insert(m_index.items.at(i).trackId, i);
    QList<int> items = m_itemsOfTrack.values(trackId);
    std::sort(items.begin(), items.end());
    QList<tagPlaylistPlace> places;
    for (const int i : items) {
        const tagPlaylistItem& item = m_index.items.at(i);
        const tagPlaylist& playlist = m_index.playlists.at(item.playlist);
        // A playlist without an ID could not be found again.
        if (playlist.id >= 0)
            places.append({playlist.id, i - playlist.firstItem, m_text.mid(item.begin, item.end - item.begin)});
    }
    return places;
}

QByteArray CLibrary::newPersistentId() const
{
    for (;;) {
        const QByteArray id = QByteArray::number(QRandomGenerator::system()->generate64(), 16)
                                  .toUpper()
                                  .rightJustified(16, '0');
        if (!m_byId.contains(id) && !m_index.otherIds.contains(id))
            return id;
    }
}

// New entries are indented like the first one there is.
QByteArray CLibrary::entryIndent() const
{
    for (const CTrackRecord& track : m_index.tracks) {
        if (track.begin < 0)
            continue;
        qint64 at = track.begin;
        while (at < m_text.size() && m_text.at(at) != '<')
            ++at;
        const QByteArray indent = m_text.mid(track.begin, at - track.begin);
        return indent.contains('\n') ? indent.mid(indent.lastIndexOf('\n')) : QByteArray("\n\t\t");
    }
    return QByteArray("\n\t\t");
}

int CLibrary::rewrite(bool keepText, QString* error)
{
    if (!hasPendingChanges())
        return AGENT_OK;
    // Marked read-only, the file stays as it is, as a read-only song does,
    // though a folder the user may write would let a new file replace it.
    if (!IsWritableFile(m_path)) {
        *error = QStringLiteral("cannot replace %1: it is read-only").arg(m_path);
        return AGENT_ERR_WRITE;
    }
    CLibraryWriter writer(*this);
    QList<QByteArrayView> pieces;
    if (!writer.compose(&pieces, error))
        return AGENT_ERR_FORMAT;
    tagFileStamp written;
    if (!WriteFileAtomically(m_path, pieces, error, nullptr, &written))
        return AGENT_ERR_WRITE;
    if (keepText) {
        // Sized once: growing piece by piece would copy the whole text
        // several times and overshoot the peak this path keeps low.
        qsizetype size = 0;
        for (const QByteArrayView& piece : pieces)
            size += piece.size();
        QByteArray text;
        text.reserve(size);
        for (const QByteArrayView& piece : pieces)
            text.append(piece);
        writer.adopt(text);
        m_stamp = written;
    }
    // The file holds every change now; a journal left behind would only be
    // applied again to the same effect.
    m_journal.remove(error);
    return AGENT_OK;
}
