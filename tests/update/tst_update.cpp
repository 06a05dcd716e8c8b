// The update check end to end against a local server: the request it
// sends, each outcome code of the server's answers, the proxy it goes
// through, the answers of a broken or hostile server, and the What's New
// window that shows the outcome.
#include "common.h"
#include "config.h"
#include "httpreplay.h"
#include "testenv.h"
#include "update/updater.h"
#include "urlrecorder.h"
#include "whatsnew/whatsnew.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QPainter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

namespace {

QByteArray replyXml(const QByteArray& code, const QByteArray& version, const QString& description,
                    const QByteArray& download = "http://downloads.example.com/vessolin.dmg")
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<upd:UpdateInfo xmlns:upd=\"http://update.example.com/upd\">\n";
    if (!code.isNull())
        xml += "  <upd:ProductCode>" + code + "</upd:ProductCode>\n";
    xml += "  <upd:ProductDisplayName>Vessolin</upd:ProductDisplayName>\n"
           "  <upd:ProductVer>" + version + "</upd:ProductVer>\n"
           "  <upd:ProductState>1</upd:ProductState>\n"
           "  <upd:DownloadURL>" + download + "</upd:DownloadURL>\n"
           "  <upd:WhatsNew><upd:Format>text</upd:Format><upd:Description>"
        + description.toUtf8().toBase64() + "</upd:Description></upd:WhatsNew>\n"
           "</upd:UpdateInfo>\n";
    return xml;
}

const QString kDescription = QStringLiteral("Schnellere Suche – Überarbeitet ✓");

QString labelTexts(QWidget* window)
{
    QStringList texts;
    for (QLabel* label : window->findChildren<QLabel*>())
        texts << label->text();
    return texts.join(QLatin1Char('|'));
}

QPushButton* button(QWidget* window, const QString& text)
{
    for (QPushButton* b : window->findChildren<QPushButton*>()) {
        if (b->text() == text)
            return b;
    }
    return nullptr;
}

QStringList visibleButtons(QWidget* window)
{
    QStringList texts;
    for (QPushButton* b : window->findChildren<QPushButton*>()) {
        if (b->isVisibleTo(window))
            texts << b->text();
    }
    return texts;
}

QString uiLog()
{
    return QString::fromUtf8(testenv::readAll(CConfig::instance()->GetLogFile() + QStringLiteral("/UI.log")));
}

int redPixels(const QImage& image)
{
    int red = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            red += image.pixel(x, y) == qRgb(255, 0, 0);
    return red;
}

// Clicks the middle of the first character of text after the first.
void clickText(QTextBrowser* browser, const QString& text)
{
    const QTextCursor found = browser->document()->find(text);
    QVERIFY(!found.isNull());
    QTextCursor at(browser->document());
    at.setPosition(found.selectionStart() + 1);
    const QPoint point = browser->cursorRect(at).center() + QPoint(2, 0);
    QTest::mouseClick(browser->viewport(), Qt::LeftButton, {}, point);
}

const QStringList kRecordedSchemes = {QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("file"),
                                      QStringLiteral("smb"), QStringLiteral("vessolin-launch")};

} // namespace

class TestUpdate : public QObject
{
    Q_OBJECT

    HttpReplay m_server;
    UrlRecorder m_opened;

    // A fresh settings object and checker for the running version, aimed at the server.
    struct Check {
        CRegisterSetting setting{nullptr};
        CUpdater* updater;
        explicit Check(const QString& version, const QString& name = QStringLiteral("Ossival Mac Vessolin"))
            : updater(new CUpdater(&setting))
        {
            setting.init(name, version, QStringLiteral("en"));
            setting.setProxy(QNetworkProxy(QNetworkProxy::NoProxy));
        }
        // Runs one check and returns (state, extra); (0, null) when no
        // outcome came within guardMs, a hang guard only.
        QPair<int, QVariant> run(int guardMs = 10000)
        {
            QSignalSpy spy(updater, &CUpdater::updateInfo);
            updater->getVersionInfo();
            if (spy.isEmpty() && !spy.wait(guardMs))
                return {0, QVariant()};
            return {spy.first().at(0).toInt(), spy.first().at(1)};
        }
    };

