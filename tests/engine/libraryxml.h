// Writes iTunes library XML files (Apple property lists, as iTunes writes
// them) for tests and benchmarks of the loader.
#pragma once

#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace libraryxml {

struct Track
{
    int trackId = 0;
    QString persistentId;   // 16 hex digits
    QString name;
    QString artist;
    QString album;
    QString genre;
    int year = 0;           // 0: no "Year" key
    qint64 size = 0;
    int totalTime = 0;      // ms
    int bitRate = 0;        // kbit/s
    QString location;       // a URL as iTunes writes it; empty: no "Location" key
    QString trackType = QStringLiteral("File");
};

// "file:///a%20b.mp3", the form of current libraries.
inline QString fileUrl(const QString& path)
{
    return QString::fromUtf8(QUrl::fromLocalFile(path).toEncoded());
}

// "file://localhost/a%20b.mp3", the form of older libraries.
inline QString localhostUrl(const QString& path)
{
    QString url = fileUrl(path);
    return url.replace(0, int(qstrlen("file://")), QStringLiteral("file://localhost"));
}

inline void writeKeyValue(QXmlStreamWriter& xml, const QString& key, const QString& type,
                          const QString& value)
{
    xml.writeTextElement(QStringLiteral("key"), key);
    xml.writeTextElement(type, value);
}

inline void writeTrack(QXmlStreamWriter& xml, const Track& t)
{
    const QString integer = QStringLiteral("integer"), string = QStringLiteral("string");
    xml.writeTextElement(QStringLiteral("key"), QString::number(t.trackId));
    xml.writeStartElement(QStringLiteral("dict"));
    writeKeyValue(xml, QStringLiteral("Track ID"), integer, QString::number(t.trackId));
    writeKeyValue(xml, QStringLiteral("Size"), integer, QString::number(t.size));
    writeKeyValue(xml, QStringLiteral("Total Time"), integer, QString::number(t.totalTime));
    if (t.year)
        writeKeyValue(xml, QStringLiteral("Year"), integer, QString::number(t.year));
    writeKeyValue(xml, QStringLiteral("Bit Rate"), integer, QString::number(t.bitRate));
    writeKeyValue(xml, QStringLiteral("Persistent ID"), string, t.persistentId);
    writeKeyValue(xml, QStringLiteral("Track Type"), string, t.trackType);
    writeKeyValue(xml, QStringLiteral("Name"), string, t.name);
    writeKeyValue(xml, QStringLiteral("Artist"), string, t.artist);
    writeKeyValue(xml, QStringLiteral("Album"), string, t.album);
    writeKeyValue(xml, QStringLiteral("Genre"), string, t.genre);
    if (!t.location.isEmpty())
        writeKeyValue(xml, QStringLiteral("Location"), string, t.location);
    xml.writeEndElement();
}

inline void writePlaylist(QXmlStreamWriter& xml, const QList<Track>& tracks)
{
    xml.writeTextElement(QStringLiteral("key"), QStringLiteral("Playlists"));
    xml.writeStartElement(QStringLiteral("array"));
    xml.writeStartElement(QStringLiteral("dict"));
    writeKeyValue(xml, QStringLiteral("Name"), QStringLiteral("string"), QStringLiteral("Library"));
    xml.writeTextElement(QStringLiteral("key"), QStringLiteral("Playlist Items"));
    xml.writeStartElement(QStringLiteral("array"));
    for (const Track& t : tracks) {
        xml.writeStartElement(QStringLiteral("dict"));
        writeKeyValue(xml, QStringLiteral("Track ID"), QStringLiteral("integer"), QString::number(t.trackId));
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndElement();
}

// Writes the library to path; false when the file cannot be written.
inline bool write(const QString& path, const QList<Track>& tracks)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QXmlStreamWriter xml(&file);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeDTD(QStringLiteral("<!DOCTYPE plist PUBLIC \"-//Apple Computer//DTD PLIST 1.0//EN\" "
                                "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">"));
    xml.writeStartElement(QStringLiteral("plist"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("1.0"));
    xml.writeStartElement(QStringLiteral("dict"));
    writeKeyValue(xml, QStringLiteral("Major Version"), QStringLiteral("integer"), QStringLiteral("1"));
    writeKeyValue(xml, QStringLiteral("Library Persistent ID"), QStringLiteral("string"),
                  QStringLiteral("0123456789ABCDEF"));
    xml.writeTextElement(QStringLiteral("key"), QStringLiteral("Tracks"));
    xml.writeStartElement(QStringLiteral("dict"));
    for (const Track& t : tracks)
        writeTrack(xml, t);
    xml.writeEndElement();
    writePlaylist(xml, tracks);
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    return !xml.hasError() && file.error() == QFileDevice::NoError;
}

// The tracks as the file itself holds them, no journal applied: persistent
// ID -> key -> value text.
inline QMap<QString, QMap<QString, QString>> read(const QString& path)
{
    QMap<QString, QMap<QString, QString>> tracks;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return tracks;
    QXmlStreamReader xml(&file);
    int depth = 0; // of dict elements
    bool inTracks = false;
    QString key;
    QMap<QString, QString> track;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("dict")) {
            ++depth;
            inTracks = inTracks || (depth == 2 && key == QLatin1String("Tracks"));
            track.clear();
        } else if (xml.isStartElement() && xml.name() == QLatin1String("key")) {
            key = xml.readElementText();
        } else if (xml.isStartElement() && inTracks && depth == 3) {
            track.insert(key, xml.readElementText());
        } else if (xml.isEndElement() && xml.name() == QLatin1String("dict")) {
            if (inTracks && depth == 3)
                tracks.insert(track.value(QStringLiteral("Persistent ID")), track);
            inTracks = inTracks && depth != 2;
            --depth;
        }
    }
    return tracks;
}

// A 16-hex-digit persistent ID made from n.
inline QString persistentId(quint64 n)
{
    return QStringLiteral("%1").arg(n + 0xA000000000000000ULL, 16, 16, QLatin1Char('0')).toUpper();
}

// Tracks with a title and nothing else to say of the song, one over each
// file, with IDs from 1 and persistentId(0).
inline QList<Track> titledTracks(const QStringList& files)
{
    QList<Track> tracks;
    for (int i = 0; i < files.size(); ++i) {
        Track t;
        t.trackId = i + 1;
        t.persistentId = persistentId(quint64(i));
        t.name = QStringLiteral("Song %1").arg(i);
        t.totalTime = 5000;
        t.bitRate = 64;
        t.size = QFileInfo(files[i]).size();
        t.location = fileUrl(files[i]);
        tracks << t;
    }
    return tracks;
}

} // namespace libraryxml
