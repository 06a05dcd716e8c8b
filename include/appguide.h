// The user's standard folders and folder creation, with UTF-8 buffers.
#pragma once

#include <cstddef>

// Folder kinds callers use; any kind without a folder of its own means
// kAppSupportFolder.
enum : int {
    kAppSupportFolder = 7,
    kMusicFolder = 10,
    kPicturesFolder = 11,
};

extern "C" {

// Writes the UTF-8 path of the user's folder of kind, plus sub as one more
// component when not null, into out with a terminating zero. 0, or -1 when
// the desktop has no such folder or the path would not fit in size bytes
// (out is then untouched). The folder is not created.
int applicationDataDirectory_s(char* out, size_t size, int kind, const char* sub);
// The same for a caller buffer of at least 512 zeroed bytes.
int applicationDataDirectory(char* out, int kind, const char* sub);

// Makes the folder with every missing parent. 0 when it exists afterwards,
// -1 for a null path or when it cannot be made.
int CreateDirectory(const char* path);

}
