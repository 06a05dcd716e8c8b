// The TagLib side of tag access: opening a music file, picking its tag
// object by the path's extension, pictures per tag kind and text
// conversion. Internal to the tags module.
#pragma once

#include "tags.h"

#include <QString>

#include <memory>

namespace TagLib {
class ByteVector;
class File;
class FileRef;
class String;
class Tag;
} // namespace TagLib

// Tag kinds of GetFileType.
enum TagKind { TAG_ID3V2 = 1, TAG_ID3V1 = 2, TAG_MP4 = 3, TAG_APE = 4, TAG_ASF = 5 };
// Failures of GetFileType.
enum FileTypeError { FT_NULL_ARGUMENT = -1, FT_UNKNOWN_EXTENSION = -2, FT_NO_EXTENSION = -3 };

// The text after the last "." of path, in upper case; empty without one.
// Tags and the artwork scan both choose by it.
QString ExtensionOf(const QString& path);

// The tag object of file by the extension of path (the text after the
// path's last "."). Sets *tag to null first; the kind on success, with *tag
// possibly still null (FLAC and TrueAudio files without an ID3v2 tag).
// Reading an MP3 takes its first non-empty tag of ID3v2, ID3v1 and APE;
// writing one always takes its ID3v2 tag.
int GetFileType(const QString& path, TagLib::File* file, TagLib::Tag** tag, bool forWrite);

enum MusicFileState { MUSIC_FILE_OK, MUSIC_FILE_MISSING, MUSIC_FILE_UNREADABLE };
// Whether path names a readable regular file. Directories, devices and
// pipes count as unreadable, so nothing ever blocks on opening them.
MusicFileState CheckMusicFile(const QString& path);

// Opens path with audio properties. Null unless TagLib finds audio in it:
// an empty, truncated or foreign file is not opened.
std::unique_ptr<TagLib::FileRef> OpenMusicFile(const QString& path);

// HasMusicArtwork_tag's answer from TagLib alone, failures logged the same
// way; for a file that exists.
int HasPictureByTagLib(const QString& path);

// Whether the tag of this kind holds a picture (never for ID3v1 and APE).
bool HasPicture(TagLib::Tag* tag, int kind);
// The bytes of the tag's first picture; empty when there is none.
TagLib::ByteVector FirstPicture(TagLib::Tag* tag, int kind);
// Adds a picture to a tag without one. 0, or -6 no frame could be made,
// -7 a type ID3v2 cannot label, -9 a type MP4 does not know.
int AddPicture(TagLib::Tag* tag, int kind, const TagLib::ByteVector& bytes, CPICTURE_TYPE type);

// Before a write into an MP3's empty ID3v2 tag, copies the fields of the
// ID3v1 or APE tag that readers show now, so the write hides none of them.
void KeepShownFields(TagLib::File* file);

// Tag text to Qt and back; the Qt side is always exact.
QString FromTagText(const TagLib::String& text);
TagLib::String ToTagText(const QString& text);
