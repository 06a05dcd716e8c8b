#include "trackrecord.h"

#include <cstring>

namespace {

const char* const kServedNames[SK_COUNT] = {"PersistentID", "TrackID", "Name", "Artist", "Album", "Size",
                                            "TotalTime", "Location", "Year", "Genre", "Bitrate"};

const tagWritableInfo kWritable[kWritableFieldCount] = {
    {WF_NAME, "Name", SK_NAME, false},    {WF_ARTIST, "Artist", SK_ARTIST, false},
    {WF_ALBUM, "Album", SK_ALBUM, false}, {WF_YEAR, "Year", SK_YEAR, true},
    {WF_GENRE, "Genre", SK_GENRE, false},
};

} // namespace

const char* ServedKeyName(tagServedKey key)
{
    return key >= 0 && key < SK_COUNT ? kServedNames[key] : "";
}

tagServedKey ServedKeyOf(const char* name)
{
    for (int key = 0; name && key < SK_COUNT; ++key)
        if (std::strcmp(name, kServedNames[key]) == 0)
            return tagServedKey(key);
    return SK_COUNT;
}

const tagWritableInfo& WritableField(int i)
{
    return kWritable[i];
}

const tagWritableInfo* WritableFieldOf(const char* key)
{
    for (const tagWritableInfo& info : kWritable)
        if (key && std::strcmp(key, info.key) == 0)
            return &info;
    return nullptr;
}

CTrackRecord::CTrackRecord()
{
    for (qint32& at : m_at)
        at = -1;
}

const char* CTrackRecord::text(tagServedKey key) const
{
    return m_at[key] < 0 ? nullptr : m_texts.constData() + m_at[key];
}

QByteArray CTrackRecord::value(tagServedKey key) const
{
    return m_at[key] < 0 ? QByteArray() : QByteArray(m_texts.constData() + m_at[key]);
}

QByteArray CTrackRecord::setValue(tagServedKey key, const QByteArray& value)
{
    // Appending to a fresh buffer keeps the old one, and so every text
    // handed out from it, untouched.
    QByteArray texts;
    texts.reserve(m_texts.size() + value.size() + 1);
    qint32 at[SK_COUNT];
    for (int k = 0; k < SK_COUNT; ++k) {
        const bool keep = k != key && m_at[k] >= 0;
        at[k] = keep ? qint32(texts.size()) : -1;
        if (keep)
            texts.append(m_texts.constData() + m_at[k]).append('\0');
    }
    if (!value.isEmpty()) {
        at[key] = qint32(texts.size());
        texts.append(value).append('\0');
    }
    QByteArray old = m_texts;
    m_texts = texts;
    std::memcpy(m_at, at, sizeof(m_at));
    return old;
}

void CTrackRecord::adopt(const QByteArray& texts, const qint32* at)
{
    // A copy of exactly the size needed: the builder's buffer is reused.
    m_texts = QByteArray(texts.constData(), texts.size());
    std::memcpy(m_at, at, sizeof(m_at));
}
