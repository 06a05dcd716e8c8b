// What the lookup tests need around the engine: canned answers of the fake
// services, images of a chosen size, and a sink for download records.
#pragma once

#include "cadenzo.h"
#include "fakeservice.h"
#include "recordlist.h"
#include "testimages.h"

#include <QBuffer>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QSemaphore>
#include <QThread>

namespace lookupfakes {

using testrecords::kWaitMs;

const QString kRecording = QStringLiteral("aaaaaaaa-0000-4000-8000-000000000001");
const QString kAlbumGroup = QStringLiteral("bbbbbbbb-0000-4000-8000-000000000001");
const QString kSearchGroupA = QStringLiteral("bbbbbbbb-0000-4000-8000-000000000002");
const QString kSearchGroupB = QStringLiteral("bbbbbbbb-0000-4000-8000-000000000003");

// Points the application's three services at fake, with a key for the
// lookup service. Before the first request.
inline void useFakeServices(const FakeService& fake)
{
    for (const char* name : {"VESSOLIN_ACOUSTID_URL", "VESSOLIN_MUSICBRAINZ_URL", "VESSOLIN_COVERART_URL"})
        qputenv(name, fake.baseUrl());
    qputenv("VESSOLIN_ACOUSTID_KEY", "test-key");
}

inline QString recordingPath()
{
    return QStringLiteral("/ws/2/recording/") + kRecording;
}

inline QString frontPath(const QString& group)
{
    return QStringLiteral("/release-group/%1/front").arg(group);
}

inline QString searchPath()
{
    return QStringLiteral("/ws/2/release-group");
}

// The image search of a song without album: by its title and artist.
inline QString songSearchPath()
{
    return QStringLiteral("/ws/2/recording");
}

inline QString lookupPath()
{
    return QStringLiteral("/v2/lookup");
}

// The lookup service's answer: the song "Song" by "Artist" on "Album", or
// no match at all.
inline QByteArray lookupAnswer(bool known)
{
    QJsonArray results;
    if (known) {
        const QJsonObject group{{"id", kAlbumGroup}, {"title", "Album"}, {"type", "Album"}};
        const QJsonObject artist{{"id", "cccccccc-0000-4000-8000-000000000001"}, {"name", "Artist"}};
        const QJsonObject recording{{"id", kRecording}, {"title", "Song"},
                                    {"artists", QJsonArray{artist}}, {"releasegroups", QJsonArray{group}}};
        results.append(QJsonObject{{"id", "dddddddd-0000-4000-8000-000000000001"}, {"score", 0.9},
                                   {"recordings", QJsonArray{recording}}});
    }
    return QJsonDocument(QJsonObject{{"status", "ok"}, {"results", results}}).toJson();
}

inline QByteArray recordingDetails(const QString& year, const QString& genre)
{
    const QJsonArray genres{QJsonObject{{"name", genre}, {"count", 3}}};
    return QJsonDocument(QJsonObject{{"id", kRecording}, {"title", "Song"}, {"first-release-date", year},
                                     {"genres", genres}}).toJson();
}

inline QByteArray searchAnswer(const QStringList& groups)
{
    QJsonArray list;
    int score = 100;
    for (const QString& group : groups)
        list.append(QJsonObject{{"id", group}, {"score", score--}, {"title", "x"}});
    return QJsonDocument(QJsonObject{{"count", list.size()}, {"release-groups", list}}).toJson();
}

// The recording search's answer: one recording of the song tagged in
// id3v2-partial.mp3, released on albums of these release groups, best first.
inline QByteArray songSearchAnswer(const QStringList& groups)
{
    const QJsonArray credit{QJsonObject{{"name", "Mira Kessel"}, {"joinphrase", ""},
                                        {"artist", QJsonObject{{"id", "cccccccc-0000-4000-8000-000000000002"},
                                                               {"name", "Mira Kessel"}}}}};
    QJsonArray releases;
    for (const QString& group : groups)
        releases.append(QJsonObject{{"id", "ffffffff-0000-4000-8000-000000000001"}, {"title", "x"},
                                    {"release-group", QJsonObject{{"id", group}, {"title", "x"}, {"primary-type", "Album"}}}});
    const QJsonObject recording{{"id", kRecording}, {"score", 100}, {"title", QStringLiteral("Grey Water Caf\u00e9")},
                                {"artist-credit", credit}, {"releases", releases}};
    return QJsonDocument(QJsonObject{{"count", 1}, {"recordings", QJsonArray{recording}}}).toJson();
}

using testimages::noiseJpeg;

// A plain JPEG padded after its end marker to exactly size bytes; readers
// ignore the padding.
inline QByteArray jpegOfSize(int size)
{
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 50);
    bytes.append(QByteArray(qMax(0, size - int(bytes.size())), '\0'));
    return bytes;
}

struct Download
{
    int operation = 0;
    int info = 0;
    int artwork = 0;
    void* track = nullptr;
    int absence = 0;
    int fixType = -1;
    bool location = false;
    Qt::HANDLE thread = nullptr;
};

// Collects the download records of the requests made with its param().
class DownloadSink
{
public:
    tagCtlCmdParam param() { return tagCtlCmdParam{CMD_DOWNLOAD, &DownloadSink::callback, this}; }

    QList<Download> records() const { return m_records.all(); }

    bool waitForCount(int count) { return m_records.waitForCount(count); }

    // Released once per record, after it is stored.
    QSemaphore arrived;
    // When set, each callback then waits for one release of it before it
    // returns to the engine.
    QSemaphore* holdAfterRecord = nullptr;

private:
    static int callback(tagAnaluyzeInfo* info, void* user)
    {
        auto* sink = static_cast<DownloadSink*>(user);
        Download d;
        d.operation = info->iOperation;
        d.info = info->iState;
        d.artwork = info->iArtworkState;
        d.track = info->pMusic;
        d.absence = info->iAbsence;
        d.fixType = info->iFixType;
        d.location = info->pLocation != nullptr;
        d.thread = QThread::currentThreadId();
        // The test may end and drop the sink as soon as it sees the record,
        // so nothing of the sink is touched after the lock is let go.
        QSemaphore* const hold = sink->holdAfterRecord;
        sink->m_records.append(d, [sink] { sink->arrived.release(); });
        if (hold)
            hold->tryAcquire(1, kWaitMs);
        return 0;
    }

    testrecords::RecordList<Download> m_records;
};

} // namespace lookupfakes
