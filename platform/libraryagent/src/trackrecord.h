// One served track of the library: the values the engine asks for, packed
// into one buffer, and where the track's entry lies in the library text.
#pragma once

#include <QByteArray>

// The keys the engine asks FindAttributeValue_kwr for.
enum tagServedKey {
    SK_PERSISTENT_ID,
    SK_TRACK_ID,
    SK_NAME,
    SK_ARTIST,
    SK_ALBUM,
    SK_SIZE,
    SK_TOTAL_TIME,
    SK_LOCATION,
    SK_YEAR,
    SK_GENRE,
    SK_BITRATE,
    SK_COUNT
};

// The engine's name of a served key ("PersistentID", "TotalTime", ...).
const char* ServedKeyName(tagServedKey key);
// SK_COUNT when name is none of them.
tagServedKey ServedKeyOf(const char* name);

// The fields SetAttributeValue_kwr may change, as bits of CTrackRecord::edited.
enum tagWritableField { WF_NAME = 1, WF_ARTIST = 2, WF_ALBUM = 4, WF_YEAR = 8, WF_GENRE = 16 };
constexpr int kWritableFieldCount = 5;
// The field's key both in the library and for the engine, its served key,
// and whether the library holds it as <integer>.
struct tagWritableInfo
{
    tagWritableField field;
    const char* key;
    tagServedKey served;
    bool integer;
};
const tagWritableInfo& WritableField(int i);
// Null when key names no writable field.
const tagWritableInfo* WritableFieldOf(const char* key);

class CTrackRecord
{
public:
    CTrackRecord();

    // Null when the track has no such value. Valid until the value changes.
    const char* text(tagServedKey key) const;
    QByteArray value(tagServedKey key) const;
    // An empty value removes the key. The buffer that held the old values
    // is returned, for callers that must keep handed-out texts alive.
    QByteArray setValue(tagServedKey key, const QByteArray& value);
    // Takes values built elsewhere: texts as m_texts, at as m_at.
    void adopt(const QByteArray& texts, const qint32* at);

    // The entry in the library text: begin includes the white space before
    // the track's <key>, valueBegin is the end of that </key>, end the end
    // of the track's </dict>. -1 while the track is not in the text.
    qint64 begin = -1;
    qint64 valueBegin = -1;
    qint64 end = -1;
    quint8 edited = 0; // tagWritableField bits changed since the text was written
    bool added = false;
    bool deleted = false;

private:
    QByteArray m_texts;    // every value followed by a NUL
    qint32 m_at[SK_COUNT]; // start of each value in m_texts, -1 when absent
};
