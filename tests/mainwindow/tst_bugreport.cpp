// The bug report from the Help menu, with the real tar and a stand-in for
// xdg-email on PATH: what the archive holds, what the log shows, what the
// mail tool is handed, and the mail link when it cannot take the mail.
// Also the mail layer on its own.
#include "common.h"
#include "config.h"
#include "pellan.h"
#include "plist.h"
#include "testenv.h"
#include "urlrecorder.h"
#include "vessolin/bugreport.h"
#include "vessolin/mainui.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QMenuBar>
#include <QMessageBox>
#include <QTimer>
#include <QApplication>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kOddName = QStringLiteral("it's $HOME; & (x).log");
const QByteArray kPassword = "s3cret-pass";

QStringList Lines(const QByteArray& text)
{
    return QString::fromUtf8(text).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QStringList TarList(const QString& archive)
{
    QProcess tar;
    tar.start(QStringLiteral("tar"), {QStringLiteral("tzf"), archive});
    tar.waitForFinished(30000);
    return Lines(tar.readAllStandardOutput());
}

QAction* Action(CMainUI& window, const QString& text)
{
    for (QAction* action : window.findChildren<QAction*>()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

} // namespace

class TestBugReport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // A home with a space, so the log shows the escaped paths.
        QVERIFY(m_bin.isValid());
        const QString home = QString::fromLocal8Bit(qgetenv("HOME")) + QStringLiteral("/data home");
        qputenv("XDG_DATA_HOME", QFile::encodeName(home));
        // The archive and the library file below folders with a space too:
        // the mail tool must get the archive's plain path, not the escaped one.
        QVERIFY(m_config.isValid());
        QVERIFY(testenv::writeAll(m_config.filePath(QStringLiteral("user-dirs.dirs")),
                                  "XDG_PICTURES_DIR=\"$HOME/my pictures\"\nXDG_MUSIC_DIR=\"$HOME/my music\"\n"));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
        // Only tar and the gzip it runs stay reachable beside the stand-in.
        for (const QString& name : {QStringLiteral("tar"), QStringLiteral("gzip")}) {
            const QString real = QStandardPaths::findExecutable(name);
            QVERIFY2(!real.isEmpty(), qPrintable(name));
            QVERIFY(QFile::link(real, m_bin.filePath(name)));
        }
        m_path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(m_bin.path()));
        m_urls.listen({QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("mailto")});
    }

    void cleanupTestCase() { qputenv("PATH", m_path); }

    void reportArchiveAndMail_data()
    {
        QTest::addColumn<QString>("tool");   // "ok", "fails" or "" for none
        QTest::addColumn<bool>("mailLink");
        QTest::newRow("mail handed on") << "ok" << false;
        QTest::newRow("mail tool fails") << "fails" << true;
        QTest::newRow("no mail tool") << "" << true;
    }

    void reportArchiveAndMail()
    {
        QFETCH(QString, tool);
        QFETCH(bool, mailLink);
        InstallMailTool(tool);
        CMainUI window;
        // The working database below makes the start screen ask whether to
        // continue; that question is not this test's.
        QTimer refuse;
        connect(&refuse, &QTimer::timeout, this, [] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                box->reject();
        });
        refuse.start(10);
        PrepareDataFolder();
        m_urls.opened.clear();
        QSignalSpy finished(window.BugReporter(), &CBugReport::Finished);
        Action(window, QStringLiteral("Bug Report"))->trigger();
        // The report runs on while the window handles events; a second
        // request meanwhile starts nothing.
        QVERIFY(window.BugReporter()->IsRunning());
        QVERIFY(!window.BugReporter()->Start());
        QVERIFY(finished.wait(60000));
        QCOMPARE(finished.first().first().toInt() < 0, mailLink);

        const QString data = CConfig::instance()->GetLogFile();
        const QString archive = CConfig::instance()->GetDowndImgPath() + QStringLiteral("/zorva_log.tgz");
        QVERIFY(archive.contains(QLatin1String("/my pictures/")));
        CheckArchive(archive, data);
        CheckLogLine(archive, data);
        if (!tool.isEmpty())
            QCOMPARE(Lines(testenv::readAll(m_bin.filePath("args"))),
                     (QStringList{"--subject", "Problem Report for Vessolin", "--body",
                                  "[Please describe your problem here.]", "--attach", archive, EMAIL}));
        const QList<QUrl> links{QUrl(QStringLiteral("mailto:%1?subject=Problem Report for Vessolin"
                                                     "&body=[Please describe your problem here.]").arg(EMAIL))};
        QCOMPARE(m_urls.opened, mailLink ? links : QList<QUrl>());
    }

    // Without tar no archive is made, and the last report's is not mailed
    // in its place: the mail link opens.
    void reportWithoutTarSendsNoOldArchive()
    {
        InstallMailTool(QStringLiteral("ok"));
        QFile::remove(m_bin.filePath("args"));
        // The working database an earlier test left would have the start
        // screen ask, 50 ms in, whether to continue; on a busy machine the
        // report was still running then and the question waited for ever.
        QFile::remove(g_strDBName);
        CMainUI window;
        const QString archive = CConfig::instance()->GetDowndImgPath() + QStringLiteral("/zorva_log.tgz");
        QVERIFY(testenv::writeAll(archive, "last report"));
        const QString tar = m_bin.filePath(QStringLiteral("tar"));
        const QString real = QFile::symLinkTarget(tar);
        QVERIFY(QFile::remove(tar));
        m_urls.opened.clear();
        QSignalSpy finished(window.BugReporter(), &CBugReport::Finished);
        QVERIFY(window.BugReporter()->Start());
        const bool ended = finished.wait(60000);
        QVERIFY(QFile::link(real, tar));
        QVERIFY(ended);
        QVERIFY(finished.first().first().toInt() < 0);
        QVERIFY(!QFile::exists(archive));
        QVERIFY(!QFile::exists(m_bin.filePath("args")));
        QCOMPARE(m_urls.opened.size(), 1);
    }

    void sendMail_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QByteArray>("to");
        QTest::addColumn<bool>("attach");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<int>("result");
        QTest::newRow("handed on") << "ok" << QByteArray("help@example.com") << true << 20000 << int(MAIL_OK);
        QTest::newRow("no attachment given") << "ok" << QByteArray("help@example.com") << false << 20000 << int(MAIL_OK);
        QTest::newRow("tool fails") << "fails" << QByteArray("help@example.com") << true << 20000 << int(MAIL_ERR_FAILED);
        QTest::newRow("no tool") << "" << QByteArray("help@example.com") << true << 20000 << int(MAIL_ERR_NO_TOOL);
        QTest::newRow("no recipient") << "ok" << QByteArray() << true << 20000 << int(MAIL_ERR_ARGS);
        QTest::newRow("recipient like an option") << "ok" << QByteArray("--attach=/etc/passwd") << true << 20000
                                                  << int(MAIL_ERR_ARGS);
        QTest::newRow("mail program still open") << "slow" << QByteArray("help@example.com") << true << 300
                                                 << int(MAIL_STILL_OPEN);
    }

    // Texts a shell would act on reach the tool as they are.
    void sendMail()
    {
        QFETCH(QString, tool);
        QFETCH(QByteArray, to);
        QFETCH(bool, attach);
        QFETCH(int, timeoutMs);
        QFETCH(int, result);
        InstallMailTool(tool);
        QFile::remove(m_bin.filePath("args"));
        const QString file = m_bin.filePath(QStringLiteral("a file; $(touch pwned) 'x'.tgz"));
        QVERIFY(testenv::writeAll(file, "archive"));
        const QByteArray subject = "Problem \"quoted\" $HOME `id`";
        const QByteArray path = QFile::encodeName(file);
        QCOMPARE(SendMailWithin(to.isEmpty() ? nullptr : to.constData(), subject.constData(), "body; text",
                                attach ? path.constData() : nullptr, timeoutMs),
                 result);
        QVERIFY(!QFile::exists(m_bin.filePath("pwned")));
        if (result != MAIL_OK)
            return;
        QStringList expected{"--subject", QString::fromUtf8(subject), "--body", "body; text"};
        if (attach)
            expected << "--attach" << file;
        expected << QString::fromUtf8(to);
        QCOMPARE(Lines(testenv::readAll(m_bin.filePath("args"))), expected);
    }

    void missingAttachmentIsRefused()
    {
        InstallMailTool(QStringLiteral("ok"));
        QCOMPARE(SendMail("help@example.com", "s", "b", "/nonexistent/zorva_log.tgz"), int(MAIL_ERR_NO_ATTACHMENT));
    }

