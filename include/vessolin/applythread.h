// The apply thread: writes the fixed results to the library or the files,
// or, after a duplicate scan, removes the marked copies or undoes one
// removal. The pages do the work; the apply and the removal pause on their
// own pairs.
#pragma once

#include <QThread>

class CAnalyReport;
class CDuplicate;

class CApplyThread : public QThread
{
    Q_OBJECT
public:
    enum EWork { AW_APPLY, AW_REMOVAL, AW_UNDO };

    CApplyThread(CAnalyReport* report, CDuplicate* duplicate, QObject* parent);
    ~CApplyThread() override;

    // The apply is prepared here; a removal by the duplicate page's
    // PrepareRemove and an undo by its PrepareUndo, which take their rows.
    void Start(EWork work, int run);

signals:
    // After the apply or the removal has ended.
    void SendApplyOK(int run);
    // After the undo has ended.
    void SendUndoOK(int run);

protected:
    void run() override;

private:
    CAnalyReport* m_pAnalyReport;
    CDuplicate* m_pDuplicate;
    EWork m_eWork = AW_APPLY;
    int m_iRun = 0;
};
