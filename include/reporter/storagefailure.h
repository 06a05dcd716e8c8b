// What the user is told when work did not reach the disk: the working
// database, the library file or a song. The engine hands back codes; these
// put them into words the window and the pages show. Any thread.
#pragma once

#include <QCoreApplication>
#include <QString>

class CStorageFailure
{
    Q_DECLARE_TR_FUNCTIONS(CStorageFailure)

public:
    // Why an apply could not write a song, as far as the engine tells.
    enum SongCause {
        SONG_NO_SPACE,  // the disk has no room
        SONG_READ_ONLY, // the user may not write the file
        SONG_GONE,      // the file is no longer there
        SONG_NO_COPY,   // no working copy can be made beside it
        SONG_MODE,      // it cannot keep its permission bits
        SONG_ATTRIBUTES, // it cannot keep an extended attribute or its ACL
        SONG_CHANGED,   // another program changed it while it was written
        SONG_LIBRARY_IN_USE, // another Vessolin has the library open
        SONG_DATABASE,  // the working database could not record the write
        SONG_OTHER,     // a failure without a cause of its own to tell
        SONG_CAUSES
    };
    // code: what MMApplyMusicInfo returned, neither 0 nor "nothing to write".
    static SongCause SongCauseOf(int code);
    // count songs an apply could not write for cause, in words.
    static QString SongsNotWritten(SongCause cause, int count);

    // Why a write failed, to follow a colon: no room left, or a disk that
    // took no writes. code: what the engine returned, not 0.
    static QString Reason(int code);
    // A load whose songs the working database could not store, whose
    // library another Vessolin has open (MM_ERR_LIBRARY_IN_USE), or whose
    // library's lock file cannot be had (the MM_ERR_LIBRARY_LOCK codes),
    // named lockFile (empty: told only as beside the library file).
    static QString LoadFailed(int code, const QString& lockFile = QString());
    // Whether the engine's refusal of a library (MMLoadMusicLibrary's
    // answer) has words of its own in LoadFailed: another Vessolin has it,
    // or its lock file cannot be had.
    static bool IsLibraryRefusal(int code);
    // The save of the analysis results failed; nothing of it was kept.
    static QString SaveFailed(int code);
    // The end of an apply, a removal or an undo did not land: its commit
    // failed (rolled back), or the library file could not be rewritten.
    static QString ApplyEndFailed(int code);
    static QString RemovalEndFailed(int code);
    // count marked duplicates that a removal could neither move into the
    // trash nor take out of the library; code: the engine's answer for one.
    static QString RemovalSongsStayed(int count, int code);
    static QString UndoEndFailed(int code);
};
