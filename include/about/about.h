// The About box: application icon, maker's logo, product name, version,
// support and home page links, and the music database credit. GUI thread only.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QString>

// A link label: its text shortened in the middle to 300 pixels, underlined
// and coloured; a press of any button opens the address.
class CLabelPress : public QLabel
{
    Q_OBJECT
public:
    CLabelPress(QString url, QString text, QWidget* parent);
    QString url() const { return m_strUrl; }

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    QString m_strUrl;
};

class CAbout : public QDialog
{
    Q_OBJECT
public:
    // flags are replaced by the dialog's own.
    CAbout(QWidget* parent, Qt::WindowFlags flags = Qt::WindowFlags());
};

// The address the support link opens: web pages as they are, anything
// else as a mail address.
QString SupportLinkAddress(const QString& support);
