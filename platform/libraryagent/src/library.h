// One library file held in memory: its text, the index into it, and the
// changes made since the text was last written, each first recorded in the
// journal beside the file. Not thread-safe: the agent serialises calls.
#pragma once

#include "journal.h"
#include "libraryindex.h"
#include "librarylock.h"
#include "safefile.h"
#include "trackxml.h"

#include <QHash>
#include <QString>

#include <memory>

// A track to add, as its file's tags describe it.
struct tagNewTrack
{
    QByteArray values[SK_COUNT]; // persistent and track IDs are chosen here
    QDateTime modified;
};

// Where an entry stood in a playlist: the playlist's ID, how many items
// came before it there, and the item's own text.
struct tagPlaylistPlace
{
    qint64 playlistId;
    qint64 ordinal;
    QByteArray itemXml;
};

// What the library held of an entry: its values, its own text from the
// end of its key on (empty when the text never held it), its places.
struct tagEntryCopy
{
    CTrackRecord record;
    QByteArray dict;
    QList<tagPlaylistPlace> places;
};

class CLibrary
{
public:
    // The file path names, links resolved: what open keeps as path().
    static QString realPath(const QString& path);
    // Takes the library's lock (see CLibraryLock), reads and indexes the
    // file, then applies what its journal holds. An agent result code,
    // AGENT_ERR_IN_USE while another process has it; error says why.
    static int open(const QString& path, std::unique_ptr<CLibrary>* library, QString* error);
    ~CLibrary();

    const QString& path() const { return m_path; }
    // Keeps the library this process's while it is held.
    const std::shared_ptr<CLibraryLock>& lock() const { return m_lock; }
    // False once something else has replaced the file since it was read.
    bool isCurrent() const;
    bool hasPendingChanges() const { return m_journal.size() > 0; }
    // The journal is large enough that the file should take its changes.
    bool journalFull() const;

    // Fixes the served tracks (those not removed) and keeps every text
    // handed out valid until this object goes.
    void beginServing();
    int servedCount() const { return int(m_served.size()); }
    // Null when index is out of range, the track was removed or has no value.
    const char* servedText(int index, tagServedKey key) const;

    // The track's file; false when no served track has the ID.
    bool locationOf(const QByteArray& persistentId, QString* path) const;
    // The ID of the served track whose file is path; empty when none.
    QByteArray idOfLocation(const QString& path) const;

    // Changes: recorded durably, then applied; agent result codes.
    int setField(const QByteArray& persistentId, const tagWritableInfo& field, const QByteArray& value,
                 QString* error);
    int addTrack(const tagNewTrack& track, QByteArray* persistentId, QString* error);
    // Adds the entry removedId had back under a new ID, also when another
    // entry uses its file: as the library held it, fields and playlist
    // places, when this object saw it go from the file described, else as
    // described. A removedId still there is the entry itself.
    int restoreTrack(const QByteArray& removedId, const tagNewTrack& described, QByteArray* persistentId,
                     QString* error);
    // Whether restoreTrack of removedId for the file path (UTF-8) needs no
    // description: the entry is still there, or this object saw it go.
    bool holdsEntry(const QByteArray& removedId, const QByteArray& path) const;
    int deleteTrack(const QByteArray& persistentId, QString* error);
    // Takes over what an earlier reading of the same file saw removed.
    void adoptRemoved(const CLibrary& earlier);

    // Writes every pending change into the file and empties the journal.
    // Without keepText the new text is not held in memory (the peak stays
    // lower) and the object must be discarded afterwards.
    int rewrite(bool keepText, QString* error);

private:
    CLibrary(const QString& path, const QString& journalPath, int mode);
    int load(QString* error);
    bool replay(const QList<JournalRecord>& records);
    bool record(const JournalRecord& fields, QString* error);
    bool backUpOnce(QString* error);
    const tagEntryCopy* removedEntry(const QByteArray& removedId, const QByteArray& path) const;
    int addRecorded(const tagNewTrack& track, const tagEntryCopy* restored, QByteArray* persistentId, QString* error);
    static CTrackRecord recordOf(const QByteArray& id, const QByteArray& trackId, const tagNewTrack& track);
    bool applyRecord(const JournalRecord& fields);
    bool applyAddRecord(const JournalRecord& fields);
    void applyField(int track, const tagWritableInfo& field, const QByteArray& value);
    void applyAdd(const QByteArray& id, const QByteArray& trackId, const tagNewTrack& track);
    void applyDelete(int track);
    tagEntryCopy copyOf(const CTrackRecord& track);
    QList<tagPlaylistPlace> placesOf(qint64 trackId);
    QByteArray freeTrackId(const QByteArray& recorded) const;
    QByteArray newTrackId() const;
    QByteArray newPersistentId() const;
    QByteArray entryIndent() const;

    QString m_path;
    tagFileStamp m_stamp;
    QByteArray m_text;
    qint64 m_textStart = 0; // past a byte-order mark
    CLibraryIndex m_index;
    QHash<QByteArray, int> m_byId;           // persistent ID -> m_index.tracks
    QHash<QByteArray, tagAddedDates> m_added; // tracks added since the text was written
    QHash<QByteArray, tagEntryCopy> m_restored; // of those, the ones brought back as they were
    QHash<QByteArray, tagEntryCopy> m_removed;  // entries removed, by their ID, for an undo
    QMultiHash<qint64, int> m_itemsOfTrack;     // Track ID -> m_index.items, made when first needed
    QList<int> m_served;
    bool m_serving = false;
    QList<QByteArray> m_retired; // texts replaced while serving
    // Let go of last, once the journal is closed.
    std::shared_ptr<CLibraryLock> m_lock; // null for a file that is none
    CJournal m_journal;

    friend class CLibraryWriter;
};
