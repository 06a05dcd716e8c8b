// The compiled-in resources: every picture and animation the widgets load by
// path, the button faces in their four states, the application style sheet
// and the bundle's Info.plist.
#include "testenv.h"

#include <QApplication>
#include <QDirIterator>
#include <QFile>
#include <QImageReader>
#include <QLabel>
#include <QMovie>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <QToolBar>
#include <QTreeView>
#include <QTreeWidget>
#include <QXmlStreamReader>

#include <memory>

namespace {

const QString kRoot = QStringLiteral(":/res/res/mac/");

struct Picture
{
    const char* path; // below :/res/res/mac/
    int width;
    int height;
};

// Every single picture the application loads by path, at the size the widget
// shows it (fixed labels, stretched strips and fixed-size items included).
const Picture kPictures[] = {
    // Icons of tree rows and of the duplicate sources toolbar.
    {"button/playing.png", 16, 16}, {"button/playing_down.png", 16, 16}, {"button/playing_on.png", 16, 16},
    {"button/play_on.png", 16, 16}, {"button/reset_down.png", 16, 16},
    {"button/open.png", 16, 16}, {"button/open_down.png", 16, 16}, {"button/open_on.png", 16, 16},
    {"button/sit.png", 24, 24}, {"button/sit_down.png", 24, 24}, {"button/sit_on.png", 24, 24},
    {"button/add.png", 24, 24}, {"button/add_down.png", 24, 24}, {"button/add_on.png", 24, 24},
    {"button/del.png", 24, 24}, {"button/del_down.png", 24, 24}, {"button/del_on.png", 24, 24},
    // Artwork grid and report lists.
    {"list/artwork_def.png", 100, 100}, {"list/artwork_failed.png", 100, 100},
    {"list/artwork_frame.png", 100, 100}, {"list/artwork_load.png", 100, 100},
    {"list/artwork_load_uncheck.png", 100, 100},
    {"list/check.png", 14, 15}, {"list/uncheck.png", 14, 15}, {"list/expand.png", 24, 24},
    {"list/label_bl.png", 12, 24}, {"list/label_bc.png", 4, 24}, {"list/label_br.png", 12, 24},
    {"list/complete.png", 16, 16}, {"list/failed.png", 16, 16}, {"list/skiped.png", 16, 16},
    {"list/edit.png", 16, 16}, {"list/edit_on.png", 16, 16}, {"list/edit_down.png", 16, 16},
    {"list/pause.png", 16, 16}, {"list/pause_on.png", 16, 16}, {"list/pause_down.png", 16, 16},
    {"list/play.png", 16, 16}, {"list/play_on.png", 16, 16}, {"list/play_down.png", 16, 16},
    {"list/fixing.png", 16, 16}, {"list/list_title.png", 32, 30},
    {"list/expandbg_left.png", 16, 156}, {"list/expandbg_center.png", 8, 156},
    {"list/expandbg_right.png", 16, 156}, {"list/expandbcl.png", 26, 14},
    {"list/type/unrecognized.png", 16, 16}, {"list/type/artwork.png", 16, 16},
    {"list/type/artist.png", 16, 16}, {"list/type/album.png", 16, 16}, {"list/type/duplicate.png", 16, 16},
    // Labels, logos, overlay and phase pictures.
    {"label/icon.png", 128, 128}, {"label/starticon.png", 80, 80}, {"label/zorvalogo.png", 76, 20},
    {"label/msg_warning.png", 48, 48}, {"label/genera_icon.png", 32, 32},
    {"label/network_icon.png", 32, 32}, {"label/update_icon.png", 32, 32},
    {"label/enlarge_bg.png", 376, 376}, {"label/blackmask.png", 16, 16}, {"label/fixallok.png", 60, 60},
    {"label/noartwork.png", 110, 110}, {"label/Failed_load_artwork_en.png", 110, 110},
    {"label/drag_artwork_here_en.png", 110, 110},
    {"label/scanned_bg.png", 89, 89}, {"label/duplicate_bg.png", 89, 89}, {"label/fix_bg.png", 89, 89},
    {"label/fix_end_bg.png", 89, 89}, {"label/duplicate.png", 89, 89},
};

// Animations: the shared busy animation, the overlay's, the row busy mark
// (an icon, so only its first frame shows) and the phase animations.
const Picture kMovies[] = {
    {"gif/artwork_run.gif", 32, 32}, {"gif/bigloading.gif", 60, 60}, {"list/samllloading.gif", 16, 16},
    {"gif/scanning.gif", 89, 89}, {"gif/scanned.gif", 89, 89}, {"gif/duplicate.gif", 89, 89},
    {"gif/fix.gif", 89, 89}, {"gif/fix_end.gif", 89, 89},
};

// Base names of the image buttons, at the size their style sheet fixes.
const Picture kButtons[] = {
    {"pause", 132, 43}, {"continue", 132, 43}, {"fixallbut", 132, 43}, {"apply", 132, 43},
    {"return", 132, 43}, {"scan", 132, 43}, {"remove", 132, 43}, {"home", 112, 43},
    {"cleanitunes", 205, 195}, {"musicfolder", 205, 195}, {"loadsaved", 205, 195}, {"duplicates", 205, 195},
    {"setting", 32, 32}, {"facebook", 32, 32}, {"twitter", 32, 32},
    {"enlargeclose", 17, 17}, {"musicplay", 48, 48}, {"musicpause", 48, 48},
    {"removehistory", 173, 26}, {"removeoption", 32, 26}, {"infoshow", 52, 12}, {"infohide", 52, 12},
};

const char* const kStateSuffixes[] = {"", "_on", "_down", "_disable"};

// Reads the top-level <key>/<string> pairs of a property list.
QMap<QString, QString> plistStrings(const QByteArray& xml)
{
    QMap<QString, QString> values;
    QXmlStreamReader reader(xml);
    QString key;
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (reader.name() == QLatin1String("key"))
            key = reader.readElementText();
        else if (reader.name() == QLatin1String("string") && !key.isEmpty())
            values.insert(key, reader.readElementText());
    }
    return reader.hasError() ? QMap<QString, QString>() : values;
}

