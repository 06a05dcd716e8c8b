// Clears old removal history: once per program run, at the lowest
// priority, the dated day folders of the trash that are older than the set
// number of days go, after one question the page asks on the GUI thread.
#pragma once

#include <QDate>
#include <QMutex>
#include <QString>
#include <QThread>
#include <QWaitCondition>

#include <atomic>

class CClearTrashThread : public QThread
{
    Q_OBJECT
public:
    explicit CClearTrashThread(QObject* parent);
    ~CClearTrashThread() override;

    // Starts the walk of trash at the lowest priority: folders named for a
    // day more than days before today go. GUI thread; once per object.
    void StartClearing(const QString& trash, int days, const QDate& today);
    // The user's answer (cancel: stop the walk); wakes a waiting walk. Any thread.
    void AnswerClearTrash(bool cancel);

signals:
    // Before the first deletion: ask the user, answer with AnswerClearTrash.
    void AskClearTrash(int seconds);

protected:
    void run() override;

private:
    void removePlainFile(const QString& path);
    // true: go on with the walk; false: the user cancelled.
    bool clearDayFolder(const QString& name);
    bool askOnce();
    bool isOld(const QString& name) const;

    std::atomic<bool> m_bCancel{false};
    bool m_bAsked = false;  // walk thread only
    bool m_bAnswered = false;  // under m_mutexAnswer
    QWaitCondition m_waitAnswer;
    QMutex m_mutexAnswer;

    // Set before the thread starts, read by the walk only.
    QString m_strTrash;
    int m_iDays = 7;
    QDate m_today;
};
