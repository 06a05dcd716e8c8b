#include "libraryindex.h"

#include "libraryagent.h"
#include "libraryparser.h"

#include <cstring>
#include <thread>
#include <vector>

namespace {

constexpr int kMaxPieces = 16;

struct tagPiece
{
    qint64 begin = 0;
    qint64 end = 0; // the last piece runs to the end of the text
    bool last = false;
    bool ok = false;
    CLibraryIndex index;
};

bool startsWithAt(const QByteArray& text, qint64 at, const char* what)
{
    const qint64 size = qint64(std::strlen(what));
    return text.size() - at >= size && std::memcmp(text.constData() + at, what, size_t(size)) == 0;
}

// A track entry may start right after a "</dict>" that a "<key>" and a
// "<dict>" follow. Inside a track such a place is possible too (nested
// dictionaries); the pieces' readers then fail and the caller falls back.
qint64 findPieceStart(const QByteArray& text, qint64 from, qint64 limit)
{
    static const QByteArray close("</dict>");
    qint64 at = from;
    while ((at = text.indexOf(close, at)) >= 0 && at < limit) {
        const qint64 after = at + close.size();
        at = after;
        const qint64 key = skipXmlBlanks(text, after);
        if (!startsWithAt(text, key, "<key>"))
            continue;
        const qint64 keyEnd = text.indexOf("</key>", key);
        if (keyEnd >= 0 && startsWithAt(text, skipXmlBlanks(text, keyEnd + 6), "<dict>"))
            return after;
    }
    return -1;
}

// The track list ends before the playlists in every library iTunes writes;
// elsewhere the last piece simply reads further.
qint64 likelyTracksEnd(const QByteArray& text, qint64 tracksBegin)
{
    const qint64 playlists = text.lastIndexOf("<key>Playlists</key>");
    return playlists > tracksBegin ? playlists : text.size();
}

QList<tagPiece> cutPieces(const QByteArray& text, qint64 tracksBegin, qint64 chunkBytes)
{
    const qint64 limit = likelyTracksEnd(text, tracksBegin);
    const int threads = int(qBound(1u, std::thread::hardware_concurrency(), unsigned(kMaxPieces)));
    const qint64 wanted = qBound<qint64>(1, (limit - tracksBegin) / qMax<qint64>(1, chunkBytes), qint64(threads));
    QList<qint64> starts{tracksBegin};
    for (qint64 k = 1; k < wanted; ++k) {
        const qint64 target = tracksBegin + k * (limit - tracksBegin) / wanted;
        if (target <= starts.last())
            continue;
        const qint64 start = findPieceStart(text, target, limit);
        if (start < 0)
            break;
        if (start > starts.last())
            starts.append(start);
    }
    QList<tagPiece> pieces(starts.size());
    for (qsizetype i = 0; i < starts.size(); ++i) {
        pieces[i].begin = starts.at(i);
        pieces[i].last = i + 1 == starts.size();
        pieces[i].end = pieces[i].last ? text.size() : starts.at(i + 1);
    }
    return pieces;
}

void readPiece(const QByteArray& text, tagPiece* piece)
{
    CSegmentText document;
    document.appendOwn("<dict>");
    document.appendFile(text, piece->begin, piece->end);
    if (!piece->last)
        document.appendOwn("</dict>");
    CLibraryParser parser(document);
    piece->ok = parser.parseTrackPiece(&piece->index, piece->last);
}

// Reads the text outside the track list: the head up to the Tracks <dict>,
// our own </dict>, then the text from tailBegin on.
bool readOutside(const QByteArray& text, qint64 start, qint64 tracksBegin, qint64 tailBegin,
                 bool ownClose, CLibraryIndex* outside)
{
    CSegmentText rest;
    rest.appendFile(text, start, tracksBegin);
    if (ownClose)
        rest.appendOwn("</dict>");
    rest.appendFile(text, tailBegin, text.size());
    CLibraryParser parser(rest);
    return parser.parseDocument(outside, true);
}

// True when only white space and the track list's </dict> lie in [from, to).
bool onlyListEnd(const QByteArray& text, qint64 from, qint64 to)
{
    static const QByteArray close("</dict>");
    from = skipXmlBlanks(text, from);
    if (to - from < close.size() || !startsWithAt(text, from, close.constData()))
        return false;
    for (from += close.size(); from < to; ++from)
        if (!isXmlBlank(text.at(from)))
            return false;
    return true;
}

void merge(CLibraryIndex* into, CLibraryIndex&& from)
{
    into->tracks.append(std::move(from.tracks));
    into->otherIds.unite(from.otherIds);
    into->otherNumbers.append(from.otherNumbers);
    into->maxId = qMax(into->maxId, from.maxId);
}

// Reads the track list in pieces and, at the same time, the rest of the
// text from the likely end of the list on. False when anything does not
// fit together.
bool indexInPieces(const QByteArray& text, qint64 start, qint64 tracksBegin, qint64 chunkBytes,
                   CLibraryIndex* index)
{
    const qint64 guess = likelyTracksEnd(text, tracksBegin);
    QList<tagPiece> pieces = cutPieces(text, tracksBegin, chunkBytes);
    std::vector<std::thread> threads;
    CLibraryIndex outside;
    bool outsideOk = false;
    if (guess < text.size())
        threads.emplace_back([&] { outsideOk = readOutside(text, start, tracksBegin, guess, true, &outside); });
    for (qsizetype i = 1; i < pieces.size(); ++i)
        threads.emplace_back(readPiece, std::cref(text), &pieces[i]);
    readPiece(text, &pieces[0]);
    for (std::thread& thread : threads)
        thread.join();
    for (const tagPiece& piece : pieces)
        if (!piece.ok)
            return false;

    CLibraryIndex result;
    for (tagPiece& piece : pieces)
        merge(&result, std::move(piece.index));
    result.tracksBegin = tracksBegin;
    result.tracksInsert = pieces.last().index.tracksInsert;
    if (!outsideOk || !onlyListEnd(text, result.tracksInsert, guess)) {
        outside = CLibraryIndex();
        if (!readOutside(text, start, tracksBegin, result.tracksInsert, false, &outside))
            return false;
    }
    result.items = std::move(outside.items);
    result.playlists = std::move(outside.playlists);
    result.maxId = qMax(result.maxId, outside.maxId);
    *index = std::move(result);
    return true;
}

int indexInOneReader(const QByteArray& text, qint64 start, CLibraryIndex* index, QString* error)
{
    CSegmentText whole;
    whole.appendFile(text, start, text.size());
    CLibraryParser parser(whole);
    CLibraryIndex result;
    if (!parser.parseDocument(&result, false)) {
        *error = parser.error();
        return parser.noTracks() ? AGENT_ERR_NO_TRACKS : AGENT_ERR_FORMAT;
    }
    *index = std::move(result);
    return AGENT_OK;
}

// Of several tracks with one persistent ID only the first can be addressed.
void indexIds(CLibraryIndex* index)
{
    QList<CTrackRecord> kept;
    kept.reserve(index->tracks.size());
    index->byId.reserve(index->tracks.size());
    for (CTrackRecord& track : index->tracks) {
        const QByteArray id = track.value(SK_PERSISTENT_ID);
        if (index->byId.contains(id) || index->otherIds.contains(id)) {
            index->otherIds.insert(id);
            index->otherNumbers.append(track.value(SK_TRACK_ID).toLongLong());
            continue;
        }
        index->byId.insert(id, int(kept.size()));
        kept.append(std::move(track));
    }
    index->tracks = std::move(kept);
}

} // namespace

int IndexLibrary(const QByteArray& text, qint64 start, CLibraryIndex* index, QString* error,
                 qint64 chunkBytes)
{
    const char* data = text.constData() + start;
    const qint64 size = text.size() - start;
    // Offsets are mapped back to UTF-8 bytes; a NUL betrays UTF-16.
    if (std::memchr(data, '\0', size_t(size)) || !isValidUtf8(data, size)) {
        *error = QStringLiteral("the file is not UTF-8 text");
        return AGENT_ERR_FORMAT;
    }
    CSegmentText whole;
    whole.appendFile(text, start, text.size());
    CLibraryParser head(whole);
    qint64 tracksBegin = -1;
    if (!head.scanHead(&tracksBegin)) {
        *error = head.error();
        return head.noTracks() ? AGENT_ERR_NO_TRACKS : AGENT_ERR_FORMAT;
    }
    int result = AGENT_OK;
    if (!indexInPieces(text, start, tracksBegin, chunkBytes, index))
        result = indexInOneReader(text, start, index, error);
    if (result == AGENT_OK)
        indexIds(index);
    return result;
}
