// The settings object: folders, defaults, corrections on load, the file it
// writes and what it does with a damaged one.
#include "appenv.h"
#include "common.h"
#include "config.h"
#include "testenv.h"
#include "urlrecorder.h"

#include <QApplication>
#include <QDate>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <QUrl>

using appenv::plistWith;
using appenv::settingInFile;

class TestSettings : public QObject
{
    Q_OBJECT

    UrlRecorder m_browser; // counts the pages the settings open

    static void restart()
    {
        CConfig::Destroy();
        CConfig::instance();
    }

    static void writeSettings(const QByteArray& body)
    {
        QVERIFY(QDir().mkpath(appenv::dataFolder()));
        QVERIFY(testenv::writeAll(appenv::settingsFile(), plistWith(body)));
    }

    static QString today() { return QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")); }

private slots:
    void initTestCase()
    {
        m_browser.listen({QStringLiteral("https"), QStringLiteral("http")});
    }

    void init()
    {
        DestroyUILog();
        CConfig::Destroy();
        QFile::remove(appenv::settingsFile());
        QFile::remove(appenv::dataFolder() + QStringLiteral("/UI.log"));
        INSTALL.clear();
        m_browser.opened.clear();
    }

    void cleanupTestCase()
    {
        m_browser.stopListening();
        DestroyUILog();
        CConfig::Destroy();
    }

    void foldersAreMadeUnderTheBundleIdentifier()
    {
        CConfig* config = CConfig::instance();
        QCOMPARE(g_strBundleId, appenv::kBundleId);
        QCOMPARE(g_strVersion, QStringLiteral(VESSOLIN_TEST_VERSION));
        QCOMPARE(config->GetLogFile(), appenv::dataFolder());
        QCOMPARE(config->GetMusicPath(), appenv::musicFolder());
        QCOMPARE(config->GetDowndImgPath(), appenv::artworkFolder());
        QCOMPARE(config->GetTrashPath(), appenv::artworkFolder() + QStringLiteral("/Ossival_Trash"));
        QCOMPARE(g_strDBName, appenv::dataFolder() + QStringLiteral("/MusicLibrary.db"));
        for (const QString& folder : {config->GetLogFile(), config->GetMusicPath(), config->GetDowndImgPath(),
                                      config->GetTrashPath()})
            QVERIFY2(QFileInfo(folder).isDir(), qPrintable(folder));
    }

    void firstStartLoadsEveryDefault()
    {
        CConfig* config = CConfig::instance();
        QCOMPARE(config->GetUseProxy(), 0);
        QCOMPARE(config->GetProxyType(), 0);
        QCOMPARE(config->GetProxyHost(), QString());
        QCOMPARE(config->GetProxyPort(), 0);
        QCOMPARE(config->GetProxyUserName(), QString());
        QCOMPARE(config->GetProxyPassword(), QString());
        QCOMPARE(config->GetMsgInfo(), 0);
        QCOMPARE(config->GetAutoUpdate(), 1);
        QCOMPARE(config->GetAutoDays(), 7);
        QCOMPARE(config->Genernal, 0x08010C00);
        QCOMPARE(config->Duplicate, 0x31020C20);
        QCOMPARE(config->Replace, 0x01000C00);
        QCOMPARE(config->HistoryOpt, 0);
        QCOMPARE(config->ClearDays, 7);
        // The update schedule counts from the first start.
        int year = 0, month = 0, day = 0;
        QCOMPARE(config->GetUpdateData(year, month, day), 0);
        QCOMPARE(QDate(year, month, day), QDate::currentDate());
        // Every default passes its check, so loading writes nothing.
        CConfig::Destroy();
        QVERIFY(!QFile::exists(appenv::settingsFile()));
    }

    void outOfRangeValuesAreCorrectedAndWrittenBack_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("expected");

        QTest::newRow("ClearDays 0") << QByteArray("<key>ClearDays</key><integer>0</integer>")
                                     << QStringLiteral("ClearDays") << QVariant(7);
        QTest::newRow("ClearDays -3") << QByteArray("<key>ClearDays</key><integer>-3</integer>")
                                      << QStringLiteral("ClearDays") << QVariant(7);
        QTest::newRow("HistoryOpt 4") << QByteArray("<key>HistoryOpt</key><integer>4</integer>")
                                      << QStringLiteral("HistoryOpt") << QVariant(0);
        QTest::newRow("HistoryOpt -1") << QByteArray("<key>HistoryOpt</key><integer>-1</integer>")
                                       << QStringLiteral("HistoryOpt") << QVariant(0);
        QTest::newRow("ClearDate not a date")
            << QByteArray("<key>ClearDate</key><string>2012-13-45</string>") << QStringLiteral("ClearDate") << QVariant(today());
        QTest::newRow("ClearDate empty") << QByteArray("<key>ClearDate</key><string></string>") << QStringLiteral("ClearDate")
                                         << QVariant(today());
        QTest::newRow("ClearDate other form")
            << QByteArray("<key>ClearDate</key><string>29.02.2020</string>") << QStringLiteral("ClearDate") << QVariant(today());
    }

