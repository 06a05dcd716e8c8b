// The report's category rows: each row carries its kind and a badge that
// shows the category's count, a done mark, or a spinner while it is being
// fixed. GUI thread only.
#pragma once

#include <QGraphicsPixmapItem>
#include <QString>
#include <QTreeWidgetItem>
#include <QWidget>

class QGraphicsView;
class QLabel;
class QStackedWidget;
class QTimeLine;

// The spinner's picture, drawn smoothly at any angle.
class CPixmapItem : public QGraphicsPixmapItem
{
public:
    CPixmapItem() = default;
    ~CPixmapItem() override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;
};

// A picture turning once every 500 ms until stopped.
class CRotation : public QWidget
{
    Q_OBJECT
public:
    CRotation(const QString& picture, int width, int height, QWidget* parent);
    ~CRotation() override;

    bool IsRunning() const;
    qreal Angle() const;  // of the picture's current transform

public slots:
    void Rotation(int angle);
    void Start();  // from angle 0 when stopped; resumes when paused
    void Stop();   // keeps the last angle

private:
    QGraphicsView* m_pView = nullptr;
    CPixmapItem* m_pPixmapItem = nullptr;
    QTimeLine* m_pTimeLine = nullptr;
    int m_iWidth = 0;
    int m_iHeight = 0;
};

// Page 0 the count, page 1 the done mark, page 2 the spinner.
class CQuantityWidget : public QWidget
{
    Q_OBJECT
public:
    CQuantityWidget(int count, QWidget* parent);
    ~CQuantityWidget() override;

    void SetMusicNum(int count);  // the count page's text and width
    // The count page's width for count: 5 px a digit and 20 px of rounding.
    static int CountWidth(int count);
    // What a badge needs of its row, margins included, to show any count
    // up to 999,999 whole.
    static int ColumnWidth();
    void SetSelected(bool selected);
    void SetCurrentlabel(int page);
    void SetMovieState(bool run);
    int CurrentPage() const;
    QString CountText() const;

    QStackedWidget* m_pStackedWidget = nullptr;
    QLabel* m_pNumLabel = nullptr;
    QLabel* m_pIconLabel = nullptr;
    CRotation* m_pRotation = nullptr;
};

class CTypeTreeItem : public QTreeWidgetItem
{
public:
    // Appended to tree; a free row when tree is null. The badge is not owned.
    CTypeTreeItem(const QString& text, const QString& icon, CQuantityWidget* badge, QTreeWidget* tree);
    ~CTypeTreeItem() override;

    void SetQuantityWidget(CQuantityWidget* badge) { m_pQuantityWidget = badge; }
    CQuantityWidget* QuantityWidget() const { return m_pQuantityWidget; }
    void DelQuantityWidget();  // deletes the badge once
    // Stores the page; a row with a badge shows it there.
    void SetQuantityWidgetIndex(int page);
    int GetQuantityWidgetIndex() const { return m_iQuantityWidgetIndex; }
    // Badge page 2 with the spinner turning, or stopped on page 1.
    void MarkFixing();
    void MarkFinished();
    void SetSpinner(bool run);

    int m_iType = 0;

private:
    CQuantityWidget* m_pQuantityWidget = nullptr;
    int m_iQuantityWidgetIndex = 0;
};
