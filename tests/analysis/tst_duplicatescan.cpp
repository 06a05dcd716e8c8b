// The duplicate scan's internals: the quick scan's buckets must give exactly
// what comparing every track with every earlier one gives (groups, which
// copy goes, repeat IDs, the marks left on earlier tracks), on generated
// lists with many equal and empty fields and tracks marked by an earlier
// analysis; and group IDs are never 0.
#include "core/musicobj.h"
#include "manager/duplicatescan.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

constexpr int kCriteria = MF_TITLE | MF_ARTIST | MF_ALBUM | MF_SIZE | MF_TIME;

struct TrackList {
    std::vector<std::unique_ptr<CMusicObj>> owned;
    QVector<CMusicObj*> tracks;
};

// The comparison exactly as first written: every earlier track in list
// order, the first that counts as a candidate and matches wins.
class PairwiseScan
{
public:
    PairwiseScan(const QVector<CMusicObj*>& tracks, int mask) : m_tracks(tracks), m_mask(mask) {}

    void run()
    {
        for (int i = 0; i < m_tracks.size(); ++i) {
            CMusicObj* music = m_tracks[i];
            int absence = music->GetAbsenceType();
            if (!(absence & AT_ANALYSED) && QFile::exists(info(i).strLocation)) {
                long long id = 0;
                bool removeCurrent = false;
                if (find(i, &id, removeCurrent)) {
                    if (removeCurrent)
                        music->SetState(MS_REMOVE);
                    music->SetRepeatID(id);
                    absence |= AT_DUPLICATE;
                }
            }
            music->SetAbsenceType(absence | AT_ANALYSED);
            music->SetDirty(true);
        }
    }

private:
    tagMMusicInfo info(int i) const { return m_tracks[i]->WorkingCopy(); }

    bool matches(const tagMMusicInfo& cur, const tagMMusicInfo& cand) const
    {
        bool all = true;
        const struct { int bit; QString tagMMusicInfo::*value; } fields[] = {
            {MF_TITLE, &tagMMusicInfo::strName}, {MF_ARTIST, &tagMMusicInfo::strArtist},
            {MF_ALBUM, &tagMMusicInfo::strAlbum}, {MF_SIZE, &tagMMusicInfo::strSize},
            {MF_TIME, &tagMMusicInfo::strTotalTime},
        };
        for (const auto& f : fields) {
            if ((m_mask & f.bit) && ((cur.*f.value).isEmpty() || cur.*f.value != cand.*f.value))
                all = false;
        }
        return all || (!cur.strLocation.isEmpty() && cur.strLocation == cand.strLocation);
    }

    bool find(int current, long long* id, bool& removeCurrent)
    {
        const tagMMusicInfo cur = info(current);
        for (int j = 0; j < current; ++j) {
            CMusicObj* c = m_tracks[j];
            if ((c->GetAbsenceType() & AT_DUPLICATE_ERROR) || (c->GetAbsenceType() & c->GetState() & 0x4000))
                continue;
            const tagMMusicInfo cand = info(j);
            if (!matches(cur, cand))
                continue;
            *id = c->GetRepeatID();
            if (*id == 0) {
                *id = hex(cand.strPersistentID);
                c->SetAbsenceType(c->GetAbsenceType() | AT_DUPLICATE | AT_ANALYSED);
                if (*id == 0)
                    *id = hex(cur.strPersistentID);
                if (*id == 0)
                    *id = privateId();
                c->SetRepeatID(*id);
                c->SetDirty(true);
            }
            const long long dc = cand.strTotalTime.toLongLong(), dn = cur.strTotalTime.toLongLong();
            const int bc = cand.strBitRate.toInt(), bn = cur.strBitRate.toInt();
            bool currentStays;
            if (std::llabs(dc - dn) >= 150000)
                currentStays = dn > dc;
            else if (bc != bn)
                currentStays = bn > bc;
            else
                currentStays = dn > dc;
            if (currentStays) {
                c->SetState(c->GetState() | MS_REMOVE);
                c->SetDirty(true);
            }
            removeCurrent = !currentStays;
            return true;
        }
        return false;
    }

    static long long hex(const QString& pid)
    {
        bool ok = false;
        const long long id = static_cast<long long>(pid.toULongLong(&ok, 16));
        return ok ? id : 0;
    }

