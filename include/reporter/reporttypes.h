// Plain types of the report page: category kinds, the converter slot and
// the fix state a report item holds while its lookup runs.
#pragma once

#include "cadenzo.h"

// Category kinds; the converter slots use the same numbers.
enum tagCategoryKind {
    CAT_UNRECOGNIZED = 1,
    CAT_ARTWORK = 2,
    CAT_ARTIST = 3,
    CAT_ALBUM = 4,
    CAT_UNWRITABLE = 5,
};

enum tagTrackKind { TK_NONE = 0, TK_UNRECOGNIZED = 1, TK_ARTWORK = 2, TK_ARTIST = 3, TK_ALBUM = 4 };

// Stored in report items only while their conversion or lookup runs; the
// engine never reports it.
constexpr tagDownloadState DS_FIXING = tagDownloadState(1);

// One of the report's four converter slots. Busy from the moment an item
// is put in until its lookup result frees it. GUI thread only.
struct tagTrack
{
    int kind = TK_NONE;
    void* item = nullptr;  // CListItem for TK_ARTWORK, else CTreeItem
};

constexpr int kConverterSlots = 4;
