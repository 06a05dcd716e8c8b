#include "libraryparser.h"

#include "location.h"

#include <algorithm>

namespace {

// The library keys a track is read for, with the served key they feed;
// SK_COUNT marks keys read only to decide whether the track is served.
struct tagTrackKey
{
    QLatin1String name;
    tagServedKey served;
};

const tagTrackKey kTrackKeys[] = {
    {QLatin1String("Track ID"), SK_TRACK_ID},   {QLatin1String("Persistent ID"), SK_PERSISTENT_ID},
    {QLatin1String("Name"), SK_NAME},           {QLatin1String("Artist"), SK_ARTIST},
    {QLatin1String("Album"), SK_ALBUM},         {QLatin1String("Genre"), SK_GENRE},
    {QLatin1String("Size"), SK_SIZE},           {QLatin1String("Total Time"), SK_TOTAL_TIME},
    {QLatin1String("Bit Rate"), SK_BITRATE},    {QLatin1String("Year"), SK_YEAR},
    {QLatin1String("Location"), SK_LOCATION},   {QLatin1String("Track Type"), SK_COUNT},
};

const tagTrackKey* trackKeyOf(QStringView name)
{
    for (const tagTrackKey& key : kTrackKeys)
        if (name == key.name)
            return &key;
    return nullptr;
}

bool isScalar(QStringView element)
{
    return element == QLatin1String("string") || element == QLatin1String("integer")
        || element == QLatin1String("real");
}

} // namespace

CLibraryParser::CLibraryParser(const CSegmentText& document)
    : m_device(document), m_map(document), m_xml(&m_device)
{
    m_xml.setNamespaceProcessing(false);
}

QString CLibraryParser::error() const
{
    return QStringLiteral("line %1, column %2: %3").arg(m_xml.lineNumber()).arg(m_xml.columnNumber()).arg(m_error);
}

bool CLibraryParser::fail(const QString& message)
{
    if (m_error.isEmpty())
        m_error = m_xml.hasError() ? m_xml.errorString() : message;
    return false;
}

// Element tokens are the only ones whose character offset is exact: after
// text the reader has already looked at the next '<'.
QXmlStreamReader::TokenType CLibraryParser::nextToken()
{
    const QXmlStreamReader::TokenType type = m_xml.readNext();
    if (type == QXmlStreamReader::StartElement || type == QXmlStreamReader::EndElement)
        m_solidChar = m_xml.characterOffset();
    return type;
}

// Moves to the next start tag; false at an end tag (or on an error).
bool CLibraryParser::nextElement()
{
    while (!m_xml.atEnd()) {
        switch (nextToken()) {
        case QXmlStreamReader::StartElement:
            return true;
        case QXmlStreamReader::EndElement:
            return false;
        case QXmlStreamReader::Characters:
            if (!m_xml.isWhitespace())
                return fail(QStringLiteral("text outside a value"));
            break;
        default:
            break;
        }
    }
    return fail(QStringLiteral("the document ends early"));
}

qint64 CLibraryParser::solidByte()
{
    return m_map.byteAt(m_solidChar);
}

// An element's text into a string that is reused, where readElementText
// would make a new one per call: the track list holds millions of keys and
// values.
bool CLibraryParser::readTextInto(QString* text)
{
    text->resize(0);
    for (;;) {
        switch (nextToken()) {
        case QXmlStreamReader::Characters:
        case QXmlStreamReader::EntityReference:
            text->append(m_xml.text());
            break;
        case QXmlStreamReader::Comment:
        case QXmlStreamReader::ProcessingInstruction:
            break;
        case QXmlStreamReader::EndElement:
            return true;
        default:
            return fail(m_xml.hasError() ? m_xml.errorString() : QStringLiteral("a text holds an element"));
        }
    }
}

// A dictionary entry: the <key> the reader stands on goes into m_key, and
// the reader moves on to the start of its value.
bool CLibraryParser::readKey()
{
    if (m_xml.name() != QLatin1String("key") || !readTextInto(&m_key))
        return fail(QStringLiteral("<%1> where a <key> belongs").arg(m_xml.name()));
    if (!nextElement())
        return fail(QStringLiteral("the key \"%1\" has no value").arg(m_key));
    return true;
}

bool CLibraryParser::skipValue()
{
    m_xml.skipCurrentElement();
    m_solidChar = m_xml.characterOffset();
    return !m_xml.hasError() || fail(m_xml.errorString());
}

bool CLibraryParser::expectDict(const char* what)
{
    if (m_xml.name() == QLatin1String("dict"))
        return true;
    return fail(QStringLiteral("%1 is <%2>, not <dict>").arg(QLatin1String(what), m_xml.name()));
}

