#include "vessolin/mainstate.h"

#include "cadenzo.h"

namespace {

bool isAt(const tagMainState& s, int stage, int sub)
{
    return s.iState == stage && s.iSubState == sub;
}

// A new request comes only while no work runs: running work is stopped by
// Home first.
bool mayLoad(const tagMainState& from, int mode)
{
    return mode != 0 && (from.iState == MW_IDLE || !IsWorking(from)) && !from.bUndoing && !from.bGoingHome
        && !from.bDiskStep;
}

tagMainState loadRequested(int mode)
{
    tagMainState to;
    to.bDuplicates = IsDuplicateRunMode(mode);
    to.bResumedProject = mode == RUN_PROJECT;
    to.iState = MW_LOADING;
    to.iSubState = SUB_RUNNING;
    to.bPreparing = true;
    to.bProjectOffered = true;
    return to;
}

// A report whose library is not a duplicate scan offers fixing or applying
// again; so does the end of a fixing run or an apply.
bool mayFix(const tagMainState& s)
{
    if (s.bDuplicates || s.bGoingHome || s.bDiskStep)
        return false;
    if (isAt(s, MW_ANALYSING, SUB_FINISHED))
        return s.iOutcome == OUT_REPORT;
    return isAt(s, MW_APPLY, SUB_NONE) || isAt(s, MW_APPLY, SUB_FINISHED);
}

bool mayApply(const tagMainState& s)
{
    if (s.bUndoing || s.bGoingHome || s.bDiskStep)
        return false;
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
    s.bProblemsLeft = false;
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

// Nothing finished: the results wait to be applied (the duplicates to be
// removed) again, or the paused fixing run the apply came from goes on.
tagMainState applyFailed(tagMainState s)
{
    if (s.bApplyInFix) {
        s.bApplyInFix = false;
        return withStage(s, MW_FIXING, SUB_PAUSED);
    }
    return withStage(s, MW_APPLY, SUB_NONE);
}

// Only removed rows of the duplicate results offer an undo, one at a time,
// while no removal runs.
bool mayUndo(const tagMainState& s)
{
    return s.bDuplicates && s.iOutcome == OUT_DUPLICATES && !IsWorking(s) && !s.bUndoing && !s.bGoingHome
        && !s.bDiskStep;
}

// The apply thread runs: an apply or a removal, paused or not, or an undo.
bool appliesOrUndoes(const tagMainState& s)
{
    return (s.iState == MW_APPLY && IsWorking(s)) || s.bUndoing;
}

tagMainState reset(const tagMainState& from)
{
    tagMainState to;
    to.bProjectOffered = from.bProjectOffered;
    return to;
}

} // namespace

bool IsWorking(const tagMainState& s)
{
    return s.iSubState == SUB_RUNNING || s.iSubState == SUB_PAUSED;
}

bool HasFinishedAnalysis(const tagMainState& s)
{
    return s.iOutcome == OUT_REPORT || s.iOutcome == OUT_DUPLICATES || s.iOutcome == OUT_NOTHING_FOUND;
}

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
        && a.bProjectOffered == b.bProjectOffered && a.bProblemsLeft == b.bProblemsLeft
        && a.bUndoing == b.bUndoing && a.bGoingHome == b.bGoingHome && a.bDiskStep == b.bDiskStep;
}

