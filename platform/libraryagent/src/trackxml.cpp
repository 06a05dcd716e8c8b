#include "trackxml.h"

#include "location.h"
#include "plist.h"
#include "segmenttext.h"

#include <QXmlStreamReader>

#include <algorithm>

namespace {

// One entry of the track's dictionary, in bytes of its text.
struct tagEntry
{
    QString key;
    qint64 begin;      // white space before the <key> included
    qint64 valueBegin; // the value's start tag
    qint64 valueEnd;
};

struct tagTrackLayout
{
    QList<tagEntry> entries;
    qint64 contentEnd = -1; // before the white space ahead of </dict>
};

// Walks the top level of the dictionary; values nested deeper are passed over.
bool readLayout(const QByteArray& dictText, tagTrackLayout* layout, QString* error)
{
    CSegmentText document;
    document.appendFile(dictText, 0, dictText.size());
    CSegmentDevice device(document);
    CUtf8OffsetMap map(document);
    QXmlStreamReader xml(&device);
    xml.setNamespaceProcessing(false);
    int depth = 0;
    qint64 solid = 0;
    tagEntry entry;
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType type = xml.readNext();
        const qint64 before = solid;
        if (type == QXmlStreamReader::StartElement) {
            solid = xml.characterOffset();
            ++depth;
            if (depth == 1 && xml.name() != QLatin1String("dict"))
                break;
            if (depth == 2 && xml.name() == QLatin1String("key")) {
                entry = {QString(), map.byteAt(before), -1, -1};
            } else if (depth == 2) {
                entry.valueBegin = skipXmlBlanks(dictText, map.byteAt(before));
            }
        } else if (type == QXmlStreamReader::EndElement) {
            solid = xml.characterOffset();
            --depth;
            if (depth == 1 && xml.name() != QLatin1String("key")) {
                entry.valueEnd = map.byteAt(solid);
                layout->entries.append(entry);
            } else if (depth == 0) {
                layout->contentEnd = map.byteAt(before);
                return true;
            }
        } else if (type == QXmlStreamReader::Characters && depth == 2 && entry.valueBegin < 0) {
            entry.key += xml.text();
        }
    }
    *error = xml.hasError() ? xml.errorString() : QStringLiteral("the track's text is no dictionary");
    return false;
}

struct tagSplice
{
    qint64 begin;
    qint64 end;
    QByteArray with;
};

bool spliceField(const QByteArray& dictText, const tagTrackLayout& layout, const tagWritableInfo& field,
                 const QByteArray& value, QList<tagSplice>* splices)
{
    const auto entry = std::find_if(layout.entries.cbegin(), layout.entries.cend(),
                                    [&](const tagEntry& e) { return e.key == QLatin1String(field.key); });
    QByteArray xml;
    if (!value.isEmpty() && !FieldValueXml(field, value, &xml))
        return false;
    if (entry != layout.entries.cend()) {
        if (value.isEmpty())
            splices->append({entry->begin, entry->valueEnd, QByteArray()});
        else
            splices->append({entry->valueBegin, entry->valueEnd, xml});
        return true;
    }
    if (value.isEmpty())
        return true;
    // A new field goes last, indented like the first.
    QByteArray indent("\n");
    if (!layout.entries.isEmpty()) {
        const qint64 begin = layout.entries.first().begin;
        indent = dictText.mid(begin, skipXmlBlanks(dictText, begin) - begin);
    }
    splices->append({layout.contentEnd, layout.contentEnd,
                     indent + "<key>" + field.key + "</key>" + xml});
    return true;
}

QVariant integerOf(const QByteArray& text)
{
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok);
    return ok ? QVariant(value) : QVariant();
}

} // namespace

bool FieldValueXml(const tagWritableInfo& field, const QByteArray& value, QByteArray* xml)
{
    QVariant element;
    if (field.integer) {
        bool ok = false;
        const qlonglong number = value.toLongLong(&ok);
        if (!ok || number < 0 || !std::all_of(value.cbegin(), value.cend(), [](char c) { return c >= '0' && c <= '9'; }))
            return false;
        element = number;
    } else {
        const QString text = QString::fromUtf8(value);
        if (text.toUtf8() != value)
            return false;
        element = text;
    }
    return PlistWriteValue(element, 0, xml) == PLIST_OK;
}

