// The cache files of a run: downloaded covers and fingerprints in the
// artwork folder, temporary WAV files in the music folder. Read from the
// settings on the GUI thread, cleared on a worker.
#pragma once

#include <QString>

class CMusicLink;

struct tagCacheFolders
{
    QString strArtwork;
    QString strMusic;
};

// The two folders as the settings name them; GUI thread.
tagCacheFolders CacheFoldersOfSettings();

// Deletes the plain files of both folders, only when each is the
// application's own folder below Pictures and Music; any other folder is
// refused with a UI log line. Keeps sub-folders (the trash) and hidden
// files. link, when given, hears of the disk work first. Any thread.
void ClearCacheFolders(const tagCacheFolders& folders, const CMusicLink* link);
