#include "manager/duplicatescan.h"

#include "core/mmlog.h"
#include "core/musicobj.h"
#include "core/trackfields.h"
#include "platformbase.h"
#include "fingerprint/fingerprint.h"
#include "fingerprint/fingerprintstore.h"

#include <algorithm>
#include <cstdlib>

namespace {

constexpr int kCriteria = MF_TITLE | MF_ARTIST | MF_ALBUM | MF_SIZE | MF_TIME;
// The rest of the list no longer waits for a track whose durations differ
// from its match by this much: the longer one is the song, the shorter a cut.
constexpr long long kCloseDurationMs = 150000;
// A candidate marked for removal in its group; the absence and state bits
// share the value, so one AND of the two words tests both.
constexpr int kRemovedDuplicate = AT_DUPLICATE & MS_REMOVE;

// A persistent ID read as a hexadecimal number; 0 when it does not read.
long long hexId(const QString& persistentId, bool* ok)
{
    const long long id = static_cast<long long>(persistentId.toULongLong(ok, 16));
    *ok = *ok && id != 0;
    return *ok ? id : 0;
}

void appendKeyPart(QString& key, const QString& value)
{
    // Length-prefixed, so no two field tuples make one key.
    key += QString::number(value.size());
    key += QLatin1Char(':');
    key += value;
}

} // namespace

struct CDuplicateScan::Track {
    tagMMusicInfo info;
    bool fileExists = false;
};

CDuplicateScan::CDuplicateScan(const QVector<CMusicObj*>& tracks, int mask,
                               const QString& artworkFolder, const std::atomic<bool>& exit)
    : m_music(tracks), m_iMask(mask), m_iCriteria(mask & kCriteria),
      m_bDeep((mask & OPT_DEEP_SCAN) != 0), m_strArtworkFolder(artworkFolder), m_bExit(exit)
{
    m_tracks.resize(size_t(tracks.size()));
    m_comparable.resize(size_t(tracks.size()), 0);
    for (int i = 0; i < tracks.size(); ++i) {
        if (!tracks[i])
            continue;
        Track& t = m_tracks[size_t(i)];
        t.info = tracks[i]->WorkingCopy();
        t.fileExists = IsRegularFile(t.info.strLocation);
    }
    if (m_bDeep)
        startFingerprints();
}

CDuplicateScan::~CDuplicateScan() = default;

// Tracks that will never be compared (no file, or analysed before and out
// of every comparison already) are left out of the fingerprint work.
void CDuplicateScan::startFingerprints()
{
    QVector<tagFingerprintSource> sources(m_music.size());
    for (int i = 0; i < m_music.size(); ++i) {
        const Track& t = m_tracks[size_t(i)];
        CMusicObj* music = m_music[i];
        if (!music || !t.fileExists)
            continue;
        if ((music->GetAbsenceType() & AT_ANALYSED) && !isCandidate(i))
            continue;
        sources[i].audioPath = t.info.strLocation.toUtf8();
        sources[i].cachePath = FingerprintCachePath(m_strArtworkFolder, t.info.strPersistentID).toUtf8();
    }
    m_pStore = std::make_unique<CFingerprintStore>();
    m_pStore->Start(sources);
}

// Once out of the comparisons a track stays out for the rest of the scan:
// its absence and state words only gain bits while it runs.
bool CDuplicateScan::isCandidate(int index) const
{
    const CMusicObj* music = m_music[index];
    if (!music)
        return false;
    const int absence = music->GetAbsenceType();
    return !(absence & AT_DUPLICATE_ERROR) && !(absence & music->GetState() & kRemovedDuplicate);
}

bool CDuplicateScan::HasFile(int index) const
{
    return index >= 0 && index < m_music.size() && m_tracks[size_t(index)].fileExists;
}

QString CDuplicateScan::fieldKey(const Track& track) const
{
    QString key;
    for (const tagTrackField& field : kTrackFields) {
        if (!(m_iCriteria & field.bit))
            continue;
        const QString& value = track.info.*field.member;
        // An empty value of the track being compared matches nothing.
        if (value.isEmpty())
            return QString();
        appendKeyPart(key, value);
    }
    return m_iCriteria ? key : QStringLiteral("*");
}

void CDuplicateScan::Enter(int index)
{
    if (!m_music[index])
        return;
    const Track& track = m_tracks[size_t(index)];
    if (m_bDeep) {
        m_comparable[size_t(index)] = track.fileExists && isCandidate(index);
        return;
    }
    const QString key = fieldKey(track);
    if (!key.isEmpty())
        m_fieldBuckets[key].members.push_back(index);
    if (!track.info.strLocation.isEmpty())
        m_locationBuckets[track.info.strLocation].members.push_back(index);
}

int CDuplicateScan::firstLive(Bucket* bucket) const
{
    if (!bucket)
        return -1;
    while (bucket->firstLive < bucket->members.size() && !isCandidate(bucket->members[bucket->firstLive]))
        ++bucket->firstLive;
    return bucket->firstLive < bucket->members.size() ? bucket->members[bucket->firstLive] : -1;
}