bool PatchTrackXml(const QByteArray& dictText, const CTrackRecord& track, QByteArray* out, QString* error,
                   bool withIds)
{
    // Spliced as the writable fields are; their field bit is not used.
    static const tagWritableInfo kIds[] = {{tagWritableField(0), "Track ID", SK_TRACK_ID, true},
                                           {tagWritableField(0), "Persistent ID", SK_PERSISTENT_ID, false}};
    tagTrackLayout layout;
    if (!readLayout(dictText, &layout, error))
        return false;
    QList<const tagWritableInfo*> fields;
    for (int i = 0; i < kWritableFieldCount; ++i)
        if (track.edited & WritableField(i).field)
            fields.append(&WritableField(i));
    if (withIds)
        fields << &kIds[0] << &kIds[1];
    QList<tagSplice> splices;
    for (const tagWritableInfo* field : fields) {
        if (!spliceField(dictText, layout, *field, track.value(field->served), &splices)) {
            *error = QStringLiteral("the value of \"%1\" cannot be written").arg(QLatin1String(field->key));
            return false;
        }
    }
    std::sort(splices.begin(), splices.end(), [](const tagSplice& a, const tagSplice& b) {
        return a.begin < b.begin;
    });
    QByteArray patched;
    patched.reserve(dictText.size() + 256);
    qint64 at = 0;
    for (const tagSplice& splice : splices) {
        patched.append(dictText.constData() + at, splice.begin - at).append(splice.with);
        at = splice.end;
    }
    patched.append(dictText.constData() + at, dictText.size() - at);
    *out = patched;
    return true;
}

bool NewTrackXml(const CTrackRecord& track, const tagAddedDates& dates, const QByteArray& indent,
                 QByteArray* out, qint64* valueOffset)
{
    const auto text = [&](tagServedKey key) { return QString::fromUtf8(track.value(key)); };
    PlistOrderedDict dict;
    const auto add = [&](const char* key, const QVariant& value) {
        if (value.isValid() && !(value.typeId() == QMetaType::QString && value.toString().isEmpty()))
            dict.append(qMakePair(QString::fromLatin1(key), value));
    };
    add("Track ID", integerOf(track.value(SK_TRACK_ID)));
    add("Name", text(SK_NAME));
    add("Artist", text(SK_ARTIST));
    add("Album", text(SK_ALBUM));
    add("Genre", text(SK_GENRE));
    add("Size", integerOf(track.value(SK_SIZE)));
    add("Total Time", integerOf(track.value(SK_TOTAL_TIME)));
    add("Year", integerOf(track.value(SK_YEAR)));
    add("Date Modified", dates.modified);
    add("Date Added", dates.added);
    add("Bit Rate", integerOf(track.value(SK_BITRATE)));
    add("Persistent ID", text(SK_PERSISTENT_ID));
    add("Track Type", QStringLiteral("File"));
    add("Location", LocationOfLocalPath(text(SK_LOCATION)));
    const int depth = int(indent.size() - indent.lastIndexOf('\n') - 1);
    QByteArray value;
    if (PlistWriteValue(QVariant::fromValue(dict), depth, &value) != PLIST_OK)
        return false;
    QByteArray entry = indent + "<key>" + track.value(SK_TRACK_ID) + "</key>";
    *valueOffset = entry.size();
    entry += '\n' + value;
    *out = entry;
    return true;
}

bool RestoredTrackXml(const QByteArray& dictText, const CTrackRecord& track, const QByteArray& indent,
                      QByteArray* out, qint64* valueOffset, QString* error)
{
    QByteArray dict;
    if (!PatchTrackXml(dictText, track, &dict, error, true))
        return false;
    const QByteArray key = indent + "<key>" + track.value(SK_TRACK_ID) + "</key>";
    *valueOffset = key.size();
    *out = key + dict;
    return true;
}

bool AddedTrackXml(const CTrackRecord& track, const QByteArray& dict, const tagAddedDates& dates,
                   const QByteArray& indent, QByteArray* out, qint64* valueOffset, QString* error)
{
    if (!dict.isEmpty())
        return RestoredTrackXml(dict, track, indent, out, valueOffset, error);
    if (NewTrackXml(track, dates, indent, out, valueOffset))
        return true;
    *error = QStringLiteral("the new track %1 cannot be written").arg(QString::fromUtf8(track.value(SK_NAME)));
    return false;
}

QByteArray ItemWithTrackId(const QByteArray& itemXml, const QByteArray& trackId)
{
    const qsizetype key = itemXml.indexOf("<key>Track ID</key>");
    const qsizetype open = key < 0 ? -1 : itemXml.indexOf("<integer>", key);
    const qsizetype close = open < 0 ? -1 : itemXml.indexOf("</integer>", open);
    if (close < 0)
        return QByteArray();
    const qsizetype valueBegin = open + qsizetype(qstrlen("<integer>"));
    return itemXml.left(valueBegin) + trackId + itemXml.mid(close);
}
