// CMusicManage: removing a track (to the trash folder of the day in the
// duplicate run modes) and restoring it.
#include "manager/musicmanage.h"

#include "core/mmlog.h"
#include "core/musicobj.h"

#include <QFileInfo>

namespace {

bool isDuplicateMode(int mode)
{
    return mode == RUN_DUP_FILES || mode == RUN_DUP_ITUNES;
}

bool pathTaken(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

// The file's own name in folder, else with 1, 2, ... before its last '.'
// (a.mp3, a1.mp3, a2.mp3). Empty when the name is taken and has no '.'
// after its first character to number it by.
QString trashTarget(const QString& folder, const QString& fileName)
{
    const QString plain = folder + QLatin1Char('/') + fileName;
    if (!pathTaken(plain))
        return plain;
    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0)
        return QString();
    for (int n = 1;; ++n) {
        const QString numbered = folder + QLatin1Char('/') + fileName.left(dot) + QString::number(n)
            + fileName.mid(dot);
        if (!pathTaken(numbered))
            return numbered;
    }
}

} // namespace

int CMusicManage::DeletePlayListMusic(CMusicObj* music)
{
    if (!music)
        return MM_ERR_FAIL;
    if (music->isApplyDelete())
        return 0;
    const tagMMusicInfo info = music->WorkingCopy();
    const int mode = music->GetRunMode();
    const int result = isDuplicateMode(mode)
        ? removeDuplicate(music, info, mode)
        : withLibrary([&](CiTunesCtl& library) { return library.DeleteMusic(QString(), &info, mode); },
                      MM_ERR_FAIL);
    if (result != 0)
        return MM_ERR_FAIL;
    music->SetApplyDelete(true);
    return 0;
}

int CMusicManage::removeDuplicate(CMusicObj* music, const tagMMusicInfo& info, int mode)
{
    // Another entry of the same file is kept: the file stays for it, and
    // only a second library entry of it can go.
    if (m_sharedFiles.SharedWithKeptTrack(music, tracksSnapshot())) {
        WriteLog(QStringLiteral("%1 is kept by another track: not moved to the trash").arg(info.strLocation));
        if (mode != RUN_DUP_ITUNES)
            return MM_ERR_FAIL;
        return withLibrary([&](CiTunesCtl& library) { return library.DeleteLibraryEntry(&info); }, MM_ERR_FAIL);
    }
    if (m_strTrashFolder.isEmpty() || !CreateFolder(m_strTrashFolder)) {
        WriteLog(QStringLiteral("Create trash path Failed!:%1").arg(m_strTrashFolder));
        return MM_ERR_FAIL;
    }
    const QString target = trashTarget(m_strTrashFolder, QFileInfo(info.strLocation).fileName());
    if (target.isEmpty())
        return MM_ERR_FAIL;
    return withLibrary([&](CiTunesCtl& library) { return library.DeleteMusic(target, &info, mode); },
                       MM_ERR_FAIL);
}

int CMusicManage::RestoreMusic(CMusicObj* music)
{
    if (!music)
        return MM_ERR_FAIL;
    const tagMMusicInfo info = music->WorkingCopy();
    const int mode = music->GetRunMode();
    if (QFileInfo::exists(info.strLocation)) {
        // The file is back already, unless its copy still lies in the trash:
        // then what lies at its place is another file, which stays.
        const bool inTrash = withLibrary([&](CiTunesCtl& library) { return int(library.IsInTrash(info, mode)); }, 0);
        if (inTrash) {
            WriteLog(QStringLiteral("RestoreMusic: %1 holds another file").arg(info.strLocation));
            return MM_ERR_FAIL;
        }
        // A removal that left the file to another entry of it took only
        // this entry out of the library, and only the entry comes back.
        if (mode == RUN_DUP_ITUNES && music->isApplyDelete())
            return restoreTrack(music, true);
        music->SetApplyDelete(false);
        return 0;
    }
    return restoreTrack(music, false);
}

int CMusicManage::restoreTrack(CMusicObj* music, bool entryOnly)
{
    tagMMusicInfo restored = music->WorkingCopy();
    const int mode = music->GetRunMode();
    const int result = withLibrary(
        [&](CiTunesCtl& library) {
            return entryOnly ? library.RestoreLibraryEntry(&restored) : library.RestoreMusic(&restored, mode);
        },
        MM_ERR_FAIL);
    if (result != 0)
        return MM_ERR_FAIL;
    takeOverRestored(music, restored);
    music->SetApplyDelete(false);
    m_sharedFiles.Clear();
    return 0;
}

// The restored copy's texts, and its persistent ID: a track added to the
// library again has a new one, and its row is found by it from now on.
void CMusicManage::takeOverRestored(CMusicObj* music, const tagMMusicInfo& restored)
{
    {
        CTrackLocker lock(*music);
        music->WorkingInfo().strPersistentID = restored.strPersistentID;
    }
    music->SetAWSMusicInfo(&restored);
}
