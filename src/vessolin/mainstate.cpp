#include "vessolin/mainstate.h"

#include "cadenzo.h"

namespace {

bool isBusy(const tagMainState& s)
{
    return s.iSubState == SUB_RUNNING || s.iSubState == SUB_PAUSED;
}

bool isAt(const tagMainState& s, int stage, int sub)
{
    return s.iState == stage && s.iSubState == sub;
}

tagMainState loadRequested(const tagMainState& from, int mode)
{
    if (mode == 0)
        return from;
    tagMainState to;
    to.iState = MW_LOADING;
    to.iSubState = SUB_RUNNING;
    to.bDuplicates = IsDuplicateRunMode(mode);
    to.bResumedProject = mode == RUN_PROJECT;
    to.bPreparing = true;
    to.bProjectOffered = true;
    return to;
}

// A report whose library is not a duplicate scan offers fixing or applying
// again; so does the end of a fixing run or an apply.
bool mayFix(const tagMainState& s)
{
    if (s.bDuplicates)
        return false;
    if (isAt(s, MW_ANALYSING, SUB_FINISHED))
        return s.iOutcome == OUT_REPORT;
    return isAt(s, MW_APPLY, SUB_NONE) || isAt(s, MW_APPLY, SUB_FINISHED);
}

bool mayApply(const tagMainState& s)
{
    if (isAt(s, MW_ANALYSING, SUB_FINISHED))
        return s.iOutcome == OUT_REPORT || s.iOutcome == OUT_DUPLICATES;
    if (isAt(s, MW_FIXING, SUB_PAUSED))
        return !s.bMovingFailed;
    return isAt(s, MW_APPLY, SUB_NONE) || isAt(s, MW_APPLY, SUB_FINISHED);
}

tagMainState withStage(tagMainState s, int stage, int sub)
{
    s.iState = stage;
    s.iSubState = sub;
    return s;
}

tagMainState reportShown(tagMainState s, bool found)
{
    s.iSubState = SUB_FINISHED;
    if (!found)
        s.iOutcome = OUT_NOTHING_FOUND;
    else
        s.iOutcome = s.bDuplicates ? OUT_DUPLICATES : OUT_REPORT;
    return s;
}

tagMainState applyStarted(tagMainState s)
{
    s.bApplyInFix = s.iState == MW_FIXING;
    return withStage(s, MW_APPLY, SUB_RUNNING);
}

tagMainState applyEnded(tagMainState s)
{
    if (s.bApplyInFix) {
        s.bApplyInFix = false;
        return withStage(s, MW_FIXING, SUB_PAUSED);
    }
    return withStage(s, MW_APPLY, SUB_FINISHED);
}

tagMainState reset(const tagMainState& from)
{
    tagMainState to;
    to.bProjectOffered = from.bProjectOffered;
    return to;
}

} // namespace

bool IsDuplicateRunMode(int mode)
{
    return mode == RUN_DUP_FILES || mode == RUN_DUP_ITUNES;
}

bool operator==(const tagMainState& a, const tagMainState& b)
{
    return a.iState == b.iState && a.iSubState == b.iSubState && a.iOutcome == b.iOutcome
        && a.bDuplicates == b.bDuplicates && a.bResumedProject == b.bResumedProject
        && a.bPreparing == b.bPreparing && a.bMovingFailed == b.bMovingFailed
        && a.bApplyInFix == b.bApplyInFix && a.bDuplicatePage == b.bDuplicatePage
        && a.bProjectOffered == b.bProjectOffered;
}

