// Format helpers, file helpers, the links and the shared images.
#include "common.h"
#include "testenv.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QImage>
#include <QMovie>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>
#include <cstring>

class TestCommon : public QObject
{
    Q_OBJECT

private slots:
    void formatTime_data()
    {
        QTest::addColumn<QString>("ms");
        QTest::addColumn<QString>("shown");
        QTest::newRow("zero") << "0" << "00:00:01";
        QTest::newRow("under a second") << "999" << "00:00:01";
        QTest::newRow("one second") << "1000" << "00:00:02";
        QTest::newRow("59 s") << "59000" << "00:01:00";
        QTest::newRow("59.999 s") << "59999" << "00:01:00";
        QTest::newRow("4 min 5.5 s") << "245500" << "00:04:06";
        QTest::newRow("59 min 59 s") << "3599000" << "01:00:00";
        QTest::newRow("100 hours") << "360000000" << "100:00:01";
        QTest::newRow("past 32 bits") << "8640000000" << "2400:00:01";
        QTest::newRow("not a number") << "abc" << "00:00:01";
        QTest::newRow("empty") << "" << "00:00:01";
    }

    void formatTime()
    {
        QFETCH(QString, ms);
        QFETCH(QString, shown);
        QString out;
        QCOMPARE(CFormatTime(ms, out), 0);
        QCOMPARE(out, shown);
    }

    void formatSize_data()
    {
        QTest::addColumn<QString>("bytes");
        QTest::addColumn<QString>("shown");
        QTest::newRow("5 MiB") << "5242880" << "5.00MB";
        QTest::newRow("1.5 x 1024 x 1000") << "1536000" << "1.46MB";
        QTest::newRow("zero") << "0" << "0.00MB";
        QTest::newRow("one byte short of 1 MiB") << "1048575" << "1.00MB";
        QTest::newRow("largest 32-bit") << "2147483647" << "2048.00MB";
        QTest::newRow("2 GiB") << "2147483648" << "2048.00MB";
        QTest::newRow("beyond 32 bits") << "3000000000" << "2861.02MB";
        QTest::newRow("3 GiB") << "3221225472" << "3072.00MB";
        QTest::newRow("4 GiB, past unsigned 32 bits") << "4294967296" << "4096.00MB";
        QTest::newRow("largest 64-bit") << "9223372036854775807" << "8796093022208.00MB";
        QTest::newRow("past 64 bits") << "9223372036854775808" << "0.00MB";
        QTest::newRow("not a number") << "12 MB" << "0.00MB";
    }

    void formatSize()
    {
        QFETCH(QString, bytes);
        QFETCH(QString, shown);
        QString out;
        QCOMPARE(CFormatSize(bytes, out), 0);
        QCOMPARE(out, shown);
    }

    void createFolder()
    {
        QTemporaryDir root;
        const QString nested = root.path() + QStringLiteral("/a/b/ç");
        QVERIFY(CreateFolder(nested));
        QVERIFY(isFolderExtist(nested));

        // An existing folder is left as it is.
        QVERIFY(testenv::writeAll(nested + QStringLiteral("/keep"), "x"));
        const QDateTime before = QFileInfo(nested).lastModified();
        QVERIFY(CreateFolder(nested));
        QCOMPARE(QFileInfo(nested).lastModified(), before);

        QVERIFY(!CreateFolder(nested + QStringLiteral("/keep/below")));
        QVERIFY(!CreateFolder(nested + QStringLiteral("/keep")));
        QVERIFY(!CreateFolder(QString()));
    }

    void createFile()
    {
        QTemporaryDir root;
        const QString path = root.path() + QStringLiteral("/x/y/new.dat");
        QVERIFY(CreateFile_Zorva(path));
        QVERIFY(QFileInfo(path).isFile());
        QCOMPARE(QFileInfo(path).size(), 0);

        QVERIFY(testenv::writeAll(path, "content"));
        QVERIFY(CreateFile_Zorva(path));
        QCOMPARE(testenv::readAll(path), QByteArray("content"));

        // A bare name is a file in the current folder, not a folder.
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(root.path()));
        const bool made = CreateFile_Zorva(QStringLiteral("bare.txt"));
        QDir::setCurrent(previous);
        QVERIFY(made);
        QVERIFY(QFileInfo(root.path() + QStringLiteral("/bare.txt")).isFile());

