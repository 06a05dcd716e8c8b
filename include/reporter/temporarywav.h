// The temporary WAV files of the fixing runs: where one is made and which
// file may be deleted again. Any thread.
#pragma once

#include <QString>
#include <QStringList>
#include <QTime>

// folder/ID.wav for a plain persistent ID ([0-9A-Za-z]+), else the time of
// day ("hh:mm:ss") in the ID's place; "_1", "_2", ... before ".wav" while
// the name is taken: a file exists, or it is one of held (the WAV files of
// conversions still on their way, not written yet). Never a path outside
// folder.
QString TemporaryWavPath(const QString& folder, const QString& persistentId, const QTime& now,
                         const QStringList& held = {});
// Deletes path when it is a WAV file lying directly in folder; true when
// it was deleted.
bool RemoveTemporaryWav(const QString& folder, const QString& path);