    // The scan's own numbers: the smallest not used by a group or a
    // persistent ID, counted up from 1.
    long long privateId()
    {
        if (m_used.isEmpty()) {
            for (int i = 0; i < m_tracks.size(); ++i) {
                m_used.insert(m_tracks[i]->GetRepeatID());
                m_used.insert(hex(info(i).strPersistentID));
            }
        }
        while (m_used.contains(m_next))
            ++m_next;
        m_used.insert(m_next);
        return m_next;
    }

    QVector<CMusicObj*> m_tracks;
    int m_mask;
    QSet<long long> m_used;
    long long m_next = 1;
};

// A list where most fields come from a few values, so many tracks collide,
// some fields are empty, and some tracks carry marks of an earlier run.
TrackList generate(quint32 seed, int count, const QStringList& locations)
{
    QRandomGenerator random(seed);
    auto pick = [&random](const QStringList& values) { return values.at(int(random.bounded(values.size()))); };
    const QStringList names = {QString(), QStringLiteral("Rain"), QStringLiteral("rain"), QStringLiteral("Sun"),
                               QStringLiteral("Sea"), QStringLiteral("Wind")};
    const QStringList artists = {QString(), QStringLiteral("Ann"), QStringLiteral("Bo"), QStringLiteral("Cy")};
    const QStringList albums = {QString(), QStringLiteral("One"), QStringLiteral("Two")};
    const QStringList sizes = {QString(), QStringLiteral("100"), QStringLiteral("200")};
    const QStringList times = {QString(), QStringLiteral("60000"), QStringLiteral("210000"), QStringLiteral("61000")};
    const QStringList rates = {QString(), QStringLiteral("128"), QStringLiteral("320")};
    TrackList list;
    for (int i = 0; i < count; ++i) {
        tagMMusicInfo w;
        const quint32 kind = random.bounded(100);
        w.strPersistentID = kind < 3 ? QStringLiteral("no-hex-%1").arg(i)
                          : kind < 4 ? QStringLiteral("0")
                                     : QString::number(0xA000 + i, 16).toUpper();
        w.strName = pick(names);
        w.strArtist = pick(artists);
        w.strAlbum = pick(albums);
        w.strSize = pick(sizes);
        w.strTotalTime = pick(times);
        w.strBitRate = pick(rates);
        w.strLocation = pick(locations);
        auto music = std::unique_ptr<CMusicObj>(CreateMuisicObj(&w, tagMMusicInfo()));
        music->SetRunMode(RUN_DUP_FILES);
        const quint32 mark = random.bounded(100);
        if (mark < 5)
            music->SetAbsenceType(AT_ANALYSED);
        else if (mark < 8)
            music->SetAbsenceType(AT_DUPLICATE_ERROR);
        else if (mark < 11)
            music->SetAbsenceType(AT_DUPLICATE);
        if (random.bounded(100) < 6)
            music->SetState(random.bounded(2) ? int(MS_REMOVE) : int(MF_ARTIST));
        if (random.bounded(100) < 3)
            music->SetRepeatID(qint64(random.bounded(5)) + 1);
        list.tracks.append(music.get());
        list.owned.push_back(std::move(music));
    }
    return list;
}

TrackList copyOf(const TrackList& from)
{
    TrackList list;
    for (const CMusicObj* source : from.tracks) {
        const tagMMusicInfo w = source->WorkingCopy();
        auto music = std::unique_ptr<CMusicObj>(CreateMuisicObj(&w, tagMMusicInfo()));
        music->SetRunMode(source->GetRunMode());
        music->SetAbsenceType(source->GetAbsenceType());
        music->SetState(source->GetState());
        music->SetRepeatID(source->GetRepeatID());
        list.tracks.append(music.get());
        list.owned.push_back(std::move(music));
    }
    return list;
}

// The analysis loop's step of the duplicate modes over the scan.
void runBuckets(const TrackList& list, int mask)
{
    std::atomic<bool> exit{false};
    CDuplicateScan scan(list.tracks, mask, QString(), exit);
    for (int k = 0; k < list.tracks.size(); ++k) {
        CMusicObj* music = list.tracks[k];
        int absence = music->GetAbsenceType();
        long long id = 0;
        bool removeCurrent = false;
        if (!(absence & AT_ANALYSED) && scan.HasFile(k) && scan.FindDuplicate(k, &id, removeCurrent) == 1) {
            if (removeCurrent)
                music->SetState(MS_REMOVE);
            music->SetRepeatID(id);
            absence |= AT_DUPLICATE;
        }
        music->SetAbsenceType(absence | AT_ANALYSED);
        scan.Enter(k);
        music->SetDirty(true);
    }
}

} // namespace

