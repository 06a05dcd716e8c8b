#include "desktop.h"
#include "filefolderdialog.h"
#include "places.h"

#include <QCoreApplication>
#include <QFileDialog>

namespace desktop {

namespace {

QString startFolder(const QString& start)
{
    return start.isEmpty() ? standardFolder(Folder::Music) : start;
}

QString typeFilter(const QString& extension)
{
    if (extension.isEmpty())
        return QCoreApplication::translate("desktop", "All files (*)");
    return QCoreApplication::translate("desktop", "%1 files (*.%2)").arg(extension.toUpper(), extension);
}

// Every dialog blocks the whole application, not just one window, so the
// workflow behind it cannot change while the user chooses.
QStringList runFileDialog(QFileDialog& dialog)
{
    dialog.setWindowModality(Qt::ApplicationModal);
    if (dialog.exec() != QDialog::Accepted)
        return QStringList();
    return dialog.selectedFiles();
}

// The chooser's folder at its last confirmed choice, for as long as the
// program runs: a person adding several folders from one disk starts there
// again instead of in the Music folder.
QString& lastChooserFolder()
{
    static QString folder;
    return folder;
}

QString onlyOne(const QStringList& chosen)
{
    return chosen.size() == 1 ? chosen.front() : QString();
}

} // namespace

QStringList pickFilesAndFolders(const QString& start, const QStringList& extensions)
{
    // The last folder may lie on a share that stopped answering since: a
    // look at it would hold the program for good, so it is asked on a
    // thread of its own, and one that keeps quiet is given up on.
    const QString& last = lastChooserFolder();
    FileFolderDialog dialog(!last.isEmpty() && folderAnswers(last) ? last : startFolder(start), extensions);
    // A hung network mount must not hold the chooser: the volumes join the
    // places when their mounts have answered.
    listMountsLater(&dialog, [&dialog](const QList<MountRecord>& mounts) {
        dialog.addPlaces(buildPlaces(currentFolders(), mounts));
    });
    dialog.setWindowModality(Qt::ApplicationModal);
    if (dialog.exec() != QDialog::Accepted)
        return QStringList();
    lastChooserFolder() = dialog.folder();
    return dialog.selectedPaths();
}

QString pickFile(const QString& start, const QString& extension)
{
    QFileDialog dialog(nullptr, QString(), startFolder(start), typeFilter(extension));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    return onlyOne(runFileDialog(dialog));
}

QString pickFolder(const QString& start)
{
    QFileDialog dialog(nullptr, QString(), startFolder(start));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    return onlyOne(runFileDialog(dialog));
}

QString pickSaveFile(const QString& start, const QString& extension)
{
    QFileDialog dialog(nullptr, QString(), startFolder(start), typeFilter(extension));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(extension);
    return onlyOne(runFileDialog(dialog));
}

} // namespace desktop
