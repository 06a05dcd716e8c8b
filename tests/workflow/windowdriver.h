// Driving the real main window in the workflow tests: its widgets by
// object name, modal boxes and file panels answered as they come up,
// gates that hold an engine or worker thread where a test needs it, and
// generated music folders and libraries.
#pragma once

#include "cadenzo.h"
#include "common.h"
#include "config.h"
#include "libraryxml.h"
#include "modalwatch.h"
#include "musiclink.h"
#include "testenv.h"
#include "treeobj/treeobj.h"
#include "vessolin/mainui.h"

#include <QDeadlineTimer>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMutex>
#include <QPushButton>
#include <QSemaphore>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QWaitCondition>

#include <atomic>
#include <functional>
#include <memory>

namespace driver {

constexpr int kWaitMs = 120000;

// A file panel answered with path (accepted) or cancelled for an empty one,
// as a user who has already agreed to replace an existing file. A panel is
// counted once; one that is still open a moment later (its model was not
// ready) is answered again.
inline bool AnswerFileDialog(QWidget* modal, const QString& path)
{
    auto* files = qobject_cast<QFileDialog*>(modal);
    if (!files)
        return false;
    const int ticks = files->property("ticks").toInt();
    files->setProperty("ticks", ticks + 1);
    if (ticks > 0 && ticks % 20 != 0)
        return false;
    if (path.isEmpty()) {
        QMetaObject::invokeMethod(files, "reject", Qt::QueuedConnection);
    } else {
        files->setOption(QFileDialog::DontConfirmOverwrite, true);
        files->selectFile(path);
        // An existing file the panel's model has not listed yet is not
        // selected by name: the name field takes the whole path.
        if (auto* name = files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
            name->setText(path);
        QMetaObject::invokeMethod(files, "accept", Qt::QueuedConnection);
    }
    return ticks == 0;
}

// The files-and-folders panel: shows folder and selects the entries named,
// then presses Open. False until the panel's model knows them all.
inline bool AnswerFilesAndFolders(QWidget* modal, const QString& folder, const QStringList& names)
{
    auto* dialog = qobject_cast<QDialog*>(modal);
    auto* view = dialog ? dialog->findChild<QTreeView*>() : nullptr;
    auto* model = view ? qobject_cast<QFileSystemModel*>(view->model()) : nullptr;
    auto* buttons = dialog ? dialog->findChild<QDialogButtonBox*>() : nullptr;
    if (!model || !buttons || qobject_cast<QFileDialog*>(modal))
        return false;
    if (model->rootPath() != folder)
        view->setRootIndex(model->setRootPath(folder));
    QModelIndexList rows;
    for (const QString& name : names) {
        const QModelIndex index = model->index(folder + QLatin1Char('/') + name);
        if (!index.isValid())
            return false;
        rows << index;
    }
    view->selectionModel()->clearSelection();
    for (const QModelIndex& index : rows)
        view->selectionModel()->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    buttons->button(QDialogButtonBox::Open)->click();
    return true;
}

// Holds the thread that passes through Pass() the first time after Arm()
// until Release(); a gate going out of scope lets everything through.
class Gate
{
public:
    ~Gate() { Release(); }
    void Arm(int passes = 0) { m_skip = passes; m_armed = true; }
    // On the held thread.
    void Pass()
    {
        if (!m_armed || m_skip.fetch_sub(1) > 0)
            return;
        m_armed = false;
        m_reached = true;
        m_sem.acquire();
    }
    bool Reached() const { return m_reached; }
    void Release()
    {
        m_armed = false;
        m_sem.release(1000);
    }

private:
    QSemaphore m_sem;
    std::atomic<bool> m_armed{false};
    std::atomic<bool> m_reached{false};
    std::atomic<int> m_skip{0};
};

// Holds one kind of the bridge's disk work (a song's write or move, the
// end of a transaction with its library rewrite) on the worker thread that
// reaches it the first time after Arm(), as a hung disk would, until
// Release(). On the GUI thread it never holds, which would only hang the
// test, but says so. A hold that lasts kHoldMs gives up and says so too:
// then something waited for it, the GUI thread in the tests here.
class DiskHold
{
public:
    static constexpr int kHoldMs = 30000;

    DiskHold(CMusicLink* link, CMusicLink::EDiskWork work) : m_state(std::make_shared<State>())
    {
        // The bridge keeps the hook, and with it the state, past this
        // hold: a worker released by the destructor may still be on its
        // way out of it.
        link->SetDiskWorkHook([state = m_state, work](CMusicLink::EDiskWork reached) {
            if (reached == work)
                state->Pass();
        });
    }
    ~DiskHold() { Release(); }
    DiskHold(const DiskHold&) = delete;
    DiskHold& operator=(const DiskHold&) = delete;

    // Holds the passes+1-th time the work is reached from now on.
    void Arm(int passes = 0)
    {
        QMutexLocker lock(&m_state->mutex);
        m_state->skip = passes;
        m_state->armed = true;
        m_state->reached = false;
    }
    void Release()
    {
        QMutexLocker lock(&m_state->mutex);
        m_state->armed = false;
        m_state->holding = false;
        m_state->released.wakeAll();
    }
    // A worker waits in the hold, or did.
    bool Reached() const { return m_state->Read(&State::reached); }
    bool OnGuiThread() const { return m_state->Read(&State::onGuiThread); }
    bool GaveUp() const { return m_state->Read(&State::gaveUp); }
    // How often the work was reached, held or not.
    int Count() const { return m_state->Read(&State::count); }
    // Waits until a worker is held; empty then, else what went wrong.
    QString HeldOnAWorker() const
    {
        if (!QTest::qWaitFor([this] { return Reached() || OnGuiThread(); }, kWaitMs))
            return QStringLiteral("no worker reached the disk work");
        if (OnGuiThread())
            return QStringLiteral("the GUI thread did the disk work");
        if (GaveUp())
            return QStringLiteral("the GUI thread waited for the disk work");
        return QString();
    }

private:
    struct State {
        QMutex mutex;
        QWaitCondition released;
        // All under mutex.
        bool armed = false, holding = false, reached = false, onGuiThread = false, gaveUp = false;
        int skip = 0, count = 0;

        template <typename T>
        T Read(T State::*field)
        {
            QMutexLocker lock(&mutex);
            return this->*field;
        }

        void Pass()
        {
            QMutexLocker lock(&mutex);
            ++count;
            if (QThread::currentThread() == QCoreApplication::instance()->thread()) {
                onGuiThread = true;
                return;
            }
            if (!armed || skip-- > 0)
                return;
            armed = false;
            holding = true;
            reached = true;
            QDeadlineTimer deadline(kHoldMs);
            while (holding && released.wait(&mutex, deadline)) {
            }
            gaveUp = gaveUp || holding;
            holding = false;
        }
    };
    std::shared_ptr<State> m_state;
};

// Holds the engine's load thread in gate at each record it sends, or its
// analysis at its last progress record; context ends the hold.
inline void GateLoadRecords(CMusicLink* link, Gate& gate, QObject* context)
{
    QObject::connect(link, &CMusicLink::SendLoadMusic, context, [&gate](void*, int, QString) { gate.Pass(); },
                     Qt::DirectConnection);
}

inline void GateAnalysisEnd(CMusicLink* link, Gate& gate, QObject* context)
{
    QObject::connect(link, &CMusicLink::UpdateProcess, context, [&gate](int progress) {
        if (progress >= PROGRESS_FULL)
            gate.Pass();
    }, Qt::DirectConnection);
}

template <typename T>
T* Named(CMainUI& window, const char* name)
{
    return window.findChild<T*>(QLatin1String(name));
}

inline QString StatusText(CMainUI& window) { return Named<QLabel>(window, "MainUIFixing")->text(); }
inline QString ScoreText(CMainUI& window) { return Named<QLabel>(window, "MainUIScoreOEM")->text(); }
inline QString TipText(CMainUI& window) { return Named<QLabel>(window, "MainUIScroll")->text(); }
inline int PageIndex(CMainUI& window) { return Named<QStackedWidget>(window, "MainUIPages")->currentIndex(); }
inline int ButtonPage(CMainUI& window) { return Named<QStackedWidget>(window, "MainUIButtons")->currentIndex(); }
inline int HeaderPage(CMainUI& window) { return Named<QStackedWidget>(window, "MainUIHeader")->currentIndex(); }
inline QPushButton* Button(CMainUI& window, const char* name) { return Named<QPushButton>(window, name); }

// Whether Tab, pressed as a keyboard user would, ever puts the focus on a
// widget inside area. The window is made active first.
inline bool TabReaches(CMainUI& window, QWidget* area)
{
    for (int press = 0; press < 20; ++press) {
        QWidget* focus = QApplication::focusWidget();
        QTest::keyClick(focus ? focus : &window, Qt::Key_Tab);
        focus = QApplication::focusWidget();
        if (focus && area->isAncestorOf(focus))
            return true;
    }
    return false;
}

// The window while a disk step or Home's stop runs on a worker: its event
// loop turns, the busy overlay covers the pages, the keyboard reaches
// neither the pages nor their shortcuts (Ctrl+O opens no chooser) and
// Preferences waits. Empty when so; else what is not.
inline bool EventLoopTurns(CMainUI& window)
{
    bool turned = false;
    QTimer::singleShot(0, &window, [&] { turned = true; });
    return QTest::qWaitFor([&] { return turned; }, kWaitMs);
}

inline QString WaitsAsAWhole(CMainUI& window)
{
    if (!EventLoopTurns(window))
        return QStringLiteral("the event loop did not turn");
    auto* busy = window.findChild<CAnalyWidget*>();
    auto* pages = Named<QStackedWidget>(window, "MainUIPages");
    if (busy && !busy->isVisible())
        return QStringLiteral("no busy overlay");
    window.activateWindow();
    if (!QTest::qWaitForWindowActive(&window))
        return QStringLiteral("the window is not active");
    if (TabReaches(window, pages))
        return QStringLiteral("Tab reached the masked page");
    int chooser = 0;
    {
        ModalWatch count([&](QWidget* modal) {
            ++chooser;
            QMetaObject::invokeMethod(modal, "reject", Qt::QueuedConnection);
            return true;
        });
        // A chooser would run its own event loop inside the press.
        QTest::keyClick(&window, Qt::Key_O, Qt::ControlModifier);
    }
    if (chooser > 0)
        return QStringLiteral("Ctrl+O opened the chooser");
    if (MenuAction(window, QStringLiteral("Preferences"))->isEnabled())
        return QStringLiteral("Preferences enabled");
    return QString();
}


inline bool IsFinished(const CMainUI& window, int stage)
{
    return window.State().iState == stage && window.State().iSubState == SUB_FINISHED;
}

// Waits until the workflow stands at stage and sub (by default, ended),
// with the disk work its arrival began (a failed load's database) done.
inline bool WaitForStage(const CMainUI& window, int stage, int sub = SUB_FINISHED)
{
    return QTest::qWaitFor([&] {
        return window.State().iState == stage && window.State().iSubState == sub && !window.State().bDiskStep;
    }, kWaitMs);
}

// Waits until no disk step of the window's own runs on the apply thread
// and what it began after (a message box, the next page) has been done.
inline bool WaitForDiskStep(const CMainUI& window)
{
    return QTest::qWaitFor([&] { return !window.State().bDiskStep; }, kWaitMs);
}

// Waits until the window stands idle (the start screen), neither Home nor
// a disk step of its own under way.
inline bool WaitForIdle(const CMainUI& window)
{
    return QTest::qWaitFor([&] {
        return window.State().iState == MW_IDLE && !window.State().bGoingHome && !window.State().bDiskStep;
    }, kWaitMs);
}

// Waits for the report or duplicate results at the end of the analysis.
inline bool WaitForReport(const CMainUI& window) { return WaitForStage(window, MW_ANALYSING); }

inline int EngineTrackCount(CMainUI& window, int* highest = nullptr)
{
    int total = 0;
    const int count = window.MusicLink()->GetMusicCountAMode(&total, nullptr);
    if (highest)
        *highest = total;
    return count;
}

// Copies fixtures under root: each pair is (relative target, fixture).
inline bool MakeMusicFolder(const QString& root, const QList<QPair<QString, QString>>& files)
{
    for (const auto& file : files) {
        const QString target = root + QLatin1Char('/') + file.first;
        QDir().mkpath(QFileInfo(target).absolutePath());
        QFile::remove(target);
        if (!QFile::copy(testenv::fixture(file.second), target))
            return false;
        QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    return true;
}

// A library file of count tracks over the given music files in turn; every
// track lacks its artist, so each has one problem (and artwork, as the
// files have none of their own).
inline bool MakeLibrary(const QString& xml, const QStringList& files, int count)
{
    QList<libraryxml::Track> tracks;
    for (int i = 0; i < count; ++i) {
        const QString& file = files.at(i % files.size());
        libraryxml::Track t;
        t.trackId = i + 1;
        t.persistentId = libraryxml::persistentId(quint64(i));
        t.name = QStringLiteral("Song %1").arg(i);
        t.album = QStringLiteral("Album %1").arg(i % 50);
        t.genre = QStringLiteral("Jazz");
        t.year = 1990;
        t.size = QFileInfo(file).size();
        t.totalTime = 5000;
        t.bitRate = 64;
        t.location = libraryxml::fileUrl(file);
        tracks << t;
    }
    return libraryxml::write(xml, tracks);
}

// Drops everything a test left in the data folder that would make the next
// window ask about an interrupted run.
inline void ForgetWorkingDatabase()
{
    CConfig::instance();
    QFile::remove(g_strDBName);
    QFile::remove(g_strDBName + QStringLiteral("-journal"));
}

} // namespace driver
