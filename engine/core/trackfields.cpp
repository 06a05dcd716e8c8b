#include "core/trackfields.h"

void CopyEditableFields(const tagMMusicInfo& from, tagMMusicInfo& to)
{
    for (const tagTrackField& field : kTrackFields) {
        if (isEditable(field))
            to.*field.member = from.*field.member;
    }
}

void TakeTagFields(const tagMusicTags& tags, tagMMusicInfo& info)
{
    for (const tagTrackField& field : kTrackFields) {
        if (field.tagMember)
            info.*field.member = tags.*field.tagMember;
    }
}

tagMusicTags TagFieldsOf(const tagMMusicInfo& info)
{
    tagMusicTags tags;
    for (const tagTrackField& field : kTrackFields) {
        if (field.tagMember)
            tags.*field.tagMember = info.*field.member;
    }
    return tags;
}

namespace {

// The bits of a mask of one kind (from) as the bits of another (to); a
// field without a bit of either kind is dropped.
int MapFieldBits(int bits, int tagTrackField::*from, int tagTrackField::*to)
{
    int mapped = 0;
    for (const tagTrackField& field : kTrackFields) {
        if (field.*from && field.*to && (bits & field.*from))
            mapped |= field.*to;
    }
    return mapped;
}

} // namespace

int ToTagBits(int fieldBits)
{
    return MapFieldBits(fieldBits, &tagTrackField::bit, &tagTrackField::tagBit);
}

int FromTagBits(int tagBits)
{
    return MapFieldBits(tagBits, &tagTrackField::tagBit, &tagTrackField::bit);
}
