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

// Shows the editor on track with its detail area open. The track is handed
// over before the area opens, so opening loads it once: handed over to an
// open area it would first commit the track the area had just loaded.
void CAnalyReport::editorShow(int absence, void* track)
{
    m_pModifyInfo->setHidden(false);
    m_pModifyInfo->SetItem(absence, track);
    if (m_pModifyInfo->isHidden())
        m_pModifyInfo->EditHide();
}

bool CAnalyReport::editorOpen() const
{
    return !m_pModifyInfo->isHidden();
}
