// cadenzo.h - the one public header of libcadenzo, the Vessolin engine.
//
// The application drives the engine only through the MM functions below.
// Every text crossing this boundary is UTF-8. Records are plain structures
// read and written in place; their layouts are checked at compile time.
#ifndef CADENZO_H
#define CADENZO_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#include <QString>
#endif

#define CADENZO_API __attribute__((visibility("default")))

#define PROGRESS_FULL 10000

// MM_ERR_WRITE: a write that was asked for failed without a code of its
// own; MMApplyMusicInfo keeps -1 for "nothing to write".
enum { MM_ERR_FAIL = -1, MM_ERR_BAD_ARGS = -21, MM_ERR_WRITE = -23 };

// Storage failures. MM_ERR_DATABASE: the working database could not store a
// block of writes (a full disk, an I/O error); none of the block was kept.
// MM_ERR_LIBRARY_FILE: the library file could not be rewritten; the changes
// are kept in its journal beside it and reach the file with the next
// rewrite or opening of the library.
enum { MM_ERR_DATABASE = -31, MM_ERR_LIBRARY_FILE = -32 };

// MMLoadMusicLibrary's answer for a library file that another process
// (another Vessolin, on this or another computer) has open: one process at
// a time has a library, from its MMLoadMusicLibrary until its
// MMDestroyMusicLibrary. Nothing was opened. MMApplyMusicInfo answers it
// too for a track of a reopened project whose library another process has
// open meanwhile: nothing of the track was written.
enum { MM_ERR_LIBRARY_IN_USE = -33 };

// MMLoadMusicLibrary's answers for a library whose lock file (the library
// file's path and ".lock", beside the file) cannot be had in a folder the
// user may write: the user may not open it; something that is no file (a
// folder, a FIFO) is in its place; it cannot be opened or locked otherwise.
// Nothing was opened. Where the user may not write the folder, the library
// is opened without its lock. MMApplyMusicInfo answers them too for a track
// of a reopened project whose library cannot be locked.
enum { MM_ERR_LIBRARY_LOCK_DENIED = -34, MM_ERR_LIBRARY_LOCK_NOT_FILE = -35, MM_ERR_LIBRARY_LOCK = -36 };

// Two codes passed through from below that say the disk has no room left:
// the tag writer's for a song whose working copy found none (from
// MMApplyMusicInfo), and SQLite's for a database write or commit that found
// none (from MMApplyMusicInfo and MMDBTransaction).
enum { MM_ERR_NO_SPACE = -16, MM_DB_FULL = 13 };

// The tag writer's refusals of a song, passed through from MMApplyMusicInfo
// so that the application can name the cause: the file is gone; the user
// may not write it; no working copy can be made beside it (a folder the
// user may not write); it cannot keep its permission bits (the setgid bit
// of a song whose group the user is not in); it cannot keep an extended
// attribute or its ACL; another program changed it while it was written,
// also when it was written again from the new bytes (the file holds the
// other program's change, not this write's). Never a failure of the library
// file's agent, whose codes of these values pass as MM_ERR_WRITE.
enum {
    MM_ERR_SONG_GONE = -2,
    MM_ERR_SONG_READ_ONLY = -10,
    MM_ERR_SONG_NO_COPY = -11,
    MM_ERR_SONG_MODE = -18,
    MM_ERR_SONG_ATTRIBUTES = -19,
    MM_ERR_SONG_CHANGED = -20
};

// Which copy of a track's information MMGetMusicInfo returns.
typedef enum { INFO_NEW = 1, INFO_ORIGINAL = 2 } tagInfoType;

// Operation of a callback record, and target of MMControlCommand.
typedef enum { CMD_LOAD = 1, CMD_ANALYSE = 2, CMD_DOWNLOAD = 3 } tagCtlCmd;

typedef enum { CTL_IDLE = 0, CTL_RUN = 1, CTL_PAUSE = 2, CTL_STOP = 3 } tagCtlState;

typedef enum {
    RUN_ITUNES = 1,
    RUN_FILES = 2,
    RUN_PROJECT = 3,
    RUN_DUP_FILES = 4,
    RUN_DUP_ITUNES = 5
} tagMusicRunMode;

