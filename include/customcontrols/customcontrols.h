// The main window's status-row widgets, the duplicate-removal confirmation
// and the enlarged picture popup. GUI thread only.
#pragma once

#include <QDialog>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QList>
#include <QPushButton>
#include <QStatusBar>
#include <QString>

class QCheckBox;

// A push button drawn as a coloured text link; it shrinks to its text and
// elides a text that does not fit.
class CTextButton : public QPushButton
{
    Q_OBJECT
public:
    explicit CTextButton(QWidget* parent);
    // The full text becomes the tooltip when it is wider than the button.
    void setText(const QString& text);

protected:
    void paintEvent(QPaintEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;

private:
    bool m_bHovered = false;
};

// A one-line label for a status text, or a ticker of tips: each tip holds
// for ten seconds, then scrolls up while the next one rises from below.
class CShadeLabel : public QLabel
{
    Q_OBJECT
public:
    // statusBar (a QStatusBar) shows the full text while the pointer is over
    // the label; the label itself has no parent, the caller's layout places it.
    explicit CShadeLabel(QWidget* statusBar);
    ~CShadeLabel() override;

    void setText(const QString& text);
    // Appends a tip; false for an empty text or one already listed.
    bool InputText(const QString& text);
    // Stops the ticker, empties the tips and the shown text.
    void ClearText();
    // true stops the ticker and hides; false starts it and shows.
    void setHidden(bool hidden);
    // The tip after the shown one, wrapping; empty when the shown text is no tip.
    QString NextText() const;
    void ChangedText();

protected:
    void paintEvent(QPaintEvent*) override;
    void timerEvent(QTimerEvent* event) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;

private:
    void restartTimer(int ms);
    void stopTimer();
    QString elided(const QString& text) const;

    QWidget* m_pStatusBar = nullptr;
    QList<QString> m_listTips;
    int m_iOffset = 0;
    int m_iTimerId = 0;
    bool m_bPaused = false;  // the pointer is over the label; m_iTimerId is dead
};

// A label made of plain and link segments; a click on a link reports the
// link's index among all segments.
class CRichLabel : public QLabel
{
    Q_OBJECT
public:
    enum Str_Type { STR_TEXT = 0, STR_LINK = 1 };

    explicit CRichLabel(QWidget* parent);
    ~CRichLabel() override;
    // Appends a segment and widens the label's minimum by its width.
    void InsertString(const QString& text, Str_Type type);

signals:
    void Clicked(int index);

protected:
    void paintEvent(QPaintEvent*) override;
    void timerEvent(QTimerEvent* event) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void hitTest(int x);
    bool handShown() const;

    QList<QString> m_listStrings;
    QList<Str_Type> m_listTypes;
    int m_iCurrentLink = -1;
    int m_iTimerId = 0;
};

// A status bar that shows the maker's logo while it has no message.
class CStatusBar : public QStatusBar
{
    Q_OBJECT
public:
    explicit CStatusBar(QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_imgLogo;
};

// Asks before duplicates are removed and offers to stop asking; exec()
// gives 1 for Remove, 0 for Cancel. Either button stores the check box in
// the settings ("Msg_Dshow": 0 keep asking, 2 stop).
class CMessgboxEx : public QDialog
{
    Q_OBJECT
public:
    explicit CMessgboxEx(QWidget* parent);
    // Stores the check box without closing.
    void CloseMsg();

public slots:
    void Remove();
    void Cancel();

private:
    QPushButton* m_pRemoveBut = nullptr;
    QCheckBox* m_pCheckBox = nullptr;
    QLabel* m_pMessage = nullptr;
    QLabel* m_pIcon = nullptr;
};

// A frameless popup with a track's artwork enlarged; its close button or a
// click hides it.
class CShowMaxPicture : public QFrame
{
    Q_OBJECT
public:
    explicit CShowMaxPicture(QWidget* parent);
    // Shows pixmap scaled to 300 pixels along its longer side; a null
    // pixmap does nothing. Position the popup first.
    void SetPicture(const QPixmap& pixmap);

public slots:
    void HidePicuture();

protected:
    void paintEvent(QPaintEvent*) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QImage m_imgBackground;
    QLabel* m_pPicture = nullptr;
    QPushButton* m_pCloseBut = nullptr;
};
