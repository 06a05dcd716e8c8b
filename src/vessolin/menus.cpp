// The menu bar: Edit mirrors the header's Pause/Continue and saves the
// project; Help leads to the support pages, the bug report, the update
// check, About and Preferences.
#include "vessolin/mainui.h"

#include "about/about.h"
#include "option/option.h"
#include "update/updater.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

template <typename Slot>
QAction* CMainUI::NewAction(const QString& text, const char* name, Slot slot)
{
    auto* action = new QAction(text, this);
    action->setObjectName(QLatin1String(name));
    connect(action, &QAction::triggered, this, slot);
    return action;
}

void CMainUI::CreateActions()
{
    m_pAboutAct = NewAction(tr("About"), "AboutAct", &CMainUI::About);
    m_pAboutAct->setMenuRole(QAction::AboutRole);
    m_pPreferencesAct = NewAction(tr("Preferences"), "PreferencesAct", &CMainUI::Preferences);
    m_pPreferencesAct->setMenuRole(QAction::PreferencesRole);

    m_pPauseAct = NewAction(tr("Pause"), "PauseAct", &CMainUI::CancelGroup);
    m_pContinueAct = NewAction(tr("Continue"), "ContinueAct", &CMainUI::CancelGroup);
    m_pSaveProjectAct = NewAction(tr("Save Project"), "SaveProjectAct", [this] { ApplyOrSave(); });

    m_pHomepageAct = NewAction(tr("Homepage"), "HomepageAct", &CMainUI::Home);
    m_pSupportAct = NewAction(tr("Support"), "SupportAct", &CMainUI::Support);
    m_pBugReportAct = NewAction(tr("Bug Report"), "BugReportAct", &CMainUI::BugReport);
    m_pHelpAct = NewAction(tr("Help"), "HelpAct", &CMainUI::Help);
    m_pUpdateAct = NewAction(tr("Check for updates"), "UpdateAct", &CMainUI::UpdataSoft);
    m_pTranslateAct = NewAction(tr("Translate Vessolin Mac for us"), "TranslateAct", &CMainUI::Translate);
    m_pEulaAct = NewAction(tr("EULA"), "EulaAct", &CMainUI::Eula);
}

void CMainUI::CreateMenuBar()
{
    m_pMenuBar = new QMenuBar(this);
    m_pMenuBar->setObjectName(QStringLiteral("MainUIMenuBar"));
    m_pMenuBar->setAccessibleName(m_pMenuBar->objectName());

    m_pEditMenu = m_pMenuBar->addMenu(tr("Edit"));
    m_pEditMenu->setObjectName(QStringLiteral("EditMenu"));
    m_pEditMenu->setAccessibleName(tr("Edit"));
    m_pEditMenu->addAction(m_pPauseAct);
    m_pEditMenu->addAction(m_pContinueAct);
    m_pEditMenu->addAction(m_pSaveProjectAct);

    m_pHelpMenu = m_pMenuBar->addMenu(tr("Help"));
    m_pHelpMenu->setObjectName(QStringLiteral("HelpMenu"));
    m_pHelpMenu->setAccessibleName(tr("Help"));
    m_pHelpMenu->addAction(m_pHomepageAct);
    m_pHelpMenu->addAction(m_pHelpAct);
    m_pHelpMenu->addAction(m_pSupportAct);
    m_pHelpMenu->addAction(m_pEulaAct);
    m_pHelpMenu->addSeparator();
    m_pHelpMenu->addAction(m_pBugReportAct);
    m_pHelpMenu->addAction(m_pUpdateAct);
    m_pHelpMenu->addAction(m_pTranslateAct);
    m_pHelpMenu->addAction(m_pAboutAct);
    m_pHelpMenu->addAction(m_pPreferencesAct);

    UpdateEditActions();
    setMenuBar(m_pMenuBar);
}

void CMainUI::DeleteMenus()
{
    QAction** const actions[] = {
        &m_pPauseAct, &m_pContinueAct, &m_pSaveProjectAct, &m_pHomepageAct, &m_pHelpAct, &m_pSupportAct,
        &m_pEulaAct, &m_pBugReportAct, &m_pUpdateAct, &m_pTranslateAct, &m_pAboutAct, &m_pPreferencesAct,
    };
    for (QAction** action : actions) {
        delete *action;
        *action = nullptr;
    }
    delete m_pHelpMenu;
    m_pHelpMenu = nullptr;
    delete m_pEditMenu;
    m_pEditMenu = nullptr;
    delete m_pMenuBar;
    m_pMenuBar = nullptr;
}

void CMainUI::UpdateEditActions()
{
    const tagMainControls controls = MainControlsOf(m_state);
    m_pPauseAct->setEnabled(controls.bPauseAction);
    m_pContinueAct->setEnabled(controls.bContinueAction);
    m_pSaveProjectAct->setEnabled(controls.bSaveProject);
    m_pPreferencesAct->setEnabled(controls.bPreferences);
}

void CMainUI::About()
{
    showNormal();
    CAbout about(this, Qt::Dialog | Qt::WindowMinMaxButtonsHint);
    about.exec();
}

void CMainUI::Preferences()
{
    // Also reached from the start screen's Settings button.
    if (!MainControlsOf(m_state).bPreferences)
        return;
    showNormal();
    COption option(m_pMusicLink, this);
    option.exec();
}

void CMainUI::UpdataSoft()
{
    StartUpdateCheck(m_pUpdateSetting, m_pUpdater);
}

void CMainUI::UpdateInfo(int state)
{
    ShowUpdateOutcome(this, m_pUpdater, state);
}
