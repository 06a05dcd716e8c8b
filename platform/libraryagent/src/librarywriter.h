// Composes the new library text from the old one and the pending changes,
// then moves every place the index knows to the new text.
#pragma once

#include "library.h"

#include <QByteArray>
#include <QList>

class CLibraryWriter
{
public:
    explicit CLibraryWriter(CLibrary& library) : m_library(library) {}

    // The new text: the old one with removed tracks and their playlist
    // entries cut out, changed fields patched in, new tracks added last,
    // and the items of tracks brought back in their old playlist places.
    // The pieces point into the old text and into this object.
    bool compose(QList<QByteArrayView>* pieces, QString* error);
    // After the new text is on disk: the library holds it from now on.
    void adopt(const QByteArray& text);

private:
    enum tagEditKind { EK_REMOVE_TRACK, EK_PATCH_TRACK, EK_INSERT_TRACKS, EK_REMOVE_ITEM, EK_INSERT_ITEM };
    struct tagEdit
    {
        qint64 begin;
        qint64 end;
        QByteArray with;
        tagEditKind kind;
        int track; // for EK_PATCH_TRACK
        qint64 newBegin = -1;
        tagPlaylistItem item{-1, -1, -1, -1}; // for EK_INSERT_ITEM: the item's Track ID and playlist
    };
    struct tagInserted
    {
        int track;
        qint64 begin;
        qint64 valueBegin;
        qint64 end;
    };

    bool collectTracks(QString* error);
    bool collectInsert(QString* error);
    bool entryOf(const CTrackRecord& track, const QByteArray& indent, QByteArray* entry, qint64* valueOffset,
                 QString* error) const;
    void collectPlaces(const CTrackRecord& track);
    qint64 placeOffset(const tagPlaylistPlace& place, int* playlist) const;
    void collectItems();
    qint64 mapBegin(qint64 at) const;
    qint64 mapEnd(qint64 at) const;
    void moveTracks();
    void moveItems();

    CLibrary& m_library;
    QList<tagEdit> m_edits;
    QList<qint64> m_deltaBefore; // sum of size changes of the edits before edit i
    QList<tagInserted> m_inserted;
    QSet<qint64> m_removedTrackIds;
    int m_insertEdit = -1;
};
