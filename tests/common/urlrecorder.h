// Stands in for the browser and the mail program: while it listens, the
// URLs the code under test asks the desktop to open are kept, not opened.
#pragma once

#include <QDesktopServices>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QUrl>

class UrlRecorder : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;

    // Takes over the URLs of these schemes ("http", "mailto", ...).
    void listen(const QStringList& schemes)
    {
        m_schemes = schemes;
        for (const QString& scheme : schemes)
            QDesktopServices::setUrlHandler(scheme, this, "open");
    }

    // Hands the schemes back to the desktop.
    void stopListening()
    {
        for (const QString& scheme : std::as_const(m_schemes))
            QDesktopServices::unsetUrlHandler(scheme);
        m_schemes.clear();
    }

public slots:
    void open(const QUrl& url) { opened << url; }

private:
    QStringList m_schemes;
};
