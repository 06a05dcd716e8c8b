// One reader over one document of the library text: the head up to the
// track list, a piece of the track list, or the whole document.
#pragma once

#include "libraryindex.h"
#include "segmenttext.h"

#include <QXmlStreamReader>

#include <optional>

class CLibraryParser
{
public:
    explicit CLibraryParser(const CSegmentText& document);

    // Reads up to the <dict> of "Tracks"; *tracksBegin is the byte after it.
    // False with noTracks() set when the document ends without one.
    bool scanHead(qint64* tracksBegin);
    // Reads a whole document into index. With tracksMustBeEmpty (the
    // document is the text with the track list cut out) an entry in Tracks
    // is a failure.
    bool parseDocument(CLibraryIndex* index, bool tracksMustBeEmpty);
    // Reads "<dict>" + a piece of the track list + (unless last) "</dict>".
    // Every entry must be a key with a <dict>; a piece that is not the last
    // must end at our own </dict>, the last at the list's own, whose place
    // goes into index->tracksInsert.
    bool parseTrackPiece(CLibraryIndex* index, bool last);

    bool noTracks() const { return m_noTracks; }
    QString error() const;

private:
    QXmlStreamReader::TokenType nextToken();
    bool nextElement();
    qint64 solidByte();
    bool fail(const QString& message);
    bool expectDict(const char* what);
    bool checkEncoding();
    bool findTracksInTop(bool parseAll, CLibraryIndex* index, bool tracksMustBeEmpty, qint64* tracksBegin);
    bool parseTrackEntries(CLibraryIndex* index, bool strict);
    // entryKey: the entry's key in the track list, when it is an integer.
    bool parseTrack(CLibraryIndex* index, qint64 begin, qint64 valueBegin, std::optional<qint64> entryKey);
    bool parsePlaylists(CLibraryIndex* index);
    bool parsePlaylist(CLibraryIndex* index);
    bool parseItems(CLibraryIndex* index, int playlist);
    bool readTextInto(QString* text);
    bool readKey();
    bool skipValue();

    CSegmentDevice m_device;
    CUtf8OffsetMap m_map;
    QXmlStreamReader m_xml;
    qint64 m_solidChar = 0; // end of the last start or end tag, in characters
    QString m_error;
    QString m_key;         // scratch texts, reused so that reading allocates little
    QString m_value;
    QByteArray m_texts;
    int m_entries = 0; // entries of the track list read so far
    bool m_noTracks = false;
};
