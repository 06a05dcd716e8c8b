// The engine's worker threads. Each runs one body of the manager; the
// manager owns them and waits for all of them before deleting any.
#pragma once

#include <QThread>

class CMusicManage;
struct tagDowndWrok;

// Runs the load loop of the open library.
class CLoadThread : public QThread
{
public:
    explicit CLoadThread(CMusicManage* manager) : m_pManage(manager) {}

protected:
    void run() override;

private:
    CMusicManage* m_pManage;
};

// Runs the analysis of the track list.
class CAnalyzeThrad : public QThread
{
public:
    explicit CAnalyzeThrad(CMusicManage* manager) : m_pManage(manager) {}

protected:
    void run() override;

private:
    CMusicManage* m_pManage;
};

// Stores the analysis results; started at the lowest priority.
class CSaveToDBThread : public QThread
{
public:
    explicit CSaveToDBThread(CMusicManage* manager) : m_pManage(manager) {}

protected:
    void run() override;

private:
    CMusicManage* m_pManage;
};

// Serves the request of one download slot, then forgets the slot.
class CDowndThrad : public QThread
{
public:
    explicit CDowndThrad(CMusicManage* manager) : m_pManage(manager) {}
    // The slot of the next run; set before each start.
    void SetIndex(tagDowndWrok* slot) { m_pSlot = slot; }

protected:
    void run() override;

private:
    CMusicManage* m_pManage;
    tagDowndWrok* m_pSlot = nullptr;
};
