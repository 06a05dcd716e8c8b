// Reading the library text into what the agent serves and what it needs to
// rewrite the text later: every served track with its place, the playlist
// entries, where new tracks go, and the IDs already taken.
#pragma once

#include "trackrecord.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

// One entry of a playlist's "Playlist Items", white space before it included.
struct tagPlaylistItem
{
    qint64 begin;
    qint64 end;
    qint64 trackId;
    int playlist; // CLibraryIndex::playlists
};

// A playlist, and where its items lie among CLibraryIndex::items.
struct tagPlaylist
{
    qint64 id = -1;         // its "Playlist ID"; -1 when it has none
    qint64 itemsBegin = -1; // just after the <array> tag of its "Playlist Items"; -1 when it has none
    int firstItem = 0;
    int itemCount = 0;
};

struct CLibraryIndex
{
    QList<CTrackRecord> tracks;    // served tracks, in the order of the text
    QHash<QByteArray, int> byId;   // persistent ID -> tracks
    QSet<QByteArray> otherIds;     // persistent IDs of the tracks not served
    QList<tagPlaylistItem> items;  // in the order of the text
    QList<tagPlaylist> playlists;  // in the order of the text
    qint64 tracksBegin = -1;       // just after the Tracks <dict> tag
    qint64 tracksInsert = -1;      // end of the last entry of Tracks
    bool tracksEmptyElement = false; // Tracks written as <dict/>: nowhere to insert
    // Highest integer the text uses as a track key, a Track ID, a playlist
    // item's Track ID or a Playlist ID: a new Track ID above it is new to
    // the whole text.
    qint64 maxId = 0;
    // Those of the integers above that no served track holds as its Track
    // ID: keys unlike their entry's Track ID, the IDs of entries not served.
    QList<qint64> otherNumbers;
};

// The size of the pieces of the track list read in parallel.
constexpr qint64 kIndexChunkBytes = 4 << 20;

// Indexes text, which starts at byte start (past a byte-order mark).
// AGENT_OK, AGENT_ERR_FORMAT (not UTF-8, not XML, no property list) or
// AGENT_ERR_NO_TRACKS, with a message. The track list is read in pieces
// of about chunkBytes on several threads; any doubt about where a piece
// may start sends the whole text through one reader instead.
int IndexLibrary(const QByteArray& text, qint64 start, CLibraryIndex* index, QString* error,
                 qint64 chunkBytes = kIndexChunkBytes);
