#include "vessolin/bugreport.h"

#include "common.h"
#include "config.h"
#include "pellan.h"
#include "plist.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFutureWatcher>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>
#include <QtConcurrent>

namespace {

const QString kPasswordKey = QStringLiteral("Proxy_pass");

QStringList NewestFirst(const QString& folder, const QStringList& filters)
{
    QStringList paths;
    const QDir dir(folder);
    for (const QFileInfo& info : dir.entryInfoList(filters, QDir::Files, QDir::Time))
        paths << info.absoluteFilePath();
    return paths;
}

QString ItunesLibraryFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::MusicLocation)
        + QStringLiteral("/iTunes/iTunes Music Library.xml");
}

QString CrashReportFolder()
{
    return QDir::homePath() + QStringLiteral("/Library/logs/DiagnosticReports");
}

QString Subject()
{
    return QCoreApplication::translate("CMainUI", "Problem Report for Vessolin");
}

QString Body()
{
    return QCoreApplication::translate("CMainUI", "[Please describe your problem here.]");
}

// The command as one line, every path escaped the way a shell would need.
QString CommandLine(const QStringList& arguments)
{
    QString line = QStringLiteral("tar");
    for (const QString& argument : arguments)
        line += QLatin1Char(' ') + EscapeSpaces(argument);
    return line;
}

} // namespace

QStringList BugReportDataFiles(const QString& folder)
{
    return NewestFirst(folder, {QStringLiteral("*.dat"), QStringLiteral("*.plist"), QStringLiteral("*.log")});
}

QStringList BugReportCrashFiles(const QString& folder)
{
    return NewestFirst(folder, {QStringLiteral("Vessolin*.crash")});
}

QString EscapeSpaces(const QString& path)
{
    QString escaped = path;
    return escaped.replace(QLatin1Char(' '), QStringLiteral("\\ "));
}

bool CopySettingsWithoutPassword(const QString& from, const QString& to)
{
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    QVariant root;
    if (PlistRead(&in, &root, nullptr, PLIST_DICT_ORDERED) != PLIST_OK
        || !root.canConvert<PlistOrderedDict>())
        return false;
    PlistOrderedDict dict = root.value<PlistOrderedDict>();
    for (auto& entry : dict) {
        if (entry.first == kPasswordKey)
            entry.second = QString();
    }
    QFile out(to);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return PlistWrite(&out, QVariant::fromValue(dict)) == PLIST_OK;
}

CBugReport::CBugReport(QObject* parent) : QObject(parent) {}

CBugReport::~CBugReport()
{
    // A report still running at exit is dropped; the mail thread cannot be
    // stopped, so it is waited for (at most the mail time-out).
    if (m_pTar) {
        m_pTar->disconnect(this);
        m_pTar->kill();
        m_pTar->waitForFinished(1000);
    }
    if (m_pMail) {
        m_pMail->disconnect(this);
        m_pMail->waitForFinished();
    }
}

// The settings file holds the proxy password; the archive gets a copy
// without it, and leaves out a property list it cannot read.
QStringList CBugReport::StageSettings(const QStringList& files)
{
    QStringList staged;
    for (const QString& file : files) {
        if (!file.endsWith(QLatin1String(".plist"))) {
            staged << file;
            continue;
        }
        if (!m_pStaging || !m_pStaging->isValid())
            continue;
        const QString copy = m_pStaging->filePath(QFileInfo(file).fileName());
        if (CopySettingsWithoutPassword(file, copy))
            staged << copy;
        else
            WriteUILog(QStringLiteral("Bug report leaves out %1: not a readable property list").arg(file));
    }
    return staged;
}

bool CBugReport::Start()
{
    if (m_bRunning)
        return false;
    m_bRunning = true;
    const CConfig* config = CConfig::instance();
    m_strArchive = config->GetDowndImgPath() + QStringLiteral("/zorva_log.tgz");
    m_pStaging = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/vessolin-report-XXXXXX"));

    // File names are data: each goes to tar as its own argument.
    QStringList arguments{QStringLiteral("zvcf"), m_strArchive};
    arguments << StageSettings(BugReportDataFiles(config->GetLogFile()));
    arguments << ItunesLibraryFile();
    arguments << BugReportCrashFiles(CrashReportFolder());
    WriteUILog(CommandLine(arguments));

    m_pTar = new QProcess(this);
    m_pTar->setStandardInputFile(QProcess::nullDevice());
    m_pTar->setStandardOutputFile(QProcess::nullDevice());
    m_pTar->setStandardErrorFile(QProcess::nullDevice());
    connect(m_pTar, &QProcess::finished, this, &CBugReport::TarEnded);
    connect(m_pTar, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        WriteUILog(QStringLiteral("Bug report: tar could not be started"));
        TarEnded();
    });
    m_pTar->start(QStringLiteral("tar"), arguments);
    return true;
}

// tar's status is not looked at: a missing library file makes it complain
// and still write the archive with everything else.
void CBugReport::TarEnded()
{
    m_pTar->deleteLater();
    m_pTar = nullptr;
    m_pStaging.reset();

    const QByteArray to = EMAIL.toLocal8Bit();
    const QByteArray subject = Subject().toLocal8Bit();
    const QByteArray body = Body().toLocal8Bit();
    const QByteArray attachment = m_strArchive.toLocal8Bit();
    m_pMail = new QFutureWatcher<int>(this);
    connect(m_pMail, &QFutureWatcher<int>::finished, this, &CBugReport::MailEnded);
    m_pMail->setFuture(QtConcurrent::run([to, subject, body, attachment] {
        return SendMail(to.constData(), subject.constData(), body.constData(), attachment.constData());
    }));
}

void CBugReport::MailEnded()
{
    const int result = m_pMail->result();
    m_pMail->deleteLater();
    m_pMail = nullptr;
    if (result < 0) {
        WriteUILog(QStringLiteral("Bug report: the mail was not handed on (%1); opening the mail link").arg(result));
        QDesktopServices::openUrl(
            QUrl(QStringLiteral("mailto:%1?subject=%2&body=%3").arg(EMAIL, Subject(), Body())));
    }
    m_bRunning = false;
    emit Finished(result);
}