typedef enum { DS_NONE = 0, DS_DONE = 2, DS_FAILED = -2 } tagDownloadState;

typedef enum { FT_DEFAULT = 0 } tagFixType;

// Bits naming track fields in every mask.
typedef enum {
    MF_ARTIST = 0x400,
    MF_ALBUM = 0x800,
    MF_FILE = 0x10000,
    MF_TITLE = 0x1000000,
    MF_GENRE = 0x2000000,
    MF_YEAR = 0x4000000,
    MF_ARTWORK = 0x8000000,
    MF_SIZE = 0x10000000, // duplicate criteria only
    MF_TIME = 0x20000000  // duplicate criteria only
} tagMusicField;

// A track's analysis result: tagMusicField bits plus these.
typedef enum {
    AT_DUPLICATE = 0x4000,
    AT_DUPLICATE_ERROR = 0x8000,
    AT_ANALYSED = 0x100000
} tagAbsenceType;

// A track's user choices: a field bit set means unchecked in that category.
typedef enum { MS_REMOVED = 0x200, MS_REMOVE = 0x4000 } tagMusicState;

// Flags of MMApplyiTunesMusicInfo besides the field bits.
typedef enum { AC_DELETE = 0x4000, AC_RESTORE = 0x40000 } tagApplyCmd;

// Extra bits of the settings masks.
typedef enum {
    OPT_DEGREE_HIGH = 0x10,
    OPT_DEGREE_MEDIUM = 0x20,
    OPT_DEGREE_LOW = 0x40,
    OPT_DEEP_SCAN = 0x20000,
    OPT_REPLACE_META = 0x80000
} tagOptionFlags;

// What a download request asks for.
typedef enum {
    DW_INFO = 0x400,
    DW_SEARCH_ARTWORK = 0x800,
    DW_INFO_ARTWORK = 0x2000
} tagDownloadWhat;

// Progress and result record handed to every callback. It and the text it
// points to belong to the engine and are valid only during the call.
typedef struct tagAnaluyzeInfo {
    int32_t iOperation;     // 0: CMD_LOAD, CMD_ANALYSE or CMD_DOWNLOAD
    int32_t iState;         // 1: track made / end of analysis / information state;
                            //    MM_ERR_DATABASE in a failure record
    int32_t iArtworkState;  // 2: artwork state of a download
    void* pMusic;           // 3: track handle
    int32_t iTotal;         // 4: 10000 in the end-of-analysis record
    int32_t iProgress;      // 5: 0..10000
    int32_t iReserved[4];   // 6..9: always 0
    int32_t iAbsence;       // 10: absence bits of a download record
    const char* pLocation;  // 11: UTF-8 location of the track
    int32_t iFixType;       // 12: the tagFixType given with a download request
} tagAnaluyzeInfo;

typedef int (*MMCallBack)(tagAnaluyzeInfo* info, void* user);

// Passed with every load, analysis and download request; copied at once.
typedef struct tagCtlCmdParam {
    int32_t iOperation;
    MMCallBack pCallBack;
    void* pUser;
} tagCtlCmdParam;

// Proxy settings; each text may be null.
typedef struct tagProxySet {
    int32_t iKind;         // 0: use a proxy, -1: none
    const char* pHost;     // at most 63 bytes
    int32_t iPort;         // taken only with a host
    const char* pUser;     // at most 31 bytes
    const char* pPassword; // at most 15 bytes
} tagProxySet;

// Start record of MMInitManager.
typedef struct tagInitParam {
    void* pUser;                 // ignored by the engine
    const char* pArtworkFolder;  // at most 511 bytes
    int32_t iReserved;           // 0
    int32_t iUseProxy;           // non-zero: proxy below is used
    tagProxySet proxy;
} tagInitParam;

#ifdef __cplusplus
// One track's information: eleven Qt strings, read in place by the
// application, so their order and type are part of the interface.
struct tagMMusicInfo {
    QString strPersistentID; // 16 hex digits (library) or a list position (files)
    QString strAlbumID;      // album identifier from the online service
    QString strName;
    QString strTotalTime;    // milliseconds
    QString strArtist;
    QString strAlbum;
    QString strSize;         // bytes
    QString strLocation;     // full path of the music file
    QString strGenre;
    QString strYear;
    QString strBitRate;      // kbit/s
};
#else
typedef struct tagMMusicInfo tagMMusicInfo;
#endif

