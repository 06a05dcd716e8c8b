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

int ToTagBits(int fieldBits)
{
    int bits = 0;
    for (const tagTrackField& field : kTrackFields) {
        if (field.tagBit && (fieldBits & field.bit))
            bits |= field.tagBit;
    }
    return bits;
}

int FromTagBits(int tagBits)
{
    int bits = 0;
    for (const tagTrackField& field : kTrackFields) {
        if (field.tagBit && (tagBits & field.tagBit))
            bits |= field.bit;
    }
    return bits;
}