private:
    // The stand-in writes its arguments one per line, then ends as told.
    void InstallMailTool(const QString& kind)
    {
        const QString path = m_bin.filePath(QStringLiteral("xdg-email"));
        QFile::remove(path);
        if (kind.isEmpty())
            return;
        const QByteArray status = kind == QLatin1String("fails") ? "3" : "0";
        const QByteArray wait = kind == QLatin1String("slow") ? "/bin/sleep 5\n" : "";
        const QByteArray script = "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '"
            + QFile::encodeName(m_bin.filePath("args")) + "'\n" + wait + "exit " + status + "\n";
        QVERIFY(testenv::writeAll(path, script));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void PrepareDataFolder()
    {
        const QString data = CConfig::instance()->GetLogFile();
        QVERIFY(data.contains(QLatin1Char(' ')));
        CConfig::instance()->SetProxyPassword(QString::fromUtf8(kPassword));
        CConfig::instance()->Save();
        const QString settings = data + QStringLiteral("/vessolin.plist");
        QTRY_VERIFY(testenv::readAll(settings).contains(kPassword));
        QVERIFY(testenv::writeAll(data + QLatin1Char('/') + kOddName, "odd name"));
        // The oldest data file: it stands last of them, just before the library file.
        QFile odd(data + QLatin1Char('/') + kOddName);
        QVERIFY(odd.open(QIODevice::ReadWrite));
        QVERIFY(odd.setFileTime(QDateTime(QDate(2001, 1, 1), QTime(12, 0)), QFileDevice::FileModificationTime));
        odd.close();
        const QString crashes = QDir::homePath() + QStringLiteral("/Library/logs/DiagnosticReports");
        QVERIFY(QDir().mkpath(crashes));
        QVERIFY(testenv::writeAll(crashes + QStringLiteral("/Vessolin_2024-05-01.crash"), "crash"));
        QVERIFY(testenv::writeAll(crashes + QStringLiteral("/Other_2024-05-01.crash"), "not ours"));
        QVERIFY(testenv::writeAll(data + QStringLiteral("/.hidden.log"), "hidden"));
        QVERIFY(testenv::writeAll(data + QStringLiteral("/notes.txt"), "other kind"));
        QVERIFY(testenv::writeAll(g_strDBName, "tracks"));
        const QString library = QStandardPaths::writableLocation(QStandardPaths::MusicLocation)
            + QStringLiteral("/iTunes/iTunes Music Library.xml");
        QVERIFY(QDir().mkpath(QFileInfo(library).path()));
        QVERIFY(testenv::writeAll(library, "<plist/>"));
    }

    void CheckArchive(const QString& archive, const QString& data)
    {
        QStringList names;
        const QStringList members = TarList(archive);
        for (const QString& member : members)
            names << QFileInfo(member).fileName();
        // The settings' copy stands where the settings are, as every other file.
        QVERIFY2(members.contains(QString(data + QStringLiteral("/vessolin.plist")).mid(1)),
                 qPrintable(members.join(QLatin1Char('|'))));
        QVERIFY(names.contains(QStringLiteral("Vessolin_2024-05-01.crash")));
        QVERIFY(!names.contains(QStringLiteral("Other_2024-05-01.crash")));
        for (const QString& name : {QStringLiteral("UI.log"), QStringLiteral("MM.log"), kOddName,
                                    QStringLiteral("vessolin.plist"), QStringLiteral("iTunes Music Library.xml")})
            QVERIFY2(names.contains(name), qPrintable(names.join(QLatin1Char('|'))));
        for (const QString& name : {QStringLiteral(".hidden.log"), QStringLiteral("notes.txt"),
                                    QStringLiteral("MusicLibrary.db"), QStringLiteral("vessolin.lock")})
            QVERIFY2(!names.contains(name), qPrintable(name));

        // The settings travel, the password does not.
        QTemporaryDir out;
        QProcess tar;
        tar.start(QStringLiteral("tar"), {QStringLiteral("xzf"), archive, QStringLiteral("-C"), out.path()});
        QVERIFY(tar.waitForFinished(30000));
        QString settings;
        for (QDirIterator it(out.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();) {
            const QString file = it.next();
            QVERIFY2(!testenv::readAll(file).contains(kPassword), qPrintable(file));
            if (file.endsWith(QLatin1String("/vessolin.plist")))
                settings = file;
        }
        QVariant root;
        QCOMPARE(PlistRead(testenv::readAll(settings), &root, nullptr, PLIST_DICT_ORDERED), int(PLIST_OK));
        QStringList keys;
        for (const auto& entry : root.value<PlistOrderedDict>()) {
            keys << entry.first;
            if (entry.first == QLatin1String("Proxy_pass"))
                QCOMPARE(entry.second.toString(), QString());
        }
        QCOMPARE(keys.size(), 19);
        QVERIFY(testenv::readAll(data + QStringLiteral("/vessolin.plist")).contains(kPassword));
    }

    void CheckLogLine(const QString& archive, const QString& data)
    {
        const QString prefix = QStringLiteral("tar zvcf ") + EscapeSpaces(archive) + QLatin1Char(' ');
        QString line;
        for (const QString& l : Lines(testenv::readAll(data + QStringLiteral("/UI.log")))) {
            const QString text = l.section(QStringLiteral("]: "), 1);
            if (text.startsWith(prefix))
                line = text;
        }
        QVERIFY2(!line.isEmpty(), qPrintable(prefix));
        // The data files, newest first, then the library file, then the
        // crash reports: the settings under their own path, not the copy's.
        const QString library = EscapeSpaces(QStandardPaths::writableLocation(QStandardPaths::MusicLocation)
                                             + QStringLiteral("/iTunes/iTunes Music Library.xml"));
        const QString crash = EscapeSpaces(QDir::homePath()
                                           + QStringLiteral("/Library/logs/DiagnosticReports/Vessolin_2024-05-01.crash"));
        QVERIFY2(line.endsWith(EscapeSpaces(data + QLatin1Char('/') + kOddName) + QLatin1Char(' ') + library
                               + QLatin1Char(' ') + crash),
                 qPrintable(line));
        QVERIFY(line.contains(QLatin1Char(' ') + EscapeSpaces(data + QStringLiteral("/vessolin.plist")) + QLatin1Char(' ')));
        QVERIFY(!line.contains(QLatin1String("vessolin-report-")));
    }

    QTemporaryDir m_bin;
    QTemporaryDir m_config;
    QByteArray m_path;
    UrlRecorder m_urls;
};

QTEST_MAIN(TestBugReport)
#include "tst_bugreport.moc"
