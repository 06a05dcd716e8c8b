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

// The command as one line, the way the report has always logged it: the
// archive, the data files, the library file, then the crash reports, every
// path with its spaces escaped.
QString CommandLine(const QString& archive, const QStringList& files)
{
    QString line = QStringLiteral("tar zvcf ") + EscapeSpaces(archive);
    for (const QString& file : files)
        line += QLatin1Char(' ') + EscapeSpaces(file);
    return line;
}

// tar stores an absolute name without its leading "/"; this relative name
// read below the staging folder is stored the same. "./" keeps a name that
// would begin with "-" from reading as an option.
QString MemberName(const QString& path)
{
    QString name = QDir::cleanPath(path).mid(1);
    if (name.startsWith(QLatin1Char('-')))
        name.prepend(QStringLiteral("./"));
    return name;
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
// without it, under the original's name, and leaves out a property list it
// cannot read. The copy lies at the original's path below the staging
// folder, and tar reads it from there.
QStringList CBugReport::StageSettings(const QStringList& files)
{
    QStringList arguments;
    for (const QString& file : files) {
        if (!file.endsWith(QLatin1String(".plist"))) {
            arguments << file;
            continue;
        }
        const QString member = MemberName(file);
        const QString copy = m_pStaging ? m_pStaging->filePath(member) : QString();
        if (m_pStaging && m_pStaging->isValid() && QDir().mkpath(QFileInfo(copy).path())
            && CopySettingsWithoutPassword(file, copy))
            arguments << QStringLiteral("-C") << m_pStaging->path() << member;
        else
            WriteUILog(QStringLiteral("Bug report leaves out %1: not a readable property list").arg(file));
    }
    return arguments;
}

bool CBugReport::Start()
{
    if (m_bRunning)
        return false;
    m_bRunning = true;
    const CConfig* config = CConfig::instance();
    m_strArchive = config->GetDowndImgPath() + QStringLiteral("/zorva_log.tgz");
    m_pStaging = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/vessolin-report-XXXXXX"));

    // File names are data: each goes to tar as its own argument. A "-C"
    // before a staged copy changes nothing for the absolute names after it.
    const QStringList dataFiles = BugReportDataFiles(config->GetLogFile());
    const QStringList others = QStringList{ItunesLibraryFile()} + BugReportCrashFiles(CrashReportFolder());
    WriteUILog(CommandLine(m_strArchive, dataFiles + others));
    const QStringList arguments = QStringList{QStringLiteral("zvcf"), m_strArchive} + StageSettings(dataFiles) + others;
    // When tar cannot run, the last report's archive must not go out as
    // this one: without an archive the mail link opens instead.
    QFile::remove(m_strArchive);

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
