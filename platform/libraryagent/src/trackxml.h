// The XML of single tracks when the library text is rewritten: changed
// fields patched into a track's own text, the entry of a new track, and
// that of a track brought back from its old text.
#pragma once

#include "trackrecord.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

// Dates of a track added by the agent, kept until the text holds it.
struct tagAddedDates
{
    QDateTime added;
    QDateTime modified;
};

// The element that holds a field's value: <string> or, for "Year",
// <integer>. False when the value cannot be held (not digits for a year,
// characters XML cannot carry).
bool FieldValueXml(const tagWritableInfo& field, const QByteArray& value, QByteArray* xml);

// dictText is a track's text from the end of its </key> to the end of its
// </dict>. Writes the fields named by track.edited with track's values
// into it, leaving every other byte as it was; an empty value removes the
// field. withIds writes track's Track ID and persistent ID too. False when
// dictText is no track dictionary.
bool PatchTrackXml(const QByteArray& dictText, const CTrackRecord& track, QByteArray* out, QString* error,
                   bool withIds = false);

// The whole entry of a new track: indent, <key>ID</key>, newline, its
// <dict>. *valueOffset receives the offset just after the </key>.
bool NewTrackXml(const CTrackRecord& track, const tagAddedDates& dates, const QByteArray& indent,
                 QByteArray* out, qint64* valueOffset);
// The same for a track brought back: dictText, its old text as for
// PatchTrackXml, with track's IDs and edited fields.
bool RestoredTrackXml(const QByteArray& dictText, const CTrackRecord& track, const QByteArray& indent,
                      QByteArray* out, qint64* valueOffset, QString* error);
// The entry of a track added to the text: brought back from dict, its old
// text, when there is one, else made from its values. False, error saying
// why, when the library cannot hold it.
bool AddedTrackXml(const CTrackRecord& track, const QByteArray& dict, const tagAddedDates& dates,
                   const QByteArray& indent, QByteArray* out, qint64* valueOffset, QString* error);
// A playlist item's text with another Track ID; empty when it has none.
QByteArray ItemWithTrackId(const QByteArray& itemXml, const QByteArray& trackId);