// The offsets are counted in UTF-8 bytes; a document declared in another
// encoding would be decoded differently.
bool CLibraryParser::checkEncoding()
{
    while (!m_xml.atEnd() && nextToken() != QXmlStreamReader::StartDocument) {
        if (m_xml.tokenType() == QXmlStreamReader::StartElement)
            return true;
    }
    const QStringView encoding = m_xml.documentEncoding();
    if (encoding.isEmpty() || encoding.compare(QLatin1String("UTF-8"), Qt::CaseInsensitive) == 0)
        return true;
    return fail(QStringLiteral("the encoding %1 is not supported").arg(encoding));
}

bool CLibraryParser::scanHead(qint64* tracksBegin)
{
    return checkEncoding() && findTracksInTop(false, nullptr, false, tracksBegin);
}

bool CLibraryParser::parseDocument(CLibraryIndex* index, bool tracksMustBeEmpty)
{
    qint64 tracksBegin = -1;
    if (!checkEncoding() || !findTracksInTop(true, index, tracksMustBeEmpty, &tracksBegin))
        return false;
    while (!m_xml.atEnd())
        nextToken();
    return !m_xml.hasError() || fail(m_xml.errorString());
}

// Walks <plist><dict> to its "Tracks". With parseAll the walk reads the
// whole top dictionary; otherwise it stops just inside the track list.
bool CLibraryParser::findTracksInTop(bool parseAll, CLibraryIndex* index, bool tracksMustBeEmpty,
                                     qint64* tracksBegin)
{
    if (m_xml.tokenType() != QXmlStreamReader::StartElement && !nextElement())
        return fail(QStringLiteral("no root element"));
    if (m_xml.name() != QLatin1String("plist"))
        return fail(QStringLiteral("the root element is <%1>, not <plist>").arg(m_xml.name()));
    if (!nextElement() || !expectDict("the library"))
        return fail(QStringLiteral("the property list holds no dictionary"));
    bool seenTracks = false;
    while (nextElement()) {
        if (!readKey())
            return false;
        if (m_key == QLatin1String("Tracks") && !seenTracks && m_xml.name() == QLatin1String("dict")) {
            seenTracks = true;
            *tracksBegin = solidByte();
            if (!parseAll)
                return true;
            index->tracksBegin = *tracksBegin;
            const int before = m_entries;
            if (!parseTrackEntries(index, false))
                return false;
            if (tracksMustBeEmpty && m_entries != before)
                return fail(QStringLiteral("the track list was not where it seemed"));
            continue;
        }
        const bool ok = m_key == QLatin1String("Playlists") && parseAll && m_xml.name() == QLatin1String("array")
            ? parsePlaylists(index)
            : skipValue();
        if (!ok)
            return false;
    }
    if (!m_error.isEmpty() || m_xml.hasError())
        return fail(QString());
    if (!seenTracks) {
        m_noTracks = true;
        return fail(QStringLiteral("the library has no \"Tracks\""));
    }
    return true;
}

// Reads key/<dict> entries up to the end tag of the enclosing dictionary.
// strict (a piece of the list) refuses anything else; otherwise other
// values are left alone.
bool CLibraryParser::parseTrackEntries(CLibraryIndex* index, bool strict)
{
    const qint64 openChar = m_solidChar;
    for (;;) {
        const qint64 beforeChar = m_solidChar;
        if (!nextElement()) {
            if (!m_error.isEmpty())
                return false;
            // An empty element gives its start and end at one offset.
            if (m_solidChar == openChar)
                index->tracksEmptyElement = true;
            index->tracksInsert = m_map.byteAt(beforeChar);
            return true;
        }
        const qint64 begin = m_map.byteAt(beforeChar);
        ++m_entries;
        if (m_xml.name() != QLatin1String("key") || !readTextInto(&m_key))
            return fail(QStringLiteral("<%1> where a track's <key> belongs").arg(m_xml.name()));
        const qint64 valueBegin = solidByte();
        bool isNumber = false;
        const qint64 key = QStringView(m_key).trimmed().toLongLong(&isNumber);
        if (!nextElement())
            return fail(QStringLiteral("the track \"%1\" has no value").arg(m_key));
        if (m_xml.name() == QLatin1String("dict")) {
            if (!parseTrack(index, begin, valueBegin, isNumber ? std::optional<qint64>(key) : std::nullopt))
                return false;
        } else if (strict || !skipValue()) {
            return fail(QStringLiteral("the track \"%1\" is no dictionary").arg(m_key));
        }
    }
}