tagMainState MainStateAfter(const tagMainState& from, int event, int detail)
{
    tagMainState to = from;
    switch (event) {
    case EV_LOAD_REQUEST:
        return loadRequested(from, detail);
    case EV_LOAD_PREPARED:
        if (from.iState == MW_LOADING && from.bPreparing)
            to.bPreparing = false;
        return to;
    case EV_LOAD_FAILED:
        if (from.iState != MW_LOADING)
            return from;
        to.bPreparing = false;
        to.iOutcome = OUT_LOAD_FAILED;
        return withStage(to, MW_LOADING, SUB_FINISHED);
    case EV_LOAD_ENDED:
        // The end may have been on its way when a pause was pressed.
        if (from.iState != MW_LOADING || from.bPreparing || !isBusy(from))
            return from;
        return withStage(to, MW_LOADING, SUB_FINISHED);
    case EV_ANALYSIS_START:
        if (!isAt(from, MW_LOADING, SUB_FINISHED) || from.iOutcome != OUT_NONE)
            return from;
        to.bDuplicates = IsDuplicateRunMode(detail);
        return withStage(to, MW_ANALYSING, SUB_RUNNING);
    case EV_REPORT:
        if (from.iState != MW_ANALYSING || !isBusy(from))
            return from;
        return reportShown(to, detail != 0);
    case EV_PAUSE:
        if (from.iState == MW_IDLE || from.iSubState != SUB_RUNNING || from.bPreparing
            || from.bMovingFailed)
            return from;
        return withStage(to, from.iState, SUB_PAUSED);
    case EV_CONTINUE:
        if (from.iState == MW_IDLE || from.iSubState != SUB_PAUSED)
            return from;
        return withStage(to, from.iState, SUB_RUNNING);
    case EV_FIX_START:
        if (!mayFix(from))
            return from;
        return withStage(to, MW_FIXING, SUB_RUNNING);
    case EV_MOVE_FAILED:
    case EV_MOVE_FAILED_DONE:
        if (from.iState != MW_FIXING)
            return from;
        to.bMovingFailed = event == EV_MOVE_FAILED;
        return to;
    case EV_FIX_END:
        if (from.iState != MW_FIXING || !isBusy(from))
            return from;
        to.bMovingFailed = false;
        return withStage(to, MW_APPLY, SUB_NONE);
    case EV_APPLY_START:
        return mayApply(from) ? applyStarted(to) : from;
    case EV_APPLY_END:
        if (from.iState != MW_APPLY || !isBusy(from))
            return from;
        return applyEnded(to);
    case EV_DUPLICATE_PAGE:
        if (from.iState != MW_IDLE)
            return from;
        to.bDuplicatePage = true;
        return to;
    case EV_RESET:
        return reset(from);
    default:
        return from;
    }
}

namespace {

int finishedAnalysisPage(const tagMainState& s)
{
    switch (s.iOutcome) {
    case OUT_NOTHING_FOUND:
        return BP_TRYAGAIN;
    case OUT_DUPLICATES:
        return BP_REMOVE;
    case OUT_REPORT:
        // A reopened project offers to apply at once.
        return s.bResumedProject ? BP_APPLY : BP_FIXALL;
    default:
        return BP_PAUSE;
    }
}

int buttonPage(const tagMainState& s)
{
    switch (s.iState) {
    case MW_IDLE:
        return s.bDuplicatePage ? BP_SCAN : BP_PAUSE;
    case MW_LOADING:
        return s.iOutcome == OUT_LOAD_FAILED ? BP_TRYAGAIN : BP_PAUSE;
    case MW_ANALYSING:
        return s.iSubState == SUB_FINISHED ? finishedAnalysisPage(s) : BP_PAUSE;
    case MW_APPLY:
        if (s.iSubState == SUB_NONE)
            return BP_APPLY;
        if (s.iSubState == SUB_FINISHED)
            return s.bDuplicates ? BP_REMOVE : BP_APPLY;
        return BP_PAUSE;
    default:
        return BP_PAUSE;
    }
}

// The engine writes the working database while it loads and while results
// or removals are applied (the apply holds one transaction, paused or not):
// a byte copy then would be torn.
bool engineWrites(const tagMainState& s)
{
    return (s.iState == MW_LOADING || s.iState == MW_APPLY) && isBusy(s);
}

} // namespace

tagMainControls MainControlsOf(const tagMainState& s)
{
    tagMainControls c;
    const bool active = s.iState != MW_IDLE;
    // While the load thread prepares the request the engine's load has not
    // begun: a pause sent then would be lost when the load starts.
    const bool held = s.bPreparing || s.bMovingFailed;
    c.bPauseAction = active && s.iSubState == SUB_RUNNING && !held;
    c.bContinueAction = active && s.iSubState == SUB_PAUSED;
    c.bPauseButton = !held;
    c.bContinueLook = s.iSubState == SUB_PAUSED;
    c.bSaveProject = s.bProjectOffered && !engineWrites(s);
    c.bReturnText = s.iOutcome == OUT_NOTHING_FOUND;
    c.iButtonPage = buttonPage(s);
    return c;
}
