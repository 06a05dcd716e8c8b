#include "manager/savereport.h"

#include <QMutexLocker>

void CSaveReport::Arm(MMCallBack callback, void* user)
{
    QMutexLocker lock(&m_mutex);
    m_callback = callback;
    m_user = user;
    m_endSent = false;
    m_failed = false;
}

void CSaveReport::EndRecordSent()
{
    settle(m_endSent);
}

void CSaveReport::SaveFailed()
{
    settle(m_failed);
}

// Notes one of the two; the second to come sends the failure record.
void CSaveReport::settle(bool& happened)
{
    MMCallBack callback = nullptr;
    void* user = nullptr;
    {
        QMutexLocker lock(&m_mutex);
        happened = true;
        if (!m_endSent || !m_failed)
            return;
        callback = m_callback;
        user = m_user;
    }
    send(callback, user);
}

void CSaveReport::send(MMCallBack callback, void* user)
{
    if (!callback)
        return;
    tagAnaluyzeInfo failed = {};
    failed.iOperation = CMD_ANALYSE;
    failed.iState = MM_ERR_DATABASE;
    failed.iTotal = PROGRESS_FULL;
    failed.iProgress = PROGRESS_FULL;
    callback(&failed, user);
}
