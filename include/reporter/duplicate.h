// The duplicate page: scan options and sources, the result groups,
// removal into the dated trash and undo. GUI thread, but for the
// operations marked for the analysis and apply threads.
#pragma once

#include "musiclink.h"

#include <QString>
#include <QStringList>
#include <QWidget>

#include <atomic>

class CDuplicate : public QWidget
{
    Q_OBJECT
public:
    // link may be null; the real one comes with SetMusicLink.
    CDuplicate(CMusicLink* link, QWidget* parent);
    ~CDuplicate() override;

    void SetMusicLink(CMusicLink* link);

    // Analysis thread: one duplicate track; shown later on the GUI thread.
    void AddDuplicateItem(void* track, int absence, int state, long long repeatId);
    // Reports the preselected copies through AddFixMissNum; enables sorting.
    void Calculate();
    // 0: the scan options, 1: the result groups.
    void ShowDuplicate(int page);
    // The chosen sources (files and folders); stores the scan options.
    void GetMusicNames(QStringList& out);
    // Clears old removal history, at most once per program run.
    void ClearTrash();

    // Apply thread: removes every marked copy in one transaction.
    void RemoveDuplicate();
    void AppleyCondition(tagCtlState state, bool wake);
    void StopWorking();

    // Stop request for the removal loop; set directly by the main window.
    std::atomic<bool> m_bExit{false};

signals:
    void SetRemoveEnable(bool enable);
    void AddFixMissNum(int count);
    void StartFixAll(QString text);
    void Complete(const QStringList& paths, const QString& path, EMusicRunMode mode);

private:
    CMusicLink* m_pMusicLink = nullptr;
};
