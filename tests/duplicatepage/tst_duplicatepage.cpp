// The duplicate page driven as the main window drives it, over the real
// engine through the bridge: the groups a scan shows, marks, removal into
// the trash folder of the run's day with pause, stop and undo, and the
// clearing of old removal history.
#include "accessnames.h"
#include "common.h"
#include "config.h"
#include "desktop.h"
#include "filesizelimit.h"
#include "libraryxml.h"
#include "mmanalysis.h"
#include "modalwatch.h"
#include "musiclink.h"
#include "option/historyoptwidget.h"
#include "option/warnmessage.h"
#include "pagewalks.h"
#include "reporter/cleartrashthread.h"
#include "reporter/duplicate.h"
#include "reporter/reportlists.h"
#include "signalrecorder.h"
#include "testenv.h"
#include "treeitem.h"
#include "widgetprobe.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QToolBar>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <functional>

namespace {

constexpr int kWaitMs = 60000;
constexpr int kColUndo = 6;
constexpr int kColReveal = 7;
const QString kSong = QStringLiteral("id3v2-partial.mp3");  // "Grey Water Café", 64 kbit/s
const QString kOther = QStringLiteral("ape-only.mp3");      // "Salt Road"

// Runs work on a thread of its own, as the window's analysis and apply
// threads do, then delivers what it queued for the GUI thread.
void onWorker(const std::function<void()>& work)
{
    QThread* thread = QThread::create(work);
    thread->start();
    while (!thread->wait(5))
        QCoreApplication::processEvents();
    delete thread;
    QCoreApplication::sendPostedEvents();
}

int sum(const QList<QList<QVariant>>& spy)
{
    int total = 0;
    for (const QList<QVariant>& call : spy)
        total += call[0].toInt();
    return total;
}

// One page bound to one bridge, shown so that rows have places to click.
struct Scan {
    CMusicLink link;
    CDuplicate page{nullptr, nullptr};
    QTreeWidget* tree = page.findChild<QTreeWidget*>(QStringLiteral("DuplicateTree"));

    Scan()
    {
        page.SetMusicLink(&link);
        page.resize(1000, 600);
        page.show();
        // The window's part of an undo: the row is taken on the GUI thread,
        // the song comes back on the apply thread.
        QObject::connect(&page, &CDuplicate::UndoRequested, &page, [this](QTreeWidgetItem* row) {
            page.PrepareUndo(row);
            onWorker([this] { page.UndoRemoval(); });
        });
    }
    ~Scan() { link.SetExitState(1); }

    void load(tagMusicRunMode mode, const QString& xml, const QStringList& files, int mask)
    {
        SignalRecorder loaded(&link, &CMusicLink::SendLoadOK);
        SignalRecorder analysed(&link, &CMusicLink::SendAnalyzeOK);
        const QByteArray path = xml.toUtf8();
        QCOMPARE(link.InitParam(mode, xml.isEmpty() ? nullptr : path.constData()), 0);
        if (!files.isEmpty())
            QCOMPARE(link.LoadExMusicFiles(files), 0);
        QCOMPARE(link.LoadiTunesMusic(), 0);
        QVERIFY(loaded.wait(kWaitMs));
        if (mask < 0)
            return;
        const int saves = savesLogged();
        QCOMPARE(link.AnalyzeMusicInfo(mask), 0);
        QVERIFY(analysed.wait(kWaitMs));
        // The engine saves the result on a thread of its own; the user's
        // marks and removals come after it.
        QTRY_VERIFY_WITH_TIMEOUT(savesLogged() > saves, kWaitMs);
    }

    static int savesLogged()
    {
        const QString log = QString::fromUtf8(testenv::readAll(CConfig::instance()->GetLogFile() + "/MM.log"));
        return int(log.count(QStringLiteral("End Delete Complete Music")));
    }

    // The window's walk after the analysis, then its report update.
    void show()
    {
        onWorker([this] { pagewalk::duplicates(link, page); });
        page.Calculate();
        page.ShowDuplicate(1);
        QTRY_VERIFY_WITH_TIMEOUT(tree->isSortingEnabled(), kWaitMs);
    }

    void remove()
    {
        page.PrepareRemove();
        onWorker([this] { page.RemoveDuplicate(); });
    }

    CTreeItem* song(const QString& path)
    {
        for (int g = 0; g < tree->topLevelItemCount(); ++g)
            for (int c = 0; c < tree->topLevelItem(g)->childCount(); ++c)
                if (tree->topLevelItem(g)->child(c)->text(4) == path)
                    return static_cast<CTreeItem*>(tree->topLevelItem(g)->child(c));
        return nullptr;
    }

    void click(QTreeWidgetItem* row, int column)
    {
        const QRect line = tree->visualItemRect(row);
        const QHeaderView* header = tree->header();
        const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, line.center().y());
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    }

