// Deleting the cache files of a run: downloaded covers and fingerprints in
// the artwork folder, temporary WAV files in the music folder.
#include "vessolin/cache.h"

#include "vessolin/mainui.h"

#include "common.h"
#include "config.h"
#include "desktop.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// The folder is the application's own sub-folder of the user's folder of
// that kind, and really lies there: not the user's whole Music or Pictures
// folder (an empty identifier), not a link that leads somewhere else.
bool IsOwnCacheFolder(const QString& folder, desktop::Folder kind)
{
    const QString base = desktop::standardFolder(kind);
    if (g_strBundleId.isEmpty() || g_strBundleId.contains(QLatin1Char('/')) || base.isEmpty())
        return false;
    if (QDir::cleanPath(folder) != QDir::cleanPath(base + QLatin1Char('/') + g_strBundleId))
        return false;
    const QFileInfo info(folder);
    if (info.isSymLink() || !info.isDir())
        return false;
    const QString realBase = QFileInfo(base).canonicalFilePath();
    return !realBase.isEmpty() && info.canonicalFilePath() == realBase + QLatin1Char('/') + g_strBundleId;
}

void ClearFolder(const QString& folder, desktop::Folder kind)
{
    if (!IsOwnCacheFolder(folder, kind)) {
        WriteUILog(QStringLiteral("ClearCache refused a folder that is not the application's own: %1").arg(folder));
        return;
    }
    // Sub-folders (the trash among them) and hidden files stay; so do
    // links, whose targets may lie anywhere.
    const QFileInfoList entries = QDir(folder).entryInfoList(QDir::Files | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        if (entry.isFile() && !entry.isSymLink())
            QFile::remove(entry.filePath());
    }
}

} // namespace

tagCacheFolders CacheFoldersOfSettings()
{
    const CConfig* config = CConfig::instance();
    return {config->GetDowndImgPath(), config->GetMusicPath()};
}

void ClearCacheFolders(const tagCacheFolders& folders, const CMusicLink* link)
{
    if (link)
        link->NoteDiskWork(CMusicLink::DW_CACHE_CLEAR);
    ClearFolder(folders.strArtwork, desktop::Folder::Pictures);
    ClearFolder(folders.strMusic, desktop::Folder::Music);
}

void CMainUI::ClearCache()
{
    ClearCacheFolders(CacheFoldersOfSettings(), m_pMusicLink);
}