#ifdef __cplusplus
static_assert(sizeof(tagAnaluyzeInfo) == 72, "tagAnaluyzeInfo layout");
static_assert(offsetof(tagAnaluyzeInfo, pMusic) == 16, "tagAnaluyzeInfo word 3");
static_assert(offsetof(tagAnaluyzeInfo, iAbsence) == 48, "tagAnaluyzeInfo word 10");
static_assert(offsetof(tagAnaluyzeInfo, pLocation) == 56, "tagAnaluyzeInfo word 11");
static_assert(offsetof(tagAnaluyzeInfo, iFixType) == 64, "tagAnaluyzeInfo word 12");
static_assert(sizeof(tagCtlCmdParam) == 24, "tagCtlCmdParam layout");
static_assert(sizeof(tagProxySet) == 40, "tagProxySet layout");
static_assert(offsetof(tagInitParam, proxy) == 24, "tagInitParam layout");
static_assert(sizeof(tagMMusicInfo) == 11 * sizeof(QString), "tagMMusicInfo layout");

extern "C" {
#endif

// Creates the one manager of the process; later calls return the same handle.
CADENZO_API void* MMCreateManager(const char* logFolder, const char* artworkFolder,
                                  const char* trashFolder);
// Starts the online information service. Negative: failure (logged).
CADENZO_API int MMInitManager(void* handle, tagInitParam* param);
// Passes new proxy settings to the information service.
CADENZO_API int MMSetProxy(void* handle, tagProxySet* proxy);
// Ends the previous library and opens a new one. 0, MM_ERR_LIBRARY_IN_USE,
// one of the MM_ERR_LIBRARY_LOCK codes or -1; -1 also for a RUN_PROJECT
// database that is missing or holds no track table. A database made for a
// failed opening is removed again.
CADENZO_API int MMLoadMusicLibrary(void* handle, const char* xmlPath, const char* dbPath,
                                   tagMusicRunMode mode);
// After MMLoadMusicLibrary answered one of the MM_ERR_LIBRARY_LOCK codes:
// the path of the lock file it could not have, UTF-8 and NUL-terminated,
// into buffer (size bytes); its length. 0 after any other answer; -1 for
// a null buffer or one too short. Reads no disk: any thread.
CADENZO_API int MMGetRefusedLockFile(void* handle, char* buffer, int size);
// Starts the load thread; load records arrive through the callback. The
// final record (word 5 = 10000, no track) carries MM_ERR_DATABASE in word 1
// instead of 0 when the loaded tracks could not be stored: a failed load.
CADENZO_API int MMLoadiTunesMusic(void* handle, const tagCtlCmdParam* param);
// Hands the music files to load in the file run modes.
CADENZO_API int MMLoadExMusicFiles(void* handle, int count, const char** paths);
// Starts the analysis with the field mask. The save of its results that
// follows the end-of-analysis record runs on; when it fails (nothing of it
// is kept) one more record follows: word 1 MM_ERR_DATABASE, words 4 and 5
// 10000, no track.
CADENZO_API int MMAnalyzeMusicInfo(void* handle, const tagCtlCmdParam* param, int mask);
// Pause, continue or stop the load (CMD_LOAD) or the analysis (CMD_ANALYSE).
CADENZO_API int MMControlCommand(void* handle, tagCtlCmd target, tagCtlState state);
// Number of tracks in the list; total and mode optional.
CADENZO_API int MMGetMusicCountAMode(void* handle, int* total, tagMusicRunMode* mode);
// Reads one entry of the track list.
CADENZO_API int MMGetMusicListMusic(void* handle, int index, void** music, int* absence,
                                    int* state, long long* repeatId);
// Points out at the working copy, or the library copy for INFO_ORIGINAL,
// inside the track: read in place, never freed. An online lookup changes
// the working copy only between MMDownloadMusicInfo accepting the track and
// that lookup's download record, and has finished every change when the
// record arrives: read it before the request and after the record, not
// while the lookup runs.
CADENZO_API int MMGetMusicInfo(void* handle, void* music, const tagMMusicInfo** out,
                               tagInfoType type);
CADENZO_API int MMGetMusicState(void* handle, void* music);
CADENZO_API int MMSetMusicState(void* handle, void* music, int state);
CADENZO_API long long MMGetMusicRepeatID(void* handle, void* music);
CADENZO_API int MMChangeAllMusicState(void* handle, int mask, int on);
// Applies the results of list entry index: 0 written, -1 nothing to write
// (or no such entry), otherwise the write's or the database's failure code.
CADENZO_API int MMApplyMusicInfo(void* handle, int index, int replaceMask);
// The number of list entries MMApplyMusicInfo would write now with the
// same mask: found, edited or brought back and not written yet, whichever
// run or project brought them. Reads no disk; any thread, also while
// lookups run. 0 without a library.
CADENZO_API int MMGetWaitingMusicCount(void* handle, int replaceMask);
// Removes (MF_FILE, AC_DELETE), restores (AC_RESTORE) or writes fields.
CADENZO_API int MMApplyiTunesMusicInfo(void* handle, void* music, int flags, int replaceMask);
// Starts an online lookup in a free download slot; one download record
// ends it. 0, -1 busy/exit, -21 bad handles or record, or what without a
// DW_ bit. A callback must not call MMSetExitState, MMDestroyMusicLibrary or
// MMDownloadMusicInfo: they wait for engine threads.
CADENZO_API int MMDownloadMusicInfo(void* handle, void* music, const char* path, int what,
                                    const tagCtlCmdParam* param, tagFixType fixType);
CADENZO_API int MMGetGNInfoState(void* handle, void* music);
CADENZO_API int MMGetGNArtworkState(void* handle, void* music);
CADENZO_API int MMGetDowndArtworkCount(void* handle, void* music);
// Copies candidate index's path with its terminator into out (1024 bytes).
CADENZO_API int MMGetDowndArtworkForItem(void* handle, void* music, int index, char* out);
CADENZO_API int MMSetDowndArtworkForItem(void* handle, void* music, int index);
// Copies the current artwork path with its terminator into out (512 bytes).
CADENZO_API int MMGetMusicArtwork(void* handle, void* music, char* out);
// Hands out artwork bytes; give them back with MMReleaseiTunesArtwork. 0
// exactly when *data and *length hold them; otherwise (non-zero) *data is
// null and *length 0.
CADENZO_API int MMGetiTunesArtwork(void* handle, void* music, void** data, int* length);
CADENZO_API int MMReleaseiTunesArtwork(void* handle, void** data);
// Stores the user's edits: values[i] for each field bit of mask, in field order.
CADENZO_API int MMSetUserMusicInfo(void* handle, void* music, int mask, const char** values);
// false begins a database transaction (after the save that follows an
// analysis has ended): the database's result. true ends an apply or a
// removal: commits the transaction and writes the library file from its
// journal. 0 when both succeeded; the database's code when the commit
// failed (the transaction is rolled back then); MM_ERR_LIBRARY_FILE when
// the commit succeeded but the library file could not be rewritten (the
// reason is in the engine log; the changes wait in the journal). -1 without
// a library.
CADENZO_API int MMDBTransaction(void* handle, bool commit);
// Non-zero stops every engine activity and waits for all engine threads.
CADENZO_API int MMSetExitState(void* handle, int exitState);
// Stops all work, frees the tracks and closes the library; the library file
// takes the changes its journal still holds (a failure is only logged), and
// another process may open the library from then on.
CADENZO_API void MMDestroyMusicLibrary(void* handle);
CADENZO_API void MMDestroyManager(void* handle);

// Size-taking variants of the two path getters: -1 when the path with its
// terminator would not fit into size bytes (nothing is written then).
CADENZO_API int MMGetDowndArtworkForItemN(void* handle, void* music, int index, char* out,
                                          int size);
CADENZO_API int MMGetMusicArtworkN(void* handle, void* music, char* out, int size);

#ifdef __cplusplus
}
#endif

#endif // CADENZO_H