    // What the user toggles: the box changes, then the tree reports the
    // click; or Space on the row, which the tree hands on as a click.
    void toggle(QTreeWidgetItem* row, bool byKey = false)
    {
        if (byKey) {
            tree->setCurrentItem(row, 0);
            QTest::keyClick(tree, Qt::Key_Space);
            return;
        }
        row->setCheckState(0, row->checkState(0) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
        page.ItemClicked(row, 0);
    }

    int state(QTreeWidgetItem* row) { return link.GetMusicState(static_cast<CTreeItem*>(row)->GetID()); }
};

// "3 duplicates: x/a.mp3 y/a.mp3* z/a.mp3*" per group: the songs by their
// place under root in tree order, a star for a marked one, "-" for a
// removed one.
QStringList groups(QTreeWidget* tree, const QString& root)
{
    QStringList out;
    for (int g = 0; g < tree->topLevelItemCount(); ++g) {
        const QTreeWidgetItem* group = tree->topLevelItem(g);
        QString text = group->text(2) + QLatin1Char(':');
        for (int c = 0; c < group->childCount(); ++c) {
            const QTreeWidgetItem* song = group->child(c);
            text += QLatin1Char(' ') + QDir(root).relativeFilePath(song->text(4));
            text += song->checkState(0) == Qt::Checked ? QStringLiteral("*") : QString();
            text += song->flags() & Qt::ItemIsEnabled ? QString() : QStringLiteral("-");
        }
        out << text;
    }
    return out;
}

// Two pieces of music: notes over a changing bass (A), slower falling
// lines over chords (B), with a little noise.
const char* const kPieceA =
    "0.25*sin(PI*mod(t,0.25)/0.25)*sin(2*PI*t*220*pow(2,mod(floor(t*4)*5+floor(t/2)*3,24)/12))"
    "+0.15*sin(2*PI*t*110*pow(2,mod(floor(t/2)*7,12)/12))+0.01*(random(1)-0.5)";
const char* const kPieceB =
    "0.25*sin(PI*mod(t,0.375)/0.375)*sin(2*PI*t*294*pow(2,-mod(floor(t/0.375)*4+floor(t/3),19)/12))"
    "+0.1*(sin(2*PI*t*165)+sin(2*PI*t*196*pow(2,mod(floor(t/1.5),5)/12)))+0.01*(random(1)-0.5)";

bool encode(const char* piece, const char* rate, const QString& out)
{
    QProcess process;
    process.start(QStringLiteral("ffmpeg"),
                  {"-hide_banner", "-loglevel", "error", "-nostdin", "-y", "-f", "lavfi", "-i",
                   QStringLiteral("aevalsrc=exprs='%1':s=44100:d=45").arg(QLatin1String(piece)), "-ac", "2", "-c:a",
                   "libmp3lame", "-b:a", rate, out});
    return process.waitForFinished(kWaitMs) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
}

QString uiLog()
{
    return QString::fromUtf8(testenv::readAll(CConfig::instance()->GetLogFile() + QStringLiteral("/UI.log")));
}

} // namespace

class TestDuplicatePage : public QObject
{
    Q_OBJECT

    QTemporaryDir m_music;
    QString m_trashOfRun;

    QString copy(const QString& fixture, const QString& name)
    {
        const QString target = m_music.filePath(name);
        QDir().mkpath(QFileInfo(target).path());
        QFile::copy(testenv::fixture(fixture), target);
        QFile(target).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        return target;
    }
    QStringList copies(const QStringList& names)
    {
        QStringList paths;
        for (const QString& name : names)
            paths << copy(name.startsWith(QLatin1Char('s')) ? kOther : kSong, name);
        return paths;
    }
    QStringList trashFiles() const { return QDir(m_trashOfRun).entryList(QDir::Files, QDir::Name); }

private slots:
    void initTestCase()
    {
        CreateLinkAndName();
        CConfig::instance();
        CreateUILog();
        CreateImage();
        QVERIFY(m_music.isValid());
        m_trashOfRun = CConfig::instance()->GetTrashPath() + QLatin1Char('/')
            + QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
    }

    void init()
    {
        QDir(m_music.path()).removeRecursively();
        QDir().mkpath(m_music.path());
        QDir(m_trashOfRun).removeRecursively();
        QFile::remove(g_strDBName);
    }

