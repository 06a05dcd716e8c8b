// The layer's own log, "MusicParser.log" in the log folder of the start
// record. Without an open log the lines go to Qt's warning output.
#pragma once

#include <QString>

namespace sennet {

// Opens the log in folder (a file over 10 MiB is started afresh).
bool openLog(const QString& folder);
// One line "yyyy-MM-dd hh:mm:ss:zzz [tid: N]: text". Thread-safe.
void logLine(const QString& text);
void closeLog();

} // namespace sennet