bool CLibraryParser::parseTrack(CLibraryIndex* index, qint64 begin, qint64 valueBegin, std::optional<qint64> entryKey)
{
    qint32 at[SK_COUNT];
    std::fill(at, at + SK_COUNT, -1);
    m_texts.resize(0);
    QByteArray location;
    bool stream = false;
    while (nextElement()) {
        if (!readKey())
            return false;
        const tagTrackKey* wanted = trackKeyOf(m_key);
        if (!wanted || !isScalar(m_xml.name())) {
            if (!skipValue())
                return false;
            continue;
        }
        const bool numeric = m_xml.name() != QLatin1String("string");
        if (!readTextInto(&m_value))
            return false;
        if (wanted->served == SK_COUNT) {
            stream = m_value == QLatin1String("URL");
        } else if (wanted->served == SK_LOCATION) {
            location = LocalPathOfLocation(m_value);
        } else {
            at[wanted->served] = qint32(m_texts.size());
            m_texts.append((numeric ? QStringView(m_value).trimmed() : QStringView(m_value)).toUtf8()).append('\0');
        }
    }
    if (!m_error.isEmpty())
        return false;
    const qint64 end = solidByte();
    const auto textOf = [&](tagServedKey key) {
        return at[key] < 0 ? QByteArrayView() : QByteArrayView(m_texts.constData() + at[key]);
    };
    bool isTrackId = false;
    const qint64 trackId = textOf(SK_TRACK_ID).toLongLong(&isTrackId);
    index->maxId = qMax(index->maxId, qMax(trackId, entryKey.value_or(0)));
    const QByteArrayView id = textOf(SK_PERSISTENT_ID);
    // Streams and tracks without a file have nothing to tidy.
    const bool served = !id.isEmpty() && !location.isEmpty() && !stream;
    if (!served && isTrackId)
        index->otherNumbers.append(trackId);
    if (entryKey && (!served || !isTrackId || *entryKey != trackId))
        index->otherNumbers.append(*entryKey);
    if (!served) {
        if (!id.isEmpty())
            index->otherIds.insert(id.toByteArray());
        return true;
    }
    // The path joins the scratch texts, so the track copies them only once.
    at[SK_LOCATION] = qint32(m_texts.size());
    m_texts.append(location).append('\0');
    CTrackRecord track;
    track.adopt(m_texts, at);
    track.begin = begin;
    track.valueBegin = valueBegin;
    track.end = end;
    index->tracks.append(std::move(track));
    return true;
}

bool CLibraryParser::parsePlaylists(CLibraryIndex* index)
{
    while (nextElement()) {
        const bool ok = m_xml.name() == QLatin1String("dict") ? parsePlaylist(index) : skipValue();
        if (!ok)
            return false;
    }
    return m_error.isEmpty();
}

bool CLibraryParser::parsePlaylist(CLibraryIndex* index)
{
    tagPlaylist playlist;
    playlist.firstItem = int(index->items.size());
    while (nextElement()) {
        if (!readKey())
            return false;
        bool ok = true;
        if (m_key == QLatin1String("Playlist Items") && m_xml.name() == QLatin1String("array")) {
            playlist.itemsBegin = solidByte();
            ok = parseItems(index, int(index->playlists.size()));
        } else if (m_key == QLatin1String("Playlist ID") && m_xml.name() == QLatin1String("integer")) {
            ok = readTextInto(&m_value);
            bool isNumber = false;
            const qint64 id = QStringView(m_value).trimmed().toLongLong(&isNumber);
            playlist.id = isNumber ? id : -1;
            index->maxId = qMax(index->maxId, id);
        } else {
            ok = skipValue();
        }
        if (!ok)
            return false;
    }
    playlist.itemCount = int(index->items.size()) - playlist.firstItem;
    index->playlists.append(playlist);
    return m_error.isEmpty();
}

bool CLibraryParser::parseItems(CLibraryIndex* index, int playlist)
{
    for (;;) {
        const qint64 beforeChar = m_solidChar;
        if (!nextElement())
            return m_error.isEmpty();
        if (m_xml.name() != QLatin1String("dict")) {
            if (!skipValue())
                return false;
            continue;
        }
        const qint64 begin = m_map.byteAt(beforeChar);
        qint64 trackId = -1;
        while (nextElement()) {
            if (!readKey())
                return false;
            const bool wanted = m_key == QLatin1String("Track ID") && m_xml.name() == QLatin1String("integer");
            if (!(wanted ? readTextInto(&m_value) : skipValue()))
                return false;
            if (wanted)
                trackId = QStringView(m_value).trimmed().toLongLong();
        }
        index->maxId = qMax(index->maxId, trackId);
        if (!m_error.isEmpty())
            return false;
        index->items.append({begin, solidByte(), trackId, playlist});
    }
}

bool CLibraryParser::parseTrackPiece(CLibraryIndex* index, bool last)
{
    if (!nextElement() || m_xml.name() != QLatin1String("dict"))
        return fail(QStringLiteral("a piece of the track list does not start"));
    if (!parseTrackEntries(index, true))
        return false;
    const qint64 endByte = solidByte();
    // Our own </dict> maps to -1; the list's own to a place in the text.
    if (last != (endByte >= 0))
        return fail(QStringLiteral("a piece of the track list ends in the wrong place"));
    if (!last)
        index->tracksInsert = -1;
    return true;
}
