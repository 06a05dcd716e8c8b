// Safe tag writes: every change is made in a copy beside the file, read
// back, and only then renamed over the original. Internal to the tags module.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>

namespace TagLib {
class File;
class Tag;
} // namespace TagLib

// Changes the copy's tag in memory: 0, or a negative code that abandons
// the write.
using TagEdit = std::function<int(TagLib::File* file, TagLib::Tag* tag, int kind)>;
// Looks at the saved copy, opened afresh: true when it reads back as written.
using TagCheck = std::function<bool(TagLib::Tag* tag, int kind)>;

// Copies path, applies edit to the copy's write tag, saves the copy, checks
// its tags and its audio and renames it over path with path's owner, group,
// permission bits, extended attributes and ACL, once path is seen to be the
// file the copy was made from. A path another program wrote meanwhile is
// copied and edited again, once. growth is what the edit may add to the
// file, for the check of free space before anything is copied. 0; the
// edit's code; -3 the copy is not a readable audio file; -4 it has no write
// tag; or a TagWriteResult. path is untouched whenever the result is not 0.
int WriteThroughCopy(const QString& path, const TagEdit& edit, const TagCheck& check, int64_t growth = 0);

// Whether a file name is that of a working copy: ".vessolin-", six letters
// or digits, ".", the music file's extension.
bool IsWorkingCopyName(const QString& fileName);

// For tests: called on the writing thread with the copy's path once it
// holds the original's bytes, before it is edited. Not thread-safe to set.
using CopyMadeHook = std::function<void(const QString& copy)>;
void SetCopyMadeHook(CopyMadeHook hook);

// For the benchmark of what the check costs: false saves copies whose audio
// was never compared. On by default; not thread-safe to change mid-write.
void SetAudioCheck(bool on);
