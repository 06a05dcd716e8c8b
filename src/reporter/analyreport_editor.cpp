// Where the report page meets the track information editor.
//
// SEAM: the editor (CModifyMusicInfo) is built by its own module and is not
// part of the application yet. Until it is, the page has no editor to load,
// hide or show, and these three calls are the only places that would touch
// it: each turns into one editor call once the editor's header is there.
#include "reporter/analyreport.h"

// CModifyMusicInfo::SetItem(absence, track).
void CAnalyReport::editorSetItem(int, void*) {}

// CModifyMusicInfo::HideModify() and setHidden(true).
void CAnalyReport::editorForget() {}

// setHidden(false), then EditHide() when its detail area is collapsed.
void CAnalyReport::editorShow() {}