class TestDuplicateScan : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QStringList m_locations;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // Files that exist, files that do not, and no location at all.
        m_locations << QString();
        for (int i = 0; i < 40; ++i) {
            const QString path = m_dir.filePath(QStringLiteral("track %1.mp3").arg(i));
            if (i % 4 != 3)
                QVERIFY(QFile(path).open(QIODevice::WriteOnly));
            m_locations << path;
        }
    }

    void bucketsFindWhatPairsFind_data()
    {
        QTest::addColumn<int>("mask");
        QTest::addColumn<quint32>("seed");
        const int masks[] = {MF_TITLE, MF_TITLE | MF_ARTIST, kCriteria, 0, MF_ARTIST | MF_TIME, MF_SIZE,
                             MF_ALBUM | MF_SIZE | OPT_DEGREE_HIGH};
        for (int mask : masks)
            for (quint32 seed : {1u, 2u, 3u})
                QTest::addRow("mask %x seed %u", mask, seed) << mask << seed;
    }

    void bucketsFindWhatPairsFind()
    {
        QFETCH(int, mask);
        QFETCH(quint32, seed);
        const TrackList buckets = generate(seed, 3000, m_locations);
        const TrackList pairs = copyOf(buckets);
        runBuckets(buckets, mask);
        PairwiseScan(pairs.tracks, mask).run();
        int grouped = 0;
        for (int i = 0; i < buckets.tracks.size(); ++i) {
            const CMusicObj* a = buckets.tracks[i];
            const CMusicObj* b = pairs.tracks[i];
            QCOMPARE(a->GetAbsenceType(), b->GetAbsenceType());
            QCOMPARE(a->GetState(), b->GetState());
            QCOMPARE(a->GetRepeatID(), b->GetRepeatID());
            QCOMPARE(a->isDirty(), b->isDirty());
            grouped += (a->GetAbsenceType() & AT_DUPLICATE) ? 1 : 0;
        }
        // The lists are made to collide: a run with few groups proves little.
        QVERIFY2(grouped > 300, qPrintable(QString::number(grouped)));
    }

    // Neither persistent ID reads as a number: the group still gets an ID
    // of its own, unused by any other group or persistent ID.
    void groupsNeverGetIdZero()
    {
        TrackList list;
        const int existing[] = {1, 2, 3, 5, 6};
        const QString ids[] = {QStringLiteral("zz"), QStringLiteral("0"), QStringLiteral("1"),
                               QStringLiteral("yy"), QStringLiteral("xx")};
        const QString names[] = {QStringLiteral("A"), QStringLiteral("A"), QStringLiteral("B"),
                                 QStringLiteral("C"), QStringLiteral("C")};
        for (int i = 0; i < 5; ++i) {
            tagMMusicInfo w;
            w.strPersistentID = ids[i];
            w.strName = names[i];
            w.strLocation = m_locations.at(existing[i]);
            auto music = std::unique_ptr<CMusicObj>(CreateMuisicObj(&w, tagMMusicInfo()));
            music->SetRunMode(RUN_DUP_FILES);
            list.tracks.append(music.get());
            list.owned.push_back(std::move(music));
        }
        std::atomic<bool> exit{false};
        CDuplicateScan scan(list.tracks, MF_TITLE, QString(), exit);
        long long id = -7;
        bool removeCurrent = false;
        scan.Enter(0);
        QCOMPARE(scan.FindDuplicate(1, &id, removeCurrent), 1);
        QVERIFY(id != 0);
        QVERIFY(id != 1); // "1" reads as the number 1: another track's ID
        QCOMPARE(list.tracks[0]->GetRepeatID(), id);
        const long long first = id;
        scan.Enter(1);
        scan.Enter(2);
        scan.Enter(3);
        QCOMPARE(scan.FindDuplicate(4, &id, removeCurrent), 1);
        QVERIFY(id != 0 && id != 1 && id != first);
    }
};

QTEST_GUILESS_MAIN(TestDuplicateScan)
#include "tst_duplicatescan.moc"
