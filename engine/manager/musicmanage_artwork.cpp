// CMusicManage: choosing a downloaded candidate, and handing a track's
// artwork out as bytes or as a file.
#include "manager/musicmanage.h"

#include "core/idname.h"
#include "core/mmlog.h"
#include "core/musicobj.h"

#include <QFile>
#include <QImage>

namespace {

// The first "<persistent ID>_<n>.jpg" in folder that names no file; an ID
// unfit for a file name is replaced by its stand-in, so that no ID can
// place the file elsewhere.
QString freeArtworkName(const QString& folder, const QString& persistentId)
{
    const QString stem = FileNameOfId(persistentId);
    for (int n = 0;; ++n) {
        const QString name = QStringLiteral("%1/%2_%3.jpg").arg(folder, stem).arg(n);
        if (!QFile::exists(name))
            return name;
    }
}

bool saveImage(const void* data, int length, const QString& path)
{
    const QImage image = QImage::fromData(static_cast<const uchar*>(data), length);
    return !image.isNull() && image.save(path);
}

} // namespace

int CMusicManage::SetDowndArtworkForItem(CMusicObj* music, int index)
{
    if (!music)
        return MM_ERR_FAIL;
    const QString path = music->GetNetPixPathList(index);
    if (path.isEmpty() || isExitState())
        return MM_ERR_FAIL;
    // Only a track that lacks artwork keeps the chosen picture in its row;
    // applying writes it from there.
    if (music->GetAbsenceType() & MF_ARTWORK) {
        const tagMMusicInfo info = music->WorkingCopy();
        const tagMusicRunMode mode = music->GetRunMode();
        const int saved = withLibrary(
            [&](CiTunesCtl& library) { return library.SaveArtworkPic(&info, mode, path); }, 0);
        if (saved != 0)
            WriteLog(QStringLiteral("m_piTunes->SaveArtworkPic Failed! PID:%1 Name:%2 picPath:%3")
                         .arg(info.strPersistentID, info.strName, path));
    }
    music->SetCurPixPath(path);
    return 0;
}

int CMusicManage::GetiTunesArtwork(CMusicObj* music, void** data, int& length)
{
    if (!music || !data || !hasLibrary())
        return MM_ERR_FAIL;
    *data = nullptr;
    length = 0;
    const QString current = music->GetCurPixPath();
    if ((music->GetAbsenceType() & MF_ARTWORK) && current.isEmpty())
        return MM_ERR_FAIL;
    if (!CreateFolder(m_strArtworkFolder))
        WriteLog(QStringLiteral("Create Down Picture Path Failed!%1").arg(m_strArtworkFolder));
    const tagMMusicInfo info = music->WorkingCopy();
    const QString newName =
        current.isEmpty() ? freeArtworkName(m_strArtworkFolder, info.strPersistentID) : QString();
    const tagMusicRunMode mode = music->GetRunMode();
    const int result = withLibrary(
        [&](CiTunesCtl& library) { return library.GetArtworkPic(&info, mode, newName, data, length); },
        MM_ERR_FAIL);
    if (!*data || length <= 0) {
        ReleaseiTunesArtwork(data);
        length = 0;
        return result != 0 ? result : MM_ERR_FAIL;
    }
    if (!current.isEmpty()) {
        if (!QFile::exists(current) && !saveImage(*data, length, current))
            WriteLog(QStringLiteral("Picture Data From DB save to file Failed!%1 %2")
                         .arg(info.strLocation, current));
    } else if (!saveImage(*data, length, newName)) {
        WriteLog(QStringLiteral("Picture save to file Failed!%1 %2").arg(info.strLocation, newName));
    } else {
        // A path naming no file would send the application to nothing.
        music->SetCurPixPath(newName);
    }
    // The bytes are handed out; the file is only a convenience for later.
    return 0;
}

QString CMusicManage::GetAWSImgPath(CMusicObj* music)
{
    if (!music)
        return QString();
    const QString path = music->GetCurPixPath();
    if (path.isEmpty() || !QFile::exists(path)) {
        void* data = nullptr;
        int length = 0;
        GetiTunesArtwork(music, &data, length);
        if (data)
            ReleaseiTunesArtwork(&data);
    }
    // What was current when asked: a new file shows from the next call on.
    return path;
}
