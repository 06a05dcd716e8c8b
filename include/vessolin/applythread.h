// The apply thread: writes the fixed results to the library or the files,
// or, after a duplicate scan, removes the marked copies. The pages do the
// work; they pause on their own pairs.
#pragma once

#include <QThread>

class CAnalyReport;
class CDuplicate;

class CApplyThread : public QThread
{
    Q_OBJECT
public:
    CApplyThread(CAnalyReport* report, CDuplicate* duplicate, QObject* parent);
    ~CApplyThread() override;

    // removal: the duplicate branch. Call only while the thread does not run.
    void Start(bool removal, int run);

signals:
    // After the work has ended.
    void SendApplyOK(int run);

protected:
    void run() override;

private:
    CAnalyReport* m_pAnalyReport;
    CDuplicate* m_pDuplicate;
    bool m_bRemoval = false;
    int m_iRun = 0;
};