    void outOfRangeValuesAreCorrectedAndWrittenBack()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QString, key);
        QFETCH(QVariant, expected);
        writeSettings(stored);
        CConfig* config = CConfig::instance();
        if (key == QLatin1String("ClearDays"))
            QCOMPARE(config->ClearDays, expected.toInt());
        if (key == QLatin1String("HistoryOpt"))
            QCOMPARE(config->HistoryOpt, expected.toInt());
        // No Save: the correction reaches the file when the store goes.
        CConfig::Destroy();
        const QVariant inFile = settingInFile(key);
        QCOMPARE(inFile.toString(), expected.toString());
    }

    void valuesInRangeAreLeftAlone_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::newRow("HistoryOpt 3") << QByteArray("<key>HistoryOpt</key><integer>3</integer>");
        QTest::newRow("ClearDays 1") << QByteArray("<key>ClearDays</key><integer>1</integer>");
        QTest::newRow("leap day") << QByteArray("<key>ClearDate</key><string>2020-02-29</string>");
    }

    void valuesInRangeAreLeftAlone()
    {
        QFETCH(QByteArray, stored);
        writeSettings(stored);
        const QByteArray before = testenv::readAll(appenv::settingsFile());
        restart();
        CConfig::Destroy();
        QCOMPARE(testenv::readAll(appenv::settingsFile()), before);
    }

    void partlyMissingUpdateDateBecomesToday()
    {
        writeSettings("<key>Update_year</key><integer>2020</integer>"
                      "<key>Update_month</key><integer>-1</integer>"
                      "<key>Update_day</key><integer>5</integer>");
        int year = 0, month = 0, day = 0;
        CConfig::instance()->GetUpdateData(year, month, day);
        QCOMPARE(QDate(year, month, day), QDate::currentDate());
        // The date is not a correction: only a save stores it.
        restart();
        QCOMPARE(settingInFile(QStringLiteral("Update_month")).toInt(), -1);
        CConfig::instance()->Save();
        CConfig::Destroy();
        QCOMPARE(settingInFile(QStringLiteral("Update_year")).toInt(), QDate::currentDate().year());
        QCOMPARE(settingInFile(QStringLiteral("Update_month")).toInt(), QDate::currentDate().month());
        QCOMPARE(settingInFile(QStringLiteral("Update_day")).toInt(), QDate::currentDate().day());
    }

    void storedTypesAreReadLeniently_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<int>("useProxy");
        QTest::addColumn<int>("port");
        QTest::newRow("b_proxy as text true") << QByteArray("<key>b_proxy</key><string>true</string>") << 1 << 0;
        QTest::newRow("b_proxy as boolean") << QByteArray("<key>b_proxy</key><true/>") << 1 << 0;
        QTest::newRow("b_proxy 5") << QByteArray("<key>b_proxy</key><integer>5</integer>") << 1 << 0;
        QTest::newRow("port not a number") << QByteArray("<key>Proxy_prot</key><string>abc</string>") << 0 << 0;
        QTest::newRow("port as text") << QByteArray("<key>Proxy_prot</key><string>8080</string>") << 0 << 8080;
    }

    void storedTypesAreReadLeniently()
    {
        QFETCH(QByteArray, stored);
        QFETCH(int, useProxy);
        QFETCH(int, port);
        writeSettings(stored);
        CConfig* config = CConfig::instance();
        QCOMPARE(config->GetUseProxy(), useProxy);
        QCOMPARE(config->GetProxyPort(), port);
        config->Save();
        CConfig::Destroy();
        const QVariant written = settingInFile(QStringLiteral("b_proxy"));
        QCOMPARE(written.typeId(), int(QMetaType::LongLong));
        QCOMPARE(written.toInt(), useProxy);
    }

    void saveWritesTheNineteenKeysInOrder()
    {
        CConfig* config = CConfig::instance();
        config->SetUseProxy(1);
        config->SetProxyHost(QStringLiteral("proxy.example.com"));
        config->SetProxyPort(3128);
        config->SetProxyPassword(QStringLiteral("sécret"));
        config->Duplicate = 0x10;
        config->Save();
        CConfig::Destroy();

        const PlistOrderedDict written = appenv::readSettingsFile();
        const QStringList expectedKeys = {
            "b_proxy", "Proxy_type", "Proxy_host", "Proxy_prot", "Proxy_name", "Proxy_pass", "Msg_Dshow",
            "Auto_update", "Update_Days", "Update_year", "Update_month", "Update_day", "Open_url",
            "Genernal", "Duplicate", "Replace", "HistoryOpt", "ClearDays", "ClearDate"};
        const QStringList textKeys = {"Proxy_host", "Proxy_name", "Proxy_pass", "ClearDate"};
        QStringList keys;
        for (const auto& entry : written) {
            keys << entry.first;
            const bool isText = textKeys.contains(entry.first);
            QCOMPARE(entry.second.typeId(), int(isText ? QMetaType::QString : QMetaType::LongLong));
        }
        QCOMPARE(keys, expectedKeys);
        QCOMPARE(settingInFile(QStringLiteral("b_proxy")).toInt(), 1);
        QCOMPARE(settingInFile(QStringLiteral("Proxy_pass")).toString(), QStringLiteral("sécret"));
        QCOMPARE(settingInFile(QStringLiteral("Duplicate")).toInt(), 0x10);
        QCOMPARE(settingInFile(QStringLiteral("ClearDate")).toString(), today());
    }

    void savedFileIsReadableByAnotherPlistReader()
    {
        const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
        if (python.isEmpty())
            QSKIP("python3 is not installed");
        CConfig::instance()->SetProxyUserName(QStringLiteral("Zoë"));
        CConfig::instance()->Save();
        CConfig::Destroy();
        QProcess reader;
        reader.start(python, {QStringLiteral("-c"),
                              QStringLiteral("import plistlib, sys\n"
                                             "d = plistlib.load(open(sys.argv[1], 'rb'))\n"
                                             "for k, v in d.items(): print(k, type(v).__name__, v)\n"),
                              appenv::settingsFile()});
        QVERIFY(reader.waitForFinished(-1));
        QCOMPARE(reader.exitCode(), 0);
        const QStringList lines = QString::fromUtf8(reader.readAllStandardOutput()).split(
            QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 19);
        QCOMPARE(lines.first(), QStringLiteral("b_proxy int 0"));
        QCOMPARE(lines.at(4), QStringLiteral("Proxy_name str Zoë"));
        QCOMPARE(lines.at(13), QStringLiteral("Genernal int %1").arg(0x08010C00));
    }

    void settingsFileIsReadableByItsOwnerOnly()
    {
        CConfig::instance()->Save();
        CConfig::Destroy();
        const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup
            | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
        const QFileDevice::Permissions owner = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
        QCOMPARE(QFile::permissions(appenv::settingsFile()) & (others | owner), owner);

        // A file made readable by others before is closed again on load.
        QFile::setPermissions(appenv::settingsFile(), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                          | QFileDevice::ReadGroup | QFileDevice::ReadOther);
        restart();
        QCOMPARE(QFile::permissions(appenv::settingsFile()) & (others | owner), owner);
    }

    void damagedFileFallsBackToDefaults_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("cut short") << plistWith("<key>Genernal</key><integer>5</integer>").left(200);
        QTest::newRow("not xml") << QByteArray("Genernal = 5\nClearDays = 2\n");
        QTest::newRow("array at the top")
            << QByteArray("<?xml version=\"1.0\"?><plist version=\"1.0\"><array><integer>5</integer></array></plist>");
        QTest::newRow("bad integer") << plistWith("<key>Genernal</key><integer>five</integer>");
    }

    void damagedFileFallsBackToDefaults()
    {
        QFETCH(QByteArray, content);
        QVERIFY(QDir().mkpath(appenv::dataFolder()));
        QVERIFY(testenv::writeAll(appenv::settingsFile(), content));
        CConfig* config = CConfig::instance();
        QCOMPARE(config->Genernal, 0x08010C00);
        QCOMPARE(config->ClearDays, 7);
        QCOMPARE(config->GetAutoDays(), 7);
        DestroyUILog();
        const QByteArray log = testenv::readAll(appenv::dataFolder() + QStringLiteral("/UI.log"));
        QVERIFY2(log.contains("vessolin.plist cannot be read"), log.constData());

        // A save replaces the damaged file with a good one.
        config->Save();
        CConfig::Destroy();
        QCOMPARE(appenv::readSettingsFile().size(), 19);
    }

    void firstRunPageOpensOnce()
    {
        INSTALL = QStringLiteral("https://vessolin.example.com/install/");
        CConfig::instance();
        QCOMPARE(m_browser.opened, QList<QUrl>{QUrl(INSTALL)});
        // Not saved: the file still says the page is pending.
        restart();
        QCOMPARE(m_browser.opened.size(), 2);
        CConfig::instance()->Save();
        restart();
        QCOMPARE(m_browser.opened.size(), 2);
        CConfig::Destroy();
        QCOMPARE(settingInFile(QStringLiteral("Open_url")).toInt(), 0);
    }

    void firstRunPageWithoutLinkStaysPending()
    {
        CConfig::instance()->Save();
        CConfig::Destroy();
        QVERIFY(m_browser.opened.isEmpty());
        QCOMPARE(settingInFile(QStringLiteral("Open_url")).toInt(), 1);
    }
};

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
