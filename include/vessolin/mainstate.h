// The main window's workflow state in one value: the stage and its
// progress, plus the few facts that decide which controls show. One
// function moves it on an event; one derives the controls from it.
// Plain values, no Qt: any thread may compute, the GUI thread applies.
#pragma once

enum EMainStage {
    MW_IDLE = 0,       // the start screen (or the duplicate page) waits
    MW_LOADING = 1,    // the request is prepared, or the engine loads
    MW_ANALYSING = 2,  // the engine analyses, then the walk fills the page
    MW_FIXING = 3,     // the report page's fixing run
    MW_APPLY = 4,      // Apply waits, or results or removals are written
};

enum ESubState {
    SUB_NONE = 0,      // nothing of the stage has started
    SUB_RUNNING = 1,
    SUB_PAUSED = 2,
    SUB_FINISHED = 3,  // the stage's work has ended, or the load failed
};

// What a finished load or analysis left on screen.
enum EMainOutcome {
    OUT_NONE = 0,
    OUT_LOAD_FAILED,    // Try Again
    OUT_NOTHING_FOUND,  // Return
    OUT_REPORT,         // the report page
    OUT_DUPLICATES,     // the duplicate results
};

// Pages of the header's button stack.
enum EButtonPage {
    BP_PAUSE = 0,
    BP_FIXALL = 1,
    BP_APPLY = 2,
    BP_TRYAGAIN = 3,
    BP_SCAN = 4,
    BP_REMOVE = 5,
};

enum EMainEvent {
    EV_LOAD_REQUEST,     // detail: the request's run mode (0 is ignored)
    EV_LOAD_PREPARED,    // the load thread handed the request to the engine
    EV_LOAD_FAILED,      // refused, or no track loaded
    EV_LOAD_ENDED,       // the engine loaded tracks
    EV_ANALYSIS_START,   // detail: the loaded library's run mode
    EV_REPORT,           // the walk ended; detail: 1 problems found, 0 none
    EV_PAUSE,
    EV_CONTINUE,
    EV_FIX_START,        // Fix All or Refix
    EV_MOVE_FAILED,      // the report page moves failed tracks
    EV_MOVE_FAILED_DONE,
    EV_FIX_END,
    EV_APPLY_START,      // apply, or removal of duplicates
    EV_APPLY_END,
    EV_APPLY_FAILED,     // the apply's or removal's end did not land: it waits again
    EV_DUPLICATE_PAGE,   // the duplicate page opens from the start
    EV_RESET,            // Home, Try Again, Return
    EV_PROBLEMS_LEFT,    // the report page counted; detail: 1 problems left, 0 none
    EV_UNDO_START,       // a removed duplicate is brought back on the apply thread
    EV_UNDO_END,
    EV_HOME_WAIT,        // Home was confirmed: its stop runs on the apply thread
    EV_DISK_STEP,        // the window's own disk work begins on the apply thread
    EV_DISK_STEP_END,
};

struct tagMainState
{
    int iState = MW_IDLE;
    int iSubState = SUB_NONE;
    int iOutcome = OUT_NONE;
    bool bDuplicates = false;     // the library is a duplicate scan: removal, not apply
    bool bResumedProject = false; // the request reopened a project
    bool bPreparing = false;      // the load thread has not ended yet
    bool bMovingFailed = false;
    bool bApplyInFix = false;     // the apply runs inside a paused fixing run
    bool bDuplicatePage = false;  // idle on the duplicate page
    bool bProjectOffered = false; // a load request has been made in this run
    // The report page's last count left problems that Refix may try again;
    // forgotten when a fixing run or an apply starts, until it counts again.
    bool bProblemsLeft = false;
    bool bUndoing = false;        // an undo of a removal runs on the apply thread
    // Home was confirmed: the apply thread ends what runs there, then waits
    // for the other workers and closes the run; EV_RESET follows. Nothing
    // new starts meanwhile.
    bool bGoingHome = false;
    // A copy, deletion or commit of the window's own runs on the apply
    // thread behind the busy overlay; nothing else starts until it ends,
    // and Home waits for it.
    bool bDiskStep = false;
};

// What the controls of the header and the Edit menu show for a state.
struct tagMainControls
{
    bool bPauseAction = false;
    bool bContinueAction = false;
    bool bPauseButton = false;    // enabled
    bool bContinueLook = false;   // the Pause button reads "Continue"
    bool bSaveProject = false;
    bool bReturnText = false;     // the Try Again button reads "Return"
    bool bRefixButton = false;    // shown
    bool bApplyOrSaveLink = false; // "You can Apply Result now, or Save Project" shown
    bool bActionButtons = false;  // the button stack takes presses
    bool bPreferences = false;    // the settings may change: no worker reads them
    int iButtonPage = BP_PAUSE;
};

bool operator==(const tagMainState& a, const tagMainState& b);
inline bool operator!=(const tagMainState& a, const tagMainState& b) { return !(a == b); }

// The state after event; an event the state does not take leaves it as it
// is. A load request is taken only while no work runs.
tagMainState MainStateAfter(const tagMainState& from, int event, int detail = 0);
// Whether the state takes event (a taken event may leave it unchanged).
bool MainStateTakes(const tagMainState& from, int event, int detail = 0);
tagMainControls MainControlsOf(const tagMainState& state);

// The stage's work runs or is paused.
bool IsWorking(const tagMainState& state);

// This run's analysis ended with its report, its duplicates or nothing
// found; a score is this run's own only from then on.
bool HasFinishedAnalysis(const tagMainState& state);

bool IsDuplicateRunMode(int mode);
