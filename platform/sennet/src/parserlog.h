// The layer's own log, "MusicParser.log" in the log folder of the start
// record. Without an open log the lines go to Qt's warning output.
#pragma once

#include <QString>

namespace sennet {

// Opens the log in folder. The log stays under 10 MiB: a line that would
// pass that first moves the log to "MusicParser.old.log", replacing the one
// before, and a new log begins (a log found full here moves too).
bool openLog(const QString& folder);
// One line "yyyy-MM-dd hh:mm:ss:zzz [tid: N]: text", whatever characters
// text holds (see LogLineText). Server text goes through ServerTextForLog
// first. Thread-safe.
void logLine(const QString& text);
// why, then what the service said in its error answer in parentheses when it
// said anything; both cut as server text.
QString failureForLog(const QString& why, const QString& serviceSays);
void closeLog();

} // namespace sennet
