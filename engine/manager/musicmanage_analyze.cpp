// CMusicManage: the analysis: starting it, its pause, continue and stop,
// and the walk over the tracks that marks what is missing (fix run modes)
// or groups the duplicates (duplicate run modes).
#include "manager/musicmanage.h"
#include "manager/duplicatescan.h"
#include "manager/enginethreads.h"

#include "core/mmlog.h"
#include "core/musicobj.h"
#include "core/trackfields.h"
#include "platformbase.h"

#include <QMutexLocker>

#include <algorithm>
#include <memory>

namespace {

constexpr int kLastTrackProgress = PROGRESS_FULL - 1;

bool isDuplicateMode(int mode)
{
    return mode == RUN_DUP_FILES || mode == RUN_DUP_ITUNES;
}

enum FixOutcome { FIX_SKIPPED, FIX_COMPLETE, FIX_MARKED };

// What a fix run finds missing in one track.
FixOutcome examineForFixes(CMusicObj* music, int mask, bool noYearGenre)
{
    const tagMMusicInfo info = music->WorkingCopy();
    int bits = 0;
    if (IsRegularFile(info.strLocation)) {
        const int absence = music->GetAbsenceType();
        // Analysed before, and not only for a file that was missing then.
        if (absence != 0 && !(absence & MF_FILE))
            return FIX_SKIPPED;
        for (const tagTrackField& field : kTrackFields) {
            if (isEditable(field) && !field.ridesAlong && (mask & field.bit) && (info.*field.member).isEmpty())
                bits |= field.bit;
        }
        if ((mask & MF_ARTWORK) && !music->GetiTunesMusicArtwork())
            bits |= MF_ARTWORK;
        if (bits == 0)
            return FIX_COMPLETE;
        for (const tagTrackField& field : kTrackFields) {
            if (field.ridesAlong && !noYearGenre && (info.*field.member).isEmpty())
                bits |= field.bit;
        }
    } else {
        bits = mask & MF_FILE;
    }
    music->SetAbsenceType(bits | AT_ANALYSED);
    return FIX_MARKED;
}

int duplicateProgress(int index, int count)
{
    const qint64 progress = (qint64(index) * PROGRESS_FULL + PROGRESS_FULL) / count;
    return int(std::min<qint64>(progress, kLastTrackProgress));
}

} // namespace

int CMusicManage::AnalyzeMusicList(const tagCtlCmdParam* param, int mask)
{
    WriteLog(QStringLiteral("CMusicManage::AnalyzeMusicList()"));
    if (m_bExit)
        return 0;
    if (m_pAnalyzeThread->isRunning())
        return MM_ERR_FAIL;
    m_iAnalyzeMask = mask;
    m_iCurOperation = param->iOperation;
    // A pause left over from an earlier run would freeze the new one: a
    // continue equal to the state set here would change nothing.
    m_analysisGate.Reset(CTL_RUN);
    m_pAnalyzeCallBack = param->pCallBack;
    m_pUser = param->pUser;
    m_pAnalyzeThread->start();
    return 0;
}

int CMusicManage::CtlCmdState(tagCtlState state)
{
    // A stop is final for the running analysis.
    m_analysisGate.Command(state);
    return 0;
}

bool CMusicManage::WaitAnalysisTurn()
{
    return m_analysisGate.WaitForTurn(m_bExit);
}

int CMusicManage::AnalyzeMusicInfo()
{
    WriteLog(QStringLiteral("Start AnalyzeMusicInfo"));
    if (!hasLibrary())
        return MM_ERR_FAIL;
    // The save of an earlier analysis still reads the tracks this one marks.
    m_pSaveThread->wait();
    const QVector<CMusicObj*> tracks = startAnalysisPass();
    const bool duplicates = std::any_of(tracks.cbegin(), tracks.cend(), [](const CMusicObj* music) {
        return music && isDuplicateMode(music->GetRunMode());
    });
    std::unique_ptr<CDuplicateScan> scan;
    if (duplicates)
        scan = std::make_unique<CDuplicateScan>(tracks, m_iAnalyzeMask.load(), m_strArtworkFolder, m_bExit);
    m_pDuplicateScan = scan.get();
    QVector<bool> complete(tracks.size(), false);
    const bool finished = walkTracks(tracks, complete);
    m_pDuplicateScan = nullptr;
    scan.reset();
    setCompleteTracksAside(tracks, complete);
    if (finished) {
        m_saveReport.Arm(m_pAnalyzeCallBack, m_pUser);
        m_pSaveThread->start(QThread::LowestPriority);
        tagAnaluyzeInfo end = {};
        end.iOperation = CMD_ANALYSE;
        end.iState = 1;
        end.iTotal = PROGRESS_FULL;
        end.iProgress = PROGRESS_FULL;
        if (m_pAnalyzeCallBack)
            m_pAnalyzeCallBack(&end, m_pUser);
        m_saveReport.EndRecordSent();
    }
    WriteLog(QStringLiteral("End AnalyzeMusicInfo"));
    m_iCurOperation = 0;
    m_analysisGate.SetState(CTL_IDLE);
    return 0;
}