    // Shows in window the outcome of a check whose answer offers version 1.1
    // with description.
    bool showNewVersion(WhatsNew& window, const QString& description)
    {
        m_server.reply.body = replyXml("VSL", "1.1", description);
        Check check(QStringLiteral("1.0"));
        if (check.run().first != 1)
            return false;
        FillUpdateOutcome(&window, check.updater, 1);
        window.show();
        return QTest::qWaitForWindowExposed(&window);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_server.listen());
        qputenv("VESSOLIN_UPDATE_URL", m_server.base() + "/");
        // Every scheme an answer below names, so that even a link that should
        // have been refused reaches no real opener.
        m_opened.listen(kRecordedSchemes);
        CreateLinkAndName();
        INSTALL.clear();  // the settings must open no page
        CConfig::instance();  // reads the bundle's version; the messages below use ours
        g_strVersion = QStringLiteral("1.0");
    }

    void cleanupTestCase()
    {
        m_opened.stopListening();
        CConfig::Destroy();
    }

    void init()
    {
        m_server.requestLines.clear();
        m_server.reply = HttpReplay::Reply();
        m_server.reply.body = replyXml("VSL", "1.0", QString());
        m_opened.opened.clear();
    }

    void endpointComesFromTheEnvironment()
    {
        QCOMPARE(UpdateEndpoint(), QString::fromLatin1(m_server.base() + "/update-product-info/update.php"));
    }

    void requestLineIsExact_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("version");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("product name") << "Ossival Mac Vessolin" << "1.0"
                                      << QByteArray("GET /update-product-info/update.php?action=getinfo"
                                                    "&product=Ossival%20Mac%20Vessolin&versioncur=1.0 HTTP/1.1");
        QTest::newRow("reserved and non-ASCII") << "a/b:c@d+e&f=g~h_i.j-k (ü)!" << "2.0 beta*"
                                                << QByteArray("GET /update-product-info/update.php?action=getinfo"
                                                              "&product=a%2Fb%3Ac%40d%2Be%26f%3Dg~h_i.j-k%20%28%C3%BC%29%21"
                                                              "&versioncur=2.0%20beta%2A HTTP/1.1");
    }

    void requestLineIsExact()
    {
        QFETCH(QString, name);
        QFETCH(QString, version);
        QFETCH(QByteArray, line);
        Check check(version, name);
        check.run();
        QCOMPARE(m_server.requestLines, QList<QByteArray>{line});
    }

    void outcomeCodes_data()
    {
        QTest::addColumn<QByteArray>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("extra");  // "*": any non-empty text
        QTest::newRow("new version") << QByteArray("200 OK") << replyXml("VSL", "1.1", kDescription) << 1 << kDescription;
        QTest::newRow("newest version") << QByteArray("200 OK") << replyXml("VSL", "1.0", kDescription) << 2 << "1.0";
        QTest::newRow("empty version") << QByteArray("200 OK") << replyXml("VSL", "", QString()) << 2 << "";
        QTest::newRow("no product code") << QByteArray("200 OK") << replyXml(QByteArray(), "3.0", kDescription) << -5
                                         << "Ossival Mac Vessolin";
        QTest::newRow("empty product code") << QByteArray("200 OK") << replyXml("", "3.0", kDescription) << -5
                                            << "Ossival Mac Vessolin";
        QTest::newRow("not found") << QByteArray("404 Not Found") << QByteArray("gone") << -5 << "*";
        QTest::newRow("server error") << QByteArray("500 Internal Server Error") << QByteArray("oops") << -1 << "*";
        QTest::newRow("malformed") << QByteArray("200 OK") << QByteArray("<upd:UpdateInfo><upd:ProductVer>2.0")
                                   << -4 << "*";
        QTest::newRow("not XML at all") << QByteArray("200 OK") << QByteArray("Hello") << -4 << "*";
        QByteArray full = replyXml("VSL", "1.1", kDescription);
        full.append(QByteArray(kMaxUpdateAnswerBytes - full.size(), ' '));
        QTest::newRow("as large as an answer may be") << QByteArray("200 OK") << full << 1 << kDescription;
    }

    void outcomeCodes()
    {
        QFETCH(QByteArray, status);
        QFETCH(QByteArray, body);
        QFETCH(int, state);
        QFETCH(QString, extra);
        m_server.reply.status = status;
        m_server.reply.body = body;
        Check check(QStringLiteral("1.0"));
        const auto outcome = check.run();
        QCOMPARE(outcome.first, state);
        if (extra == QLatin1String("*"))
            QVERIFY(!outcome.second.toString().isEmpty());
        else
            QCOMPARE(outcome.second.toString(), extra);
    }

    void newVersionCarriesItsLink()
    {
        m_server.reply.body = replyXml("VSL-7", "1.2", kDescription, "http://dl.example.com/get?os=linux");
        Check check(QStringLiteral("1.0"));
        QCOMPARE(check.run().first, 1);
        QCOMPARE(check.updater->newVersion(), QStringLiteral("1.2"));
        QCOMPARE(check.updater->newDescription(), kDescription);
        QCOMPARE(check.updater->newDownloadUrl().toString(), QStringLiteral("http://dl.example.com/get?os=linux?product=VSL-7"));
    }

    void replyWithoutCodeStillReplacesVersionAndDescription()
    {
        m_server.reply.body = replyXml(QByteArray(), "4.0", kDescription);
        Check check(QStringLiteral("1.0"));
        QCOMPARE(check.run().first, -5);
        QCOMPARE(check.updater->newVersion(), QStringLiteral("4.0"));
        QCOMPARE(check.updater->newDescription(), kDescription);
    }

    void damagedDescriptionIsDecodedLeniently()
    {
        QByteArray body = replyXml("VSL", "2.0", QString());
        body.replace("<upd:Description></upd:Description>",
                     "<upd:Description>" + QByteArray("ok \xff!").toBase64().insert(2, "*#") + "</upd:Description>");
        m_server.reply.body = body;
        Check check(QStringLiteral("1.0"));
        QCOMPARE(check.run().first, 1);
        QVERIFY(check.updater->newDescription().startsWith(QStringLiteral("ok ")));
        QVERIFY(check.updater->newDescription().contains(QChar(QChar::ReplacementCharacter)));
    }

    void redirectIsNotFollowed()
    {
        m_server.reply.status = "302 Found";
        m_server.reply.extraHeaders = "Location: " + m_server.base() + "/elsewhere.php\r\n";
        m_server.reply.body = "<html><body>Moved</body>";
        Check check(QStringLiteral("1.0"));
        const auto outcome = check.run();
        QCOMPARE(outcome.first, -4);  // a followed redirect ends in another outcome
        QCOMPARE(m_server.requestLines.size(), 1);
        QVERIFY(m_server.requestLines.first().startsWith("GET /update-product-info/update.php?"));
    }

    void unreachableServerFails()
    {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
        const QByteArray url = "http://127.0.0.1:" + QByteArray::number(closed.serverPort());
        closed.close();
        qputenv("VESSOLIN_UPDATE_URL", url);
        Check check(QStringLiteral("1.0"));
        qputenv("VESSOLIN_UPDATE_URL", m_server.base());
        QCOMPARE(check.run().first, -1);
    }

    void checkerWithoutSettings()
    {
        Check check(QStringLiteral("1.0"));
        QObject elsewhere;
        check.updater->setParent(&elsewhere);
        QVERIFY(!check.updater->registerSetting());
        QSignalSpy spy(check.updater, &CUpdater::updateInfo);
        check.updater->getVersionInfo();
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy.first().at(0).toInt(), -7);
        QCOMPARE(spy.first().at(1).toString(), QStringLiteral("setting error"));
        QVERIFY(m_server.requestLines.isEmpty());
    }

    void versionComparison_data()
    {
        QTest::addColumn<QString>("current");
        QTest::addColumn<QString>("reply");
        QTest::addColumn<bool>("newer");
        QTest::newRow("equal") << "1.0" << "1.0" << false;
        QTest::newRow("one more part") << "1.0" << "1.0.1" << true;
        QTest::newRow("one part less") << "1.0.1" << "1.0" << false;
        QTest::newRow("numbers, not text") << "1.2" << "1.10" << true;
        QTest::newRow("older") << "1.10" << "1.9" << false;
        QTest::newRow("different text, same numbers") << "1.0" << "1.00" << true;
        QTest::newRow("letters count as 0, as many parts") << "2.0" << "2.a" << true;
        QTest::newRow("letters count as 0, smaller") << "2.1" << "2.a" << false;
        QTest::newRow("empty reply") << "1.0" << "" << false;
        QTest::newRow("empty part") << "1..2" << "1.0.3" << true;
    }

    void versionComparison()
    {
        QFETCH(QString, current);
        QFETCH(QString, reply);
        QFETCH(bool, newer);
        QCOMPARE(IsNewerVersion(current, reply), newer);
    }

    void proxyFromSettings_data()
    {
        QTest::addColumn<int>("use");
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("qtType");
        QTest::addColumn<int>("qtPort");
        QTest::newRow("off") << 0 << 1 << 3128 << int(QNetworkProxy::NoProxy) << 0;
        QTest::newRow("flag must be exactly 1") << 2 << 1 << 3128 << int(QNetworkProxy::NoProxy) << 0;
        QTest::newRow("none in the list") << 1 << 0 << 3128 << int(QNetworkProxy::HttpProxy) << 3128;
        QTest::newRow("http") << 1 << 1 << 8080 << int(QNetworkProxy::HttpProxy) << 8080;
        QTest::newRow("http caching") << 1 << 2 << 80 << int(QNetworkProxy::HttpCachingProxy) << 80;
        QTest::newRow("ftp caching") << 1 << 3 << 21 << int(QNetworkProxy::FtpCachingProxy) << 21;
        QTest::newRow("unknown type") << 1 << 9 << 80 << int(QNetworkProxy::NoProxy) << 0;
        QTest::newRow("port too large is not cut") << 1 << 1 << 65536 + 3128 << int(QNetworkProxy::HttpProxy) << 0;
    }

    void proxyFromSettings()
    {
        QFETCH(int, use);
        QFETCH(int, type);
        QFETCH(int, port);
        QFETCH(int, qtType);
        QFETCH(int, qtPort);
        CConfig* config = CConfig::instance();
        config->SetUseProxy(use);
        config->SetProxyType(type);
        config->SetProxyHost(QStringLiteral("proxy.example.net"));
        config->SetProxyPort(port);
        config->SetProxyUserName(QStringLiteral("ann"));
        config->SetProxyPassword(QStringLiteral("pw"));
        const QNetworkProxy proxy = UpdateProxyFromSettings();
        QCOMPARE(int(proxy.type()), qtType);
        if (qtType == QNetworkProxy::NoProxy)
            return;
        QCOMPARE(proxy.hostName(), QStringLiteral("proxy.example.net"));
        QCOMPARE(int(proxy.port()), qtPort);
        QCOMPARE(proxy.user(), QStringLiteral("ann"));
        QCOMPARE(proxy.password(), QStringLiteral("pw"));
    }

    void checkGoesThroughTheConfiguredProxy()
    {
        HttpReplay proxy;
        QVERIFY(proxy.listen());
        proxy.reply.body = replyXml("VSL", "9.0", QString());
        CConfig* config = CConfig::instance();
        config->SetUseProxy(1);
        config->SetProxyType(1);
        config->SetProxyHost(QStringLiteral("127.0.0.1"));
        config->SetProxyPort(proxy.port());
        config->SetProxyUserName(QString());
        config->SetProxyPassword(QString());
        Check check(QStringLiteral("1.0"));
        QSignalSpy spy(check.updater, &CUpdater::updateInfo);
        StartUpdateCheck(&check.setting, check.updater);
        QVERIFY(spy.wait(10000));
        QCOMPARE(spy.first().at(0).toInt(), 1);
        QCOMPARE(proxy.requestLines.size(), 1);
        QVERIFY(proxy.requestLines.first().startsWith("GET " + m_server.base() + "/update-product-info/update.php?"));
        QVERIFY(m_server.requestLines.isEmpty());

        config->SetUseProxy(0);  // switched off in the preferences: straight to the server
        StartUpdateCheck(&check.setting, check.updater);
        QVERIFY(spy.wait(10000));
        QCOMPARE(spy.at(1).at(0).toInt(), 2);
        QCOMPARE(proxy.requestLines.size(), 1);
        QCOMPARE(m_server.requestLines.size(), 1);
    }

    void settingsObjectForTheMainWindow()
    {
        QObject owner;
        CRegisterSetting* setting = CreateUpdateSetting(&owner);
        QCOMPARE(setting->parent(), &owner);
        QCOMPARE(setting->product(), g_strAppUpdateName);
        QCOMPARE(setting->updateName(), g_strAppUpdateName);
        QCOMPARE(setting->version(), g_strVersion);
        QCOMPARE(setting->language(), QStringLiteral("en"));
    }

    // ---- the What's New window ----------------------------------------

    void outcomeWindowByState_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("message");
        QTest::newRow("new version") << 1
                                     << "A new version of Ossival Mac Vessolin found! \nCurrent version: 1.0\nNew version: "
                                        "1.1\n\nWould you like to update the product?";
        QTest::newRow("newest") << 2 << "You are using the newest version.";
        QTest::newRow("failed") << -1 << "Failed to connect the server. \nPlease check the validity of the proxy.";
        QTest::newRow("not found") << -5 << "Failed to find product record.";
        QTest::newRow("malformed") << -4 << "Unknown error.";
        QTest::newRow("no settings") << -7 << "Unknown error.";
    }

    void outcomeWindowByState()
    {
        QFETCH(int, state);
        QFETCH(QString, message);
        m_server.reply.body = replyXml("VSL", "1.1", QStringLiteral("<b>Faster</b> scans"));
        Check check(QStringLiteral("1.0"));
        QCOMPARE(check.run().first, 1);
        WhatsNew window(nullptr);
        FillUpdateOutcome(&window, check.updater, state);
        QCOMPARE(window.windowTitle(), g_strUpdateTitle);
        QVERIFY(labelTexts(&window).split(QLatin1Char('|')).contains(message));
        QCOMPARE(window.size(), QSize(480, 320));
        auto* browser = window.findChild<QTextBrowser*>();
        QCOMPARE(browser->toPlainText(), state == 1 ? QStringLiteral("Faster scans") : QString());
        QPushButton* update = button(&window, QStringLiteral("Update"));
        QCOMPARE(update != nullptr, state == 1);
        int visibleButtons = 0;
        for (QPushButton* b : window.findChildren<QPushButton*>())
            visibleButtons += b->isVisibleTo(&window);
        QCOMPARE(visibleButtons, state == 1 ? 2 : 1);
        QVERIFY(button(&window, QStringLiteral("Cancel"))->isVisibleTo(&window));
    }

    void updateOpensTheDownloadPageAndCloses_data()
    {
        QTest::addColumn<QByteArray>("link");
        QTest::newRow("http, as the update address") << QByteArray("http://dl.example.com/vessolin");
        QTest::newRow("https") << QByteArray("https://dl.example.com/vessolin");
    }

    void updateOpensTheDownloadPageAndCloses()
    {
        QFETCH(QByteArray, link);
        m_server.reply.body = replyXml("VSL", "1.1", QString(), link);
        Check check(QStringLiteral("1.0"));
        QCOMPARE(check.run().first, 1);
        WhatsNew window(nullptr);
        FillUpdateOutcome(&window, check.updater, 1);
        QVERIFY(window.findChild<QTextBrowser*>()->toPlainText().isEmpty());
        window.show();
        QTest::mouseClick(button(&window, QStringLiteral("Update")), Qt::LeftButton);
        QCOMPARE(m_opened.opened, QList<QUrl>{QUrl(QString::fromLatin1(link + "?product=VSL"))});
        QVERIFY(!window.isVisible());
    }

    // A link the desktop would hand to a file manager, a share or another
    // program: the window says a new version exists and offers nothing to
    // press, and the log says which link was refused.
    void refusedLinksAreNotOffered_data()
    {
        QTest::addColumn<QByteArray>("link");
        QTest::newRow("local file") << QByteArray("file:///etc/passwd");
        QTest::newRow("network share") << QByteArray("smb://fileserver/public/vessolin.run");
        QTest::newRow("another program's scheme") << QByteArray("vessolin-launch://install/now");
        QTest::newRow("no host") << QByteArray("https:///downloads/vessolin.dmg");
    }

    void refusedLinksAreNotOffered()
    {
        QFETCH(QByteArray, link);
        m_server.reply.body = replyXml("VSL", "1.1", kDescription, link);
        Check check(QStringLiteral("1.0"));
        QCOMPARE(check.run().first, 1);
        QVERIFY(check.updater->newDownloadUrl().isEmpty());
        WhatsNew window(nullptr);
        FillUpdateOutcome(&window, check.updater, 1);
        QVERIFY(labelTexts(&window).split(QLatin1Char('|')).contains(
            QStringLiteral("A new version of Ossival Mac Vessolin found! \nCurrent version: 1.0\nNew version: 1.1")));
        QCOMPARE(window.findChild<QTextBrowser*>()->toPlainText(), kDescription);
        QCOMPARE(visibleButtons(&window), QStringList{QStringLiteral("Cancel")});
        window.show();
        window.download();  // even when asked for without the button
        QVERIFY(m_opened.opened.isEmpty());
        QVERIFY2(uiLog().contains(QStringLiteral("Update link refused, not a web page: ") + QString::fromLatin1(link) + '\n'),
                 qPrintable(uiLog()));
    }

    void offeredLinks_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("endpoint");
        QTest::addColumn<bool>("offered");
        const QString secure = QStringLiteral("https://update.example.com/update-product-info/update.php");
        const QString plain = QStringLiteral("http://update.example.com/update-product-info/update.php");
        QTest::newRow("https") << "https://dl.example.com/v.dmg?product=VSL" << secure << true;
        QTest::newRow("https, capitals") << "HTTPS://DL.example.com/v.dmg" << secure << true;
        QTest::newRow("https from an http address") << "https://dl.example.com/v.dmg" << plain << true;
        QTest::newRow("http from an https address") << "http://dl.example.com/v.dmg" << secure << false;
        QTest::newRow("http from an http address") << "http://dl.example.com/v.dmg" << plain << true;
        QTest::newRow("no host") << "https:/v.dmg" << secure << false;
        QTest::newRow("no scheme") << "//dl.example.com/v.dmg" << secure << false;
        QTest::newRow("ftp") << "ftp://dl.example.com/v.dmg" << plain << false;
        QTest::newRow("script") << "javascript:alert(1)" << plain << false;
        QTest::newRow("empty") << "" << plain << false;
    }

    void offeredLinks()
    {
        QFETCH(QString, link);
        QFETCH(QString, endpoint);
        QFETCH(bool, offered);
        QCOMPARE(IsOfferedUpdateLink(QUrl(link), QUrl(endpoint)), offered);
    }

    // An answer that never ends or never comes: the check fails instead of
    // filling the memory or waiting for good, and lets the connection go.
    void answerIsBounded_data()
    {
        QTest::addColumn<int>("shape");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("limitMs");  // 0: the default 30 s
        QTest::addColumn<QString>("why");
        QTest::newRow("never ends") << int(HttpReplay::Shape::Endless) << QByteArray() << 0
                                    << "answer larger than 1048576 bytes";
        QTest::newRow("declared too large") << int(HttpReplay::Shape::Whole) << QByteArray(2 * 1024 * 1024, ' ') << 0
                                            << "answer larger than 1048576 bytes";
        QTest::newRow("silent server") << int(HttpReplay::Shape::Silent) << QByteArray() << 200
                                       << "timed out after 200 ms";
        QTest::newRow("stalls in the answer") << int(HttpReplay::Shape::Stalled) << QByteArray("<?xml version=") << 200
                                              << "timed out after 200 ms";
    }

    void answerIsBounded()
    {
        QFETCH(int, shape);
        QFETCH(QByteArray, body);
        QFETCH(int, limitMs);
        QFETCH(QString, why);
        m_server.reply.shape = HttpReplay::Shape(shape);
        m_server.reply.body = body;
        Check check(QStringLiteral("1.0"));
        if (limitMs)
            check.updater->setTimeLimitMs(limitMs);
        const auto outcome = check.run(60000);
        QCOMPARE(outcome.first, -1);
        QCOMPARE(outcome.second.toString(), why);
        QTRY_COMPARE_WITH_TIMEOUT(m_server.openConnections(), 0, 30000);
    }

    // The description comes from the server: a picture or a style sheet it
    // names on this machine is not shown, and a click on one of its links
    // opens only a web page, in the browser.
    void descriptionLoadsNothing_data()
    {
        QTest::addColumn<QString>("description");  // %1: a folder holding red.png and red.css
        QTest::newRow("picture by file link") << "<p>New</p><img src=\"file://%1/red.png\">";
        QTest::newRow("picture by path") << "<p>New</p><img src=\"%1/red.png\">";
        QTest::newRow("style sheet") << "<html><head><link rel=\"stylesheet\" type=\"text/css\" href=\"file://%1/red.css\">"
                                        "</head><body><p>New</p></body></html>";
    }

    void descriptionLoadsNothing()
    {
        QFETCH(QString, description);
        QTemporaryDir dir;
        QImage red(64, 64, QImage::Format_RGB32);
        red.fill(qRgb(255, 0, 0));
        QVERIFY(red.save(dir.filePath(QStringLiteral("red.png"))));
        QVERIFY(testenv::writeAll(dir.filePath(QStringLiteral("red.css")), "p { background-color: #ff0000; }"));
        WhatsNew window(nullptr);
        QVERIFY(showNewVersion(window, description.arg(dir.path())));
        auto* browser = window.findChild<QTextBrowser*>();
        QCOMPARE(browser->toPlainText().trimmed().left(3), QStringLiteral("New"));
        QCOMPARE(redPixels(browser->viewport()->grab().toImage()), 0);
    }

    void descriptionLinksOpenOnlyOnTheWeb_data()
    {
        QTest::addColumn<QString>("link");  // %1: a folder holding secret.txt
        QTest::addColumn<bool>("opens");
        QTest::newRow("https") << "https://vessolin.example.com/notes" << true;
        QTest::newRow("http") << "http://vessolin.example.com/notes" << true;
        QTest::newRow("local file") << "file://%1/secret.txt" << false;
        QTest::newRow("another program's scheme") << "vessolin-launch://install/now" << false;
        QTest::newRow("relative") << "secret.txt" << false;
    }

    void descriptionLinksOpenOnlyOnTheWeb()
    {
        QFETCH(QString, link);
        QFETCH(bool, opens);
        QTemporaryDir dir;
        QVERIFY(testenv::writeAll(dir.filePath(QStringLiteral("secret.txt")), "the contents of a private file"));
        const QString href = link.contains(QLatin1String("%1")) ? link.arg(dir.path()) : link;
        WhatsNew window(nullptr);
        QVERIFY(showNewVersion(window, QStringLiteral("<p>Read the <a href=\"%1\">release notes</a> first.</p>").arg(href)));
        auto* browser = window.findChild<QTextBrowser*>();
        QVERIFY(m_opened.opened.isEmpty());  // nothing opens before the click
        clickText(browser, QStringLiteral("release notes"));
        QCOMPARE(m_opened.opened, opens ? QList<QUrl>{QUrl(href)} : QList<QUrl>{});
        QCOMPARE(browser->toPlainText(), QStringLiteral("Read the release notes first."));
        QVERIFY(window.isVisible());
    }

    void cancelOpensNothing()
    {
        WhatsNew window(nullptr);
        window.setDownloadUrl(QStringLiteral("http://dl.example.com/"));
        window.setInformation(1);
        window.show();
        QTest::mouseClick(button(&window, QStringLiteral("Cancel")), Qt::LeftButton);
        QVERIFY(!window.isVisible());
        QVERIFY(m_opened.opened.isEmpty());
    }

    void outcomeShowsModallyOverTheMainWindow()
    {
        m_server.reply.body = replyXml("VSL", "1.0", QString());
        QWidget mainWindow;
        Check check(QStringLiteral("1.0"));
        QString shown;
        connect(check.updater, &CUpdater::updateInfo, &mainWindow, [&](int state) {
            QTimer::singleShot(0, &mainWindow, [&] {
                auto* window = qobject_cast<WhatsNew*>(QApplication::activeModalWidget());
                QVERIFY(window);
                QCOMPARE(window->parentWidget(), &mainWindow);
                shown = labelTexts(window);
                button(window, QStringLiteral("Cancel"))->click();
            });
            ShowUpdateOutcome(&mainWindow, check.updater, state);
        });
        QSignalSpy spy(check.updater, &CUpdater::updateInfo);
        check.updater->getVersionInfo();
        QVERIFY(spy.wait(10000));
        QVERIFY(shown.contains(QStringLiteral("You are using the newest version.")));
        QVERIFY(!QApplication::activeModalWidget());
    }

    void iconIsAtMostFiftyPixels()
    {
        DialogIcon icon(nullptr);
        QCOMPARE(icon.sizeHint(), QSize(50, 50));
    }
};

QTEST_MAIN(TestUpdate)
#include "tst_update.moc"
