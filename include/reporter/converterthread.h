// One converter slot's worker: turns one music file into the temporary WAV
// file that the online lookup identifies by its audio. Started once per
// track; everything but run() belongs to the GUI thread.
#pragma once

#include "cadenzo.h"

#include <QMutex>
#include <QString>
#include <QThread>

#include <atomic>

class CConverterThread : public QThread
{
    Q_OBJECT
public:
    explicit CConverterThread(QObject* parent);
    // Kills a running conversion and asks the thread to end; the owner
    // waits for it first.
    ~CConverterThread() override;

    // The next conversion; GUI thread, before start().
    void SetTrackParams(void* item, const QString& source, const QString& dest, tagFixType fixType);
    // Ends a running conversion early; safe from any thread, also while
    // the task is being destroyed.
    void KillConvertTask();
    bool HasTask() const;
    // While set, run() does nothing and sends no end signal.
    void SetStop(bool stop) { m_bStop = stop; }

signals:
    // Emitted on the converter thread; ok when the WAV file was written.
    void SendConverterOK(void* item, bool ok, int fixType);

protected:
    void run() override;

private:
    int convert();

    std::atomic<bool> m_bStop{false};
    mutable QMutex m_taskMutex;  // the task handle, against kill during destroy
    void* m_pTask = nullptr;
    void* m_pItem = nullptr;
    QString m_strSource;
    QString m_strDest;
    tagFixType m_eFixType = FT_DEFAULT;
};
