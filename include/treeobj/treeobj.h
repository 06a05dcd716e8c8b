// Widgets of the report side: the artwork chooser strip that opens under
// an artwork cell, and the busy overlay over a page. GUI thread only.
#pragma once

#include <QImage>
#include <QPixmap>
#include <QStringList>
#include <QWidget>

class CArtworkChoiceCalls;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QMovie;

// Shows every artwork candidate of one cell (a CListItem) and applies the
// one the user picks: to the cell, to the engine, and through SetArtwork.
class CArtworkList : public QWidget
{
    Q_OBJECT
public:
    // link may be null (then the engine is not told).
    CArtworkList(CArtworkChoiceCalls* link, QWidget* parent, Qt::WindowFlags flags);
    ~CArtworkList() override;

    // Fills the strip with paths for item and selects candidate index
    // (-1: none); the strip is sized to the candidates.
    void Init(QListWidgetItem* item, int index, const QStringList& paths);
    // Where the pointer toward the cell is drawn, from the next paint on.
    void SetBCLMoveX(int x);
    int GetSelectArtwork() const;  // -1 when none

public slots:
    void CurItemChanged(QListWidgetItem* pCurItem, QListWidgetItem* pPreItem);

signals:
    void SetArtwork(QString strPath, bool bDrop);
    void SendHide();

protected:
    void paintEvent(QPaintEvent*) override;
    void hideEvent(QHideEvent* event) override;

private:
    void clearCandidates();
    void addCandidate(const QString& path);

    QStringList m_listPaths;
    QListWidgetItem* m_pItem = nullptr;
    QListWidget* m_pList = nullptr;
    QImage m_imgLeft;
    QImage m_imgCenter;
    QImage m_imgRight;
    QImage m_imgPointer;
    int m_iPointerX = 0;
    CArtworkChoiceCalls* m_pLink = nullptr;
};

// A dark mask over a page with either the loading animation (work runs)
// or the finished picture in its middle.
class CAnalyWidget : public QWidget
{
    Q_OBJECT
public:
    // area: the widget the overlay covers when shown.
    CAnalyWidget(QWidget* area, QWidget* parent);
    ~CAnalyWidget() override;

    // true: the running animation, with the keyboard focus, and the area
    // takes no key or click until the overlay hides or shows its finished
    // picture; false: the finished picture. Either way the overlay covers
    // the area and shows.
    void SetFash(bool running);
    // Hiding gives the area its keys back.
    void setVisible(bool visible) override;
    // Puts the overlay over the area again (after the area moved or resized).
    void FitArea();
    void Start();  // the animation only
    void Stop();

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QWidget* m_pArea = nullptr;
    QLabel* m_pLabel = nullptr;
    QImage m_imgMask;
    QMovie* m_pMovie = nullptr;
    QPixmap m_pixFinished;
};
