// The preview player: one process-wide player that plays one music file at
// a time for several owners (the report page, the duplicate page, the track
// editor). Each owner registers its callback; reports of a file go to the
// owner that set it. GUI thread only; callbacks run on the GUI thread.
#pragma once

// The state word of a report.
enum tagPlayUnitState {
    PU_ERROR = 1,     // the file could not be decoded
    PU_LOADING = 2,   // opened and loading
    PU_PLAYABLE = 3,  // playable; progress reports carry this state
    PU_ENDED = 5,     // played to its end; reported once with progress 10000
};

// progress is the position on the 0..10000 scale; user is the owner's pointer.
typedef void (*PlayUnitCallBack)(unsigned int progress, tagPlayUnitState state, void* user);

// Registers an owner; the first one makes the unit. 0, or -1 when user is
// already an owner.
int PlayUnit_Create(PlayUnitCallBack fun, void* user);
// Unregisters the owner, stopping its file if it set the current one; the
// last owner ends the unit. Unknown owners are ignored.
void PlayUnit_Destroy(void* user);

// Opens a file (UTF-8 path) for user, dropping the previous one. 0; -1 at
// once, with no report, for a missing or unreadable file; -2 without a
// unit or when user is not an owner. Decoding failures come later as PU_ERROR.
// A dropped file of another owner ends for that owner: it gets one PU_ENDED
// report, so no owner keeps showing a preview that is no longer playing.
int PlayUnit_SetMediaFile(const char* path, void* user);
// The owner whose file the player holds (playing, paused or loading);
// null when it holds none.
void* PlayUnit_FileOwner();
// Plays from the position. 0; -1 without a file; -2 without a unit.
int PlayUnit_Start();
// Drops the file without a report. 0; -2 without a unit.
int PlayUnit_Stop();
// Stops in place, so Start resumes there. 0; -1 without a unit.
int PlayUnit_Pause();
// Moves to ms once the file is playable (ignored while loading). 0; -1 without a unit.
int PlayUnit_SeekTo(unsigned int ms);
// 0; -1 without a unit.
int PlayUnit_ChangeVolume(float volume);
