#include "pellan.h"

#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace {

QString Local(const char* text)
{
    return text ? QString::fromLocal8Bit(text) : QString();
}

QStringList MailArguments(const QString& to, const QString& subject, const QString& body,
                          const QString& attachment)
{
    QStringList arguments{QStringLiteral("--subject"), subject, QStringLiteral("--body"), body};
    if (!attachment.isEmpty())
        arguments << QStringLiteral("--attach") << attachment;
    arguments << to;
    return arguments;
}

} // namespace

extern "C" int SendMailWithin(const char* to, const char* subject, const char* body, const char* attachment,
                              int timeoutMs)
{
    const QString recipient = Local(to);
    // The address comes last; one that starts with "-" would read as an option.
    if (recipient.isEmpty() || recipient.startsWith(QLatin1Char('-')))
        return MAIL_ERR_ARGS;
    const QString file = Local(attachment);
    if (!file.isEmpty() && !QFileInfo(file).isFile())
        return MAIL_ERR_NO_ATTACHMENT;

    QProcess tool;
    // A mail program that the tool starts inherits these; a pipe nobody
    // reads any more could stop it once the tool is gone.
    tool.setStandardInputFile(QProcess::nullDevice());
    tool.setStandardOutputFile(QProcess::nullDevice());
    tool.setStandardErrorFile(QProcess::nullDevice());
    tool.start(QStringLiteral("xdg-email"), MailArguments(recipient, Local(subject), Local(body), file));
    if (!tool.waitForStarted(timeoutMs))
        return MAIL_ERR_NO_TOOL;
    if (!tool.waitForFinished(timeoutMs)) {
        // Only the tool ends here; the mail program it started keeps the
        // message open for the user.
        tool.kill();
        tool.waitForFinished(1000);
        return MAIL_STILL_OPEN;
    }
    if (tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0)
        return MAIL_ERR_FAILED;
    return MAIL_OK;
}

extern "C" int SendMail(const char* to, const char* subject, const char* body, const char* attachment)
{
    return SendMailWithin(to, subject, body, attachment, kMailTimeoutMs);
}