QVector<CMusicObj*> CMusicManage::startAnalysisPass()
{
    QMutexLocker lock(&m_mutexList);
    m_iKeepCount = m_musicList.size();
    return m_musicList;
}

// False when the walk was left early (stop, exit). Complete tracks are only
// noted here; they leave the list together afterwards, which gives the list
// of removing each at once without moving the rest of it every time.
bool CMusicManage::walkTracks(const QVector<CMusicObj*>& tracks, QVector<bool>& complete)
{
    const int mask = m_iAnalyzeMask;
    int left = 0;
    for (int k = 0; k < tracks.size(); ++k) {
        if (m_bExit || !WaitAnalysisTurn())
            return false;
        CMusicObj* music = tracks[k];
        if (!music)
            continue;
        if (isDuplicateMode(music->GetRunMode())) {
            const int absence = duplicateStep(music, k);
            if (m_bExit)
                return false;
            sendTrackRecord(music, duplicateProgress(k - left, tracks.size() - left));
            music->SetAbsenceType(absence | AT_ANALYSED);
            m_pDuplicateScan->Enter(k);
        } else {
            const FixOutcome outcome = examineForFixes(music, mask, m_bNoYearGenre);
            if (outcome == FIX_COMPLETE) {
                complete[k] = true;
                ++left;
                continue;
            }
            if (m_pDuplicateScan)
                m_pDuplicateScan->Enter(k);
            if (outcome == FIX_SKIPPED)
                continue;
        }
        music->SetDirty(true);
    }
    return true;
}

// The comparison of one track in the duplicate run modes; returns the
// absence word to store (AT_ANALYSED not yet added).
int CMusicManage::duplicateStep(CMusicObj* music, int index)
{
    int absence = music->GetAbsenceType();
    if ((absence & AT_ANALYSED) || !m_pDuplicateScan->HasFile(index))
        return absence;
    const tagMMusicInfo current = music->WorkingCopy();
    long long id = 0;
    bool removeCurrent = false;
    const int found = RepeatMusicList_kwr(&current, index - 1, m_iAnalyzeMask, &id, removeCurrent);
    if (found == 1) {
        if (removeCurrent)
            music->SetState(MS_REMOVE);
        music->SetRepeatID(id);
        absence |= AT_DUPLICATE;
    } else if (found < 0) {
        absence |= AT_DUPLICATE_ERROR;
    }
    return absence;
}

void CMusicManage::sendTrackRecord(CMusicObj* music, int progress)
{
    if (!m_pAnalyzeCallBack)
        return;
    const QByteArray location = music->WorkingCopy().strLocation.toUtf8();
    tagAnaluyzeInfo record = {};
    record.iOperation = CMD_ANALYSE;
    record.pMusic = music;
    record.iProgress = progress;
    record.pLocation = location.constData();
    m_pAnalyzeCallBack(&record, m_pUser);
}

void CMusicManage::setCompleteTracksAside(const QVector<CMusicObj*>& tracks, const QVector<bool>& complete)
{
    if (!complete.contains(true))
        return;
    QMutexLocker lock(&m_mutexList);
    QVector<CMusicObj*> kept;
    kept.reserve(m_musicList.size());
    for (int k = 0; k < tracks.size(); ++k)
        (complete[k] ? m_completeList : kept).append(tracks[k]);
    // Tracks the list gained meanwhile (none in the application's order of
    // calls) stay behind those of the walk.
    for (int k = tracks.size(); k < m_musicList.size(); ++k)
        kept.append(m_musicList[k]);
    m_musicList.swap(kept);
}

int CMusicManage::RepeatMusicList_kwr(const tagMMusicInfo* current, int lastIndex, int mask,
                                      long long* repeatId, bool& removeCurrent)
{
    Q_UNUSED(mask);
    if (!current || !repeatId || !m_pDuplicateScan || lastIndex < 0)
        return 0;
    return m_pDuplicateScan->FindDuplicate(lastIndex + 1, repeatId, removeCurrent);
}
