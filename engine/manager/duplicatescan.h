// The duplicate grouping of one analysis in the duplicate run modes: which
// earlier track each track duplicates, the group's repeat ID and which copy
// is to go. Runs on the analysis thread only.
//
// Each track is compared with the tracks before it in list order, and the
// first one that still counts as a candidate and matches wins. The quick
// scan finds it through buckets of tracks with equal compared fields and
// with equal locations instead of trying every earlier track; the deep
// scan compares fingerprints, made ahead on several cores.
#pragma once

#include "cadenzo.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QVector>

#include <atomic>
#include <memory>
#include <vector>

class CFingerprintStore;
class CMusicObj;

class CDuplicateScan
{
public:
    // tracks: the analysis's sequence, unchanged while the scan lives.
    // Fingerprint caches lie in artworkFolder. A set exit flag ends a
    // comparison early.
    CDuplicateScan(const QVector<CMusicObj*>& tracks, int mask, const QString& artworkFolder,
                   const std::atomic<bool>& exit);
    ~CDuplicateScan();
    CDuplicateScan(const CDuplicateScan&) = delete;
    CDuplicateScan& operator=(const CDuplicateScan&) = delete;

    // Whether track index's location was a regular file when the scan began.
    bool HasFile(int index) const;
    // Makes track index a candidate for the tracks after it; call once per
    // track that stays in the list, after its own comparison.
    void Enter(int index);

    // The comparison of track current with candidates 0 .. current - 1:
    // 1 with the group's ID and whether current is the copy to go, 0 no
    // duplicate, -1 the fingerprint test cannot run for current.
    int FindDuplicate(int current, long long* repeatId, bool& removeCurrent);

private:
    struct Track;
    struct Bucket {
        std::vector<int> members; // list order
        size_t firstLive = 0;     // members before it no longer count
    };

    bool isCandidate(int index) const;
    int firstLive(Bucket* bucket) const;
    QString fieldKey(const Track& track) const;
    int quickMatch(int current);
    int deepMatch(int current);
    void joinGroup(int candidate, int current, long long* repeatId, bool& removeCurrent);
    long long groupId(int candidate, int current);
    long long privateGroupId();
    void startFingerprints();

    std::vector<Track> m_tracks;
    QVector<CMusicObj*> m_music;
    int m_iMask;
    int m_iCriteria;
    bool m_bDeep;
    QString m_strArtworkFolder;
    const std::atomic<bool>& m_bExit;
    QHash<QString, Bucket> m_fieldBuckets;
    QHash<QString, Bucket> m_locationBuckets;
    // Deep scan: per track, whether it was entered with a file and is still
    // a candidate, set again whenever the scan changes its words. The loop
    // over every earlier track reads this byte instead of each track's
    // words, whose scattered reads took about as long as the comparisons.
    std::vector<char> m_comparable;
    std::unique_ptr<CFingerprintStore> m_pStore;
    QSet<long long> m_usedIds; // filled when a private group ID is first needed
    long long m_llNextPrivateId = 1;
};
