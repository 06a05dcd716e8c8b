// Drives libcadenzo through its public header only: one engine manager with
// private folders, and a sink that collects the records of the callbacks.
#pragma once

#include "cadenzo.h"
#include "recordlist.h"
#include "testenv.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <vector>

namespace mmtest {

using testrecords::kWaitMs;

struct Record
{
    int operation = 0;
    int state = 0;
    void* track = nullptr;
    int progress = 0;
    QString location;
};

class RecordSink
{
public:
    // Runs on the engine thread for every record before it is stored; the
    // index is the record's position among all records.
    std::function<void(const Record&, int)> onRecord;

    tagCtlCmdParam param(int operation = CMD_LOAD)
    {
        return tagCtlCmdParam{operation, &RecordSink::callback, this};
    }

    QList<Record> records() const { return m_records.all(); }

    // Records that name a track (the end record does not).
    QList<Record> trackRecords() const
    {
        QList<Record> tracks;
        for (const Record& r : records())
            if (r.track)
                tracks.append(r);
        return tracks;
    }

    bool hasEndRecord() const
    {
        const QList<Record> all = records();
        return !all.isEmpty() && !all.last().track && all.last().progress == PROGRESS_FULL;
    }

    bool waitForEnd()
    {
        return m_records.waitUntil([this](const QList<Record>&) { return m_ended; });
    }

    bool waitForCount(int count) { return m_records.waitForCount(count); }

private:
    static int callback(tagAnaluyzeInfo* info, void* user)
    {
        auto* sink = static_cast<RecordSink*>(user);
        Record r;
        r.operation = info->iOperation;
        r.state = info->iState;
        r.track = info->pMusic;
        r.progress = info->iProgress;
        r.location = info->pLocation ? QString::fromUtf8(info->pLocation) : QString();
        const int index = sink->m_records.size();
        if (sink->onRecord)
            sink->onRecord(r, index);
        sink->m_records.append(r, [sink, &r] {
            if (!r.track && r.progress == PROGRESS_FULL)
                sink->m_ended = true;
        });
        return 0;
    }

    testrecords::RecordList<Record> m_records;
    bool m_ended = false; // under m_records' lock
};

// One engine manager over private folders (or over those in root, which
// outlive the session, for a child process whose work its parent checks);
// destroyed with the session.
class Session
{
public:
    explicit Session(const QString& root = QString()) : m_root(root.isEmpty() ? m_dir.path() : root)
    {
        QDir(m_root).mkpath(QStringLiteral("data"));
        QDir(m_root).mkpath(QStringLiteral("artwork"));
        const QByteArray data = dataFolder().toUtf8(), artwork = artworkFolder().toUtf8(),
                         trash = trashFolder().toUtf8();
        handle = MMCreateManager(data.constData(), artwork.constData(), trash.constData());
    }
    ~Session()
    {
        if (handle) {
            MMSetExitState(handle, 1);
            MMDestroyManager(handle);
        }
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    QString path(const QString& name) const { return QDir(m_root).filePath(name); }
    QString dataFolder() const { return path(QStringLiteral("data")); }
    QString artworkFolder() const { return path(QStringLiteral("artwork")); }
    QString trashFolder() const { return path(QStringLiteral("trash")); }
    QString dbPath() const { return path(QStringLiteral("data/MusicLibrary.db")); }

    // Copies a fixture to music/name (the fixture's own name when empty;
    // subfolders are made), writable by its owner so that applying may
    // change it.
    QString musicFile(const QString& fixture, const QString& name = QString()) const
    {
        const QString target = path(QStringLiteral("music/") + (name.isEmpty() ? fixture : name));
        QDir().mkpath(QFileInfo(target).path());
        QFile::copy(testenv::fixture(fixture), target);
        QFile(target).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        return target;
    }

    int openLibrary(const QString& xmlPath, tagMusicRunMode mode, const QString& db = QString())
    {
        const QByteArray xml = xmlPath.toUtf8();
        const QByteArray dbFile = (db.isEmpty() ? dbPath() : db).toUtf8();
        return MMLoadMusicLibrary(handle, xmlPath.isNull() ? nullptr : xml.constData(),
                                  dbFile.constData(), mode);
    }

    int setFiles(const QStringList& files)
    {
        std::vector<QByteArray> utf8Paths;
        std::vector<const char*> pointers;
        for (const QString& f : files)
            utf8Paths.push_back(f.toUtf8());
        for (const QByteArray& p : utf8Paths)
            pointers.push_back(p.constData());
        return MMLoadExMusicFiles(handle, int(pointers.size()), pointers.data());
    }

    int startLoad(RecordSink& sink)
    {
        const tagCtlCmdParam param = sink.param();
        return MMLoadiTunesMusic(handle, &param);
    }

    // Opens, hands over the files (file modes) and starts the load.
    bool load(tagMusicRunMode mode, const QString& xmlPath, const QStringList& files,
              RecordSink& sink)
    {
        if (openLibrary(xmlPath, mode) != 0)
            return false;
        if ((mode == RUN_FILES || mode == RUN_DUP_FILES) && !files.isEmpty() && setFiles(files) != 0)
            return false;
        return startLoad(sink) == 0;
    }

    const tagMMusicInfo* info(void* track, tagInfoType type = INFO_NEW) const
    {
        const tagMMusicInfo* out = nullptr;
        return MMGetMusicInfo(handle, track, &out, type) == 0 ? out : nullptr;
    }

    // The track's persistent ID; empty when the engine has nothing on it.
    QString persistentId(void* track) const
    {
        const tagMMusicInfo* found = info(track);
        return found ? found->strPersistentID : QString();
    }

    int count() const { return MMGetMusicCountAMode(handle, nullptr, nullptr); }

    void* handle = nullptr;

private:
    QTemporaryDir m_dir;
    QString m_root;
};

} // namespace mmtest