        QVERIFY(isFileExtist(path));
        QVERIFY(isFileExtist(root.path()));
        QVERIFY(!isFolderExtist(path));
        QVERIFY(!isFileExtist(root.path() + QStringLiteral("/missing")));
    }

    void memoryValue()
    {
        char* text = nullptr;
        MemoryValue(&text, "first");
        QVERIFY(text);
        QCOMPARE(text, "first");
        MemoryValue(&text, "a longer second text");
        QCOMPARE(text, "a longer second text");
        MemoryValue(&text, nullptr);
        QCOMPARE(text, "a longer second text");
        MemoryValue(&text, "");
        QCOMPARE(text, "");
        std::free(text);
    }

    void linksAndNames()
    {
        QVERIFY(HOME.isEmpty());
        QCOMPARE(g_strUpdateTitle, QStringLiteral("Ossival Vessolin"));
        QVERIFY(!g_strTranslate.isEmpty());
        CreateLinkAndName();
        QCOMPARE(g_strAppName, QStringLiteral("Ossival Vessolin"));
        QCOMPARE(g_strAppUpdateName, QStringLiteral("Ossival Mac Vessolin"));
        for (const QString& link : {HOME, HELP, EULA, SUPPORT, INSTALL, g_strTranslate}) {
            const QUrl url(link);
            QVERIFY2(url.isValid() && url.scheme().startsWith(QLatin1String("http")), qPrintable(link));
        }
        QVERIFY(EMAIL.contains(QLatin1Char('@')));
    }

    void bundleIdentifierIsNeverEmpty()
    {
        QCOMPARE(AppBundleIdentifier(), QStringLiteral("com.zorva.Vessolin"));
        QVERIFY(AppDataFolder().endsWith(QLatin1String("/com.zorva.Vessolin")));
    }

    void sharedImagesAreMadeAndFreed()
    {
        CreateImage();
        const QList<std::pair<QPixmap*, const char*>> pixmaps = {
            {g_xDefX, "list/artwork_def.png"}, {g_xFailedX, "list/artwork_failed.png"},
            {g_pimgCheck, "list/check.png"}, {g_pimgUnCheck, "list/uncheck.png"},
            {g_pimgSelectBut, "list/expand.png"}, {g_pimgArLoad, "list/artwork_load.png"},
            {g_pimgUncheckLoad, "list/artwork_load_uncheck.png"}, {g_pixPause, "list/pause.png"},
            {g_pixPlay_Down, "list/play_down.png"}, {g_pixEdit_On, "list/edit_on.png"}};
        for (const auto& [pixmap, resource] : pixmaps) {
            QVERIFY2(pixmap, resource);
            const QString path = QStringLiteral(":/res/res/mac/") + QLatin1String(resource);
            if (QFile::exists(path))
                QVERIFY2(!pixmap->isNull(), resource);
        }
        QVERIFY(g_pPixNull && g_pPixNull->isNull());
        QVERIFY(g_pIconNull && g_pIconNull->isNull());
        QVERIFY(g_pimgbl && g_pimgbc && g_pimgbr && g_pMovie && g_pOK && g_pDel && g_pReset);
        if (QFile::exists(QStringLiteral(":/res/res/mac/button/open_on.png"))) {
            // Each state of a three-state button has a picture of its own.
            const QImage normal = g_pOpen->pixmap(16, QIcon::Normal, QIcon::On).toImage();
            const QImage hovered = g_pOpen->pixmap(16, QIcon::Selected, QIcon::On).toImage();
            QVERIFY(!normal.isNull());
            QVERIFY(normal != hovered);
        }
        if (QFile::exists(QStringLiteral(":/res/res/mac/gif/artwork_run.gif")))
            QVERIFY(g_pMovie->isValid());

        g_pMovie->start();
        DestroyImage();
        QVERIFY(!g_xDefX && !g_pimgbl && !g_pMovie && !g_pOK && !g_pIconNull && !g_pDel && !g_pPixNull);
        QVERIFY(!g_pixEdit_Down && !g_pimgUncheckLoad && !g_pReset && !g_pIconPlay);
        // Freed twice: nothing left to free.
        DestroyImage();
    }
};

QTEST_MAIN(TestCommon)
#include "tst_common.moc"
