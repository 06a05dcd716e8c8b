#include "reporter/cleartrashthread.h"

#include "common.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>

namespace {

constexpr int kAskSeconds = 10;
const QString kDayFormat = QStringLiteral("yyyy-MM-dd");

} // namespace

CClearTrashThread::CClearTrashThread(QObject* parent) : QThread(parent) {}

CClearTrashThread::~CClearTrashThread() = default;

void CClearTrashThread::StartClearing(const QString& trash, int days, const QDate& today)
{
    m_strTrash = trash;
    m_iDays = days;
    m_today = today;
    start(QThread::LowestPriority);
}

void CClearTrashThread::AnswerClearTrash(bool cancel)
{
    QMutexLocker lock(&m_mutexAnswer);
    if (cancel)
        m_bCancel = true;
    m_bAnswered = true;
    m_waitAnswer.wakeAll();
}

void CClearTrashThread::run()
{
    if (m_strTrash.isEmpty())
        return;
    // Hidden entries of the trash folder itself are not looked at; the names
    // sort the dated folders oldest first.
    const QFileInfoList entries =
        QDir(m_strTrash).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& entry : entries) {
        if (m_bCancel)
            return;
        // A link is never followed: what it points to lies outside the
        // trash, even when its name reads like an old day.
        if (entry.isSymLink())
            continue;
        const QString path = m_strTrash + QLatin1Char('/') + entry.fileName();
        if (entry.isFile())
            removePlainFile(path);
        else if (entry.isDir() && isOld(entry.fileName()) && !clearDayFolder(entry.fileName()))
            return;
    }
}

void CClearTrashThread::removePlainFile(const QString& path)
{
    if (!QFileInfo::exists(path))
        WriteUILog(QStringLiteral("File is not exists!%1").arg(path));
    if (!QFile::remove(path))
        WriteUILog(QStringLiteral("Remove Failed!%1").arg(path));
}

bool CClearTrashThread::isOld(const QString& name) const
{
    const QDate day = QDate::fromString(name, kDayFormat);
    return day.isValid() && day.daysTo(m_today) > m_iDays;
}

bool CClearTrashThread::clearDayFolder(const QString& name)
{
    if (!askOnce()) {
        WriteUILog(QStringLiteral("User Cancel Clear Trash!"));
        return false;
    }
    const QString folder = m_strTrash + QLatin1Char('/') + name;
    // Files only, hidden ones too. A link to a file is removed as a link
    // (the engine may have moved a linked song here), never followed; links
    // to folders and sub-folders are not listed, and the folder stays with them.
    const QFileInfoList files = QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& file : files) {
        if (m_bCancel)
            return false;
        const QString path = folder + QLatin1Char('/') + file.fileName();
        if (!file.exists())
            WriteUILog(QStringLiteral("File is not exists!%1").arg(path));
        if (!QFile::remove(path))
            WriteUILog(QStringLiteral("Delete Trash File Failed:%1").arg(path));
    }
    if (!QDir(m_strTrash).rmdir(name))
        WriteUILog(QStringLiteral("Delete Trash path Failed:%1").arg(folder));
    return !m_bCancel;
}

bool CClearTrashThread::askOnce()
{
    if (m_bAsked)
        return !m_bCancel;
    m_bAsked = true;
    {
        QMutexLocker lock(&m_mutexAnswer);
        m_bAnswered = false;
    }
    // The answer is a flag under the mutex, so one given before the wait
    // begins is not lost, and a wake-up without an answer does not end it.
    emit AskClearTrash(kAskSeconds);
    QMutexLocker lock(&m_mutexAnswer);
    while (!m_bAnswered && !m_bCancel)
        m_waitAnswer.wait(&m_mutexAnswer);
    return !m_bCancel;
}
