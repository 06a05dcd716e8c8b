// The bug report: packs the logs, a copy of the settings without the proxy
// password, the iTunes library file and the crash reports into
// "zorva_log.tgz" in the artwork folder, then hands the archive to the mail
// system; the mail link opens when it cannot. tar and the mail run while
// the window stays responsive. GUI thread.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class QProcess;
class QTemporaryDir;
template <typename T> class QFutureWatcher;

class CBugReport : public QObject
{
    Q_OBJECT
public:
    explicit CBugReport(QObject* parent);
    ~CBugReport() override;

    // Starts a report; false, and nothing started, while one still runs.
    bool Start();
    bool IsRunning() const { return m_bRunning; }

signals:
    // The report has ended: mailResult from SendMail (negative: the mail
    // link was opened instead).
    void Finished(int mailResult);

private:
    void TarEnded();
    void MailEnded();
    // tar's arguments for the data files, each settings file replaced by
    // a copy without the password.
    QStringList StageSettings(const QStringList& files);

    QProcess* m_pTar = nullptr;
    QFutureWatcher<int>* m_pMail = nullptr;
    std::unique_ptr<QTemporaryDir> m_pStaging;
    QString m_strArchive;
    bool m_bRunning = false;
};

// The plain files of folder matching "*.dat", "*.plist" or "*.log", newest
// first, as full paths.
QStringList BugReportDataFiles(const QString& folder);
// The plain files of the crash-report folder named "Vessolin*.crash", newest first.
QStringList BugReportCrashFiles(const QString& folder);
// Every space preceded by a backslash, as the UI log shows the command.
QString EscapeSpaces(const QString& path);
// Writes the property list from as to with "Proxy_pass" emptied; false,
// and nothing written, when from is no readable property list.
bool CopySettingsWithoutPassword(const QString& from, const QString& to);