    void groupsAndCells_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("three copies: the first stays and leads")
            << QStringList{"x/a.mp3", "y/a.mp3", "z/a.mp3", "s.mp3"}
            << QStringList{"3 duplicates: x/a.mp3 y/a.mp3* z/a.mp3*"};
        QTest::newRow("two groups")
            << QStringList{"a1.mp3", "s1.mp3", "a2.mp3", "s2.mp3"}
            << QStringList{"2 duplicates: a1.mp3 a2.mp3*", "2 duplicates: s1.mp3 s2.mp3*"};
        QTest::newRow("nothing alike") << QStringList{"a.mp3", "s.mp3"} << QStringList{};
    }

    void groupsAndCells()
    {
        QFETCH(QStringList, files);
        QFETCH(QStringList, expected);
        Scan s;
        s.load(RUN_DUP_FILES, QString(), copies(files), MF_TITLE);
        s.show();
        QCOMPARE(groups(s.tree, m_music.path()), expected);
        for (int g = 0; g < s.tree->topLevelItemCount(); ++g) {
            QTreeWidgetItem* group = s.tree->topLevelItem(g);
            QVERIFY(group->isExpanded());
            QCOMPARE(group->checkState(0), Qt::Checked);
            QCOMPARE(group->text(1), group->child(0)->text(1));
            for (int c = 0; c < group->childCount(); ++c) {
                QTreeWidgetItem* song = group->child(c);
                const QFileInfo file(song->text(4));
                QCOMPARE(song->text(2), QString::asprintf("%.2fMB", file.size() / 1048576.0));
                QCOMPARE(song->text(3), QStringLiteral("00:00:06"));  // five seconds and the one added
                QCOMPARE(song->text(9), QStringLiteral("64kbps"));
                QCOMPARE(song->foreground(1).color(),
                         song->checkState(0) == Qt::Checked ? QColor(0, 150, 255) : QBrush().color());
                QVERIFY(!song->icon(kColReveal).isNull());
            }
        }
        QCOMPARE(s.tree->header()->visualIndex(9), 3);
    }

    // Copies of 2 GiB and more (padded sparse files) show their size, not
    // a count that overflowed.
    void bigCopiesShowTheirSize_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("shown");
        QTest::newRow("2 GiB") << qint64(2147483648) << QStringLiteral("2048.00MB");
        QTest::newRow("3 GiB") << qint64(3221225472) << QStringLiteral("3072.00MB");
    }

    void bigCopiesShowTheirSize()
    {
        QFETCH(qint64, bytes);
        QFETCH(QString, shown);
        const QStringList files = copies({"x/a.mp3", "y/a.mp3"});
        QVERIFY(QFile(files[1]).resize(bytes));
        Scan s;
        s.load(RUN_DUP_FILES, QString(), files, MF_TITLE);
        s.show();
        QVERIFY(s.song(files[1]));
        QCOMPARE(s.song(files[1])->text(2), shown);
        QCOMPARE(s.song(files[0])->text(2), QString::asprintf("%.2fMB", QFileInfo(files[0]).size() / 1048576.0));
    }

    // By sound: the same piece at two bit rates is one group, the better
    // copy kept; another piece is left out.
    void deepScanGroupsReEncodedCopies()
    {
        if (!encode(kPieceA, "128k", m_music.filePath("a128.mp3"))
            || !encode(kPieceA, "320k", m_music.filePath("a320.mp3"))
            || !encode(kPieceB, "192k", m_music.filePath("b.mp3")))
            QSKIP("the ffmpeg tool is needed to make the test audio");
        Scan s;
        s.load(RUN_DUP_FILES, QString(),
               {m_music.filePath("a128.mp3"), m_music.filePath("b.mp3"), m_music.filePath("a320.mp3")},
               CConfig::instance()->Duplicate);
        s.show();
        QCOMPARE(groups(s.tree, m_music.path()), QStringList{"2 duplicates: a320.mp3 a128.mp3*"});
        QTreeWidgetItem* group = s.tree->topLevelItem(0);
        QCOMPARE(group->child(0)->text(9), QStringLiteral("320kbps"));
        QCOMPARE(group->child(1)->text(9), QStringLiteral("128kbps"));
        QCOMPARE(group->child(0)->text(3), QStringLiteral("00:00:46"));
    }

    // Handing the head of a group again changes nothing; any other track
    // comes again; an unknown repeat ID opens a group of one.
    void addingTheSameTrackAgain()
    {
        Scan s;
        s.load(RUN_DUP_FILES, QString(), copies({"x/a.mp3", "y/a.mp3"}), MF_TITLE);
        s.show();
        void* head = static_cast<CTreeItem*>(s.tree->topLevelItem(0))->GetID();
        void* other = s.song(m_music.filePath("y/a.mp3"))->GetID();
        const long long repeat = s.link.GetMusicRepeatID(head);
        onWorker([&] {
            s.page.AddDuplicateItem(head, AT_DUPLICATE, 0, repeat);
            s.page.AddDuplicateItem(nullptr, AT_DUPLICATE, 0, repeat);
            s.page.AddDuplicateItem(other, AT_ANALYSED, 0, repeat);
            s.page.AddDuplicateItem(other, AT_DUPLICATE, MS_REMOVE, repeat);
            s.page.AddDuplicateItem(other, AT_DUPLICATE, 0, 424242);
        });
        QCOMPARE(groups(s.tree, m_music.path()),
                 (QStringList{"3 duplicates: x/a.mp3 y/a.mp3* y/a.mp3*", "1 duplicates: y/a.mp3"}));
    }

    void marking_data()
    {
        QTest::addColumn<QString>("toggled");
        QTest::addColumn<int>("answer");  // to "remove all files?", 0 when not asked
        QTest::addColumn<bool>("marked");
        QTest::addColumn<QColor>("color");
        QTest::addColumn<int>("enables");  // SetRemoveEnable(true) sent once the change has settled
        QTest::addColumn<bool>("byKey");
        // z/a.mp3 stays marked in each: Remove stays on.
        QTest::newRow("unmark a copy") << "y/a.mp3" << 0 << false << QColor(0, 0, 0) << 1 << false;
        QTest::newRow("unmark a copy with Space") << "y/a.mp3" << 0 << false << QColor(0, 0, 0) << 1 << true;
        QTest::newRow("mark the last one, No") << "x/a.mp3" << int(QMessageBox::No) << false << QColor(0, 0, 0) << 1
                                               << false;
        QTest::newRow("mark the last one, Yes") << "x/a.mp3" << int(QMessageBox::Yes) << true << QColor(0, 150, 255)
                                                << 1 << false;
    }

    // A mark lives in the engine's state word and its database row, and
    // comes back with the rows of the next look at the result.
    void marking()
    {
        QFETCH(QString, toggled);
        QFETCH(int, answer);
        QFETCH(bool, marked);
        QFETCH(QColor, color);
        QFETCH(int, enables);
        QFETCH(bool, byKey);
        Scan s;
        s.load(RUN_DUP_FILES, QString(), copies({"x/a.mp3", "y/a.mp3", "z/a.mp3"}), MF_TITLE);
        s.show();
        QSignalSpy enable(&s.page, &CDuplicate::SetRemoveEnable);
        QString asked;
        if (answer)
            OnModal([&asked, answer](QWidget* box) {
                asked = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))->text();
                static_cast<QMessageBox*>(box)->button(QMessageBox::StandardButton(answer))->click();
            });
        QTreeWidgetItem* row = s.song(m_music.filePath(toggled));
        s.toggle(row, byKey);
        QCOMPARE(asked, answer ? QStringLiteral("Are you sure you want to remove all files?") : QString());
        QCOMPARE(row->checkState(0) == Qt::Checked, marked);
        QCOMPARE(row->foreground(0).color(), color);
        QCoreApplication::sendPostedEvents();
        QCOMPARE(enable.count(), enables);
        QVERIFY(enable.constLast().at(0).toBool());
        QCOMPARE(bool(s.state(row) & MS_REMOVE), marked);
        const tagMMusicInfo* info = nullptr;
        s.link.GetMusicInfo(static_cast<CTreeItem*>(row)->GetID(), &info, INFO_NEW);
        QTRY_COMPARE_WITH_TIMEOUT(bool(mmtest::rowOf(g_strDBName, info->strPersistentID).state & MS_REMOVE), marked,
                                  kWaitMs);

        s.page.StopWorking();
        QCOMPARE(s.tree->topLevelItemCount(), 0);
        s.show();
        QCOMPARE(s.song(m_music.filePath(toggled))->checkState(0) == Qt::Checked, marked);
    }

    // The tree's menu: "Uncheck All" takes the groups out without touching
    // the songs' marks; "Uncheck selected" unmarks the songs themselves.
    void treeMenuChecks()
    {
        Scan s;
        s.load(RUN_DUP_FILES, QString(), copies({"x/a.mp3", "y/a.mp3"}), MF_TITLE);
        s.show();
        auto* tree = static_cast<CFailedTreeWidget*>(s.tree);
        QTreeWidgetItem* y = s.song(m_music.filePath("y/a.mp3"));
        tree->UnAllItem();
        QCOMPARE(tree->topLevelItem(0)->checkState(0), Qt::Unchecked);
        QCOMPARE(s.state(y), int(MS_REMOVE));
        y->setSelected(true);
        tree->UnSelectItem();
        QCOMPARE(y->checkState(0), Qt::Unchecked);
        QCOMPARE(s.state(y), 0);
    }

    void removeFollowsTheMarks_data()
    {
        QTest::addColumn<QStringList>("files");  // the first stays, the others are marked
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<bool>("enabled");
        const QStringList two = {"x/a.mp3", "y/a.mp3"};
        const QStringList three = {"x/a.mp3", "y/a.mp3", "z/a.mp3"};
        QTest::newRow("as scanned") << two << QStringList{} << true;
        QTest::newRow("the only marked copy cleared with the mouse") << two << QStringList{"click y"} << false;
        QTest::newRow("the only marked copy cleared with Space") << two << QStringList{"space y"} << false;
        QTest::newRow("cleared and ticked again") << two << QStringList{"click y", "click y"} << true;
        QTest::newRow("one of two marked copies cleared") << three << QStringList{"click y"} << true;
        QTest::newRow("both marked copies cleared") << three << QStringList{"click y", "click z"} << false;
        QTest::newRow("the group's box cleared") << two << QStringList{"click group"} << false;
        QTest::newRow("the group's box cleared and ticked") << two << QStringList{"click group", "click group"}
                                                            << true;
        QTest::newRow("Uncheck All") << two << QStringList{"Uncheck All"} << false;
        QTest::newRow("Uncheck All, Check All") << two << QStringList{"Uncheck All", "Check All"} << true;
        QTest::newRow("Uncheck selected") << three << QStringList{"select y z", "Uncheck selected"} << false;
        QTest::newRow("Uncheck selected, Check selected")
            << two << QStringList{"select y", "Uncheck selected", "Check selected"} << true;
        QTest::newRow("after the removal") << three << QStringList{"remove"} << false;
        QTest::newRow("after an undo") << two << QStringList{"remove", "undo y"} << true;
    }

    // Remove is on only while a press would move a song: one marked and
    // not removed yet, in a group whose box is ticked. It was never turned
    // off by a cleared mark, so a press removed nothing.
    void removeFollowsTheMarks()
    {
        QFETCH(QStringList, files);
        QFETCH(QStringList, steps);
        QFETCH(bool, enabled);
        const QStringList paths = copies(files);
        Scan s;
        s.load(RUN_DUP_FILES, QString(), paths, MF_TITLE);
        // The window's button, on as every duplicate page begins.
        bool removeEnabled = true;
        connect(&s.page, &CDuplicate::SetRemoveEnable, &s.page, [&](bool on) { removeEnabled = on; });
        s.show();
        auto* tree = static_cast<CFailedTreeWidget*>(s.tree);
        const auto song = [&](const QString& name) { return s.song(m_music.filePath(name + "/a.mp3")); };
        for (const QString& step : steps) {
            const QStringList words = step.split(QLatin1Char(' '));
            if (words[0] == QLatin1String("click"))
                widgetprobe::clickCheckBox(tree, words[1] == QLatin1String("group") ? tree->topLevelItem(0)
                                                                                   : song(words[1]));
            else if (words[0] == QLatin1String("space"))
                s.toggle(song(words[1]), true);
            else if (step == QLatin1String("Uncheck All"))
                tree->UnAllItem();
            else if (step == QLatin1String("Check All"))
                tree->AllItem();
            else if (step == QLatin1String("Uncheck selected"))
                tree->UnSelectItem();
            else if (step == QLatin1String("Check selected"))
                tree->SelectItem();
            else if (words[0] == QLatin1String("select")) {
                tree->clearSelection();
                for (const QString& name : words.mid(1))
                    song(name)->setSelected(true);
            } else if (step == QLatin1String("remove"))
                s.remove();
            else if (words[0] == QLatin1String("undo"))
                s.click(song(words[1]), kColUndo);
            else
                QFAIL(qPrintable(step));
            QCoreApplication::sendPostedEvents();
        }
        QCOMPARE(removeEnabled, enabled);
        // What Remove promises: a press moves a song, or none when it is off.
        const int before = trashFiles().size();
        s.remove();
        QCOMPARE(trashFiles().size() > before, enabled);
    }

    void removal_data()
    {
        QTest::addColumn<bool>("groupChecked");
        QTest::addColumn<QString>("missing");  // a marked copy whose file went meanwhile
        QTest::addColumn<QStringList>("trash");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<int>("score");
        QTest::addColumn<bool>("removeStaysEnabled");
        QTest::newRow("the marked copies go, numbered on a clash")
            << true << "" << QStringList{"a.mp3", "a1.mp3", "a2.mp3"}
            << QStringList{"3 duplicates: x/a.mp3 y/a.mp3*- z/a.mp3*-"} << 3 << false;
        QTest::newRow("a group with its box clear is skipped")
            << false << "" << QStringList{"a.mp3"} << QStringList{"3 duplicates: x/a.mp3 y/a.mp3* z/a.mp3*"} << 0
            << false;
        QTest::newRow("a failed copy keeps the group open")
            << true << "z/a.mp3" << QStringList{"a.mp3", "a1.mp3"}
            << QStringList{"3 duplicates: x/a.mp3 y/a.mp3*- z/a.mp3*"} << 1 << true;
    }

    // Exactly the marked copies of checked groups move into the trash
    // folder of the run's day; the score gives a group its last weight
    // only when the press brought it down to one song.
    void removal()
    {
        QFETCH(bool, groupChecked);
        QFETCH(QString, missing);
        QFETCH(QStringList, trash);
        QFETCH(QStringList, after);
        QFETCH(int, score);
        QFETCH(bool, removeStaysEnabled);
        const QStringList files = copies({"x/a.mp3", "y/a.mp3", "z/a.mp3"});
        Scan s;
        s.load(RUN_DUP_FILES, QString(), files, MF_TITLE);
        QVERIFY(testenv::writeAll(m_trashOfRun + "/a.mp3", "was here first"));
        s.show();
        if (!groupChecked)
            s.tree->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
        if (!missing.isEmpty())
            QVERIFY(QFile::remove(m_music.filePath(missing)));
        SignalRecorder scores(&s.page, &CDuplicate::AddFixMissNum);
        SignalRecorder texts(&s.page, &CDuplicate::StartFixAll);
        SignalRecorder enable(&s.page, &CDuplicate::SetRemoveEnable);
        s.remove();

        QCOMPARE(trashFiles(), trash);
        QCOMPARE(testenv::readAll(m_trashOfRun + "/a.mp3"), QByteArray("was here first"));
        QVERIFY(QFile::exists(files[0]));
        QCOMPARE(groups(s.tree, m_music.path()), after);
        QCOMPARE(sum(scores), score);
        const int removed = trash.size() - 1;
        QCOMPARE(texts.count(), 1);
        QCOMPARE(texts[0][0].toString(), QStringLiteral("Removed %1 duplicate(s). If not sure to remove, you can undo "
                                                        "the removal.")
                                             .arg(removed));
        QCOMPARE(enable.count(), 1);
        QCOMPARE(enable[0][0].toBool(), removeStaysEnabled);
        QTreeWidgetItem* gone = s.song(files[1]);
        QCOMPARE(bool(s.state(gone) & MS_REMOVED), groupChecked);
        QCOMPARE(gone->icon(kColUndo).isNull(), !groupChecked);

        // A second press removes nothing more and gives no weight again.
        scores.clear();
        s.remove();
        QCOMPARE(trashFiles(), trash);
        QCOMPARE(sum(scores), 0);

        // Reopened, the removed rows come grey, and the score takes back
        // what they resolved.
        s.page.StopWorking();
        scores.clear();
        s.show();
        QCOMPARE(groups(s.tree, m_music.path()), after);
        QCOMPARE(sum(scores), score);
    }

    void pauseThenGoOnOrStop_data()
    {
        QTest::addColumn<bool>("stop");
        QTest::newRow("continue") << false;
        QTest::newRow("stop") << true;
    }

    // A pause holds the walk before the next song; Continue goes on with
    // that song, a stop commits what went and ends without a status.
    void pauseThenGoOnOrStop()
    {
        QFETCH(bool, stop);
        const QStringList files = copies({"w/a.mp3", "x/a.mp3", "y/a.mp3", "z/a.mp3"});
        Scan s;
        s.load(RUN_DUP_FILES, QString(), files, MF_TITLE);
        s.show();
        SignalRecorder texts(&s.page, &CDuplicate::StartFixAll);
        connect(&s.page, &CDuplicate::AddFixMissNum, &s.page, [&s] { s.page.AppleyCondition(CTL_PAUSE, true); },
                Qt::DirectConnection);
        s.page.PrepareRemove();
        QThread* apply = QThread::create([&s] { s.page.RemoveDuplicate(); });
        apply->start();
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(files[1]), kWaitMs);
        QTest::qWait(100);
        QVERIFY(QFile::exists(files[2]) && QFile::exists(files[3]));
        QVERIFY(apply->isRunning());
        disconnect(&s.page, &CDuplicate::AddFixMissNum, &s.page, nullptr);
        if (stop)
            s.page.m_bExit = true;
        s.page.AppleyCondition(CTL_RUN, true);
        QVERIFY(apply->wait(kWaitMs));
        delete apply;
        QCoreApplication::sendPostedEvents();
        QCOMPARE(trashFiles().size(), stop ? 1 : 3);
        QCOMPARE(texts.count(), stop ? 0 : 1);
        if (!stop)
            return;
        // The stop holds until the page stops too.
        s.remove();
        QCOMPARE(trashFiles().size(), 1);
        s.page.StopWorking();
        QVERIFY(!s.page.m_bExit);
    }

    // A Pause that came after the previous removal's last song had gone
    // was never answered; the next removal runs all the same.
    void aLatePauseHoldsNoNewRemoval()
    {
        const QStringList files = copies({"x/a.mp3", "y/a.mp3"});
        Scan s;
        s.load(RUN_DUP_FILES, QString(), files, MF_TITLE);
        s.show();
        s.page.AppleyCondition(CTL_PAUSE, true);
        s.page.PrepareRemove();
        QThread* apply = QThread::create([&s] { s.page.RemoveDuplicate(); });
        apply->start();
        const bool ended = apply->wait(kWaitMs);
        if (!ended) {
            s.page.AppleyCondition(CTL_RUN, true);
            apply->wait();
        }
        delete apply;
        QVERIFY(ended);
        QCOMPARE(trashFiles(), QStringList{"a.mp3"});
    }

    void removingEverySong_data()
    {
        QTest::addColumn<bool>("keptGoesLater");
        QTest::newRow("every song marked for one press") << false;
        QTest::newRow("the kept song in a later press") << true;
    }

    // A group that loses every song gives back one weight per song and no
    // bonus for a last song, also when that song goes in a later press;
    // undoing one of them leaves the score as it is.
    void removingEverySong()
    {
        QFETCH(bool, keptGoesLater);
        const QStringList files = copies({"x/a.mp3", "y/a.mp3", "z/a.mp3"});
        Scan s;
        s.load(RUN_DUP_FILES, QString(), files, MF_TITLE);
        s.show();
        SignalRecorder scores(&s.page, &CDuplicate::AddFixMissNum);
        const auto markKept = [&] {
            OnModal([](QWidget* box) { static_cast<QMessageBox*>(box)->button(QMessageBox::Yes)->click(); });
            s.toggle(s.song(files[0]));
            QCOMPARE(s.state(s.song(files[0])), int(MS_REMOVE));
        };
        if (!keptGoesLater)
            markKept();
        s.remove();
        if (keptGoesLater) {
            QCOMPARE(sum(scores), 3);
            markKept();
            s.remove();
        }
        QCOMPARE(sum(scores), 3);
        QCOMPARE(groups(s.tree, m_music.path()), QStringList{"3 duplicates: x/a.mp3*- y/a.mp3*- z/a.mp3*-"});
        QCOMPARE(trashFiles(), (QStringList{"a.mp3", "a1.mp3", "a2.mp3"}));

        s.page.StopWorking();
        scores.clear();
        s.show();
        QCOMPARE(sum(scores), 3);
        scores.clear();
        s.click(s.song(files[0]), kColUndo);
        QVERIFY(QFile::exists(files[0]));
        QCOMPARE(sum(scores), 0);
    }

    // A click on a removed row's undo icon brings the file back; a group
    // whose other copies stay removed gives back two weights.
    void undoInFiles()
    {
        const QStringList files = copies({"x/a.mp3", "y/a.mp3", "z/a.mp3"});
        Scan s;
        s.load(RUN_DUP_FILES, QString(), files, MF_TITLE);
        s.show();
        s.remove();
        QSignalSpy scores(&s.page, &CDuplicate::AddFixMissNum);
        CTreeItem* y = s.song(files[1]);
        s.click(y, kColUndo);
        QVERIFY(QFile::exists(files[1]));
        QCOMPARE(groups(s.tree, m_music.path()), QStringList{"3 duplicates: x/a.mp3 y/a.mp3* z/a.mp3*-"});
        QCOMPARE(y->foreground(0).color(), QColor(0, 150, 255));
        QCOMPARE(s.state(y), int(MS_REMOVE));
        QCOMPARE(sum(scores), -2);

        // Without its copy in the trash the undo fails and says so.
        QVERIFY(QFile::remove(m_trashOfRun + "/a1.mp3"));
        QString shown;
        OnModal([&shown](QWidget* box) {
            shown = box->windowTitle() + "|" + box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))->text();
            box->close();
        });
        s.click(s.song(files[2]), kColUndo);
        QCOMPARE(shown, QStringLiteral("Restore music failed|Undo remove failed. No remove history found in the "
                                       "Zorva_Trash."));
        QVERIFY(!(s.song(files[2])->flags() & Qt::ItemIsEnabled));
        QCOMPARE(sum(scores), -2);
    }

    // In the library the restored track is added again under a new ID, and
    // the library file itself holds it when the undo has ended. A library
    // file that cannot take it says so; the change waits in its journal
    // and reaches the file when the library is opened again.
    void undoInTheLibrary_data()
    {
        QTest::addColumn<bool>("noRoom");
        QTest::newRow("library file written") << false;
        QTest::newRow("no room for the library file") << true;
    }

    void undoInTheLibrary()
    {
        QFETCH(bool, noRoom);
        const QStringList files = copies({"x/a.mp3", "y/a.mp3"});
        QList<libraryxml::Track> tracks;
        // Streams the scan passes over make the library file larger than
        // a song: a limit under its size still lets a song move.
        for (int i = 0; i < 2 + 1500; ++i) {
            libraryxml::Track t;
            t.trackId = i + 1;
            t.persistentId = libraryxml::persistentId(quint64(i));
            t.name = i < 2 ? QStringLiteral("Same") : QStringLiteral("Stream %1").arg(i);
            t.totalTime = 5000;
            t.bitRate = 64;
            if (i < 2)
                t.location = libraryxml::fileUrl(files[i]);
            tracks << t;
        }
        const QString xml = m_music.filePath("Library.xml");
        QVERIFY(libraryxml::write(xml, tracks));
        Scan s;
        s.load(RUN_DUP_ITUNES, xml, {}, MF_TITLE);
        s.show();
        s.remove();
        QVERIFY(!QFile::exists(files[1]));
        QVERIFY(!libraryxml::read(xml).contains(libraryxml::persistentId(1)));
        CTreeItem* y = s.song(files[1]);
        const QString oldId = y->GetPersistentID();
        QSignalSpy told(&s.page, &CDuplicate::StartFixAll);
        if (noRoom)
            filesizelimit::set(QFileInfo(xml).size());
        s.click(y, kColUndo);
        filesizelimit::set(-1);
        QVERIFY(QFile::exists(files[1]));
        QVERIFY(!y->GetPersistentID().isEmpty() && y->GetPersistentID() != oldId);
        const QString newId = y->GetPersistentID();
        QCOMPARE(libraryxml::read(xml).contains(newId), !noRoom);
        QCOMPARE(told.count(), noRoom ? 1 : 0);
        if (noRoom)
            QCOMPARE(told.at(0).at(0).toString(), QStringLiteral("The library file could not be updated. The changes "
                                                                 "are kept and will be written at the next start."));
        s.page.StopWorking();
        s.load(RUN_ITUNES, xml, {}, -1);
        QStringList library;
        for (int i = 0; i < s.link.GetMusicCountAMode(nullptr, nullptr); ++i) {
            void* track = nullptr;
            int absence = 0, state = 0;
            long long repeat = 0;
            const tagMMusicInfo* info = nullptr;
            s.link.GetMusicListMusic(i, &track, absence, state, repeat);
            s.link.GetMusicInfo(track, &info, INFO_NEW);
            library << info->strPersistentID + " " + info->strLocation;
        }
        QStringList expected{"A000000000000000 " + files[0], newId + " " + files[1]};
        library.sort();
        expected.sort();
        QCOMPARE(library, expected);
    }

    // A preview that cannot start says so; the reveal icon shows the file,
    // the history button the trash folder of the run's day.
    void previewAndReveal()
    {
        const QStringList files = copies({"x/a.mp3", "y/a.mp3"});
        Scan s;
        s.load(RUN_DUP_FILES, QString(), files, MF_TITLE);
        s.show();
        QStringList revealed;
        desktop::setRevealBackend({[&revealed](const QStringList& uris) {
                                       revealed << uris;
                                       return true;
                                   },
                                   nullptr});
        CTreeItem* y = s.song(files[1]);
        s.click(y, kColReveal);
        QCOMPARE(revealed, QStringList{QUrl::fromLocalFile(files[1]).toString(QUrl::FullyEncoded)});
        s.page.OpenTrash();
        QCOMPARE(revealed.last(), QUrl::fromLocalFile(m_trashOfRun).toString(QUrl::FullyEncoded));
        QVERIFY(QFileInfo(m_trashOfRun).isDir());
        desktop::setRevealBackend({});

        QVERIFY(QFile::remove(files[1]));
        QString shown;
        OnModal([&shown](QWidget* box) {
            shown = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))->text();
            box->close();
        });
        s.click(y, 5);
        QCOMPARE(shown, QStringLiteral("Playback failure!"));
        QVERIFY(y->icon(5).isNull());
    }

    // Every control, list and page a user or a screen reader meets has a name.
    void everythingHasANameToBeReadOut()
    {
        CDuplicate page(nullptr, nullptr);
        CHistoryOptWidget history(&page);
        CWarnMessage box(&page, QString(), "Text", 3, "One", "Two", "Three", 5);
        page.show();
        QStringList unnamed;
        for (QWidget* root : {static_cast<QWidget*>(&page), static_cast<QWidget*>(&history),
                              static_cast<QWidget*>(&box)})
            unnamed << accessnames::unnamedControls(root, {QStringLiteral("DuplicateOptions")});
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(", ")));
    }

    void clearingHistory_data()
    {
        QTest::addColumn<int>("days");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<int>("asked");
        QTest::addColumn<QStringList>("left");
        QTest::addColumn<QStringList>("logged");
        const QStringList all = {".hidden", "2012-13-45", "2024-06-05", "2024-06-06", "2024-06-07", "2024-06-08",
                                 "2024-06-15", "foo"};
        QTest::newRow("older than 7 days go after one question")
            << 7 << false << 1 << QStringList{".hidden", "2012-13-45", "2024-06-05", "2024-06-06", "2024-06-08",
                                              "2024-06-15", "foo"}
            << QStringList{"Delete Trash path Failed:%1/2024-06-06"};
        QTest::newRow("Cancel stops at the first old folder")
            << 7 << true << 1 << QStringList(all) << QStringList{"User Cancel Clear Trash!"};
        QTest::newRow("nothing old: no question") << 30 << false << 0 << QStringList(all) << QStringList{};
    }

    // The walk over a trash folder whose day is 2024-06-15: plain files go
    // without a question, old day folders after one; a link named for an
    // old day is never followed.
    void clearingHistory()
    {
        QFETCH(int, days);
        QFETCH(bool, cancel);
        QFETCH(int, asked);
        QFETCH(QStringList, left);
        QFETCH(QStringList, logged);
        QTemporaryDir root;
        const QString trash = root.filePath("trash");
        for (const char* day : {"2012-13-45", "foo", "2024-06-06/inside", "2024-06-07", "2024-06-08", "2024-06-15"})
            QVERIFY(QDir().mkpath(trash + "/" + day));
        for (const char* name : {"0-loose.mp3", "zz.mp3", ".hidden", "2024-06-06/a.mp3", "2024-06-07/a.mp3",
                                 "2024-06-07/.b", "2024-06-08/a.mp3", "2024-06-15/a.mp3", "foo/a.mp3"})
            QVERIFY(testenv::writeAll(trash + "/" + name, "x"));
        QVERIFY(QDir().mkpath(root.filePath("outside")));
        QVERIFY(testenv::writeAll(root.filePath("outside/precious.mp3"), "keep"));
        QVERIFY(QFile::link(root.filePath("outside"), trash + "/2024-06-05"));
        const int logBefore = uiLog().size();

        CClearTrashThread thread(nullptr);
        int questions = 0;
        connect(&thread, &CClearTrashThread::AskClearTrash, &thread, [&](int seconds) {
            QCOMPARE(seconds, 10);
            ++questions;
            thread.AnswerClearTrash(cancel);
        }, Qt::DirectConnection);
        thread.StartClearing(trash, days, QDate(2024, 6, 15));
        QVERIFY(thread.wait(kWaitMs));
        QCOMPARE(questions, asked);
        QStringList seen = QDir(trash).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
        seen.removeAll("zz.mp3");
        QCOMPARE(seen, left);
        QCOMPARE(QFile::exists(trash + "/zz.mp3"), cancel);
        QVERIFY(!QFile::exists(trash + "/0-loose.mp3"));
        QCOMPARE(testenv::readAll(root.filePath("outside/precious.mp3")), QByteArray("keep"));
        QCOMPARE(QFile::exists(trash + "/2024-06-06/a.mp3"), cancel || days == 30);
        const QString log = uiLog().mid(logBefore);
        for (const QString& line : logged)
            QVERIFY2(log.contains(line.arg(trash)), qPrintable(log));
    }

    // Through the page: the question is the countdown box, Cancel stops;
    // the walk runs once per program run.
    void clearingAsksWithTheCountdownBox()
    {
        const QString trash = CConfig::instance()->GetTrashPath();
        const QString old = trash + "/" + QDate::currentDate().addDays(-30).toString("yyyy-MM-dd");
        QVERIFY(QDir().mkpath(old));
        CConfig::instance()->ClearDays = 7;
        CDuplicate page(nullptr, nullptr);
        QString text, first;
        OnModal([&](QWidget* box) {
            text = box->findChildren<QLabel*>().last()->text();
            first = box->findChildren<QPushButton*>().first()->text();
            for (QPushButton* button : box->findChildren<QPushButton*>())
                if (button->text() == "Cancel")
                    button->click();
        });
        SignalRecorder asked(page.findChild<CClearTrashThread*>(), &CClearTrashThread::AskClearTrash);
        page.ClearTrash();
        QTRY_VERIFY_WITH_TIMEOUT(page.findChild<CClearTrashThread*>()->isFinished(), kWaitMs);
        QCOMPARE(text, QStringLiteral("Vessolin will clear the duplicates removal\nhistory that exists over 7 day(s) "
                                      "in 10 seconds."));
        QCOMPARE(first, QStringLiteral("Sure(10)"));
        QVERIFY(QFileInfo(old).isDir());
        QVERIFY(testenv::writeAll(trash + "/loose.mp3", "x"));
        page.ClearTrash();
        QCoreApplication::processEvents();
        QVERIFY(QFile::exists(trash + "/loose.mp3"));
        QCOMPARE(asked.count(), 1);
        QDir(old).removeRecursively();
        QFile::remove(trash + "/loose.mp3");
    }
};

QTEST_MAIN(TestDuplicatePage)
#include "tst_duplicatepage.moc"
