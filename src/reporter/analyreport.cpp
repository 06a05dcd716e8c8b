// Placeholder of the report page until the page itself lands: the main
// window can be built and driven, and the page shows nothing.
#include "reporter/analyreport.h"

CAnalyReport::CAnalyReport(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("AnalyReport"));
    setAccessibleName(objectName());
}

CAnalyReport::~CAnalyReport() = default;

void CAnalyReport::SetMusicLink(CMusicLink* link) { m_pMusicLink = link; }
void CAnalyReport::SetExitFlag(bool exit) { m_bExit = exit; }
void CAnalyReport::AddReportItem(void*, int, int, long long, bool) {}
void CAnalyReport::ShowReport(bool) {}
int CAnalyReport::CalculateScore() { return 0; }
void CAnalyReport::SetArtworkState(tagCtlState) {}
void CAnalyReport::SetFixState(EFixState) {}
void CAnalyReport::FixAnalyList() {}
void CAnalyReport::StartFixFailed() {}
void CAnalyReport::FixCallBrack(void*, int, int, int) {}
void CAnalyReport::StopPlay() {}
bool CAnalyReport::IsNeedFix() { return false; }
bool CAnalyReport::IsNeedApply() const { return m_bNeedApply; }
void CAnalyReport::AppleyiTunes() {}
void CAnalyReport::AppleyCondition(tagCtlState, bool) {}
void CAnalyReport::StopWorking() { m_bNeedApply = false; }
