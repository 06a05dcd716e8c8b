// Which Edit menu entries the main window's workflow state allows.
#pragma once

// The workflow's stage and sub-state words (CMainUI::WorkState and
// WorkSubState).
enum EWorkStage { MW_IDLE = 0, MW_LOADING = 1, MW_ANALYSING = 2, MW_FIXING = 3, MW_APPLY = 4 };
enum EWorkSubState { SUB_NONE = 0, SUB_RUNNING = 1, SUB_PAUSED = 2, SUB_FINISHED = 3 };

struct EditEntries
{
    bool pause = false;
    bool resume = false;       // "Continue"
    bool saveProject = false;
};

// Pause while a step runs, Continue while it is paused, Save Project
// while a run exists.
EditEntries EditEntriesFor(int state, int subState);