// The first candidate in list order that matches on every compared field,
// or failing that on the location: the earlier of the two buckets' first.
int CDuplicateScan::quickMatch(int current)
{
    const Track& track = m_tracks[size_t(current)];
    const QString key = fieldKey(track);
    auto fields = key.isEmpty() ? m_fieldBuckets.end() : m_fieldBuckets.find(key);
    const QString& path = track.info.strLocation;
    auto location = path.isEmpty() ? m_locationBuckets.end() : m_locationBuckets.find(path);
    const int byFields = firstLive(fields == m_fieldBuckets.end() ? nullptr : &fields.value());
    const int byLocation = firstLive(location == m_locationBuckets.end() ? nullptr : &location.value());
    if (byFields < 0 || byLocation < 0)
        return std::max(byFields, byLocation);
    return std::min(byFields, byLocation);
}

// -1: the current track's own fingerprint cannot be had; -2: no match.
int CDuplicateScan::deepMatch(int current)
{
    const Track& track = m_tracks[size_t(current)];
    for (int j = 0; j < current; ++j) {
        if (m_bExit)
            return -2;
        if (!m_comparable[size_t(j)])
            continue;
        const int result = m_pStore->Compare(current, j, m_iMask);
        if (result > 0)
            return j;
        if (result == 0)
            continue;
        const Track& other = m_tracks[size_t(j)];
        WriteLog(QStringLiteral("DuplicateCalculate:%1, %2 Failed:%3")
                     .arg(track.info.strLocation, other.info.strLocation, QString::number(result)));
        if (result == FP_FEW_VALUES_1 || result == FP_DECODE_1)
            return -1;
        if (result == FP_FEW_VALUES_2 || result == FP_DECODE_2) {
            // The earlier track's fingerprint is what failed: it leaves every
            // further comparison.
            m_music[j]->SetAbsenceType(m_music[j]->GetAbsenceType() | AT_DUPLICATE_ERROR);
            m_music[j]->SetDirty(true);
            m_comparable[size_t(j)] = 0;
        }
    }
    return -2;
}

int CDuplicateScan::FindDuplicate(int current, long long* repeatId, bool& removeCurrent)
{
    if (!repeatId || current <= 0 || current >= m_music.size() || !m_music[current])
        return 0;
    int candidate = -2;
    if (m_bDeep) {
        candidate = deepMatch(current);
        if (candidate == -1)
            return -1;
    } else {
        candidate = quickMatch(current);
    }
    if (candidate < 0)
        return 0;
    joinGroup(candidate, current, repeatId, removeCurrent);
    return 1;
}

void CDuplicateScan::joinGroup(int candidate, int current, long long* repeatId, bool& removeCurrent)
{
    CMusicObj* c = m_music[candidate];
    long long id = c->GetRepeatID();
    if (id == 0) {
        id = groupId(candidate, current);
        c->SetAbsenceType(c->GetAbsenceType() | AT_DUPLICATE | AT_ANALYSED);
        c->SetRepeatID(id);
        c->SetDirty(true);
    }
    const Track& kept = m_tracks[size_t(candidate)];
    const Track& now = m_tracks[size_t(current)];
    const long long keptTime = kept.info.strTotalTime.toLongLong(), nowTime = now.info.strTotalTime.toLongLong();
    const int keptRate = kept.info.strBitRate.toInt(), nowRate = now.info.strBitRate.toInt();
    bool currentStays = false;
    if (std::llabs(keptTime - nowTime) >= kCloseDurationMs || keptRate == nowRate)
        currentStays = nowTime > keptTime;
    else
        currentStays = nowRate > keptRate;
    if (currentStays) {
        c->SetState(c->GetState() | MS_REMOVE);
        c->SetDirty(true);
    }
    if (m_bDeep)
        m_comparable[size_t(candidate)] = isCandidate(candidate);
    removeCurrent = !currentStays;
    *repeatId = id;
}

// A new group is named by its first track's persistent ID, else by the
// second's; with neither a number it gets one of its own, never 0, which
// would mean "no group".
long long CDuplicateScan::groupId(int candidate, int current)
{
    if (m_music[candidate]->GetState() & MS_REMOVE)
        WriteLog(QStringLiteral("Old RepeatID is Zero and Failed!"));
    bool ok = false;
    long long id = hexId(m_tracks[size_t(candidate)].info.strPersistentID, &ok);
    if (ok)
        return id;
    WriteLog(QStringLiteral("Frist %1 toULongLong Failed!").arg(m_tracks[size_t(candidate)].info.strPersistentID));
    id = hexId(m_tracks[size_t(current)].info.strPersistentID, &ok);
    if (ok)
        return id;
    WriteLog(QStringLiteral("Second %1 toULongLong Failed!").arg(m_tracks[size_t(current)].info.strPersistentID));
    return privateGroupId();
}

long long CDuplicateScan::privateGroupId()
{
    if (m_usedIds.isEmpty()) {
        for (int i = 0; i < m_music.size(); ++i) {
            if (!m_music[i])
                continue;
            m_usedIds.insert(m_music[i]->GetRepeatID());
            bool ok = false;
            m_usedIds.insert(hexId(m_tracks[size_t(i)].info.strPersistentID, &ok));
        }
    }
    while (m_usedIds.contains(m_llNextPrivateId))
        ++m_llNextPrivateId;
    m_usedIds.insert(m_llNextPrivateId);
    return m_llNextPrivateId;
}
