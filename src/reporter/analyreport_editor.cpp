// Where the report page meets the track information editor below its lists.
#include "reporter/analyreport.h"

#include "information/modifymusicinfo.h"

void CAnalyReport::editorSetItem(int absence, void* track)
{
    m_pModifyInfo->SetItem(absence, track);
}

// Forgets the editor's track without committing its edits, and hides it.
void CAnalyReport::editorForget()
{
    m_pModifyInfo->HideModify();
    m_pModifyInfo->setHidden(true);
}

// Shows the editor with its detail area open.
void CAnalyReport::editorShow()
{
    m_pModifyInfo->setHidden(false);
    if (m_pModifyInfo->isHidden())
        m_pModifyInfo->EditHide();
}

bool CAnalyReport::editorOpen() const
{
    return !m_pModifyInfo->isHidden();
}
