// The window's own disk work, run on the apply thread behind the busy
// overlay so the GUI thread never waits for a disk: putting an opened
// project in the working database's place, and the plumbing every such
// step shares.
#include "vessolin/mainui.h"

#include "common.h"
#include "treeobj/treeobj.h"
#include "vessolin/applythread.h"
#include "vessolin/projectcopy.h"

#include <QDir>
#include <QMessageBox>

#include <memory>
#include <utility>

void CMainUI::RunOnApplyThread(std::function<void()> work, std::function<void()> done,
                               std::function<void()> atClose)
{
    m_afterApplyWork = std::move(done);
    m_closeApplyWork = std::move(atClose);
    m_pApplyThread->StartDiskWork(std::move(work));
}

bool CMainUI::StartDiskStep(std::function<void()> work, std::function<void()> done,
                            std::function<void()> atClose)
{
    if (!Advance(EV_DISK_STEP))
        return false;
    ShowBusyOverlay();
    RunOnApplyThread(std::move(work), [this, done = std::move(done)] {
        Advance(EV_DISK_STEP_END);
        ShowBusyOverlay();
        done();
        // Apply was a close's answer while the step ran.
        if (std::exchange(m_bApplyAfterStep, false))
            ApplyBeforeClose();
    }, std::move(atClose));
    return true;
}

void CMainUI::ApplyWorkEnded(int serial)
{
    m_iApplyEnded = serial;
    if (serial != m_pApplyThread->Serial())
        return;
    m_closeApplyWork = nullptr;
    if (const std::function<void()> done = std::exchange(m_afterApplyWork, nullptr))
        done();
    // What ran may have started the next work (Home's own steps do), or
    // ended Home.
    if (m_state.bGoingHome && m_iApplyEnded == m_pApplyThread->Serial())
        ContinueGoHome();
}

// look: 0 hidden, 1 the busy animation, 2 the finished picture.
void CMainUI::SetBusyOverlay(int look)
{
    m_iBusyLook = look;
    ShowBusyOverlay();
}

void CMainUI::ShowBusyOverlay()
{
    const int look = m_state.bDiskStep ? 1 : m_iBusyLook;
    if (look == 0)
        m_pBusyWidget->hide();
    else
        m_pBusyWidget->SetFash(look == 1);
}

void CMainUI::OpenProjectFile(const QString& project)
{
    if (!MainStateTakes(m_state, EV_LOAD_REQUEST, RUN_PROJECT))
        return;
    // The last run is over: a project it opened takes nothing back from
    // what is put in its database's place now.
    m_strProjectPath.clear();
    auto placed = std::make_shared<bool>(false);
    const QString database = g_strDBName;
    StartDiskStep(
        [this, placed, project, database] {
            m_pMusicLink->NoteDiskWork(CMusicLink::DW_PROJECT_COPY);
            *placed = PlaceProject(project, database);
        },
        [this, placed, project, database] {
            if (!*placed) {
                ProjectNotOpened(project, database);
            } else if (m_state.bGoingHome) {
                // Home came during the copy. A copy no load has begun is
                // no run: the project file is as it was, and the copy would
                // be offered as an interrupted run at the next start.
                RunOnApplyThread([this] { RemoveWorkingDatabase(); }, nullptr);
            } else {
                StartLoadRequest(QStringList(), project, RUN_PROJECT);
            }
        },
        [this, placed, project, database] {
            // As for Home; the close deletes it on its way out.
            if (*placed)
                m_bDeleteDB = true;
            else
                ProjectNotOpened(project, database);
        });
}

void CMainUI::ProjectNotOpened(const QString& project, const QString& database)
{
    WriteUILog(QStringLiteral("LoadSaveResult file.copy failed:%1 to %2").arg(project, database));
    QMessageBox::warning(this, QString(), tr("The project \"%1\" could not be opened.")
                                              .arg(QDir::toNativeSeparators(project)));
}
