// One entry per file for the lists of files the user picks.
#pragma once

#include <QStringList>

// The non-null UTF-8 paths in their order, keeping only the first of the
// paths that name one file: the same text twice, "." and ".." forms, paths
// through symbolic links and hard links of one file.
QStringList UniqueFilePaths(const char* const* paths, int count);
