// The main window with the real engine: what the start screen and the
// header offer and how assistive tools find it, the menus and their
// enabled states, music chosen from the start screen with the keyboard
// alone, the interrupted-project question, loading a saved
// project, the cache clearing, the update schedule and what quitting
// leaves on disk.
#include "about/about.h"
#include "accessnames.h"
#include "chooserkeys.h"
#include "common.h"
#include "config.h"
#include "modalwatch.h"
#include "option/option.h"
#include "reporter/analyreport.h"
#include "reporter/typetreeitem.h"
#include "plist.h"
#include "testenv.h"
#include "urlrecorder.h"
#include "vessolin/mainui.h"
#include "vessolin/mainstate.h"
#include "vessolin/projectcopy.h"
#include "vessolin/startui.h"
#include "vessolin/startup.h"
#include "whatsnew/whatsnew.h"
#include "../update/httpreplay.h"

#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QSplitter>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <memory>

namespace {

QString AccessibleName(QObject* object)
{
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(object);
    return face ? face->text(QAccessible::Name) : QString();
}

// Every (name, role) an assistive tool sees below face.
void CollectNames(QAccessibleInterface* face, QList<QPair<QString, QAccessible::Role>>& out, int depth = 0)
{
    if (!face || depth > 40)
        return;
    out << qMakePair(face->text(QAccessible::Name), face->role());
    for (int i = 0; i < face->childCount(); ++i)
        CollectNames(face->child(i), out, depth + 1);
}

// The first interface below face with name and role, depth first.
QAccessibleInterface* FindAccessible(QAccessibleInterface* face, const QString& name, QAccessible::Role role,
                                     int depth = 0)
{
    if (!face || depth > 40)
        return nullptr;
    if (face->role() == role && face->text(QAccessible::Name) == name)
        return face;
    for (int i = 0; i < face->childCount(); ++i) {
        if (QAccessibleInterface* found = FindAccessible(face->child(i), name, role, depth + 1))
            return found;
    }
    return nullptr;
}

QStringList MenuTexts(QMenu* menu)
{
    QStringList texts;
    for (QAction* action : menu->actions())
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return texts;
}

QMenu* MenuNamed(CMainUI& window, const QString& title)
{
    for (QAction* action : window.menuBar()->actions()) {
        if (action->menu() && action->menu()->title() == title)
            return action->menu();
    }
    return nullptr;
}

QString DataFolder()
{
    return AppDataFolder();
}

QStringList LogLines()
{
    return QString::fromUtf8(testenv::readAll(DataFolder() + QStringLiteral("/UI.log")))
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// The texts after the log's time and thread prefix.
QStringList LogTexts()
{
    QStringList texts;
    for (const QString& line : LogLines())
        texts << line.section(QStringLiteral("]: "), 1);
    return texts;
}

struct Request
{
    QStringList paths;
    QString path;
    int mode = 0;
};

QList<Request> Requests(const QSignalSpy& spy)
{
    QList<Request> out;
    for (const QList<QVariant>& args : spy)
        out << Request{args.at(0).toStringList(), args.at(1).toString(), args.at(2).value<tagMusicRunMode>()};
    return out;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qRegisterMetaType<EMusicRunMode>("EMusicRunMode");
        m_urls.listen({QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("mailto")});
        QApplication::setStyle(QStringLiteral("Fusion"));
    }

    void cleanup()
    {
        QFile::remove(g_strDBName);
        m_urls.opened.clear();
    }

    void startScreenShowsFourWaysAndSettings_data()
    {
        QTest::addColumn<QString>("object");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("shown");
        QTest::newRow("clean") << "cleaner_obj" << "Start to Clean iTunes" << true;
        QTest::newRow("files") << "open_obj" << "Open Music Files" << true;
        QTest::newRow("load") << "load_obj" << "Load Saved Result" << true;
        QTest::newRow("duplicates") << "duplicate_obj" << "Clean-up Duplicates" << true;
        QTest::newRow("settings by its tooltip") << "set_obj" << "Settings" << true;
        QTest::newRow("facebook stays hidden") << "facebook_obj" << "Facebook" << false;
        QTest::newRow("twitter stays hidden") << "twitter_obj" << "Twitter" << false;
        QTest::newRow("header pause") << "main_cancelbut" << "Pause" << false;
        QTest::newRow("header home") << "main_gohome" << "Home" << false;
        QTest::newRow("header fix all") << "main_fixallbut" << "Fix All" << false;
        QTest::newRow("header apply") << "main_applybut" << "Apply" << false;
        QTest::newRow("header try again") << "main_selectbut" << "Try Again" << false;
        QTest::newRow("header scan") << "main_scanbut" << "Scan" << false;
        QTest::newRow("header remove") << "main_removebut" << "Remove" << false;
        QTest::newRow("refix") << "MainUIRetry" << "Refix" << false;
    }

    // Assistive tools find every button by its name as a push button,
    // walking the window's accessibility tree, not the widget tree.
    void startScreenShowsFourWaysAndSettings()
    {
        QFETCH(QString, object);
        QFETCH(QString, name);
        QFETCH(bool, shown);
        CMainUI window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto* button = window.findChild<QAbstractButton*>(object);
        QVERIFY(button);
        QCOMPARE(AccessibleName(button), name);
        QCOMPARE(button->isVisible(), shown);
        QCOMPARE(button->focusPolicy(), Qt::NoFocus);
        if (!shown)
            return;
        QList<QPair<QString, QAccessible::Role>> names;
        CollectNames(QAccessible::queryAccessibleInterface(&window), names);
        QVERIFY2(names.contains(qMakePair(name, QAccessible::Button)), qPrintable(name));
    }

    void windowStartsOnTheWelcomeLook()
    {
        CMainUI window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto* pages = window.findChild<QStackedWidget*>(QStringLiteral("MainUIPages"));
        QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("StartUIName"));
        QCOMPARE(window.findChild<QStackedWidget*>(QStringLiteral("MainUIHeader"))->currentIndex(),
                 int(CMainUI::HEADER_WELCOME));
        QCOMPARE(window.findChild<QStackedWidget*>(QStringLiteral("MainUIButtons"))->currentIndex(),
                 int(BP_PAUSE));
        QCOMPARE(window.findChild<QLabel*>(QStringLiteral("MainUIScoreOEM"))->text(), QStringLiteral("100"));
        QVERIFY(window.minimumSize() == QSize(920, 463));
        QStringList pageNames;
        for (int i = 0; i < pages->count(); ++i)
            pageNames << AccessibleName(pages->widget(i));
        QCOMPARE(pageNames, (QStringList{QStringLiteral("LoadListPage"), QStringLiteral("AnalyReport"),
                                         QStringLiteral("StartUIName"), QStringLiteral("Duplicate")}));
        QCOMPARE(AccessibleName(window.findChild<QTreeWidget*>(QStringLiteral("LoadList"))),
                 QStringLiteral("LoadList"));
        const QStringList unnamed = accessnames::unnamedControls(&window, {}, true);
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QStringLiteral(", "))));
    }

    void categoryBadgesShowTheWholeCount_data()
    {
        QTest::addColumn<int>("count");
        for (int count : {9, 1779, 123456, 999999})
            QTest::addRow("%d", count) << count;
    }

    // Each category row's count is drawn whole, at the window's least size
    // where the category tree is narrowest: nothing of it lies outside its
    // column or is cut off by the row.
    void categoryBadgesShowTheWholeCount()
    {
        QFETCH(int, count);
        CMainUI window;
        window.resize(window.minimumSize());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.findChild<QStackedWidget*>(QStringLiteral("MainUIPages"))->setCurrentIndex(CMainUI::PAGE_REPORT);
        QTreeWidget* tree = window.findChild<CAnalyReport*>()->TypeTree();
        QCOMPARE(tree->topLevelItemCount(), 5);
        for (int i = 0; i < tree->topLevelItemCount(); ++i)
            static_cast<CTypeTreeItem*>(tree->topLevelItem(i))->QuantityWidget()->SetMusicNum(count);
        QVERIFY(QTest::qWaitFor([&] {
            return static_cast<CTypeTreeItem*>(tree->topLevelItem(0))->QuantityWidget()->m_pNumLabel->width()
                   == CQuantityWidget::CountWidth(count);
        }));
        QCOMPARE(tree->width(), tree->minimumWidth());
        const QString text = QString::number(count);
        const QRect column(tree->header()->sectionViewportPosition(3), 0, tree->header()->sectionSize(3),
                           tree->viewport()->height());
        for (int i = 0; i < tree->topLevelItemCount(); ++i) {
            QLabel* label = static_cast<CTypeTreeItem*>(tree->topLevelItem(i))->QuantityWidget()->m_pNumLabel;
            QCOMPARE(label->text(), text);
            const QRect shown(label->mapTo(tree->viewport(), QPoint(0, 0)), label->size());
            QVERIFY2(column.contains(shown), qPrintable(text));
            QCOMPARE(label->visibleRegion().boundingRect(), label->rect());
            QVERIFY(label->fontMetrics().horizontalAdvance(text) <= label->contentsRect().width());
        }
    }

    void pressedByNameThroughAssistiveTools_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("role");
        QTest::addColumn<QString>("opens");  // the dialog class, or the page shown after
        QTest::newRow("about entry") << "About" << int(QAccessible::MenuItem) << "CAbout";
        QTest::newRow("preferences entry") << "Preferences" << int(QAccessible::MenuItem) << "COption";
        QTest::newRow("settings button") << "Settings" << int(QAccessible::Button) << "COption";
        QTest::newRow("duplicates button") << "Clean-up Duplicates" << int(QAccessible::Button) << "Duplicate";
    }

    // A screen reader or a driver over AT-SPI finds each entry and button
    // in the window's accessibility tree by its name and presses it there.
    void pressedByNameThroughAssistiveTools()
    {
        QFETCH(QString, name);
        QFETCH(int, role);
        QFETCH(QString, opens);
        CMainUI window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QStringList entries;
        for (const QString& menu : {QStringLiteral("Edit"), QStringLiteral("Help")})
            entries << MenuTexts(MenuNamed(window, menu));
        entries.removeAll(QStringLiteral("-"));
        for (const QString& entry : entries)
            QVERIFY2(FindAccessible(QAccessible::queryAccessibleInterface(&window), entry, QAccessible::MenuItem),
                     qPrintable(entry));

        QAccessibleInterface* face =
            FindAccessible(QAccessible::queryAccessibleInterface(&window), name, QAccessible::Role(role));
        QVERIFY2(face && face->actionInterface(), qPrintable(name));
        QVERIFY(face->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));
        QString opened;
        ModalWatch watch([&](QWidget* modal) {
            if (!qobject_cast<CAbout*>(modal) && !qobject_cast<COption*>(modal))
                return false;
            opened = QString::fromLatin1(modal->metaObject()->className());
            modal->close();
            return true;
        });
        face->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        if (opens == QLatin1String("Duplicate")) {
            // The press is an animated click: it lands a moment later.
            QTRY_COMPARE(window.findChild<QStackedWidget*>(QStringLiteral("MainUIPages"))->currentIndex(),
                         int(CMainUI::PAGE_DUPLICATE));
            return;
        }
        QTRY_COMPARE(opened, opens);
    }

    void menusHoldTheirEntriesInOrder()
    {
        CMainUI window;
        QCOMPARE(MenuTexts(MenuNamed(window, QStringLiteral("Edit"))),
                 (QStringList{"Pause", "Continue", "Save Project"}));
        QCOMPARE(MenuTexts(MenuNamed(window, QStringLiteral("Help"))),
                 (QStringList{"Homepage", "Help", "Support", "EULA", "-", "Bug Report", "Check for updates",
                              "Translate Vessolin Mac for us", "About", "Preferences"}));
        for (QAction* action : MenuNamed(window, QStringLiteral("Help"))->actions())
            QVERIFY2(action->isEnabled(), qPrintable(action->text()));
        QCOMPARE(MenuAction(window, QStringLiteral("About"))->menuRole(), QAction::AboutRole);
        QCOMPARE(MenuAction(window, QStringLiteral("Preferences"))->menuRole(), QAction::PreferencesRole);
    }

    // The window's actions follow the state function: all off at start,
    // and as it says once the start screen asks for a load.
    void editEntriesAtStartAndAfterALoadRequest()
    {
        CMainUI window;
        window.show();
        QAction* pause = MenuAction(window, QStringLiteral("Pause"));
        QAction* resume = MenuAction(window, QStringLiteral("Continue"));
        QAction* save = MenuAction(window, QStringLiteral("Save Project"));
        QVERIFY(!pause->isEnabled() && !resume->isEnabled() && !save->isEnabled());
        QSignalSpy requests(window.StartUI(), &CStartUI::Complete);
        window.findChild<QPushButton*>(QStringLiteral("cleaner_obj"))->click();
        QCOMPARE(requests.size(), 1);
        const Request request = Requests(requests).first();
        QVERIFY(request.paths.isEmpty());
        QCOMPARE(request.path, g_strDBName);
        QCOMPARE(request.mode, int(RUN_ITUNES));
        QCOMPARE(window.State().iState, int(MW_LOADING));
        const tagMainControls controls = MainControlsOf(window.State());
        QCOMPARE(pause->isEnabled(), controls.bPauseAction);
        QCOMPARE(resume->isEnabled(), controls.bContinueAction);
        QCOMPARE(save->isEnabled(), controls.bSaveProject);
        QCOMPARE(window.findChild<QStackedWidget*>(QStringLiteral("MainUIPages"))->currentIndex(),
                 int(CMainUI::PAGE_LOAD));
    }

    void openMusicFilesWithTheKeyboard_data()
    {
        QTest::addColumn<QStringList>("steps");  // {root}: a folder outside the Music folder, {dir} its name
        QTest::addColumn<QStringList>("chosen");
        QTest::newRow("typed path, two songs in it")
            << QStringList{"Ctrl+L", "text:{root}/Mix", "Return", "list:a.mp3,b.m4a", "Down", "Shift+Down", "Return"}
            << QStringList{"Mix/a.mp3", "Mix/b.m4a"};
        QTest::newRow("pasted path, its folder chosen whole")
            << QStringList{"Ctrl+L", "text:{root}", "Return", "wait:Mix", "text:Mix", "Tab", "Space"}
            << QStringList{"Mix"};
        QTest::newRow("through the places")
            << QStringList{"Shift+Tab", "text:Desk", "Return", "wait:{dir}", "text:{dir}", "Return", "list:Mix", "Down",
                           "Return", "list:a.mp3,b.m4a", "Down", "Return"}
            << QStringList{"Mix/a.mp3"};
    }

    // "Open Music Files" takes no focus, as the start screen's buttons do,
    // and answers the desktop's key for opening files; from there, only keys
    // reach a folder outside the Music folder and bring its songs to the load.
    void openMusicFilesWithTheKeyboard()
    {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, chosen);
        CConfig::instance();
        QFile::remove(g_strDBName);
        QVERIFY(QDir().mkpath(QDir::homePath() + QStringLiteral("/Desktop")));
        QTemporaryDir root(QDir::homePath() + QStringLiteral("/Desktop/Sammlung ü-XXXXXX"));
        for (const char* song : {"Mix/a.mp3", "Mix/b.m4a"}) {
            QVERIFY(QDir().mkpath(root.filePath(QStringLiteral("Mix"))));
            QVERIFY(testenv::writeAll(root.filePath(QLatin1String(song)), "ID3"));
        }
        const QString name = QFileInfo(root.path()).fileName();
        for (QString& step : steps)
            step.replace(QLatin1String("{root}"), root.path()).replace(QLatin1String("{dir}"), name);

        CStartUI screen(nullptr);
        QSignalSpy requests(&screen, &CStartUI::Complete);
        screen.show();
        screen.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&screen));
        QString why;
        OnModal([&](QWidget* chooser) {
            if (!chooserkeys::press(chooser, steps, &why))
                chooser->close();
        });
        QTest::keySequence(&screen, QKeySequence::Open);
        // A button answers its key with an animated click, a moment later.
        QTRY_VERIFY_WITH_TIMEOUT(!why.isEmpty() || !requests.isEmpty(), 30000);
        QVERIFY2(why.isEmpty(), qPrintable(why));
        QCOMPARE(requests.size(), 1);
        const Request request = Requests(requests).first();
        QStringList expected;
        for (const QString& path : chosen)
            expected << root.filePath(path);
        QCOMPARE(request.paths, expected);
        QCOMPARE(request.mode, int(RUN_FILES));
    }

    void startScreenSignals()
    {
        CStartUI screen(nullptr);
        QSignalSpy preferences(&screen, &CStartUI::SetPreferences);
        QSignalSpy duplicate(&screen, &CStartUI::Duplicate);
        QSignalSpy requests(&screen, &CStartUI::Complete);
        screen.findChild<QPushButton*>(QStringLiteral("set_obj"))->click();
        screen.findChild<QPushButton*>(QStringLiteral("duplicate_obj"))->click();
        QCOMPARE(preferences.size(), 1);
        QCOMPARE(duplicate.size(), 1);
        QCOMPARE(requests.size(), 0);
    }

    void interruptedProjectQuestion_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("requested");
        QTest::newRow("continue") << "Continue" << true;
        QTest::newRow("cancel") << "Cancel" << false;
    }

    void interruptedProjectQuestion()
    {
        QFETCH(QString, answer);
        QFETCH(bool, requested);
        CConfig::instance();
        QVERIFY(testenv::writeAll(g_strDBName, "interrupted run"));
        QString question;
        ModalWatch watch([&](QWidget* modal) { return PressMessageButton(modal, answer, &question); });
        CMainUI window;
        QSignalSpy requests(window.StartUI(), &CStartUI::Complete);
        window.show();
        QTRY_COMPARE(watch.handled, 1);
        // The box has no main text, only the informative one.
        QCOMPARE(question,
                 QStringLiteral("|Last fixing project was interrupted unexpectedly. Do you want to continue it?"));
        QCOMPARE(requests.size(), requested ? 1 : 0);
        if (requested) {
            const Request request = Requests(requests).first();
            QVERIFY(request.paths.isEmpty());
            QCOMPARE(request.path, g_strDBName);
            QCOMPARE(request.mode, int(RUN_PROJECT));
        } else {
            // Continue hands the file to the load, which judges it; Cancel
            // leaves it alone.
            QCOMPARE(testenv::readAll(g_strDBName), QByteArray("interrupted run"));
        }
    }

    void noQuestionWithoutAWorkingDatabase()
    {
        CConfig::instance();
        QFile::remove(g_strDBName);
        int modals = 0;
        ModalWatch watch([&](QWidget*) { return ++modals, false; });
        CStartUI screen(nullptr);
        QSignalSpy requests(&screen, &CStartUI::Complete);
        screen.CheckingIsSave();
        // The look runs on a worker; its answer asks nothing.
        QVERIFY(QTest::qWaitFor([&] { return !screen.IsLooking(); }, 60000));
        QCOMPARE(modals, 0);
        QCOMPARE(requests.size(), 0);
    }

    void loadSavedResult_data()
    {
        QTest::addColumn<QString>("folder");   // below the temporary folder
        QTest::addColumn<bool>("copyFails");
        QTest::addColumn<bool>("chosen");
        QTest::newRow("project") << "projects" << false << true;
        QTest::newRow("long utf-8 path") << LongFolder() << false << true;
        QTest::newRow("cancelled") << "projects" << false << false;
        QTest::newRow("copy fails") << "projects" << true << true;
    }

    // The request names the project and the screen touches no file: the
    // window puts the project in the working database's place on a
    // worker. There the working database becomes a byte copy of the
    // project; when the copy cannot be made, the working database of the
    // interrupted run is still there, unchanged, journal and all.
    void loadSavedResult()
    {
        QFETCH(QString, folder);
        QFETCH(bool, copyFails);
        QFETCH(bool, chosen);
        CConfig::instance();
        QTemporaryDir root;
        QVERIFY(QDir().mkpath(root.filePath(folder)));
        const QString project = root.filePath(folder) + QStringLiteral("/Sommer ä.zorvadata");
        const QByteArray bytes("SQLite format 3\0project bytes", 29);
        QVERIFY(testenv::writeAll(project, bytes));
        // A folder where the copy goes first: no copy can be made, not even by root.
        const QString staging = g_strDBName + QStringLiteral(".loading");
        if (copyFails)
            QVERIFY(QDir().mkpath(staging + QStringLiteral("/blocked")));
        QVERIFY(testenv::writeAll(g_strDBName, "interrupted run"));
        // A crash of that run left its journal: it belongs to that database
        // and must never be replayed into the project.
        const QString journal = g_strDBName + QStringLiteral("-journal");
        QVERIFY(testenv::writeAll(journal, "journal of the interrupted run"));

        // The question about the interrupted run is not this test's: refuse it.
        int questions = 0;
        ModalWatch watch([&](QWidget* modal) {
            if (PressMessageButton(modal, QStringLiteral("Cancel"), nullptr))
                return ++questions, false;
            auto* files = qobject_cast<QFileDialog*>(modal);
            if (!files)
                return false;
            if (chosen) {
                files->selectFile(project);
                // A file the panel's model has not listed yet (a busy
                // machine) is not selected by name: the name field takes it.
                if (auto* name = files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                    name->setText(project);
                QMetaObject::invokeMethod(files, "accept");
            } else {
                files->reject();
            }
            return true;
        });
        CStartUI screen(nullptr);
        QTRY_COMPARE(questions, 1);
        QSignalSpy requests(&screen, &CStartUI::Complete);
        screen.LoadSaveResult();
        QCOMPARE(watch.handled, 1);
        QCOMPARE(requests.size(), chosen ? 1 : 0);
        QCOMPARE(testenv::readAll(g_strDBName), QByteArray("interrupted run"));
        if (!chosen)
            return;
        const Request request = Requests(requests).first();
        QCOMPARE(request.path, project);
        QCOMPARE(request.mode, int(RUN_PROJECT));
        QVERIFY(request.paths.isEmpty());

        QCOMPARE(PlaceProject(project, g_strDBName), !copyFails);
        QCOMPARE(testenv::readAll(g_strDBName), copyFails ? QByteArray("interrupted run") : bytes);
        QCOMPARE(testenv::readAll(project), bytes);
        QCOMPARE(QFileInfo::exists(staging), copyFails);
        QCOMPARE(QFile::exists(journal), copyFails);
        QFile::remove(journal);
        QDir(staging).removeRecursively();
    }

    // Only plain files directly in the application's own folders go; the
    // trash, hidden files and any folder that is not the application's own
    // stay.
    void clearCacheKeepsTrashAndRefusesForeignFolders()
    {
        CMainUI window;
        const QString artwork = CConfig::instance()->GetDowndImgPath();
        const QString music = CConfig::instance()->GetMusicPath();
        const QString trashed = CConfig::instance()->GetTrashPath() + QStringLiteral("/kept.mp3");
        for (const QString& path : {artwork + "/cover.jpg", artwork + "/.hidden", music + "/track.wav", trashed})
            QVERIFY(testenv::writeAll(path, "x"));
        window.ClearCache();
        QVERIFY(!QFile::exists(artwork + "/cover.jpg"));
        QVERIFY(!QFile::exists(music + "/track.wav"));
        QVERIFY(QFile::exists(artwork + "/.hidden"));
        QVERIFY(QFile::exists(trashed));

        // The music folder turned into a link to the user's own files.
        QTemporaryDir elsewhere;
        QVERIFY(testenv::writeAll(elsewhere.filePath("mine.wav"), "user's"));
        QVERIFY(QDir(music).removeRecursively());
        QVERIFY(QFile::link(elsewhere.path(), music));
        window.ClearCache();
        QVERIFY(QFile::exists(elsewhere.filePath("mine.wav")));
        QVERIFY(LogTexts().contains(
            QStringLiteral("ClearCache refused a folder that is not the application's own: %1").arg(music)));
        QFile::remove(music);
        QVERIFY(QDir().mkpath(music));

        // An empty identifier would make the folder the user's whole Pictures folder.
        const QString identifier = g_strBundleId;
        g_strBundleId.clear();
        CConfig::instance()->SetDowndImgPath(QDir::homePath() + QStringLiteral("/Pictures"));
        QVERIFY(testenv::writeAll(QDir::homePath() + QStringLiteral("/Pictures/holiday.jpg"), "user's"));
        window.ClearCache();
        g_strBundleId = identifier;
        CConfig::instance()->SetDowndImgPath(artwork);
        QVERIFY(QFile::exists(QDir::homePath() + QStringLiteral("/Pictures/holiday.jpg")));
    }

    void preferencesAndAboutOpenFromTheMenu_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::newRow("about") << "About";
        QTest::newRow("preferences") << "Preferences";
    }

    void preferencesAndAboutOpenFromTheMenu()
    {
        QFETCH(QString, entry);
        CMainUI window;
        window.show();
        QString opened;
        QWidget* parent = nullptr;
        ModalWatch watch([&](QWidget* modal) {
            if (qobject_cast<CAbout*>(modal) || qobject_cast<COption*>(modal)) {
                opened = QString::fromLatin1(modal->metaObject()->className());
                parent = modal->parentWidget();
                modal->close();
                return true;
            }
            return false;
        });
        MenuAction(window, entry)->trigger();
        QCOMPARE(watch.handled, 1);
        QCOMPARE(parent, static_cast<QWidget*>(&window));
        QCOMPARE(opened, entry == QLatin1String("About") ? QStringLiteral("CAbout") : QStringLiteral("COption"));
    }

    void supportLinks_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("url");
        QTest::newRow("homepage") << "Homepage" << HomeLink();
        QTest::newRow("support page") << "Support" << SupportLink();
        QTest::newRow("eula") << "EULA" << EulaLink();
        QTest::newRow("help") << "Help" << HelpLink();
        QTest::newRow("translate") << "Translate Vessolin Mac for us" << g_strTranslate;
    }

    void supportLinks()
    {
        QFETCH(QString, entry);
        QFETCH(QString, url);
        CMainUI window;
        m_urls.opened.clear();
        MenuAction(window, entry)->trigger();
        QCOMPARE(m_urls.opened, QList<QUrl>{QUrl(url)});
    }

    void updateIsDueByTheSchedule_data()
    {
        QTest::addColumn<int>("schedule");
        QTest::addColumn<int>("days");
        QTest::addColumn<QDate>("last");
        QTest::addColumn<QDate>("today");
        QTest::addColumn<bool>("due");
        const QDate first(2024, 3, 1);
        QTest::newRow("3 days: day 2") << 1 << 3 << first << QDate(2024, 3, 2) << false;
        QTest::newRow("3 days: day 3") << 1 << 3 << first << QDate(2024, 3, 3) << false;
        QTest::newRow("3 days: day 4") << 1 << 3 << first << QDate(2024, 3, 4) << true;
        QTest::newRow("daily: same day") << 2 << 7 << first << first << false;
        QTest::newRow("daily: next day") << 2 << 7 << first << QDate(2024, 3, 2) << true;
        QTest::newRow("weekly: a monday") << 3 << 7 << QDate(2024, 3, 2) << QDate(2024, 3, 4) << true;
        QTest::newRow("weekly: monday again") << 3 << 7 << QDate(2024, 3, 4) << QDate(2024, 3, 4) << false;
        QTest::newRow("weekly: a tuesday") << 3 << 7 << QDate(2024, 3, 2) << QDate(2024, 3, 5) << false;
        QTest::newRow("monthly: 31 jan to 1 feb") << 4 << 7 << QDate(2024, 1, 31) << QDate(2024, 2, 1) << true;
        QTest::newRow("monthly: 1 to 28 feb") << 4 << 7 << QDate(2024, 2, 1) << QDate(2024, 2, 28) << false;
        QTest::newRow("monthly: into a new year") << 4 << 7 << QDate(2023, 12, 5) << QDate(2024, 1, 2) << true;
        QTest::newRow("off") << 0 << 7 << QDate() << first << false;
        QTest::newRow("unknown schedule") << 5 << 7 << QDate() << first << false;
        QTest::newRow("no valid last date") << 1 << 7 << QDate(2024, 2, 30) << first << true;
        QTest::newRow("last check in the future") << 2 << 7 << QDate(2025, 1, 1) << first << false;
    }

    void updateIsDueByTheSchedule()
    {
        QFETCH(int, schedule);
        QFETCH(int, days);
        QFETCH(QDate, last);
        QFETCH(QDate, today);
        QFETCH(bool, due);
        QCOMPARE(IsUpdateDue(schedule, days, last, today), due);
    }

    // Against a server of the test's own: the first start never asks, a
    // due check asks exactly once, and a second start that day not again.
    void scheduledUpdateAsksOncePerDueDay()
    {
        HttpReplay server;
        QVERIFY(server.listen());
        server.reply.body = "<upd:Info><upd:ProductCode>VSL</upd:ProductCode>"
                            "<upd:ProductVer>0.1</upd:ProductVer></upd:Info>";
        qputenv("VESSOLIN_UPDATE_URL", server.base());
        QFile::remove(DataFolder() + QStringLiteral("/vessolin.plist"));
        CConfig::Destroy();
        int outcomes = 0;
        ModalWatch watch([&](QWidget* modal) {
            if (!qobject_cast<WhatsNew*>(modal))
                return false;
            ++outcomes;
            modal->close();
            return true;
        });
        const QDate today = QDate::currentDate();
        {
            CMainUI window;
            QVERIFY(!RunScheduledUpdate(window, today));
            // The defaults: every 7 days, counted from the first start.
            const QDate due = today.addDays(7);
            QVERIFY(!RunScheduledUpdate(window, today.addDays(6)));
            QVERIFY(RunScheduledUpdate(window, due));
            QTRY_COMPARE(outcomes, 1);
            QVERIFY(!RunScheduledUpdate(window, due));
            QTest::qWait(50);
        }
        QCOMPARE(server.requestLines.size(), 1);
        QVERIFY(server.requestLines.first().startsWith("GET /update-product-info/update.php?action=getinfo"));
        qunsetenv("VESSOLIN_UPDATE_URL");
    }

    // Quitting saves every settings key in the file's order and leaves the
    // window's log lines in the order of its life.
    void quitWritesSettingsAndLog()
    {
        QFile::remove(DataFolder() + QStringLiteral("/vessolin.plist"));
        CConfig::Destroy();
        const int before = LogLines().size();
        {
            CMainUI window;
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            window.close();
        }
        QVariant root;
        QFile file(DataFolder() + QStringLiteral("/vessolin.plist"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(PlistRead(&file, &root, nullptr, PLIST_DICT_ORDERED), int(PLIST_OK));
        QStringList keys;
        for (const auto& entry : root.value<PlistOrderedDict>())
            keys << entry.first;
        QCOMPARE(keys, (QStringList{"b_proxy", "Proxy_type", "Proxy_host", "Proxy_prot", "Proxy_name", "Proxy_pass",
                                    "Msg_Dshow", "Auto_update", "Update_Days", "Update_year", "Update_month",
                                    "Update_day", "Open_url", "Genernal", "Duplicate", "Replace", "HistoryOpt",
                                    "ClearDays", "ClearDate"}));
        QStringList texts = LogTexts().mid(before);
        const QStringList expected{QStringLiteral("Complete CMainUI::CMainUI! AppName:Ossival Vessolin"),
                                   QStringLiteral("Enter CMainUI::closeEvent!"),
                                   QStringLiteral("Enter CMainUI::~CMainUI!"),
                                   QStringLiteral("End DEL_OBJ(m_pMusicLink)")};
        int at = 0;
        for (const QString& text : texts) {
            if (at < expected.size() && text == expected.at(at))
                ++at;
        }
        QVERIFY2(at == expected.size(), qPrintable(texts.join(QLatin1Char('\n'))));
        QVERIFY(QDir(CConfig::instance()->GetTrashPath()).exists());
        CConfig::Destroy();
    }

private:
    static QString LongFolder()
    {
        // About 3,800 bytes of UTF-8, in components the file system allows.
        QString folder;
        const QString part = QString(60, QChar(0x00e4));  // 120 bytes each
        for (int i = 0; i < 30; ++i)
            folder += part + QLatin1Char('/');
        return folder + QStringLiteral("end");
    }
    static QString HomeLink() { CreateLinkAndName(); return HOME; }
    static QString SupportLink() { CreateLinkAndName(); return SUPPORT; }
    static QString EulaLink() { CreateLinkAndName(); return EULA; }
    static QString HelpLink() { CreateLinkAndName(); return HELP; }

    UrlRecorder m_urls;
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
