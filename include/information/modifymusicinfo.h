// The track information editor at the foot of the report page: the
// track's iTunes tags beside its working tags, both artwork pictures, and
// the hand edits that go to the engine when the user moves on or collapses
// the panel. GUI thread only, except isHidden.
#pragma once

#include <QByteArray>
#include <QString>
#include <QWidget>

#include <atomic>
#include <vector>

class CLabelArtwork;
class CLineEdit;
class CMusicLink;
class QImage;
class QLabel;
class QPushButton;
struct tagMMusicInfo;

// One commit of hand edits as read from the editor's fields: the values in
// UTF-8, one per bit of mask in the engine's field order. No track: nothing
// to commit.
struct tagEditCommit
{
    void* track = nullptr;
    int mask = 0;
    std::vector<QByteArray> values;
};

class CModifyMusicInfo : public QWidget
{
    Q_OBJECT
public:
    // Built collapsed (12 pixels, the show button alone), without a track.
    explicit CModifyMusicInfo(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~CModifyMusicInfo() override;

    // The bridge every read and commit goes through; set once, not owned.
    void SetMusicLink(CMusicLink* link);
    // Makes track the editor's track: remembered while collapsed, loaded at
    // once while open (after committing the previous track's edits).
    void SetItem(int absence, void* track);
    // True while the detail area is collapsed. Safe from any thread; hides
    // QWidget::isHidden, so call it through a CModifyMusicInfo pointer.
    bool isHidden() const { return !m_bOpen; }
    // true commits pending edits, forgets the track and hides the editor;
    // false shows it, the detail area as it was. Hides QWidget::setHidden.
    void setHidden(bool hide);
    // Commits the current track's edits to the engine; forgets the track
    // unless the commit was refused (empty title, lookup running).
    void ModifyMusic();
    // For the main window before it starts an apply thread (GUI thread):
    // commits an open edit and collapses the panel, so the apply reads the
    // edited working copy and finds nothing left to collapse. True when no
    // edit waits any more; false when the commit was refused, and then
    // nothing of that track was written.
    bool CommitPendingEdit();
    // CommitPendingEdit without the engine's write, which takes a disk
    // commit: the edit is handed over in edit, for CommitEdit on a worker
    // and EditCommitted after it. Same result.
    bool TakePendingEdit(tagEditCommit& edit);
    // Writes edit to the track's working copy and its row; any thread. The
    // engine's result.
    static int CommitEdit(CMusicLink* link, const tagEditCommit& edit);
    // Back on the GUI thread after CommitEdit: the report hears of it.
    void EditCommitted(const tagEditCommit& edit);
    // Fills both columns and pictures for track.
    void GetMusicInfoInID(int absence, void* track);
    // Draws in red the working fields that differ from the iTunes ones.
    void ChangeFontColor();

signals:
    // After a commit that changed the title, artist, album or artwork.
    void SendEditItem(void* track);

public slots:
    // Stops the preview and forgets the track without committing.
    void HideModify();
    // Shows an image file as the new artwork: a dropped one (bDrop true)
    // also waits for the commit, copied into the artwork folder first when
    // it lies outside it; a picked candidate only shows.
    void OpenFileImg(const QString& path, bool bDrop);
    // Opens or collapses the detail area; collapsing commits.
    void EditHide();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildWidgets();
    void buildLayout();
    void setHideButLook(bool open);
    void collapse();
    // The current track's edits into edit, the track forgotten; false when
    // there are none or they were refused (the track then stays).
    bool takeEdit(tagEditCommit& edit);
    bool isLookupRunning(void* track) const;
    void lookupEnded(void* track, int absence);
    void showOriginal(const tagMMusicInfo* info);
    void showWorking(const tagMMusicInfo* info);
    void showPictures(int absence, void* track);
    void setWorkingEditable(bool editable);
    bool refuseEmptyTitle(const tagMMusicInfo* working);
    QString keepDroppedPicture(const QString& path, const QImage& image);

    CMusicLink* m_pMusicLink = nullptr;
    QPushButton* m_pHideBut = nullptr;
    QWidget* m_pInfoWidget = nullptr;
    QLabel* m_pOrgNameLabel = nullptr;
    QLabel* m_pOrgArtistLabel = nullptr;
    QLabel* m_pOrgAlbumLabel = nullptr;
    QLabel* m_pOrgYearLabel = nullptr;
    QLabel* m_pOrgGenreLabel = nullptr;
    CLineEdit* m_pOrgName = nullptr;
    CLineEdit* m_pOrgArtist = nullptr;
    CLineEdit* m_pOrgAlbum = nullptr;
    CLineEdit* m_pOrgYear = nullptr;
    CLineEdit* m_pOrgGenre = nullptr;
    QLabel* m_pNewNameLabel = nullptr;
    QLabel* m_pNewArtistLabel = nullptr;
    QLabel* m_pNewAlbumLabel = nullptr;
    QLabel* m_pNewYearLabel = nullptr;
    QLabel* m_pNewGenreLabel = nullptr;
    CLineEdit* m_pNewName = nullptr;
    CLineEdit* m_pNewArtist = nullptr;
    CLineEdit* m_pNewAlbum = nullptr;
    CLineEdit* m_pNewYear = nullptr;
    CLineEdit* m_pNewGenre = nullptr;
    void* m_pItem = nullptr;
    int m_iAbsence = 0;
    QLabel* m_pOrgArtwork = nullptr;
    CLabelArtwork* m_pNewArtwork = nullptr;
    QString m_strArtworkPath;
    // The detail area's state, kept by EditHide for the apply thread.
    std::atomic<bool> m_bOpen{false};
    // The track shown while its online lookup runs (read-only until the
    // lookup's record); null otherwise.
    void* m_pWaitingTrack = nullptr;
};
