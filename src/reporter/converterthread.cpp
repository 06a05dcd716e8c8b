#include "reporter/converterthread.h"

#include "quorra.h"

#include <QByteArray>
#include <QMutexLocker>

#include <cstring>

namespace {

// A path the conversion record cannot hold whole is refused: cut short it
// would name another file.
bool fitsRecord(const QByteArray& utf8)
{
    return !utf8.isEmpty() && utf8.size() < QUORRA_PATH_SIZE;
}

// The record's three zeroed buffers, alive for one conversion.
struct RecordBuffers
{
    char reserved[QUORRA_PATH_SIZE] = {};
    char source[QUORRA_PATH_SIZE] = {};
    char dest[QUORRA_PATH_SIZE] = {};
    tagConverRecord record{reserved, source, dest};

    RecordBuffers(const QByteArray& from, const QByteArray& to)
    {
        std::memcpy(source, from.constData(), size_t(from.size()));
        std::memcpy(dest, to.constData(), size_t(to.size()));
    }
};

} // namespace

CConverterThread::CConverterThread(QObject* parent) : QThread(parent) {}

CConverterThread::~CConverterThread()
{
    KillConvertTask();
    exit(0);
}

void CConverterThread::SetTrackParams(void* item, const QString& source, const QString& dest,
                                      tagFixType fixType)
{
    m_pItem = item;
    m_strSource = source;
    m_strDest = dest;
    m_eFixType = fixType;
}

void CConverterThread::KillConvertTask()
{
    QMutexLocker lock(&m_taskMutex);
    if (m_pTask)
        KillConverTask(m_pTask);
}

bool CConverterThread::HasTask() const
{
    QMutexLocker lock(&m_taskMutex);
    return m_pTask != nullptr;
}

int CConverterThread::convert()
{
    const QByteArray source = m_strSource.toUtf8();
    const QByteArray dest = m_strDest.toUtf8();
    if (!fitsRecord(source) || !fitsRecord(dest))
        return CR_BAD_ARGS;
    RecordBuffers buffers(source, dest);
    void* task = CreateConverTask(CK_WAV, &buffers.record);
    if (!task)
        return CR_BAD_ARGS;
    {
        QMutexLocker lock(&m_taskMutex);
        m_pTask = task;
    }
    // A stop that came before the task was known could not kill it.
    if (m_bStop)
        KillConverTask(task);
    const int result = StartConvertTask(&task);
    {
        // Cleared under the lock, so a kill either reaches the live task or
        // finds none; never the task being destroyed.
        QMutexLocker lock(&m_taskMutex);
        m_pTask = nullptr;
    }
    DestroyConvertTask(&task);
    return result;
}

void CConverterThread::run()
{
    if (m_bStop)
        return;
    const bool ok = m_pItem && !m_strSource.isEmpty() && !m_strDest.isEmpty() && convert() == CR_OK;
    if (m_bStop)
        return;
    emit SendConverterOK(m_pItem, ok, int(m_eFixType));
    m_pItem = nullptr;
    m_strSource.clear();
    m_strDest.clear();
    m_eFixType = FT_DEFAULT;
}
