// The Help menu's way to the vendor: web pages, the support address and
// the bug report.
#include "vessolin/mainui.h"

#include "about/about.h"
#include "common.h"
#include "vessolin/bugreport.h"

#include <QDesktopServices>
#include <QUrl>

void CMainUI::Home()
{
    QDesktopServices::openUrl(QUrl(HOME));
}

void CMainUI::Help()
{
    QDesktopServices::openUrl(QUrl(HELP));
}

void CMainUI::Eula()
{
    QDesktopServices::openUrl(QUrl(EULA));
}

void CMainUI::Translate()
{
    QDesktopServices::openUrl(QUrl(g_strTranslate));
}

// Secure pages count as web pages, the same test as the About box's link.
void CMainUI::Support()
{
    QDesktopServices::openUrl(QUrl(SupportLinkAddress(SUPPORT)));
}

void CMainUI::BugReport()
{
    if (!m_pBugReport->Start())
        WriteUILog(QStringLiteral("Bug report already in progress"));
}
