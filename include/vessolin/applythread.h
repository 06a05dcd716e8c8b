// The apply thread: writes the fixed results to the library or the files,
// or, after a duplicate scan, removes the marked copies or undoes one
// removal; also runs the window's own disk work (copies, deletions, the
// waits of Home's stop). The pages do the work; the apply and the removal
// pause on their own pairs.
#pragma once

#include <QThread>

#include <functional>

class CAnalyReport;
class CDuplicate;

class CApplyThread : public QThread
{
    Q_OBJECT
public:
    enum EWork { AW_APPLY, AW_REMOVAL, AW_UNDO, AW_DISK };

    CApplyThread(CAnalyReport* report, CDuplicate* duplicate, QObject* parent);
    ~CApplyThread() override;

    // The apply is prepared here; a removal by the duplicate page's
    // PrepareRemove and an undo by its PrepareUndo, which take their rows.
    void Start(EWork work, int run);
    // AW_DISK: work, disk work of the window's own; WorkEnded follows it.
    void StartDiskWork(std::function<void()> work);
    // The number of the last start; GUI thread.
    int Serial() const { return m_iSerial; }

signals:
    // After the apply or the removal has ended.
    void SendApplyOK(int run);
    // After the undo has ended.
    void SendUndoOK(int run);
    // The last word of every start, whatever its work.
    void WorkEnded(int serial);

protected:
    void run() override;

private:
    CAnalyReport* m_pAnalyReport;
    CDuplicate* m_pDuplicate;
    EWork m_eWork = AW_APPLY;
    int m_iRun = 0;
    int m_iSerial = 0;
    std::function<void()> m_diskWork;
};
