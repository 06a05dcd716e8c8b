// Placeholder of the duplicate page until the page itself lands.
#include "reporter/duplicate.h"

CDuplicate::CDuplicate(CMusicLink* link, QWidget* parent) : QWidget(parent), m_pMusicLink(link)
{
    setObjectName(QStringLiteral("Duplicate"));
    setAccessibleName(objectName());
}

CDuplicate::~CDuplicate() = default;

void CDuplicate::SetMusicLink(CMusicLink* link) { m_pMusicLink = link; }
void CDuplicate::AddDuplicateItem(void*, int, int, long long) {}
void CDuplicate::Calculate() {}
void CDuplicate::ShowDuplicate(int) {}
void CDuplicate::GetMusicNames(QStringList& out) { out.clear(); }
void CDuplicate::ClearTrash() {}
void CDuplicate::RemoveDuplicate() {}
void CDuplicate::AppleyCondition(tagCtlState, bool) {}
void CDuplicate::StopWorking() { m_bExit = false; }