namespace {

// Whether the state takes event; to is the state after it.
bool Transition(const tagMainState& from, int event, int detail, tagMainState& to)
{
    to = from;
    switch (event) {
    case EV_LOAD_REQUEST:
        if (!mayLoad(from, detail))
            return false;
        to = loadRequested(detail);
        return true;
    case EV_LOAD_PREPARED:
        if (from.iState != MW_LOADING || !from.bPreparing)
            return false;
        to.bPreparing = false;
        return true;
    case EV_LOAD_FAILED:
        if (from.iState != MW_LOADING)
            return false;
        to.bPreparing = false;
        to.iOutcome = OUT_LOAD_FAILED;
        to = withStage(to, MW_LOADING, SUB_FINISHED);
        return true;
    case EV_LOAD_ENDED:
        // The end may have been on its way when a pause was pressed.
        if (from.iState != MW_LOADING || from.bPreparing || !IsWorking(from))
            return false;
        to = withStage(to, MW_LOADING, SUB_FINISHED);
        return true;
    case EV_ANALYSIS_START:
        if (!isAt(from, MW_LOADING, SUB_FINISHED) || from.iOutcome != OUT_NONE)
            return false;
        to.bDuplicates = IsDuplicateRunMode(detail);
        to = withStage(to, MW_ANALYSING, SUB_RUNNING);
        return true;
    case EV_REPORT:
        if (from.iState != MW_ANALYSING || !IsWorking(from))
            return false;
        to = reportShown(to, detail != 0);
        return true;
    case EV_PAUSE:
        if (from.iState == MW_IDLE || from.iSubState != SUB_RUNNING || from.bPreparing
            || from.bMovingFailed || from.bGoingHome || from.bDiskStep)
            return false;
        to = withStage(to, from.iState, SUB_PAUSED);
        return true;
    case EV_CONTINUE:
        if (from.iState == MW_IDLE || from.iSubState != SUB_PAUSED || from.bGoingHome || from.bDiskStep)
            return false;
        to = withStage(to, from.iState, SUB_RUNNING);
        return true;
    case EV_FIX_START:
        if (!mayFix(from))
            return false;
        to.bProblemsLeft = false;
        to = withStage(to, MW_FIXING, SUB_RUNNING);
        return true;
    case EV_MOVE_FAILED:
    case EV_MOVE_FAILED_DONE:
        if (from.iState != MW_FIXING)
            return false;
        to.bMovingFailed = event == EV_MOVE_FAILED;
        return true;
    case EV_FIX_END:
        if (from.iState != MW_FIXING || !IsWorking(from))
            return false;
        to.bMovingFailed = false;
        to = withStage(to, MW_APPLY, SUB_NONE);
        return true;
    case EV_APPLY_START:
        if (!mayApply(from))
            return false;
        to = applyStarted(to);
        return true;
    case EV_APPLY_END:
    case EV_APPLY_FAILED:
        if (from.iState != MW_APPLY || !IsWorking(from))
            return false;
        to = event == EV_APPLY_END ? applyEnded(to) : applyFailed(to);
        return true;
    case EV_DUPLICATE_PAGE:
        if (from.iState != MW_IDLE)
            return false;
        to.bDuplicatePage = true;
        return true;
    case EV_RESET:
        to = reset(from);
        return true;
    case EV_PROBLEMS_LEFT:
        if (from.iState == MW_IDLE)
            return false;
        to.bProblemsLeft = detail != 0;
        return true;
    case EV_UNDO_START:
    case EV_UNDO_END:
        if (event == EV_UNDO_START ? !mayUndo(from) : !from.bUndoing)
            return false;
        to.bUndoing = event == EV_UNDO_START;
        return true;
    case EV_HOME_WAIT:
        if (from.bGoingHome)
            return false;
        to.bGoingHome = true;
        return true;
    case EV_DISK_STEP:
        // One piece of work at a time on the apply thread.
        if (from.bDiskStep || from.bGoingHome || appliesOrUndoes(from))
            return false;
        to.bDiskStep = true;
        return true;
    case EV_DISK_STEP_END:
        if (!from.bDiskStep)
            return false;
        to.bDiskStep = false;
        return true;
    default:
        return false;
    }
}

} // namespace

tagMainState MainStateAfter(const tagMainState& from, int event, int detail)
{
    tagMainState to;
    return Transition(from, event, detail, to) ? to : from;
}

bool MainStateTakes(const tagMainState& from, int event, int detail)
{
    tagMainState to;
    return Transition(from, event, detail, to);
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
        if (s.iSubState == SUB_NONE || s.iSubState == SUB_FINISHED)
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
    return ((s.iState == MW_LOADING || s.iState == MW_APPLY) && IsWorking(s)) || s.bUndoing;
}

} // namespace

tagMainControls MainControlsOf(const tagMainState& s)
{
    tagMainControls c;
    const bool active = s.iState != MW_IDLE;
    // While the load thread prepares the request the engine's load has not
    // begun: a pause sent then would be lost when the load starts.
    const bool held = s.bPreparing || s.bMovingFailed;
    // While Home or a disk step of the window's own runs, the window waits
    // for it as a whole.
    const bool waits = s.bGoingHome || s.bDiskStep;
    c.bPauseAction = active && s.iSubState == SUB_RUNNING && !held && !waits;
    c.bContinueAction = active && s.iSubState == SUB_PAUSED && !waits;
    c.bPauseButton = !held && !waits;
    c.bContinueLook = s.iSubState == SUB_PAUSED;
    c.bSaveProject = s.bProjectOffered && !engineWrites(s) && !waits;
    c.bActionButtons = !waits;
    // The apply reads the replace options at each song, a removal and an
    // undo the trash folder; the preferences write them meanwhile.
    c.bPreferences = !waits && !appliesOrUndoes(s);
    c.bReturnText = s.iOutcome == OUT_NOTHING_FOUND;
    c.iButtonPage = buttonPage(s);
    // Refix goes with the Apply button: after a fixing run, or for a
    // reopened project, never while Fix All is still to be pressed.
    c.bRefixButton = s.bProblemsLeft && c.iButtonPage == BP_APPLY;
    c.bApplyOrSaveLink = s.iState == MW_FIXING && s.iSubState == SUB_PAUSED;
    return c;
}
