// The part of a file name that stands for a track's persistent ID.
#pragma once

#include <QString>

// The ID itself when it is ASCII letters and digits only, as every real
// one is (16 hex digits, or a list position for files); any other ID (one
// holding "/", "..", spaces or quotes, read from a damaged or hostile
// library) gives "id-" and the hex of a hash of it, the same for the same
// ID every time, so its files still belong to it.
QString FileNameOfId(const QString& persistentId);
