// Helpers of the analysis tests, which drive libcadenzo through its public
// header only: loading and analysing, the track list, the rows of the
// working database (read over a connection of the test's own), and the
// engine log.
#pragma once

#include "cadenzo.h"
#include "enginedb.h"
#include "mmsession.h"
#include "testenv.h"

#include <QDate>
#include <QFile>
#include <QList>
#include <QString>
#include <QThread>

#include <sqlite3.h>

#include <vector>

namespace mmtest {

inline bool loadAndWait(Session& s, tagMusicRunMode mode, const QString& xml, const QStringList& files)
{
    RecordSink sink;
    return s.load(mode, xml, files, sink) && sink.waitForEnd();
}

// Starts the analysis and waits for its end record.
inline bool analyse(Session& s, int mask, RecordSink& sink)
{
    const tagCtlCmdParam param = sink.param(CMD_ANALYSE);
    return MMAnalyzeMusicInfo(s.handle, &param, mask) == 0 && sink.waitForEnd();
}

inline QString engineLog(const Session& s)
{
    return QString::fromUtf8(testenv::readAll(s.dataFolder() + QStringLiteral("/MM.log")));
}

// The save after an analysis runs on a thread of its own and logs its end;
// waits until the log tells of count saves.
inline bool waitForSaves(const Session& s, int count)
{
    for (int waited = 0; waited < kWaitMs; waited += 10) {
        if (engineLog(s).count(QStringLiteral("End Delete Complete Music")) >= count)
            return true;
        QThread::msleep(10);
    }
    return false;
}

// The editor's values as the engine takes them: one UTF-8 text per bit.
inline int setUserInfo(const Session& s, void* track, int mask, const QStringList& values)
{
    QList<QByteArray> utf8;
    std::vector<const char*> pointers;
    for (const QString& v : values)
        utf8 << v.toUtf8();
    for (const QByteArray& v : utf8)
        pointers.push_back(v.constData());
    return MMSetUserMusicInfo(s.handle, track, mask, pointers.data());
}

struct Entry {
    void* track = nullptr;
    int absence = 0;
    int state = 0;
    long long repeatId = 0;
    QString pid;
    QString location;
};

inline QList<Entry> entries(const Session& s)
{
    QList<Entry> list;
    for (int i = 0; i < s.count(); ++i) {
        Entry e;
        if (MMGetMusicListMusic(s.handle, i, &e.track, &e.absence, &e.state, &e.repeatId) != 0)
            break;
        e.pid = s.info(e.track)->strPersistentID;
        e.location = s.info(e.track)->strLocation;
        list << e;
    }
    return list;
}

struct Row {
    QString pid;
    int absence = 0;
    int state = 0;
    long long repeatId = 0;
    QString trashPath; // "<null>" for NULL
    QString artist, album, year;
};

// The rows of the working database in row order.
inline QList<Row> rows(const QString& dbPath)
{
    QList<Row> result;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(dbPath.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return result;
    }
    sqlite3_busy_timeout(db, kWaitMs);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "select PersistentID, Absence, State, RepeatID, TrashPath, Artist, Album, Year "
                           "from TracksTable order by rowid", -1, &st, nullptr);
    auto text = [st](int column) {
        const unsigned char* value = sqlite3_column_text(st, column);
        return value ? QString::fromUtf8(reinterpret_cast<const char*>(value)) : QStringLiteral("<null>");
    };
    while (st && sqlite3_step(st) == SQLITE_ROW) {
        Row r;
        r.pid = text(0);
        r.absence = sqlite3_column_int(st, 1);
        r.state = sqlite3_column_int(st, 2);
        r.repeatId = sqlite3_column_int64(st, 3);
        r.trashPath = text(4);
        r.artist = text(5);
        r.album = text(6);
        r.year = text(7);
        result << r;
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return result;
}

inline Row rowOf(const QString& dbPath, const QString& pid)
{
    for (const Row& r : rows(dbPath))
        if (r.pid == pid)
            return r;
    return Row();
}

// Where the engine puts removed files: the trash folder of the day it started.
inline QString trashOfToday(const Session& s)
{
    return s.trashFolder() + QLatin1Char('/') + QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
}

} // namespace mmtest
