// The fields of a track, once: where each lives in tagMMusicInfo, in the
// track database and in the library agent, what the tag layer calls it and
// which mask bit names it. Loading, saving, applying, writing back and the
// duplicate comparison all walk this table.
#pragma once

#include "cadenzo.h"
#include "tags.h"

struct tagTrackField {
    QString tagMMusicInfo::*member;
    int bit;                          // the tagMusicField bit; 0 for none
    const char* column;               // TracksTable column
    const char* oldColumn;            // column of the library copy; null: not editable
    const char* agentKey;             // the library agent's key
    QString tagMusicTags::*tagMember; // null: the tag layer has no such field
    int tagBit;                       // the tagTagField bit; 0: tags cannot be written
    // Year and genre: filled only where blank, and worth no write or lookup
    // of their own; they ride along with a track that has work anyway.
    bool ridesAlong;
};

// Rows of kTrackFields, in the order the loader asks the agent. The
// editable fields come in the order of every mask's values: name, artist,
// album, year, genre.
enum tagTrackFieldRow {
    FIELD_PERSISTENT_ID, FIELD_NAME, FIELD_ARTIST, FIELD_ALBUM, FIELD_SIZE, FIELD_TIME,
    FIELD_LOCATION, FIELD_YEAR, FIELD_GENRE, FIELD_BITRATE, TRACK_FIELD_COUNT
};

inline constexpr tagTrackField kTrackFields[TRACK_FIELD_COUNT] = {
    {&tagMMusicInfo::strPersistentID, 0, "PersistentID", nullptr, "PersistentID", nullptr, 0, false},
    {&tagMMusicInfo::strName, MF_TITLE, "Name", "NameOld", "Name", &tagMusicTags::strName, TF_TITLE, false},
    {&tagMMusicInfo::strArtist, MF_ARTIST, "Artist", "ArtistOld", "Artist", &tagMusicTags::strArtist, TF_ARTIST, false},
    {&tagMMusicInfo::strAlbum, MF_ALBUM, "Album", "AlbumOld", "Album", &tagMusicTags::strAlbum, TF_ALBUM, false},
    {&tagMMusicInfo::strSize, MF_SIZE, "Size", nullptr, "Size", &tagMusicTags::strSize, 0, false},
    {&tagMMusicInfo::strTotalTime, MF_TIME, "TotalTime", nullptr, "TotalTime", &tagMusicTags::strTotalTime, 0, false},
    {&tagMMusicInfo::strLocation, 0, "Location", nullptr, "Location", &tagMusicTags::strLocation, 0, false},
    {&tagMMusicInfo::strYear, MF_YEAR, "Year", "YearOld", "Year", &tagMusicTags::strYear, TF_YEAR, true},
    {&tagMMusicInfo::strGenre, MF_GENRE, "Genre", "GenreOld", "Genre", &tagMusicTags::strGenre, TF_GENRE, true},
    {&tagMMusicInfo::strBitRate, 0, "Bitrate", nullptr, "Bitrate", &tagMusicTags::strBitRate, 0, false},
};

static_assert(kTrackFields[FIELD_NAME].member == &tagMMusicInfo::strName
                  && kTrackFields[FIELD_TIME].member == &tagMMusicInfo::strTotalTime
                  && kTrackFields[FIELD_LOCATION].member == &tagMMusicInfo::strLocation
                  && kTrackFields[FIELD_BITRATE].member == &tagMMusicInfo::strBitRate,
              "rows follow tagTrackFieldRow");

// Whether the user may edit the field, which gives it a library copy.
constexpr bool isEditable(const tagTrackField& field)
{
    return field.oldColumn != nullptr;
}

// Copies the editable fields, the library copy's share of a track.
void CopyEditableFields(const tagMMusicInfo& from, tagMMusicInfo& to);
// Every field the tag layer knows, from and into a track's information.
void TakeTagFields(const tagMusicTags& tags, tagMMusicInfo& info);
tagMusicTags TagFieldsOf(const tagMMusicInfo& info);
// tagMusicField bits to the tag layer's bits and back; others are dropped.
int ToTagBits(int fieldBits);
int FromTagBits(int tagBits);
