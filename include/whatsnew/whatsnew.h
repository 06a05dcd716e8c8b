// The window in which the update check shows its outcome: icon, message,
// the new version's description, "Update" (opens the download page) and
// "Cancel". Built anew for every outcome. GUI thread only.
// The description loads no image or style sheet, and of its links only a
// clicked http or https one opens, in the desktop's browser.
#pragma once

#include <QDialog>
#include <QString>
#include <QUrl>

class QLabel;
class QPushButton;
class QTextBrowser;

// Paints the application icon, at most 50 x 50.
class DialogIcon : public QWidget
{
    Q_OBJECT
public:
    explicit DialogIcon(QWidget* parent);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;
};

class WhatsNew : public QDialog
{
    Q_OBJECT
public:
    explicit WhatsNew(QWidget* parent);

    void setVersionInfo(const QString& text);
    // Plain or rich text, as the text itself suggests.
    void setWhatsNew(QString text);
    void setDownloadUrl(const QString& url);
    // 1 (a newer version) with a link IsOfferedUpdateLink accepts: the action
    // button reads "Update"; otherwise it hides.
    void setInformation(int state);

public slots:
    // Opens the download link when it may be offered, then closes the window
    // either way.
    void download();

private:
    QUrl downloadLink() const;
    bool hasOfferedLink() const;

    DialogIcon* m_pIcon = nullptr;
    QLabel* m_pMessage = nullptr;
    QTextBrowser* m_pBrowser = nullptr;
    QPushButton* m_pAction = nullptr;
    QPushButton* m_pCancel = nullptr;
    QString m_strDownloadUrl;
};
