#include "librarywriter.h"

#include <algorithm>

bool CLibraryWriter::compose(QList<QByteArrayView>* pieces, QString* error)
{
    m_edits.clear();
    if (!collectTracks(error) || !collectInsert(error))
        return false;
    collectItems();
    // Stable: items brought back into one place keep the order they came in.
    std::stable_sort(m_edits.begin(), m_edits.end(), [](const tagEdit& a, const tagEdit& b) {
        return a.begin != b.begin ? a.begin < b.begin : a.end < b.end;
    });
    const QByteArray& old = m_library.m_text;
    pieces->clear();
    m_deltaBefore.clear();
    qint64 at = 0, written = 0, delta = 0;
    for (int i = 0; i < m_edits.size(); ++i) {
        tagEdit& edit = m_edits[i];
        pieces->append(QByteArrayView(old.constData() + at, edit.begin - at));
        written += edit.begin - at;
        edit.newBegin = written;
        pieces->append(QByteArrayView(edit.with));
        written += edit.with.size();
        at = edit.end;
        m_deltaBefore.append(delta);
        delta += edit.with.size() - (edit.end - edit.begin);
        if (edit.kind == EK_INSERT_TRACKS)
            m_insertEdit = i;
    }
    m_deltaBefore.append(delta);
    pieces->append(QByteArrayView(old.constData() + at, old.size() - at));
    return true;
}

bool CLibraryWriter::collectTracks(QString* error)
{
    const QByteArray& old = m_library.m_text;
    const QList<CTrackRecord>& tracks = m_library.m_index.tracks;
    for (int i = 0; i < tracks.size(); ++i) {
        const CTrackRecord& track = tracks.at(i);
        if (track.added || track.begin < 0)
            continue;
        if (track.deleted) {
            m_edits.append({track.begin, track.end, QByteArray(), EK_REMOVE_TRACK, i});
            m_removedTrackIds.insert(track.value(SK_TRACK_ID).toLongLong());
        } else if (track.edited) {
            QByteArray patched;
            const QByteArray dict = old.mid(track.valueBegin, track.end - track.valueBegin);
            if (!PatchTrackXml(dict, track, &patched, error))
                return false;
            m_edits.append({track.valueBegin, track.end, patched, EK_PATCH_TRACK, i});
        }
    }
    return true;
}

bool CLibraryWriter::collectInsert(QString* error)
{
    const QList<CTrackRecord>& tracks = m_library.m_index.tracks;
    const QByteArray indent = m_library.entryIndent();
    QByteArray chunk;
    for (int i = 0; i < tracks.size(); ++i) {
        const CTrackRecord& track = tracks.at(i);
        if (!track.added || track.deleted)
            continue;
        QByteArray entry;
        qint64 valueOffset = 0;
        if (!entryOf(track, indent, &entry, &valueOffset, error))
            return false;
        m_inserted.append({i, chunk.size(), chunk.size() + valueOffset, chunk.size() + entry.size()});
        chunk += entry;
        collectPlaces(track);
    }
    if (!chunk.isEmpty()) {
        const qint64 at = m_library.m_index.tracksInsert;
        m_edits.append({at, at, chunk, EK_INSERT_TRACKS, -1});
    }
    return true;
}

bool CLibraryWriter::entryOf(const CTrackRecord& track, const QByteArray& indent, QByteArray* entry,
                             qint64* valueOffset, QString* error) const
{
    const QByteArray id = track.value(SK_PERSISTENT_ID);
    return AddedTrackXml(track, m_library.m_restored.value(id).dict, m_library.m_added.value(id), indent, entry,
                         valueOffset, error);
}

void CLibraryWriter::collectPlaces(const CTrackRecord& track)
{
    const auto restored = m_library.m_restored.constFind(track.value(SK_PERSISTENT_ID));
    if (restored == m_library.m_restored.constEnd())
        return;
    const qint64 trackId = track.value(SK_TRACK_ID).toLongLong();
    for (const tagPlaylistPlace& place : restored->places) {
        int playlist = -1;
        const qint64 at = placeOffset(place, &playlist);
        const QByteArray item = ItemWithTrackId(place.itemXml, track.value(SK_TRACK_ID));
        if (at < 0 || item.isEmpty())
            continue;
        tagEdit edit{at, at, item, EK_INSERT_ITEM, -1};
        edit.item = {-1, -1, trackId, playlist};
        m_edits.append(edit);
    }
}

// Before the item that now has the place's ordinal, else after the
// playlist's last; -1 when the playlist is gone or has nowhere to put it.
qint64 CLibraryWriter::placeOffset(const tagPlaylistPlace& place, int* playlist) const
{
    const CLibraryIndex& index = m_library.m_index;
    const auto found = std::find_if(index.playlists.cbegin(), index.playlists.cend(),
                                    [&](const tagPlaylist& p) { return p.id == place.playlistId; });
    if (found == index.playlists.cend())
        return -1;
    *playlist = int(found - index.playlists.cbegin());
    if (place.ordinal < found->itemCount)
        return index.items.at(found->firstItem + int(place.ordinal)).begin;
    if (found->itemCount > 0)
        return index.items.at(found->firstItem + found->itemCount - 1).end;
    // An empty element, <array/>, has no inside to put an item into.
    const QByteArray& text = m_library.m_text;
    return found->itemsBegin >= 2 && text.at(found->itemsBegin - 2) != '/' ? found->itemsBegin : -1;
}

