// The analysis report page: the problem categories, their lists, the
// fixing run, the apply and the score. Lives on the GUI thread; the main
// window's analysis and apply threads call the operations marked so.
#pragma once

#include "cadenzo.h"

#include <QString>
#include <QWidget>

#include <atomic>

class CMusicLink;

class CAnalyReport : public QWidget
{
    Q_OBJECT
public:
    enum EFixState { FS_IDLE = 0, FS_RUN = 1, FS_PAUSE = 2 };

    explicit CAnalyReport(QWidget* parent);
    ~CAnalyReport() override;

    // Binds the engine bridge; called once, right after it is made.
    void SetMusicLink(CMusicLink* link);
    // While set, fixing steps and the apply loop do nothing more.
    void SetExitFlag(bool exit);

    // Analysis thread: one analysed track, in track order; the widget work
    // happens later on the GUI thread, in call order.
    void AddReportItem(void* track, int absence, int state, long long repeatId, bool show);
    // Refreshes the category counts and shows the list.
    void ShowReport(bool resumedProject);
    // Recounts the open problems, reports them, returns their number.
    int CalculateScore();

    void SetArtworkState(tagCtlState state);
    void SetFixState(EFixState state);
    void FixAnalyList();
    void StartFixFailed();
    void FixCallBrack(void* track, int absence, int type, int state);
    void StopPlay();
    bool IsNeedFix();
    bool IsNeedApply() const;

    // Apply thread: writes every track's results in one transaction.
    void AppleyiTunes();
    // CTL_PAUSE pauses the apply loop; CTL_RUN with wake resumes it.
    void AppleyCondition(tagCtlState state, bool wake);

    // Stops every thread of the page and empties it; blocks until they end.
    void StopWorking();

    // Written by the main window's analysis thread before and while it
    // hands tracks over.
    std::atomic<int> m_iAnalyzeMask{0};
    std::atomic<int> m_iProblemNum{0};

signals:
    void UpdateProcess(int iPross);
    void ReportFixInfo(int iMissNum, int iPross);
    void StartFixAll(QString strName);
    void EndFialedState(bool f);
    void ReportFixAllComplete();
    void EditInfoHide();

private:
    CMusicLink* m_pMusicLink = nullptr;
    std::atomic<bool> m_bExit{false};
    bool m_bNeedApply = false;
};
