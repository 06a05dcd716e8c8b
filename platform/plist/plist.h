// XML property lists (the "-//Apple//DTD PLIST 1.0//EN" format) to and from
// QVariant trees.
//
// Types: <dict> QVariantMap or PlistOrderedDict, <array> QVariantList,
// <string> QString, <integer> qlonglong (qulonglong above its range),
// <real> double, <true/> <false/> bool, <date> QDateTime in UTC (whole
// seconds), <data> QByteArray. Functions return a tagPlistResult and, on
// failure, a message naming the place; they never throw. Thread-safe: no
// shared state.
#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>

class QIODevice;

// A dictionary that keeps its keys in the order given. Written in that
// order; QVariantMap dictionaries are written in key order.
using PlistOrderedDict = QList<QPair<QString, QVariant>>;

enum tagPlistResult {
    PLIST_OK = 0,
    PLIST_ERR_ARGS = -1,   // null device or output
    PLIST_ERR_READ = -2,   // device not open for reading
    PLIST_ERR_SYNTAX = -3, // not well-formed XML
    PLIST_ERR_FORMAT = -4, // XML, but no property list or a malformed value
    PLIST_ERR_TYPE = -5,   // a value the format cannot hold
    PLIST_ERR_WRITE = -6   // device not open for writing or refused bytes
};

// How dictionaries come back from reading.
enum tagPlistDictForm { PLIST_DICT_MAP = 0, PLIST_DICT_ORDERED = 1 };

// Reads one property list; root is left untouched on failure.
int PlistRead(QIODevice* in, QVariant* root, QString* error = nullptr,
              tagPlistDictForm form = PLIST_DICT_MAP);
int PlistRead(const QByteArray& xml, QVariant* root, QString* error = nullptr,
              tagPlistDictForm form = PLIST_DICT_MAP);

// Writes a whole document: XML declaration, DOCTYPE, <plist version="1.0">.
// Nothing is written when root holds a type the format cannot hold.
int PlistWrite(QIODevice* out, const QVariant& root, QString* error = nullptr);
int PlistWrite(const QVariant& root, QByteArray* out, QString* error = nullptr);

// One value as elements only, every line indented by depth tabs, for
// embedding into a larger list; out is replaced.
int PlistWriteValue(const QVariant& value, int depth, QByteArray* out,
                    QString* error = nullptr);
