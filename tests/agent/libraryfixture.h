// Library files for the agent's tests, written the way iTunes writes them
// (or, with separateLines, the way Apple's own writer lays values out),
// and tools to compare what the file holds afterwards.
#pragma once

#include "plist.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QVariant>

namespace fixture {

using Dict = PlistOrderedDict;

inline QVariant value(const Dict& dict, const QString& key)
{
    for (const auto& entry : dict)
        if (entry.first == key)
            return entry.second;
    return QVariant();
}

inline void setValue(Dict* dict, const QString& key, const QVariant& v)
{
    for (auto& entry : *dict)
        if (entry.first == key) {
            entry.second = v;
            return;
        }
    dict->append(qMakePair(key, v));
}

inline void removeValue(Dict* dict, const QString& key)
{
    for (qsizetype i = 0; i < dict->size(); ++i)
        if (dict->at(i).first == key) {
            dict->removeAt(i);
            return;
        }
}

inline QString persistentId(int i)
{
    return QStringLiteral("%1").arg(0xA0000000ULL + quint64(i) * 7919, 16, 16, QLatin1Char('0')).toUpper();
}

// Track i of a generated library: a file under /music with every field the
// engine asks for, and a few it never touches.
inline Dict track(int i, const QString& name = QString())
{
    const QDateTime date(QDate(2013, 6, 19), QTime(8, 7, 24), Qt::UTC);
    return Dict{
        {QStringLiteral("Track ID"), qlonglong(1000 + i)},
        {QStringLiteral("Name"), name.isEmpty() ? QStringLiteral("Song %1").arg(i) : name},
        {QStringLiteral("Artist"), QStringLiteral("Artist %1").arg(i % 3)},
        {QStringLiteral("Album"), QStringLiteral("Album %1").arg(i % 2)},
        {QStringLiteral("Genre"), QStringLiteral("Jazz")},
        {QStringLiteral("Kind"), QStringLiteral("MPEG audio file")},
        {QStringLiteral("Size"), qlonglong(4000000 + i)},
        {QStringLiteral("Total Time"), qlonglong(200000 + i)},
        {QStringLiteral("Year"), qlonglong(1990 + i)},
        {QStringLiteral("Date Added"), date},
        {QStringLiteral("Bit Rate"), qlonglong(192)},
        {QStringLiteral("Compilation"), true},
        {QStringLiteral("Persistent ID"), persistentId(i)},
        {QStringLiteral("Track Type"), QStringLiteral("File")},
        {QStringLiteral("Location"), QStringLiteral("file:///music/Artist%20%1/Song%20%2.mp3").arg(i % 3).arg(i)},
        {QStringLiteral("File Folder Count"), qlonglong(4)},
    };
}

inline Dict playlist(int id, const QString& name, const QList<int>& tracks)
{
    QVariantList items;
    for (int t : tracks)
        items.append(QVariant::fromValue(Dict{{QStringLiteral("Track ID"), qlonglong(1000 + t)}}));
    return Dict{{QStringLiteral("Name"), name},
                {QStringLiteral("Playlist ID"), qlonglong(id)},
                {QStringLiteral("Playlist Persistent ID"), persistentId(900 + id)},
                {QStringLiteral("Smart Info"), QByteArray("\x01\x00\xff", 3)},
                {QStringLiteral("All Items"), true},
                {QStringLiteral("Playlist Items"), items}};
}

// A library of count tracks in two playlists, with tracks keyed by their
// Track ID as iTunes keys them.
inline Dict library(const QList<Dict>& tracks, const QList<Dict>& playlists)
{
    Dict list;
    for (const Dict& t : tracks)
        list.append(qMakePair(value(t, QStringLiteral("Track ID")).toString(), QVariant::fromValue(t)));
    QVariantList lists;
    for (const Dict& p : playlists)
        lists.append(QVariant::fromValue(p));
    return Dict{{QStringLiteral("Major Version"), qlonglong(1)},
                {QStringLiteral("Application Version"), QStringLiteral("12.6.0.100")},
                {QStringLiteral("Date"), QDateTime(QDate(2017, 3, 27), QTime(11, 36, 59), Qt::UTC)},
                {QStringLiteral("Library Persistent ID"), QStringLiteral("8C47D9EF24402883")},
                {QStringLiteral("Tracks"), QVariant::fromValue(list)},
                {QStringLiteral("Playlists"), lists},
                {QStringLiteral("Music Folder"), QStringLiteral("file:///music/")}};
}

inline QList<Dict> tracks(int count)
{
    QList<Dict> list;
    for (int i = 0; i < count; ++i)
        list.append(track(i));
    return list;
}

inline QList<int> range(int count)
{
    QList<int> list;
    for (int i = 0; i < count; ++i)
        list.append(i);
    return list;
}

// iTunes puts a key and a simple value on one line; containers open on
// the line after their key.
inline void writeValue(const QVariant& v, int depth, bool separateLines, QByteArray* out);

inline void writeEntries(const Dict& dict, int depth, bool separateLines, QByteArray* out)
{
    const QByteArray tabs(depth, '\t');
    out->append(tabs + "<dict>\n");
    for (const auto& entry : dict) {
        QByteArray key;
        PlistWriteValue(entry.first, 0, &key);
        key.replace("<string>", "<key>").replace("</string>", "</key>");
        const bool container = entry.second.metaType() == QMetaType::fromType<Dict>()
            || entry.second.metaType().id() == QMetaType::QVariantList;
        out->append(tabs + '\t' + key);
        if (container || separateLines) {
            out->append('\n');
            writeValue(entry.second, depth + 1, separateLines, out);
        } else {
            QByteArray element;
            PlistWriteValue(entry.second, 0, &element);
            out->append(element + '\n');
        }
    }
    out->append(tabs + "</dict>\n");
}

inline void writeValue(const QVariant& v, int depth, bool separateLines, QByteArray* out)
{
    const QByteArray tabs(depth, '\t');
    if (v.metaType() == QMetaType::fromType<Dict>()) {
        writeEntries(v.value<Dict>(), depth, separateLines, out);
    } else if (v.metaType().id() == QMetaType::QVariantList) {
        out->append(tabs + "<array>\n");
        for (const QVariant& item : v.toList())
            writeValue(item, depth + 1, separateLines, out);
        out->append(tabs + "</array>\n");
    } else {
        QByteArray element;
        PlistWriteValue(v, depth, &element);
        out->append(element + '\n');
    }
}

inline QByteArray libraryText(const Dict& top, bool separateLines = false)
{
    QByteArray text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<!DOCTYPE plist PUBLIC \"-//Apple Computer//DTD PLIST 1.0//EN\" "
                      "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                      "<plist version=\"1.0\">\n";
    writeEntries(top, 0, separateLines, &text);
    return text + "</plist>\n";
}

// Everything the file holds, dictionaries in their order; invalid when it
// is no property list.
inline QVariant readTree(const QByteArray& text)
{
    QVariant tree;
    return PlistRead(text, &tree, nullptr, PLIST_DICT_ORDERED) == PLIST_OK ? tree : QVariant();
}

// The first place where two trees differ, or an empty text.
inline QString difference(const QVariant& a, const QVariant& b, const QString& where = QStringLiteral("/"))
{
    if (a.metaType() != b.metaType())
        return where + QStringLiteral(": type %1 against %2").arg(a.typeName(), b.typeName());
    if (a.metaType() == QMetaType::fromType<Dict>()) {
        const Dict x = a.value<Dict>(), y = b.value<Dict>();
        for (qsizetype i = 0; i < qMax(x.size(), y.size()); ++i) {
            if (i >= x.size() || i >= y.size() || x.at(i).first != y.at(i).first)
                return where + QStringLiteral(": key %1 is \"%2\" against \"%3\"")
                                   .arg(i)
                                   .arg(i < x.size() ? x.at(i).first : QString())
                                   .arg(i < y.size() ? y.at(i).first : QString());
            const QString inner = difference(x.at(i).second, y.at(i).second, where + x.at(i).first + '/');
            if (!inner.isEmpty())
                return inner;
        }
        return QString();
    }
    if (a.metaType().id() == QMetaType::QVariantList) {
        const QVariantList x = a.toList(), y = b.toList();
        if (x.size() != y.size())
            return where + QStringLiteral(": %1 items against %2").arg(x.size()).arg(y.size());
        for (qsizetype i = 0; i < x.size(); ++i) {
            const QString inner = difference(x.at(i), y.at(i), where + QString::number(i) + '/');
            if (!inner.isEmpty())
                return inner;
        }
        return QString();
    }
    return a == b ? QString() : where + QStringLiteral(": \"%1\" against \"%2\"").arg(a.toString(), b.toString());
}

// Edits of an expected tree.
inline void editTrack(Dict* top, qlonglong trackId, const QString& key, const QVariant& v)
{
    Dict list = value(*top, QStringLiteral("Tracks")).value<Dict>();
    for (auto& entry : list) {
        Dict t = entry.second.value<Dict>();
        if (value(t, QStringLiteral("Track ID")).toLongLong() != trackId)
            continue;
        if (v.isValid())
            setValue(&t, key, v);
        else
            removeValue(&t, key);
        entry.second = QVariant::fromValue(t);
    }
    setValue(top, QStringLiteral("Tracks"), QVariant::fromValue(list));
}

inline void removeTrack(Dict* top, qlonglong trackId)
{
    Dict list = value(*top, QStringLiteral("Tracks")).value<Dict>();
    removeValue(&list, QString::number(trackId));
    setValue(top, QStringLiteral("Tracks"), QVariant::fromValue(list));
    QVariantList lists = value(*top, QStringLiteral("Playlists")).toList();
    for (QVariant& p : lists) {
        Dict pl = p.value<Dict>();
        QVariantList items = value(pl, QStringLiteral("Playlist Items")).toList();
        items.removeIf([&](const QVariant& item) {
            return value(item.value<Dict>(), QStringLiteral("Track ID")).toLongLong() == trackId;
        });
        if (value(pl, QStringLiteral("Playlist Items")).isValid())
            setValue(&pl, QStringLiteral("Playlist Items"), items);
        p = QVariant::fromValue(pl);
    }
    setValue(top, QStringLiteral("Playlists"), lists);
}

} // namespace fixture
