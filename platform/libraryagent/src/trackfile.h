// A track's file: its tags and artwork. Artwork answers are kept per file
// and thrown away when the file's size or modification time changes.
// Thread-safe; reads run side by side, and the tags of one file are never
// read and written at once.
// Failures are not logged here: the tag calls log each one with its path.
#pragma once

#include "tags.h"

#include <QString>

// What the file's tags say of the track, as GetMusicInfo_tag fills it;
// AGENT_OK, or AGENT_ERR_FILE when the file is no readable audio file.
// A file without tags is fine: its name then serves as the name.
int ReadFileTags(const QString& path, tagMusicTags* info);

// 1 when the file holds a picture, 0 when not or when it cannot be read.
int FileHasArtwork(const QString& path);
// Hands out the picture in a malloc'd buffer: AGENT_OK, AGENT_ERR_FILE or
// AGENT_ERR_NO_ARTWORK.
int FileArtwork(const QString& path, void** data, int* length);
// Writes the picture (JPEG, PNG, GIF or BMP, told by its first bytes):
// AGENT_OK, AGENT_ERR_FILE or AGENT_ERR_NO_ARTWORK (the tags refused it).
int WriteFileArtwork(const QString& path, const void* data, int length);
