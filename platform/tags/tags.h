// Reading and writing a music file's tags and embedded picture.
//
// Every call opens the file afresh and closes it before returning; nothing
// is cached, so the calls may run on any thread. Paths are Qt strings and
// reach the file system in its own encoding. Failures are also logged with
// the path (PlatformLog).
//
// Writers never change a file in place: they edit a copy in the same
// folder, read the copy back (its tags, and its audio byte for byte), and
// only then rename it over the original. The permission bits are kept, and
// the owner and group as far as the user may give them (only the super-user
// gives a file away, a user only to their own groups): a member of a shared
// folder's group gets the changes into its songs, which then become the
// user's, logged. On any failure the original is untouched. Copies a killed
// process left in a folder go before the first write into it in each run;
// where the file system gives no locks (a share without a lock service),
// songs are written without one and no copy there is ever swept.
#pragma once

#include <QString>

// What a file's tags and audio properties say of its track. Durations are
// in milliseconds, sizes in bytes, bit rates in kbit/s, all as decimal text.
struct tagMusicTags {
    QString strName;
    QString strTotalTime;
    QString strArtist;
    QString strAlbum;
    QString strSize;
    QString strLocation; // the file's path
    QString strGenre;
    QString strYear;
    QString strBitRate;
};

// Bits naming the fields SetMusicInfo_tag may write.
enum tagTagField { TF_TITLE = 0x1, TF_ARTIST = 0x2, TF_ALBUM = 0x4, TF_GENRE = 0x8, TF_YEAR = 0x10 };

// Picture formats of SetMusicArtwork_tag.
enum CPICTURE_TYPE { CPICTURE_JPEG = 0, CPICTURE_PNG = 1, CPICTURE_BMP = 2, CPICTURE_GIF = 3 };

// Failures of the writers beyond the codes listed with each call.
enum TagWriteResult {
    TAG_WRITE_READ_ONLY = -10,   // the file has no write permission
    TAG_WRITE_NO_COPY = -11,     // the working copy could not be made in the folder
    TAG_WRITE_SAVE_FAILED = -12, // TagLib could not save the copy
    TAG_WRITE_NOT_VERIFIED = -13,// the saved copy does not read back as written
    TAG_WRITE_NO_REPLACE = -14,  // the copy could not take the original's place
    // -15 is the engine's code for a write without a track.
    TAG_WRITE_NO_SPACE = -16,    // no room for the copy: too little free space, or a write found none
    TAG_WRITE_AUDIO_CHANGED = -17, // the saved copy's audio is not the file's to the byte, or reads short
    TAG_WRITE_MODE = -18,        // the copy cannot have the file's permission bits (the setgid bit of a
                                 // song in a group the user is not in)
    TAG_WRITE_ATTRIBUTES = -19,  // the copy cannot have an extended attribute or the ACL the file has
    TAG_WRITE_CHANGED = -20      // another program changed the file while each of two copies was made
                                 // and edited; the file holds its change, not this write's
};

// Fills info's size, location, duration, bit rate, name, artist, album,
// genre and year (year only when the tag's is not 0).
// -1 null info or empty path, -2 no such file, -3 not a readable audio file
// (size and location are set from here on), -4 no tag; else 1 when the tag
// holds a picture, 0 when not.
int GetMusicInfo_tag(const QString& path, tagMusicTags* info);

// -1 no such file, -2 not a readable audio file, -3 no tag; 1 picture, 0 none.
int HasMusicArtwork_tag(const QString& path);

// Hands out a malloc'd copy of the first picture; the caller frees it with
// free. *data and *length are cleared first. -1 no such file, -2 data or
// length null, -3 not a readable audio file, -4 no tag, -6 out of memory;
// 1 no picture (no buffer); 0 done.
int GetMusicArtwork_tag(const QString& path, void** data, int* length);

// Adds the picture when the tag holds none; one already there is kept and
// the result is 0. -1 no bytes, -2 no such file, -3 not a readable audio
// file, -4 no tag to write, -6 no frame could be made, -7 type other than
// JPEG or PNG for an ID3v2 tag, -9 type outside CPICTURE_TYPE for an MP4
// tag, or a TagWriteResult; 0 done.
int SetMusicArtwork_tag(const QString& path, const void* data, int length, CPICTURE_TYPE type);

// Writes info's fields named by flags (tagTagField bits) to the file at
// info's location: TF_TITLE, TF_ARTIST and TF_ALBUM always; TF_GENRE only
// into an empty genre; TF_YEAR only into a zero year and only a year above
// 0. *written (when given) receives the bits of the fields actually
// written. -1 null info, -2 no such file, -3 not a readable audio file, -4
// no tag to write, or a TagWriteResult; 0 done, also when nothing needed
// writing.
int SetMusicInfo_tag(const tagMusicTags* info, int flags, int* written = nullptr);

// The name of a working copy made in folder, as a template for mkstemps or
// QTemporaryFile: ".vessolin-XXXXXX.<suffix>", "copy" standing in for an
// empty suffix. Its maker holds an exclusive flock on the copy for as long
// as the copy goes by that name, which tells a sweep that its writer lives.
// A tag write makes its copy so, and so does a move across file systems,
// so the sweeps below take the copies either left behind.
QString WorkingCopyTemplate(const QString& folder, const QString& suffix);
// Takes that lock on the copy fd made in folder: true when held, and also
// where the file system gives no locks (ENOLCK, EOPNOTSUPP), which is
// logged once per folder and run; no sweep can tell a copy's writer there,
// so none removes it. False for any other failure.
bool LockWorkingCopy(int fd, const QString& folder);

// Removes the file when it is a working copy that a killed process left
// behind (named as WorkingCopyTemplate names it, its writer gone): true
// when it was one and is gone now. Any other file, and a copy whose write
// still runs, is left alone.
bool RemoveStaleTagCopy(const QString& path);

// Removes the working copies in folder that killed processes left behind,
// each logged; a copy whose write still runs stays, and so does every file
// not named as a copy. The count removed.
int RemoveStaleTagCopies(const QString& folder);
// RemoveStaleTagCopies, once per run and folder: a folder swept already
// (by this call or by a write into it) is not listed again. The count
// removed, 0 for a folder swept before.
int SweepTagCopiesOnce(const QString& folder);

// A new run begins: the first write into each folder sweeps it again for
// copies left behind, also by a process that died since the last run.
void StartTagWriteRun();
