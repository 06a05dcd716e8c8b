// Writing every track's results back, on the main window's apply thread,
// inside one database transaction, with pause and resume.
#include "reporter/analyreport.h"

#include "common.h"
#include "config.h"
#include "musiclink.h"
#include "reporter/storagefailure.h"

#include <QStringList>

QMutex CAnalyReport::g_Applemutex;
QWaitCondition CAnalyReport::g_AppleCond;
int CAnalyReport::iApplePauseThread = 0;

namespace {

// The engine's answer for a track that has nothing to write (yet).
constexpr int kNothingToWrite = MM_ERR_FAIL;

// The settings' replace word as the apply hands it to the engine.
int ReplaceMask()
{
    const int replaceWord = CConfig::instance()->Replace;
    return (replaceWord & OPT_REPLACE_META) ? replaceWord : 0;
}

} // namespace

bool CAnalyReport::IsNeedApply() const
{
    // The engine's tracks know what waits whoever found it: this run, the
    // interrupted run it continues or the project it opened. The flag adds
    // what they cannot tell: an apply whose end was rolled back.
    return m_bNeedApply || m_iApplyUnreached > 0
        || (m_pMusicLink && m_pMusicLink->WaitingMusicCount(ReplaceMask()) > 0);
}

void CAnalyReport::AppleyiTunes()
{
    WriteUILog(QStringLiteral("Start AppleiTunes"));
    // An open edit was committed by the main window before this thread
    // started; an open editor only has to collapse.
    if (editorOpen())
        emit EditInfoHide();
    const int replace = ReplaceMask();
    m_pMusicLink->DBTransaction(false);
    const int count = m_pMusicLink->GetMusicCountAMode(nullptr, nullptr);
    // Until the loop has passed a song, that song still waits: a stop (a
    // close or Home) leaves the ones after it unwritten, and the close
    // keeps the working database for them. Counted before the flag goes,
    // so the results never read as applied in between.
    m_iApplyUnreached = count;
    m_bNeedApply = false;
    int failed = 0;
    std::array<int, CStorageFailure::SONG_CAUSES> refused{};
    for (int index = 0; index < count; ++index) {
        // A pause lands between two tracks. The loop's mutex is not held
        // through the write: a track's copy, check and rename can take long
        // on a slow disk, and a Pause or Continue pressed meanwhile would
        // wait for it on the GUI thread.
        if (!m_applyHandshake.WaitForTurn())
            break;
        const int result = m_pMusicLink->ApplyMusicInfo(index, replace);
        --m_iApplyUnreached;
        if (result != 0 && result != kNothingToWrite) {
            ++failed;
            ++refused[CStorageFailure::SongCauseOf(result)];
            void* track = nullptr;
            int absence = 0, state = 0;
            long long repeat = 0;
            m_pMusicLink->GetMusicListMusic(index, &track, absence, state, repeat);
            const tagMMusicInfo* info = nullptr;
            m_pMusicLink->GetMusicInfo(track, &info, INFO_NEW);
            WriteUILog(QStringLiteral("ApplyMusicInfo Failed: index:%1 PID:%2 path:%3 code:%4")
                           .arg(index).arg(info ? info->strPersistentID : QString(),
                                           info ? info->strLocation : QString()).arg(result));
        }
        emit UpdateProcess(int(qint64(index + 1) * PROGRESS_FULL / count));
    }
    const int ended = m_pMusicLink->DBTransaction(true);
    if (ended != 0)
        WriteUILog(QStringLiteral("AppleiTunes: the end of the apply failed:%1").arg(ended));
    for (int cause = 0; cause < CStorageFailure::SONG_CAUSES; ++cause)
        m_iApplyRefused[cause] = refused[cause];
    m_iApplyEnded = ended;
    // What could not be written, and an apply whose record was rolled back
    // or whose library file kept the old contents, still wait to be applied.
    if (failed > 0 || ended != 0)
        m_bNeedApply = true;
    if (m_bExit)
        return;
    emit UpdateProcess(PROGRESS_FULL);
    QMetaObject::invokeMethod(this, [this, failed, ended] {
        if (m_eFixState == FS_IDLE)
            CalculateScore();
        if (failed > 0 || ended != 0)
            emit StartFixAll(ApplyFailureText());
    }, Qt::QueuedConnection);
    WriteUILog(QStringLiteral("Stop AppleiTunes"));
}

QString CAnalyReport::ApplyFailureText() const
{
    QStringList parts;
    if (const int ended = m_iApplyEnded; ended != 0)
        parts << CStorageFailure::ApplyEndFailed(ended);
    // Each cause in words of its own: a song refused for one reason must not
    // be told to check another.
    for (int cause = 0; cause < CStorageFailure::SONG_CAUSES; ++cause)
        if (const int count = m_iApplyRefused[cause]; count > 0)
            parts << CStorageFailure::SongsNotWritten(CStorageFailure::SongCause(cause), count);
    return parts.join(QLatin1Char(' '));
}

void CAnalyReport::PrepareApply()
{
    m_applyHandshake.Begin();
}

void CAnalyReport::AppleyCondition(tagCtlState state, bool wake)
{
    if (state == CTL_PAUSE)
        m_applyHandshake.Pause();
    else if (state == CTL_RUN && wake)
        m_applyHandshake.Resume();
}

void CAnalyReport::Quit()
{
    m_applyHandshake.Quit();
}