QStringList g_styleWarnings;

void collectStyleWarnings(QtMsgType, const QMessageLogContext&, const QString& message)
{
    if (message.contains(QLatin1String("stylesheet"), Qt::CaseInsensitive))
        g_styleWarnings.append(message);
}

QImage readImage(const QString& path)
{
    QImageReader reader(path);
    return reader.read().convertToFormat(QImage::Format_ARGB32);
}

template<typename T>
T* polished(const QString& name)
{
    auto* widget = new T;
    widget->setObjectName(name);
    widget->ensurePolished();
    return widget;
}

} // namespace

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        const QString sheet = QString::fromUtf8(testenv::readAll(kRoot + QStringLiteral("vessolin_mac.qss")));
        QVERIFY(!sheet.isEmpty());
        QtMessageHandler previous = qInstallMessageHandler(collectStyleWarnings);
        qApp->setStyleSheet(sheet);
        // The sheet is parsed when the first widget is styled.
        QLabel probe;
        probe.ensurePolished();
        qInstallMessageHandler(previous);
        QCOMPARE(qApp->styleSheet(), sheet);
        QVERIFY2(g_styleWarnings.isEmpty(), qPrintable(g_styleWarnings.join(QLatin1Char('\n'))));
    }

    void picturesLoadAtTheirSize_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QSize>("size");
        for (const Picture& p : kPictures)
            QTest::newRow(p.path) << kRoot + QLatin1String(p.path) << QSize(p.width, p.height);
    }

    void picturesLoadAtTheirSize()
    {
        QFETCH(QString, path);
        QFETCH(QSize, size);
        QVERIFY2(QFile::exists(path), qPrintable(path));
        const QImage image = readImage(path);
        QVERIFY(!image.isNull());
        QCOMPARE(image.size(), size);
    }

    void buttonsHaveFourDistinctStates_data()
    {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QSize>("size");
        for (const Picture& p : kButtons)
            QTest::newRow(p.path) << kRoot + QStringLiteral("button/") + QLatin1String(p.path)
                                  << QSize(p.width, p.height);
    }

    // The style-sheet templates switch between base, _on, _down and _disable;
    // a missing or repeated state would leave the button without feedback.
    void buttonsHaveFourDistinctStates()
    {
        QFETCH(QString, base);
        QFETCH(QSize, size);
        QList<QImage> states;
        for (const char* suffix : kStateSuffixes) {
            const QString path = base + QLatin1String(suffix) + QStringLiteral(".png");
            states.append(readImage(path));
            QVERIFY2(!states.last().isNull(), qPrintable(path));
            QCOMPARE(states.last().size(), size);
        }
        for (int i = 0; i < states.size(); ++i)
            for (int j = i + 1; j < states.size(); ++j)
                QVERIFY2(states[i] != states[j], qPrintable(QStringLiteral("%1 and %2 look the same")
                                                                .arg(QLatin1String(kStateSuffixes[i]),
                                                                     QLatin1String(kStateSuffixes[j]))));
    }

    void animationsMove_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QSize>("size");
        for (const Picture& p : kMovies)
            QTest::newRow(p.path) << kRoot + QLatin1String(p.path) << QSize(p.width, p.height);
    }

    void animationsMove()
    {
        QFETCH(QString, path);
        QFETCH(QSize, size);
        QMovie movie(path);
        QVERIFY2(movie.isValid(), qPrintable(path));
        QVERIFY(movie.frameCount() > 1);
        // The phase animations play until the phase ends, so they loop.
        QCOMPARE(movie.loopCount(), -1);
        QVERIFY(movie.jumpToFrame(0));
        const QImage first = movie.currentImage();
        QCOMPARE(first.size(), size);
        QVERIFY(movie.jumpToFrame(1));
        QVERIFY(movie.currentImage() != first);
    }

    // Nothing is compiled in that the application does not name; a stray or
    // misnamed file shows up here.
    void noUnnamedFiles()
    {
        QSet<QString> named{kRoot + QStringLiteral("vessolin_mac.qss")};
        for (const Picture& p : kPictures)
            named.insert(kRoot + QLatin1String(p.path));
        for (const Picture& p : kMovies)
            named.insert(kRoot + QLatin1String(p.path));
        for (const Picture& p : kButtons)
            for (const char* suffix : kStateSuffixes)
                named.insert(kRoot + QStringLiteral("button/") + QLatin1String(p.path) + QLatin1String(suffix)
                             + QStringLiteral(".png"));
        QDirIterator it(kRoot, QDir::Files, QDirIterator::Subdirectories);
        int count = 0;
        while (it.hasNext()) {
            const QString file = it.next();
            QVERIFY2(named.contains(file), qPrintable(file));
            ++count;
        }
        QCOMPARE(count, int(named.size()));
    }

    void styleSheetImagesExist()
    {
        const QString sheet = qApp->styleSheet();
        const QRegularExpression url(QStringLiteral("url\\(([^)]*)\\)"));
        int found = 0;
        for (auto it = url.globalMatch(sheet); it.hasNext(); ++found) {
            const QString path = it.next().captured(1).trimmed();
            QVERIFY2(!readImage(path).isNull(), qPrintable(path));
        }
        QVERIFY(found > 0);
    }

    void styleSheetLabelFonts_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("pixelSize");
        QTest::addColumn<bool>("bold");
        QTest::addColumn<bool>("italic");
        QTest::newRow("score name") << "MainUIScoreName" << 14 << false << false;
        QTest::newRow("score") << "MainUIScore" << 28 << false << true;
        QTest::newRow("score OEM") << "MainUIScoreOEM" << 28 << false << true;
        QTest::newRow("fixing") << "MainUIFixing" << 11 << false << false;
        QTest::newRow("quit or save") << "MainUIQuitOrSave" << 11 << false << false;
        QTest::newRow("scroll") << "MainUIScroll" << 12 << false << false;
        QTest::newRow("welcome") << "StartUIWelcome" << 24 << true << false;
        QTest::newRow("function") << "StartUIFunc" << 12 << true << false;
    }

    void styleSheetLabelFonts()
    {
        QFETCH(QString, name);
        QFETCH(int, pixelSize);
        QFETCH(bool, bold);
        QFETCH(bool, italic);
        std::unique_ptr<QLabel> label(polished<QLabel>(name));
        QCOMPARE(label->font().pixelSize(), pixelSize);
        QCOMPARE(label->font().bold(), bold);
        QCOMPARE(label->font().italic(), italic);
    }

    void styleSheetLabelColours_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QColor>("top");
        QTest::addColumn<QColor>("bottom");
        QTest::newRow("score name") << "MainUIScoreName" << QColor("#000000") << QColor("#000000");
        QTest::newRow("score") << "MainUIScore" << QColor("#22abfc") << QColor("#0056a6");
        QTest::newRow("score OEM") << "MainUIScoreOEM" << QColor("#78c84f") << QColor("#3d8526");
        QTest::newRow("fixing") << "MainUIFixing" << QColor("#4b4b4b") << QColor("#4b4b4b");
        QTest::newRow("scroll") << "MainUIScroll" << QColor("#000000") << QColor("#000000");
    }

    void styleSheetLabelColours()
    {
        QFETCH(QString, name);
        QFETCH(QColor, top);
        QFETCH(QColor, bottom);
        std::unique_ptr<QLabel> label(polished<QLabel>(name));
        const QBrush brush = label->palette().brush(QPalette::WindowText);
        if (top == bottom) {
            QCOMPARE(brush.color(), top);
            return;
        }
        QVERIFY(brush.gradient());
        const QGradientStops stops = brush.gradient()->stops();
        QCOMPARE(stops.first().second, top);
        QCOMPARE(stops.last().second, bottom);
    }

    void styleSheetStartIconIsFixed()
    {
        std::unique_ptr<QLabel> icon(polished<QLabel>(QStringLiteral("StartUIIcon")));
        QCOMPARE(icon->minimumSize(), QSize(80, 80));
        QCOMPARE(icon->maximumSize(), QSize(80, 80));
    }

    void styleSheetTrees()
    {
        std::unique_ptr<QTreeWidget> tree(polished<QTreeWidget>(QStringLiteral("AnyTree")));
        QCOMPARE(tree->font().pixelSize(), 11);
        QCOMPARE(tree->palette().color(QPalette::AlternateBase), QColor("#dcecf3"));
        std::unique_ptr<QTreeView> categories(polished<QTreeView>(QStringLiteral("ReportListTypeOEM")));
        QCOMPARE(categories->palette().color(QPalette::AlternateBase), QColor("#def3ea"));
        std::unique_ptr<QTreeView> blue(polished<QTreeView>(QStringLiteral("ReportListType")));
        QCOMPARE(blue->palette().color(QPalette::AlternateBase), QColor("#dcecf3"));
    }

    void styleSheetDuplicateToolbar_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << "DuptOptToolBar";
        QTest::newRow("OEM") << "DuptOptToolBarOEM";
    }

    void styleSheetDuplicateToolbar()
    {
        QFETCH(QString, name);
        std::unique_ptr<QToolBar> bar(polished<QToolBar>(name));
        // 35 pixels of content below the 1-pixel top rule.
        QCOMPARE(bar->minimumHeight(), 36);
        QCOMPARE(bar->maximumHeight(), 36);
    }

    // The editor panel's look depends on the sheet alone: grey with a top rule.
    void styleSheetEditorPanel()
    {
        QWidget panel;
        panel.setObjectName(QStringLiteral("ModifyMusicinfo"));
        panel.setAttribute(Qt::WA_StyledBackground);
        panel.resize(40, 20);
        const QImage shot = panel.grab().toImage();
        QCOMPARE(QColor(shot.pixel(20, 0)), QColor("#c5c7ca"));
        QCOMPARE(QColor(shot.pixel(20, 10)), QColor("#eeeeee"));
    }

    void infoPlistNamesTheBundle_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("identifier") << "CFBundleIdentifier" << "com.zorva.Vessolin";
        QTest::newRow("name") << "CFBundleName" << "Vessolin";
        QTest::newRow("version") << "CFBundleVersion" << VESSOLIN_EXPECTED_VERSION;
        QTest::newRow("short version") << "CFBundleShortVersionString" << VESSOLIN_EXPECTED_VERSION;
    }

    void infoPlistNamesTheBundle()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        const QMap<QString, QString> values = plistStrings(testenv::readAll(QStringLiteral(":/Info.plist")));
        QCOMPARE(values.value(key), value);
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    TestResources test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_resources.moc"