void CLibraryWriter::collectItems()
{
    if (m_removedTrackIds.isEmpty())
        return;
    for (const tagPlaylistItem& item : m_library.m_index.items)
        if (m_removedTrackIds.contains(item.trackId))
            m_edits.append({item.begin, item.end, QByteArray(), EK_REMOVE_ITEM, -1});
}

// A place where a kept region starts moves with every edit that ends at or
// before it; one where a region ends, not with a text inserted right there.
qint64 CLibraryWriter::mapBegin(qint64 at) const
{
    const auto after = std::upper_bound(m_edits.cbegin(), m_edits.cend(), at,
                                        [](qint64 p, const tagEdit& e) { return p < e.end; });
    return at + m_deltaBefore.at(after - m_edits.cbegin());
}

qint64 CLibraryWriter::mapEnd(qint64 at) const
{
    auto after = std::upper_bound(m_edits.cbegin(), m_edits.cend(), at,
                                  [](qint64 p, const tagEdit& e) { return p < e.end; });
    while (after != m_edits.cbegin() && (after - 1)->begin == at && (after - 1)->end == at)
        --after;
    return at + m_deltaBefore.at(after - m_edits.cbegin());
}

void CLibraryWriter::adopt(const QByteArray& text)
{
    moveTracks();
    moveItems();
    CLibraryIndex& index = m_library.m_index;
    index.tracksInsert = m_insertEdit >= 0
        ? m_edits.at(m_insertEdit).newBegin + m_edits.at(m_insertEdit).with.size()
        : mapEnd(index.tracksInsert);
    index.tracksBegin = mapBegin(index.tracksBegin);
    m_library.m_added.clear();
    m_library.m_restored.clear();
    m_library.m_text = text;
}

void CLibraryWriter::moveTracks()
{
    QList<CTrackRecord>& tracks = m_library.m_index.tracks;
    QHash<int, const tagEdit*> patches;
    for (const tagEdit& edit : m_edits)
        if (edit.kind == EK_PATCH_TRACK)
            patches.insert(edit.track, &edit);
    for (int i = 0; i < tracks.size(); ++i) {
        CTrackRecord& track = tracks[i];
        if (track.deleted) {
            track.begin = track.valueBegin = track.end = -1;
        } else if (const tagEdit* patch = patches.value(i)) {
            track.begin = mapBegin(track.begin);
            track.valueBegin = patch->newBegin;
            track.end = patch->newBegin + patch->with.size();
        } else if (!track.added) {
            track.begin = mapBegin(track.begin);
            track.valueBegin = mapBegin(track.valueBegin);
            track.end = mapEnd(track.end);
        }
        track.edited = 0;
    }
    const qint64 base = m_insertEdit >= 0 ? m_edits.at(m_insertEdit).newBegin : 0;
    for (const tagInserted& inserted : m_inserted) {
        CTrackRecord& track = tracks[inserted.track];
        track.begin = base + inserted.begin;
        track.valueBegin = base + inserted.valueBegin;
        track.end = base + inserted.end;
        track.added = false;
    }
}

void CLibraryWriter::moveItems()
{
    CLibraryIndex& index = m_library.m_index;
    QList<tagPlaylistItem> kept;
    kept.reserve(index.items.size());
    for (const tagPlaylistItem& item : index.items) {
        if (m_removedTrackIds.contains(item.trackId))
            continue;
        kept.append({mapBegin(item.begin), mapEnd(item.end), item.trackId, item.playlist});
    }
    for (const tagEdit& edit : m_edits)
        if (edit.kind == EK_INSERT_ITEM)
            kept.append({edit.newBegin, edit.newBegin + edit.with.size(), edit.item.trackId, edit.item.playlist});
    std::sort(kept.begin(), kept.end(),
              [](const tagPlaylistItem& a, const tagPlaylistItem& b) { return a.begin < b.begin; });
    // An insert at the start of an array lies after its <array> tag.
    for (tagPlaylist& playlist : index.playlists) {
        playlist.itemsBegin = playlist.itemsBegin < 0 ? -1 : mapEnd(playlist.itemsBegin);
        playlist.itemCount = 0;
    }
    for (int i = 0; i < kept.size(); ++i) {
        tagPlaylist& playlist = index.playlists[kept.at(i).playlist];
        if (playlist.itemCount++ == 0)
            playlist.firstItem = i;
    }
    index.items = std::move(kept);
    m_library.m_itemsOfTrack.clear();
}
