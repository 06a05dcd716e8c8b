// The platform helpers: folders, caller buffers, bundle information, the
// system version, revealing a file, the file panels with the file and
// folder chooser and its places, and the instance lock.
#include "accessnames.h"
#include "appInfo.h"
#include "appenv.h"
#include "appguide.h"
#include "chooserkeys.h"
#include "desktop.h"
#include "filefolderdialog.h"
#include "instancelock.h"
#include "places.h"
#include "platformbase.h"
#include "testenv.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMutex>
#include <QProcess>
#include <QPushButton>
#include <QSemaphore>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QTreeView>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

namespace {

constexpr char kCanary = '#';

// What the test saw of the panel it closed.
struct PanelSeen {
    bool shown = false;
    Qt::WindowModality modality = Qt::NonModal;
    QString folder;
};

QString folderOf(QDialog* dialog)
{
    if (auto* files = qobject_cast<QFileDialog*>(dialog))
        return files->directory().absolutePath();
    if (auto* both = qobject_cast<desktop::FileFolderDialog*>(dialog))
        return both->folder();
    return QString();
}

// Runs act on the modal dialog once the panel's own event loop turns.
void onPanel(PanelSeen* seen, std::function<void(QDialog*)> act, int attempts = 100)
{
    QTimer::singleShot(0, [=] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog) {
            if (attempts > 0)
                onPanel(seen, act, attempts - 1);
            return;
        }
        seen->shown = true;
        seen->modality = dialog->windowModality();
        seen->folder = folderOf(dialog);
        act(dialog);
    });
}

void rejectPanel(PanelSeen* seen, int attempts = 100)
{
    onPanel(seen, [](QDialog* dialog) { dialog->reject(); }, attempts);
}

const ushort* utf16(const QString& text)
{
    return text.utf16();
}

// A machine on which one network mount never answers (/mnt/nas): its
// question blocks until the test ends. What was asked and what the
// listing logged are kept.
class HungMount
{
public:
    HungMount()
    {
        SetPlatformLog(&HungMount::log);
        lines().clear();
    }
    ~HungMount()
    {
        SetPlatformLog(nullptr);
        // The blocked question may end now; nothing waits for it.
        m_state->release.release(1000);
        m_state->late.release(1000);
    }
    HungMount(const HungMount&) = delete;
    HungMount& operator=(const HungMount&) = delete;

    // late: a mount that answers once LetLateAnswer() was called.
    desktop::MountSource source(const QByteArray& table, const QStringList& notReady, const QString& late = {},
                                int deadlineMs = 3000) const
    {
        desktop::MountSource source;
        source.table = [table] { return table; };
        source.answers = [state = m_state, notReady, late](const QString& root) {
            {
                QMutexLocker lock(&state->mutex);
                state->asked << root;
            }
            if (root == QLatin1String("/mnt/nas"))
                state->release.acquire();
            if (root == late)
                state->late.acquire();
            return !notReady.contains(root);
        };
        source.deadlineMs = deadlineMs;
        return source;
    }
    void LetLateAnswer() { m_state->late.release(); }
    QStringList asked() const
    {
        QMutexLocker lock(&m_state->mutex);
        QStringList roots = m_state->asked;
        roots.sort();
        return roots;
    }
    static QStringList logged()
    {
        QMutexLocker lock(&linesMutex());
        return lines();
    }

private:
    struct State {
        QMutex mutex;
        QStringList asked;  // under mutex
        QSemaphore release, late;
    };
    static QMutex& linesMutex()
    {
        static QMutex mutex;
        return mutex;
    }
    static QStringList& lines()
    {
        static QStringList logged;
        return logged;
    }
    static void log(const QString& line)
    {
        QMutexLocker lock(&linesMutex());
        lines() << line;
    }

    std::shared_ptr<State> m_state = std::make_shared<State>();
};

enum Panel { OpenMany, OpenOne, SaveWithType, SaveProject, Subtitle, SaveFolder, OneFolder };

// Runs one panel and returns its result as a list (empty when cancelled).
QStringList runPanel(Panel panel, const QString& start)
{
    const ushort* folder = start.isEmpty() ? nullptr : utf16(start);
    const int length = int(start.size());
    switch (panel) {
    case OpenMany: {
        std::vector<QString> chosen = {QStringLiteral("left over"), QStringLiteral("from before")};
        GetOpenFileNamesFun(folder, length, chosen);
        return QStringList(chosen.begin(), chosen.end());
    }
    case OpenOne: return QStringList{GetOpenFileNameFun(folder, length, "zorvadata")};
    case SaveWithType: return QStringList{GetSaveFileFunWithType(folder, length, "zorvadata")};
    case SaveProject: return QStringList{GetSaveFileFun(folder, length)};
    case Subtitle: return QStringList{GetSubtitleFileFun(folder, length)};
    case SaveFolder: return QStringList{GetSaveFolderFun(folder, length)};
    case OneFolder: return QStringList{GetOpenFilesCompetence(folder, length)};
    }
    return {};
}

// A message bus of the test's own, so the file manager on it is the test's
// and nothing reaches the user's desktop.
class PrivateBus
{
public:
    PrivateBus()
    {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty() || !m_dir.isValid())
            return;
        const QString config = m_dir.filePath(QStringLiteral("bus.conf"));
        testenv::writeAll(config, "<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen>"
                                  "<auth>EXTERNAL</auth><policy context=\"default\"><allow send_destination=\"*\"/>"
                                  "<allow receive_sender=\"*\"/><allow own=\"*\"/></policy></busconfig>");
        m_daemon.start(daemon, {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                                QStringLiteral("--nopidfile"), QStringLiteral("--print-address")});
        while (!m_daemon.canReadLine() && m_daemon.waitForReadyRead(60000)) {
        }
        m_address = QString::fromUtf8(m_daemon.readLine().trimmed());
    }
    ~PrivateBus()
    {
        m_daemon.terminate();
        m_daemon.waitForFinished(60000);
    }
    QString address() const { return m_address; }

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
};

// A folder outside the Music folder (a space and an accented letter in its
// name) with what a chooser meets: folders, songs of the allowed types in
// either case, a file of another type, and hidden ones of both kinds.
struct SongTree
{
    QTemporaryDir dir{appenv::env("HOME") + QStringLiteral("/Elsewhere Ä-XXXXXX")};

    QString path(const QString& relative) const
    {
        return QDir::cleanPath(dir.path() + QLatin1Char('/') + relative);
    }

    bool make() const
    {
        for (const char* folder : {"Albums/Inner", "Zed", ".Hidden"})
            if (!QDir().mkpath(path(QLatin1String(folder))))
                return false;
        for (const char* file : {"a.mp3", "b.m4a", "c.MP3", "notes.txt", ".secret.mp3", "Albums/x.mp3"})
            if (!testenv::writeAll(path(QLatin1String(file)), "ID3"))
                return false;
        return true;
    }
};

// Paths in test tables: "~" stands for HOME, "." for the tree, anything
// else lies below the tree.
QString tablePath(const SongTree& tree, const QString& relative)
{
    if (relative.startsWith(QLatin1Char('~')))
        return QDir::cleanPath(appenv::env("HOME") + relative.mid(1));
    return tree.path(relative);
}

// Steps name the tree as {root}, or as {url} for the file URL a file manager copies.
QStringList treeSteps(const SongTree& tree, QStringList steps)
{
    const QString url = QUrl::fromLocalFile(tree.dir.path()).toString(QUrl::FullyEncoded);
    for (QString& step : steps)
        step.replace(QLatin1String("{url}"), url).replace(QLatin1String("{root}"), tree.dir.path());
    return steps;
}

} // namespace

// Stands in for the desktop's file manager: accepts ShowItems, refuses it,
// or keeps the call and never answers.
class FakeFileManager : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public:
    enum Answer { Accept, Refuse, Never };
    Answer answer = Accept;
    QStringList asked;
    int ticksWhenAsked = -1;
    const int* ticks = nullptr;

public slots:
    void ShowItems(const QStringList& uris, const QString&)
    {
        asked << uris;
        ticksWhenAsked = *ticks;
        if (answer == Refuse)
            sendErrorReply(QDBusError::Failed, QStringLiteral("no window"));
        else if (answer == Never)
            setDelayedReply(true);
    }
};

class TestPlatform : public QObject
{
    Q_OBJECT

    QString m_music;
    PrivateBus m_bus;

private slots:
    void initTestCase()
    {
        // Before anything asks for the session bus, which is made once.
        if (!m_bus.address().isEmpty())
            qputenv("DBUS_SESSION_BUS_ADDRESS", m_bus.address().toUtf8());
        m_music = appenv::env("HOME") + QStringLiteral("/Music");
        QVERIFY(QDir().mkpath(m_music));
    }

    void cleanup() { desktop::setRevealBackend({}); }

    void folderKinds_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QByteArray>("sub");
        QTest::addColumn<QString>("expected");  // empty: no such folder

        const QString home = appenv::env("HOME");
        const QString data = appenv::env("XDG_DATA_HOME");
        QTest::newRow("support with identifier") << 7 << QByteArray("com.zorva.Vessolin")
                                                 << data + "/com.zorva.Vessolin";
        QTest::newRow("support without sub-folder") << 7 << QByteArray() << data;
        QTest::newRow("music") << 10 << QByteArray() << home + "/Music";
        QTest::newRow("pictures, two levels") << 11 << QByteArray("a/b") << home + "/Pictures/a/b";
        QTest::newRow("unknown kind") << 42 << QByteArray() << data;
        QTest::newRow("negative kind") << -3 << QByteArray() << data;
        QTest::newRow("documents") << 4 << QByteArray() << home + "/Documents";
        QTest::newRow("users") << 3 << QByteArray() << QFileInfo(home).absolutePath();
        QTest::newRow("library has no equal") << 1 << QByteArray() << QString();
        QTest::newRow("developer has no equal") << 2 << QByteArray() << QString();
        QTest::newRow("accented sub-folder") << 10 << QStringLiteral("Été").toUtf8() << home + "/Music/Été";
    }

    void folderKinds()
    {
        QFETCH(int, kind);
        QFETCH(QByteArray, sub);
        QFETCH(QString, expected);
        QByteArray buffer(1024, '\0');
        const int result = applicationDataDirectory(buffer.data(), kind, sub.isNull() ? nullptr : sub.constData());
        if (expected.isEmpty()) {
            QCOMPARE(result, -1);
            QCOMPARE(buffer, QByteArray(1024, '\0'));
            return;
        }
        QCOMPARE(result, 0);
        QCOMPARE(QString::fromUtf8(buffer.constData()), expected);
    }

    void folderBufferNeverOverflows()
    {
        QByteArray path(1024, '\0');
        QCOMPARE(applicationDataDirectory(path.data(), 10, nullptr), 0);
        const int length = int(qstrlen(path.constData()));

        // Room past the path for a write beyond the given size to show,
        // however deep the checkout (and so the Music folder) lies.
        const int room = length + 64;
        QByteArray tight(room, kCanary);
        QCOMPARE(applicationDataDirectory_s(tight.data(), size_t(length), 10, nullptr), -1);
        QCOMPARE(tight, QByteArray(room, kCanary));
        QCOMPARE(applicationDataDirectory_s(tight.data(), size_t(length) + 1, 10, nullptr), 0);
        QCOMPARE(tight.left(length + 1), path.left(length + 1));

        // Without a size the helper assumes the smallest buffer callers pass.
        QByteArray small(600, kCanary);
        const QByteArray longSub(520, 'x');
        QCOMPARE(applicationDataDirectory(small.data(), 10, longSub.constData()), -1);
        QCOMPARE(small, QByteArray(600, kCanary));
    }

    void createDirectory()
    {
        QTemporaryDir root;
        const QByteArray nested = (root.path() + QStringLiteral("/x/ÿ/z")).toUtf8();
        QCOMPARE(CreateDirectory(nested.constData()), 0);
        QVERIFY(QFileInfo(QString::fromUtf8(nested)).isDir());
        QCOMPARE(CreateDirectory(nested.constData()), 0);

        const QString file = root.path() + QStringLiteral("/plain");
        QVERIFY(testenv::writeAll(file, "x"));
        QCOMPARE(CreateDirectory((file + QStringLiteral("/below")).toUtf8().constData()), -1);
        QCOMPARE(CreateDirectory(nullptr), -1);
    }

    void infoAttributes_data()
    {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<int>("result");
        QTest::addColumn<QByteArray>("value");
        QTest::newRow("identifier") << QByteArray("CFBundleIdentifier") << 0 << QByteArray("com.zorva.Vessolin");
        QTest::newRow("version") << QByteArray("CFBundleVersion") << 0 << QByteArray(VESSOLIN_TEST_VERSION);
        QTest::newRow("missing key") << QByteArray("NSNoSuchKey") << -1 << QByteArray();
        QTest::newRow("null key") << QByteArray() << -1 << QByteArray();
    }

    void infoAttributes()
    {
        QFETCH(QByteArray, key);
        QFETCH(int, result);
        QFETCH(QByteArray, value);
        QByteArray buffer(int(kInfoValueSize), '\0');
        QCOMPARE(GetInfoAttribute(buffer.data(), key.isNull() ? nullptr : key.constData()), result);
        QCOMPARE(QByteArray(buffer.constData()), value);
        if (result != 0)
            QCOMPARE(buffer, QByteArray(int(kInfoValueSize), '\0'));
    }

    void infoValueThatDoesNotFitIsRefused()
    {
        QByteArray buffer(32, kCanary);
        QCOMPARE(GetInfoAttribute_s(buffer.data(), 18, "CFBundleIdentifier"), -1);
        QCOMPARE(buffer, QByteArray(32, kCanary));
        QCOMPARE(GetInfoAttribute_s(buffer.data(), 19, "CFBundleIdentifier"), 0);
        QCOMPARE(buffer.left(19), QByteArray("com.zorva.Vessolin", 19));
    }

    void bundleIdentifierClearsItsBuffer()
    {
        QByteArray buffer(256, 'x');
        QCOMPARE(GetBundleIdentifier(buffer.data()), 0);
        QCOMPARE(QByteArray(buffer.constData()), QByteArray("com.zorva.Vessolin"));
        QCOMPARE(buffer.mid(18, 200 - 18), QByteArray(200 - 18, '\0'));
        QCOMPARE(buffer.mid(200), QByteArray(56, 'x'));
    }

    void systemVersion_data()
    {
        QTest::addColumn<QByteArray>("osRelease");
        QTest::addColumn<uint>("major");
        QTest::addColumn<uint>("minor");
        QTest::addColumn<uint>("patch");
        QTest::newRow("quoted major") << QByteArray("NAME=\"Debian\"\nVERSION_ID=\"12\"\n") << 12u << 0u << 0u;
        QTest::newRow("year and month") << QByteArray("VERSION_ID=22.04\n") << 22u << 4u << 0u;
        QTest::newRow("single quotes, three numbers") << QByteArray("ID=alpine\nVERSION_ID='3.19.1'\n") << 3u
                                                      << 19u << 1u;
        QTest::newRow("leopard numbering") << QByteArray("VERSION_ID=10.5.8") << 10u << 5u << 8u;
    }

    void systemVersion()
    {
        QFETCH(QByteArray, osRelease);
        QFETCH(uint, major);
        QFETCH(uint, minor);
        QFETCH(uint, patch);
        QTemporaryDir root;
        const QString path = root.path() + QStringLiteral("/os-release");
        QVERIFY(testenv::writeAll(path, osRelease));
        desktop::SystemVersion version;
        QCOMPARE(desktop::systemVersion(version, path), 0);
        QCOMPARE(version.major, major);
        QCOMPARE(version.minor, minor);
        QCOMPARE(version.patch, patch);
    }

    void systemVersionSkipsNullPointers()
    {
        unsigned int major = 0;
        GetSystemVersionMajor(&major, nullptr, nullptr);
        QVERIFY(major > 0);
        GetSystemVersionMajor(nullptr, nullptr, nullptr);
    }

    void reveal_data()
    {
        QTest::addColumn<bool>("managerAnswers");
        QTest::addColumn<bool>("folderOpens");
        QTest::addColumn<int>("result");
        QTest::addColumn<bool>("folderAsked");
        QTest::newRow("file manager selects it") << true << true << 0 << false;
        QTest::newRow("no file manager: folder opens") << false << true << 0 << true;
        QTest::newRow("nothing works") << false << false << -1 << true;
    }

    void reveal()
    {
        QFETCH(bool, managerAnswers);
        QFETCH(bool, folderOpens);
        QFETCH(int, result);
        QFETCH(bool, folderAsked);
        QStringList shown;
        QList<QUrl> opened;
        desktop::setRevealBackend({[&](const QStringList& uris) {
                                       shown = uris;
                                       return managerAnswers;
                                   },
                                   [&](const QUrl& folder) {
                                       opened << folder;
                                       return folderOpens;
                                   }});
        const QString path = m_music + QStringLiteral("/Les Choristes/Vois sur ton chemin #1.mp3");
        QCOMPARE(OpenFileInWindows(utf16(path), int(path.size())), result);
        QCOMPARE(shown.size(), 1);
        QCOMPARE(QUrl(shown.first()).toLocalFile(), path);
        if (folderAsked)
            QCOMPARE(opened, QList<QUrl>{QUrl::fromLocalFile(m_music + QStringLiteral("/Les Choristes"))});
        else
            QVERIFY(opened.isEmpty());
    }

    // The file manager over the bus: the GUI thread goes on (a timer keeps
    // firing) until it answers, and a refusal, an absent file manager or
    // one that never answers opens the folder instead.
    void revealWaitsForNoFileManager_data()
    {
        QTest::addColumn<int>("answer");  // -1: no file manager on the bus
        QTest::addColumn<bool>("folderOpens");
        QTest::addColumn<bool>("folderAsked");
        QTest::addColumn<int>("outcome");
        QTest::newRow("file manager selects it") << int(FakeFileManager::Accept) << true << false << 0;
        QTest::newRow("refused: folder opens") << int(FakeFileManager::Refuse) << true << true << 0;
        QTest::newRow("refused, folder does not open") << int(FakeFileManager::Refuse) << false << true << -1;
        QTest::newRow("never answers: folder opens") << int(FakeFileManager::Never) << true << true << 0;
        QTest::newRow("no file manager: folder opens") << -1 << true << true << 0;
    }

    void revealWaitsForNoFileManager()
    {
        QFETCH(int, answer);
        QFETCH(bool, folderOpens);
        QFETCH(bool, folderAsked);
        QFETCH(int, outcome);
        if (m_bus.address().isEmpty())
            QSKIP("dbus-daemon is needed for a message bus of the test's own");
        QDBusConnection fakeBus = QDBusConnection::connectToBus(m_bus.address(), QStringLiteral("file manager"));
        QVERIFY(fakeBus.isConnected());
        int ticks = 0;
        QTimer ticker;
        ticker.setInterval(20);
        connect(&ticker, &QTimer::timeout, this, [&ticks] { ++ticks; });
        ticker.start();
        FakeFileManager manager;
        manager.answer = FakeFileManager::Answer(qMax(answer, 0));
        manager.ticks = &ticks;
        const QString service = QStringLiteral("org.freedesktop.FileManager1");
        QVERIFY(fakeBus.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), &manager,
                                       QDBusConnection::ExportAllSlots));
        if (answer >= 0) {
            QVERIFY(fakeBus.registerService(service));
            QVERIFY2(QDBusConnection::sessionBus().interface()->isServiceRegistered(service),
                     "the session bus is not the test's own");
        }
        QList<QUrl> opened;
        desktop::setRevealBackend({nullptr, [&](const QUrl& folder) {
                                       opened << folder;
                                       return folderOpens;
                                   }});
        int ended = 1;
        const QString path = m_music + QStringLiteral("/Les Choristes/Vois sur ton chemin #1.mp3");
        QCOMPARE(desktop::revealFile(path, [&ended](int result) { ended = result; }), 0);
        QVERIFY(manager.asked.isEmpty());
        QVERIFY(opened.isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(ended <= 0, 60000);
        QCOMPARE(ended, outcome);
        if (answer >= 0)
            QCOMPARE(manager.asked, QStringList{QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded)});
        QCOMPARE(opened, folderAsked ? QList<QUrl>{QUrl::fromLocalFile(QFileInfo(path).path())} : QList<QUrl>{});
        if (manager.answer == FakeFileManager::Never && answer >= 0)
            QVERIFY2(ticks - manager.ticksWhenAsked >= 2, qPrintable(QString::number(ticks - manager.ticksWhenAsked)));
        fakeBus.unregisterService(service);
        fakeBus.unregisterObject(QStringLiteral("/org/freedesktop/FileManager1"));
        QDBusConnection::disconnectFromBus(QStringLiteral("file manager"));
    }

    void revealNullPathDoesNothing()
    {
        int calls = 0;
        desktop::setRevealBackend({[&](const QStringList&) { return ++calls, true; },
                                   [&](const QUrl&) { return ++calls, true; }});
        QCOMPARE(OpenFileInWindows(nullptr, 12), 0);
        QCOMPARE(calls, 0);
    }

    void cancelledPanelGivesNothing_data()
    {
        QTest::addColumn<int>("panel");
        QTest::addColumn<bool>("startInMusic");
        QTest::newRow("files and folders") << int(OpenMany) << true;
        QTest::newRow("files and folders, own start") << int(OpenMany) << false;
        QTest::newRow("one file") << int(OpenOne) << true;
        QTest::newRow("save with type") << int(SaveWithType) << false;
        QTest::newRow("save project") << int(SaveProject) << true;
        QTest::newRow("subtitle") << int(Subtitle) << true;
        QTest::newRow("folder to save in") << int(SaveFolder) << false;
        QTest::newRow("one folder") << int(OneFolder) << true;
    }

    void cancelledPanelGivesNothing()
    {
        QFETCH(int, panel);
        QFETCH(bool, startInMusic);
        QTemporaryDir own(m_music + QStringLiteral("/start-XXXXXX"));
        const QString start = startInMusic ? QString() : own.path();
        PanelSeen seen;
        rejectPanel(&seen);
        const QStringList result = runPanel(Panel(panel), start);
        QVERIFY(seen.shown);
        QCOMPARE(seen.modality, Qt::ApplicationModal);
        QCOMPARE(seen.folder, startInMusic ? m_music : own.path());
        QVERIFY2(result.join(QString()).isEmpty(), qPrintable(result.join(QLatin1Char('|'))));
    }

    void panelWithoutTypeIsNotShown()
    {
        // One look only: a watcher left waiting would close the next test's panel.
        PanelSeen seen;
        rejectPanel(&seen, 0);
        QVERIFY(GetOpenFileNameFun(nullptr, 0, nullptr).isEmpty());
        QVERIFY(GetSaveFileFunWithType(nullptr, 0, nullptr).isEmpty());
        QCoreApplication::processEvents();
        QVERIFY(!seen.shown);
    }

    void openPanelKeepsAccentedPath()
    {
        QTemporaryDir root(m_music + QStringLiteral("/Müsik-XXXXXX"));
        const QString project = root.path() + QStringLiteral("/Sommer Ärger.zorvadata");
        QVERIFY(testenv::writeAll(project, "SQLite format 3"));
        PanelSeen seen;
        onPanel(&seen, [&](QDialog* dialog) {
            auto* files = qobject_cast<QFileDialog*>(dialog);
            files->selectFile(project);
            dialog->accept();
        });
        const QString chosen = GetOpenFileNameFun(utf16(root.path()), int(root.path().size()), "zorvadata");
        QCOMPARE(chosen, project);
    }

    void savePanelAddsTheExtension()
    {
        QTemporaryDir root(m_music + QStringLiteral("/save-XXXXXX"));
        PanelSeen seen;
        onPanel(&seen, [&](QDialog* dialog) {
            auto* files = qobject_cast<QFileDialog*>(dialog);
            files->selectFile(root.path() + QStringLiteral("/Projekt ä"));
            dialog->accept();
        });
        const QString chosen = GetSaveFileFunWithType(utf16(root.path()), int(root.path().size()), "zorvadata");
        QCOMPARE(chosen, root.path() + QStringLiteral("/Projekt ä.zorvadata"));
    }

    void filesAndFoldersTogether()
    {
        QTemporaryDir root(m_music + QStringLiteral("/pick-XXXXXX"));
        const QString folder = root.path() + QStringLiteral("/Café del Mar");
        const QString song = root.path() + QStringLiteral("/a.mp3");
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(testenv::writeAll(song, "ID3"));
        QVERIFY(testenv::writeAll(root.path() + QStringLiteral("/b.m4a"), "ftyp"));
        PanelSeen seen;
        onPanel(&seen, [&](QDialog* dialog) {
            // Selected before the listing sorted itself, they would come back in the order read.
            QString why;
            if (!chooserkeys::press(dialog, {"list:Café del Mar,a.mp3,b.m4a"}, &why))
                return dialog->reject();
            auto* view = dialog->findChild<QTreeView*>();
            auto* model = qobject_cast<QFileSystemModel*>(view->model());
            auto* buttons = dialog->findChild<QDialogButtonBox*>();
            QPushButton* open = buttons->button(QDialogButtonBox::Open);
            const bool openedEarly = open->isEnabled();
            for (const QString& path : {song, folder})
                view->selectionModel()->select(model->index(path),
                                               QItemSelectionModel::Select | QItemSelectionModel::Rows);
            if (openedEarly || !open->isEnabled())
                dialog->reject();
            else
                open->click();
        });
        std::vector<QString> chosen;
        GetOpenFileNamesFun(utf16(root.path()), int(root.path().size()), chosen);
        // In the listing's order, folders first, whatever the order of selecting.
        QCOMPARE(QStringList(chosen.begin(), chosen.end()), (QStringList{folder, song}));
    }

    void placesFromMounts_data()
    {
        QTest::addColumn<QString>("root");  // HOME stands for the home folder
        QTest::addColumn<QByteArray>("type");
        QTest::addColumn<QString>("label");
        QTest::addColumn<bool>("ready");
        QTest::addColumn<QString>("name");  // empty: not offered
        QTest::addColumn<int>("kind");
        const int volume = int(desktop::PlaceKind::Volume);
        const int network = int(desktop::PlaceKind::Network);
        QTest::newRow("stick with a label") << "/media/alice/3A1F-0C2B" << QByteArray("vfat") << "SONGS" << true
                                            << "SONGS" << volume;
        QTest::newRow("disk without a label") << "/media/alice/Backup" << QByteArray("ext4") << "" << true
                                              << "Backup" << volume;
        QTest::newRow("udisks under /run/media") << "/run/media/alice/Disk" << QByteArray("exfat") << "" << true
                                                 << "Disk" << volume;
        QTest::newRow("second disk under /mnt") << "/mnt/data" << QByteArray("ext4") << "" << true << "data"
                                                << volume;
        QTest::newRow("nfs share anywhere") << "/srv/nas" << QByteArray("nfs4") << "" << true << "nas" << network;
        QTest::newRow("samba share under /mnt") << "/mnt/share" << QByteArray("cifs") << "" << true << "share"
                                                << network;
        QTest::newRow("sshfs in the home folder") << "HOME/remote" << QByteArray("fuse.sshfs") << "" << true
                                                  << "remote" << network;
        QTest::newRow("disk in the home folder") << "HOME/Platten/Zwei" << QByteArray("ext4") << "" << true
                                                 << "Zwei" << volume;
        QTest::newRow("root is offered once") << "/" << QByteArray("ext4") << "" << true << "" << 0;
        QTest::newRow("home partition") << "/home" << QByteArray("ext4") << "" << true << "" << 0;
        QTest::newRow("the home folder itself") << "HOME" << QByteArray("ext4") << "" << true << "" << 0;
        QTest::newRow("proc") << "/proc" << QByteArray("proc") << "" << true << "" << 0;
        QTest::newRow("user runtime") << "/run/user/1000" << QByteArray("tmpfs") << "" << true << "" << 0;
        QTest::newRow("gvfs") << "/run/user/1000/gvfs" << QByteArray("fuse.gvfsd-fuse") << "" << true << "" << 0;
        QTest::newRow("snap image") << "/snap/core22/1122" << QByteArray("squashfs") << "" << true << "" << 0;
        QTest::newRow("squashfs below /media") << "/media/alice/image" << QByteArray("squashfs") << "" << true
                                               << "" << 0;
        QTest::newRow("tmpfs below /mnt") << "/mnt/ram" << QByteArray("tmpfs") << "" << true << "" << 0;
        QTest::newRow("boot partition") << "/boot/efi" << QByteArray("vfat") << "" << true << "" << 0;
        QTest::newRow("container layer") << "/var/lib/docker/overlay2/ab/merged" << QByteArray("overlay") << ""
                                         << true << "" << 0;
        QTest::newRow("nfs the system keeps") << "/var/lib/backup" << QByteArray("nfs") << "" << true << "" << 0;
        QTest::newRow("ext4 outside user folders") << "/srv/data" << QByteArray("ext4") << "" << true << "" << 0;
        QTest::newRow("hidden folder in home") << "HOME/.cache/doc" << QByteArray("fuse.portal") << "" << true
                                               << "" << 0;
        QTest::newRow("not ready") << "/media/alice/Card" << QByteArray("vfat") << "" << false << "" << 0;
        QTest::newRow("Music folder on a disk of its own") << "HOME/Music" << QByteArray("ext4") << "Tunes"
                                                           << true << "" << 0;
    }

    // Home and Music exist, Desktop does not; one mount record per row. The
    // home lies below a hidden folder, as some homes do.
    void placesFromMounts()
    {
        QFETCH(QString, root);
        QFETCH(QByteArray, type);
        QFETCH(QString, label);
        QFETCH(bool, ready);
        QFETCH(QString, name);
        QFETCH(int, kind);
        QTemporaryDir home(QDir::tempPath() + QStringLiteral("/.homes-XXXXXX"));
        QVERIFY(QDir().mkpath(home.path() + QStringLiteral("/Music")));
        root.replace(QLatin1String("HOME"), home.path());
        const desktop::PlaceFolders folders{home.path(), home.path() + QStringLiteral("/Music/"),
                                            home.path() + QStringLiteral("/Desktop")};
        const QList<desktop::Place> places =
            desktop::buildPlaces(folders, {desktop::MountRecord{root, type, "/dev/sdb1", label, ready}});
        QStringList fixed;
        for (int i = 0; i < qMin(3, int(places.size())); ++i)
            fixed << places[i].name + QLatin1Char('=') + places[i].path;
        QCOMPARE(fixed, (QStringList{"Home=" + home.path(), "Music=" + home.path() + "/Music", "File System=/"}));
        QCOMPARE(places.size(), name.isEmpty() ? 3 : 4);
        if (name.isEmpty())
            return;
        QCOMPARE(places[3].name, name);
        QCOMPARE(places[3].path, root);
        QCOMPARE(int(places[3].kind), kind);
    }

    void mountTableLines_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("root");  // empty: no record
        QTest::addColumn<QByteArray>("type");
        QTest::addColumn<QByteArray>("device");
        QTest::newRow("root") << QByteArray("22 1 8:2 / / rw,relatime shared:1 - ext4 /dev/sda2 rw") << "/"
                              << QByteArray("ext4") << QByteArray("/dev/sda2");
        QTest::newRow("blank in the mount point, two optional fields")
            << QByteArray("40 22 8:17 / /media/alice/My\\040Songs rw,nosuid shared:30 master:5 - vfat /dev/sdb1 rw")
            << "/media/alice/My Songs" << QByteArray("vfat") << QByteArray("/dev/sdb1");
        QTest::newRow("backslash and tab") << QByteArray("41 22 8:18 / /mnt/a\\134b\\011c rw - ext4 /dev/sdc1 rw")
                                           << "/mnt/a\\b\tc" << QByteArray("ext4") << QByteArray("/dev/sdc1");
        QTest::newRow("network share, no optional field")
            << QByteArray("42 22 0:50 / /mnt/nas rw - nfs4 nas:/music rw,vers=4.2") << "/mnt/nas"
            << QByteArray("nfs4") << QByteArray("nas:/music");
        QTest::newRow("no separator") << QByteArray("43 22 0:5 / /proc rw proc proc rw") << "" << QByteArray()
                                      << QByteArray();
        QTest::newRow("cut short") << QByteArray("44 22 0:5 / /x rw - tmpfs") << "" << QByteArray() << QByteArray();
        QTest::newRow("empty") << QByteArray() << "" << QByteArray() << QByteArray();
    }

    // A line of the kernel's mount table, with the escapes it writes.
    void mountTableLines()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, root);
        QFETCH(QByteArray, type);
        QFETCH(QByteArray, device);
        const QList<desktop::MountRecord> mounts = desktop::parseMountTable(line + "\n");
        QCOMPARE(mounts.size(), root.isEmpty() ? 0 : 1);
        if (root.isEmpty())
            return;
        QCOMPARE(mounts[0].root, root);
        QCOMPARE(mounts[0].fileSystemType, type);
        QCOMPARE(mounts[0].device, device);
        QVERIFY(mounts[0].ready);
    }

    // A mount that never answers is left out and logged; the others are
    // listed all the same, the kernel's own are not asked, and a second
    // listing does not ask the blocked mount again.
    void aMountThatNeverAnswersIsLeftOut()
    {
        HungMount hung;
        const QByteArray table = "22 1 8:2 / / rw - ext4 /dev/sda2 rw\n"
                                 "40 22 8:17 / /media/alice/SONGS rw - vfat /dev/sdb1 rw\n"
                                 "41 22 0:50 / /mnt/nas rw - nfs4 nas:/music rw\n"
                                 "42 22 8:33 / /media/alice/Card rw - vfat /dev/sdd1 rw\n"
                                 "43 22 0:5 / /proc rw - proc proc rw\n";
        const desktop::MountSource source = hung.source(table, {QStringLiteral("/media/alice/Card")});
        for (int listing = 0; listing < 2; ++listing) {
            QStringList listed;
            for (const desktop::MountRecord& mount : desktop::answeringMounts(source))
                listed << mount.root + (mount.ready ? QString() : QStringLiteral(" (not ready)"));
            QCOMPARE(listed, (QStringList{"/", "/media/alice/SONGS", "/media/alice/Card (not ready)"}));
        }
        QCOMPARE(hung.asked(), (QStringList{"/", "/", "/media/alice/Card", "/media/alice/Card", "/media/alice/SONGS",
                                            "/media/alice/SONGS", "/mnt/nas"}));
        QCOMPARE(hung.logged(), (QStringList{
                                    "Places: /mnt/nas (nfs4 on nas:/music) did not answer within 3000 ms; left out",
                                    "Places: /mnt/nas (nfs4 on nas:/music) has not answered an earlier look; left out"}));
    }

    // The chooser opens with the user's folders while a mount does not
    // answer; a volume that answers only once the chooser is on screen
    // joins its places then.
    void chooserOpensWhileAMountHangs()
    {
        HungMount hung;
        desktop::setMountSource(hung.source("40 22 8:17 / /media/alice/SONGS rw - vfat /dev/sdb1 rw\n"
                                            "41 22 0:50 / /mnt/nas rw - nfs4 nas:/music rw\n",
                                            {}, QStringLiteral("/media/alice/SONGS"), 8000));
        QStringList atOpen, later;
        PanelSeen seen;
        onPanel(&seen, [&](QDialog* dialog) {
            auto* list = dialog->findChild<QListWidget*>(QString(), Qt::FindDirectChildrenOnly);
            const auto names = [list] {
                QStringList shown;
                for (int row = 0; row < list->count(); ++row)
                    shown << list->item(row)->text();
                return shown;
            };
            atOpen = names();
            hung.LetLateAnswer();
            if (QTest::qWaitFor([&] { return names().contains(QStringLiteral("SONGS")); }, 60000))
                later = names();
            dialog->reject();
        });
        std::vector<QString> chosen;
        GetOpenFileNamesFun(utf16(m_music), int(m_music.size()), chosen);
        desktop::setMountSource({});
        QVERIFY(seen.shown);
        QVERIFY(chosen.empty());
        QCOMPARE(atOpen, (QStringList{"Home", "Music", "File System"}));
        QCOMPARE(later, (QStringList{"Home", "Music", "File System", "SONGS"}));
    }

    void placesInOrder()
    {
        QTemporaryDir home;
        QVERIFY(QDir().mkpath(home.path() + QStringLiteral("/Desktop")));
        const desktop::PlaceFolders folders{home.path(), home.path() + QStringLiteral("/Music"),
                                            home.path() + QStringLiteral("/Desktop")};
        const QList<desktop::MountRecord> mounts = {
            {"/", "ext4", "/dev/sda2", "", true},
            {"/mnt/zulu", "ext4", "/dev/sdc1", "", true},
            {"/media/alice/alpha", "vfat", "/dev/sdb1", "", true},
            {"/media/alice/alpha/", "vfat", "/dev/sdb1", "", true},  // the same mount listed twice
            {"/mnt/nas", "nfs4", "nas:/music", "", true},
            {"/proc", "proc", "proc", "", true},
        };
        QStringList found;
        for (const desktop::Place& place : desktop::buildPlaces(folders, mounts))
            found << place.name + QLatin1Char('=') + place.path;
        QCOMPARE(found, (QStringList{"Home=" + home.path(), "Desktop=" + home.path() + "/Desktop", "File System=/",
                                     "alpha=/media/alice/alpha", "nas=/mnt/nas", "zulu=/mnt/zulu"}));
    }

    void chooserByKeyboard_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QStringList>("selected");
        QTest::addColumn<int>("result");  // -1 still open, else the dialog's result
        QTest::addColumn<bool>("problem");

        // The location field.
        QTest::newRow("typed folder") << "." << QStringList{"Ctrl+L", "text:{root}/Albums", "Return"} << "Albums"
                                      << QStringList() << -1 << false;
        QTest::newRow("relative to the folder shown")
            << "." << QStringList{"Ctrl+L", "text:Albums/Inner", "Return"} << "Albums/Inner" << QStringList() << -1
            << false;
        QTest::newRow("parent") << "." << QStringList{"Ctrl+L", "text:..", "Return"} << "~" << QStringList() << -1
                                << false;
        QTest::newRow("tilde") << "Albums" << QStringList{"Ctrl+L", "text:~", "Return"} << "~" << QStringList()
                               << -1 << false;
        QTest::newRow("below tilde") << "." << QStringList{"Ctrl+L", "text:~/Music", "Return"} << "~/Music"
                                     << QStringList() << -1 << false;
        QTest::newRow("typed file is selected") << "." << QStringList{"Ctrl+L", "text:{root}/Albums/x.mp3", "Return"}
                                                << "Albums" << QStringList{"Albums/x.mp3"} << -1 << false;
        QTest::newRow("typed file, Enter again confirms")
            << "." << QStringList{"Ctrl+L", "text:{root}/Albums/x.mp3", "Return", "Return"} << "Albums"
            << QStringList{"Albums/x.mp3"} << int(QDialog::Accepted) << false;
        QTest::newRow("pasted file URL") << "Zed" << QStringList{"Ctrl+L", "text:{url}/Albums/x.mp3", "Return"}
                                         << "Albums" << QStringList{"Albums/x.mp3"} << -1 << false;
        QTest::newRow("upper-case extension") << "Zed" << QStringList{"Ctrl+L", "text:{root}/c.MP3", "Return"} << "."
                                              << QStringList{"c.MP3"} << -1 << false;
        QTest::newRow("path that does not exist")
            << "." << QStringList{"Ctrl+L", "text:{root}/Nope", "Return"} << "." << QStringList() << -1 << true;
        QTest::newRow("path below a file") << "Zed" << QStringList{"Ctrl+L", "text:{root}/a.mp3/x", "Return"} << "Zed"
                                           << QStringList() << -1 << true;
        QTest::newRow("file of another type") << "." << QStringList{"Ctrl+L", "text:{root}/notes.txt", "Return"}
                                              << "." << QStringList() << -1 << true;
        QTest::newRow("empty field does nothing")
            << "Zed" << QStringList{"Ctrl+L", "Backspace", "Return"} << "Zed" << QStringList() << -1 << false;
        QTest::newRow("Enter in the field never confirms")
            << "." << QStringList{"wait:b.m4a", "text:b", "Ctrl+L", "text:{root}/Zed", "Return"} << "Zed"
            << QStringList() << -1 << false;

        // The listing.
        QTest::newRow("type-ahead, Enter opens the folder")
            << "." << QStringList{"wait:Albums", "text:Alb", "Return"} << "Albums" << QStringList() << -1 << false;
        QTest::newRow("Backspace goes up, the folder left selected")
            << "Albums" << QStringList{"Backspace"} << "." << QStringList{"Albums"} << -1 << false;
        QTest::newRow("up twice, back down with Enter")
            << "Albums/Inner" << QStringList{"Backspace", "Backspace", "Return"} << "Albums" << QStringList() << -1
            << false;
        QTest::newRow("Alt+Up from the location field")
            << "Albums" << QStringList{"Ctrl+L", "Alt+Up"} << "." << QStringList{"Albums"} << -1 << false;
        QTest::newRow("Backspace in the field edits it")
            << "Albums" << QStringList{"Ctrl+L", "Backspace"} << "Albums" << QStringList() << -1 << false;
        QTest::newRow("Enter on a file confirms") << "." << QStringList{"wait:b.m4a", "text:b", "Return"} << "."
                                                  << QStringList{"b.m4a"} << int(QDialog::Accepted) << false;
        const QString sorted = QStringLiteral("list:Albums,Zed,a.mp3,b.m4a,c.MP3");
        QTest::newRow("several in the listing's order")
            << "." << QStringList{sorted, "Down", "Shift+Down", "Shift+Down", "Shift+Down", "Return"} << "."
            << QStringList{"Albums", "Zed", "a.mp3", "b.m4a"} << int(QDialog::Accepted) << false;
        QTest::newRow("picked apart with Ctrl+Space")
            << "." << QStringList{sorted, "Down", "Ctrl+Down", "Ctrl+Down", "Ctrl+Down", "Ctrl+Space", "Return"} << "."
            << QStringList{"Albums", "b.m4a"} << int(QDialog::Accepted) << false;
        QTest::newRow("Escape cancels") << "." << QStringList{"wait:b.m4a", "text:b", "Escape"} << "."
                                        << QStringList{"b.m4a"} << int(QDialog::Rejected) << false;

        // The places.
        QTest::newRow("place chosen by keyboard, then a song in it")
            << "Zed" << QStringList{"Shift+Tab", "text:Songs", "Return", "list:Inner,x.mp3", "Down", "Down", "Return"}
            << "Albums" << QStringList{"Albums/x.mp3"} << int(QDialog::Accepted) << false;
    }

    // Keys only, each sent to whatever has the focus, as a person types.
    void chooserByKeyboard()
    {
        QFETCH(QString, start);
        QFETCH(QStringList, steps);
        QFETCH(QString, folder);
        QFETCH(QStringList, selected);
        QFETCH(int, result);
        QFETCH(bool, problem);
        SongTree tree;
        QVERIFY(tree.make());
        const QList<desktop::Place> places = {{"Home", appenv::env("HOME"), desktop::PlaceKind::Home},
                                              {"Songs disk", tree.path("Albums"), desktop::PlaceKind::Volume}};
        desktop::FileFolderDialog dialog(tree.path(start), {"mp3", "m4a"}, nullptr, places);
        dialog.show();
        QString why;
        QVERIFY2(chooserkeys::press(&dialog, treeSteps(tree, steps), &why), qPrintable(why));

        QCOMPARE(dialog.isVisible() ? -1 : dialog.result(), result);
        QCOMPARE(dialog.folder(), tablePath(tree, folder));
        QStringList expected;
        for (const QString& path : selected)
            expected << tree.path(path);
        QCOMPARE(dialog.selectedPaths(), expected);
        auto* location = dialog.findChild<QLineEdit*>();
        auto* message = dialog.findChild<QLabel*>();
        QCOMPARE(message->isVisibleTo(&dialog), problem);
        QCOMPARE(message->text().isEmpty(), !problem);
        QCOMPARE(location->actions().first()->isVisible(), problem);
        if (problem)  // what was typed stays, to be mended
            QCOMPARE(location->text(), treeSteps(tree, steps).at(1).mid(5));
        // The list marks the place on show, if the folder is one.
        QStringList marked, expectedMarked;
        for (const QListWidgetItem* item : dialog.findChild<QListWidget*>()->selectedItems())
            marked << item->text();
        for (const desktop::Place& place : places)
            if (QDir::cleanPath(place.path) == dialog.folder())
                expectedMarked << place.name;
        QCOMPARE(marked, expectedMarked);
        QVERIFY(!chooserkeys::listed(&dialog).contains(QStringLiteral("notes.txt")));
        QVERIFY(!chooserkeys::listed(&dialog).contains(QStringLiteral(".secret.mp3")));
        QVERIFY(!chooserkeys::listed(&dialog).contains(QStringLiteral(".Hidden")));
    }

    // Folder names complete as they are typed; files are not offered, and
    // Enter on a completion goes to that folder.
    void locationCompletesFolders()
    {
        SongTree tree;
        QVERIFY(tree.make());
        desktop::FileFolderDialog dialog(tree.path("Zed"), {"mp3"}, nullptr, {});
        dialog.show();
        QString why;
        QVERIFY2(chooserkeys::press(&dialog, treeSteps(tree, {"Ctrl+L", "text:{root}/"}), &why), qPrintable(why));
        QCompleter* completer = dialog.findChild<QLineEdit*>()->completer();
        QVERIFY(completer);
        auto offered = [&] {
            QStringList names;
            for (int row = 0; completer->setCurrentRow(row); ++row)
                names << QFileInfo(completer->currentCompletion()).fileName();
            return names;
        };
        // The typed path is listed by the completer's own background thread.
        QVERIFY(QTest::qWaitFor([&] { return offered().contains(QStringLiteral("Zed")); },
                                chooserkeys::kListingTimeoutMs));
        QTRY_COMPARE_WITH_TIMEOUT(offered(), (QStringList{"Albums", "Zed"}), chooserkeys::kListingTimeoutMs);
        QVERIFY2(chooserkeys::press(&dialog, {"text:Al"}, &why), qPrintable(why));
        QTRY_VERIFY_WITH_TIMEOUT(completer->popup()->isVisible(), chooserkeys::kListingTimeoutMs);
        QTest::keyClick(completer->popup(), Qt::Key_Down);
        QTest::keyClick(completer->popup(), Qt::Key_Return);
        QCOMPARE(dialog.folder(), tree.path("Albums"));
    }

    void chooserControlsAreNamed()
    {
        SongTree tree;
        QVERIFY(tree.make());
        const QList<desktop::Place> places = {{"Home", appenv::env("HOME"), desktop::PlaceKind::Home},
                                              {"File System", "/", desktop::PlaceKind::Root},
                                              {"nas", "/mnt/nas", desktop::PlaceKind::Network}};
        desktop::FileFolderDialog dialog(tree.path("."), {"mp3"}, nullptr, places);
        dialog.show();
        QString why;
        QVERIFY2(chooserkeys::press(&dialog, treeSteps(tree, {"Ctrl+L", "text:{root}/Nope", "Return"}), &why),
                 qPrintable(why));
        const QStringList unnamed = accessnames::unnamedControls(&dialog);
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QStringLiteral(", "))));
        // The reason reaches a screen reader with the field it belongs to.
        QVERIFY(dialog.findChild<QLineEdit*>()->accessibleDescription().contains(tree.path("Nope")));
        auto* list = dialog.findChild<QListWidget*>();
        QCOMPARE(list->count(), 3);
        for (int row = 0; row < list->count(); ++row) {
            QCOMPARE(list->item(row)->text(), places[row].name);
            QVERIFY2(!list->item(row)->icon().isNull(), qPrintable(places[row].name));
        }
        // A click on a place goes there.
        const QRect home = list->visualItemRect(list->item(0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, home.center());
        QCOMPARE(dialog.folder(), QDir::cleanPath(appenv::env("HOME")));
    }

    // The chooser opens where the last choice was confirmed, while that
    // folder exists; a cancelled one changes nothing.
    void chooserOpensWhereLastConfirmed()
    {
        PanelSeen first;
        auto tree = std::make_unique<SongTree>();
        QVERIFY(tree->make());
        onPanel(&first, [&](QDialog* dialog) {
            auto* chooser = qobject_cast<desktop::FileFolderDialog*>(dialog);
            chooser->setFolder(tree->path("Albums"));
            QString why;
            if (!chooserkeys::press(dialog, {"wait:x.mp3", "text:x", "Return"}, &why))
                dialog->reject();
        });
        std::vector<QString> chosen;
        GetOpenFileNamesFun(utf16(m_music), int(m_music.size()), chosen);
        QCOMPARE(QStringList(chosen.begin(), chosen.end()), QStringList{tree->path("Albums/x.mp3")});

        for (int round = 0; round < 2; ++round) {
            PanelSeen again;
            onPanel(&again, [](QDialog* dialog) {
                qobject_cast<desktop::FileFolderDialog*>(dialog)->setFolder(QDir::rootPath());
                dialog->reject();
            });
            GetOpenFileNamesFun(utf16(m_music), int(m_music.size()), chosen);
            QVERIFY(chosen.empty());
            QCOMPARE(again.folder, tree->path("Albums"));
        }

        tree.reset();
        PanelSeen gone;
        rejectPanel(&gone);
        GetOpenFileNamesFun(utf16(m_music), int(m_music.size()), chosen);
        QCOMPARE(gone.folder, m_music);
    }

    void chooserLooksAtItsLastFolderOnAWorker_data()
    {
        QTest::addColumn<QString>("since");  // what became of the last folder
        QTest::addColumn<bool>("opensThere");
        QTest::newRow("still there") << "there" << true;
        QTest::newRow("removed") << "removed" << false;
        QTest::newRow("a file in its place") << "file" << false;
        QTest::newRow("on a share that stopped answering") << "hung" << false;
    }

    // The chooser opens in its last folder once a worker found it there
    // within the mounts' deadline, else in the start folder. The look at a
    // folder on a share that stopped answering was the GUI thread's, and
    // held the program in the kernel for good.
    void chooserLooksAtItsLastFolderOnAWorker()
    {
        QFETCH(QString, since);
        QFETCH(bool, opensThere);
        SongTree tree;
        QVERIFY(tree.make());
        const QString last = tree.path("Albums");
        PanelSeen first;
        onPanel(&first, [&](QDialog* dialog) {
            qobject_cast<desktop::FileFolderDialog*>(dialog)->setFolder(last);
            QString why;
            if (!chooserkeys::press(dialog, {"wait:x.mp3", "text:x", "Return"}, &why))
                dialog->reject();
        });
        std::vector<QString> chosen;
        GetOpenFileNamesFun(utf16(m_music), int(m_music.size()), chosen);
        QCOMPARE(QStringList(chosen.begin(), chosen.end()), QStringList{tree.path("Albums/x.mp3")});
        if (since == QLatin1String("removed") || since == QLatin1String("file"))
            QVERIFY(QDir(last).removeRecursively());
        if (since == QLatin1String("file"))
            QVERIFY(testenv::writeAll(last, "ID3"));

        struct Look {
            QMutex mutex;
            QStringList asked;         // under mutex
            bool onGuiThread = false;  // under mutex
            QSemaphore release;
        };
        auto look = std::make_shared<Look>();
        desktop::MountSource source;
        source.isFolder = [look, since](const QString& path) {
            {
                QMutexLocker lock(&look->mutex);
                look->asked << path;
                look->onGuiThread |= QThread::currentThread() == QCoreApplication::instance()->thread();
            }
            // The stat of a share that stopped answering: it never returns
            // while the chooser is up.
            if (since == QLatin1String("hung"))
                look->release.acquire();
            return QFileInfo(path).isDir();
        };
        // A folder that answers does so long before the deadline of a
        // loaded machine; the share that never does is given up on at it.
        source.deadlineMs = since == QLatin1String("hung") ? 2000 : 60000;
        desktop::setMountSource(source);
        PanelSeen again;
        rejectPanel(&again);
        GetOpenFileNamesFun(utf16(m_music), int(m_music.size()), chosen);
        desktop::setMountSource({});
        look->release.release(1000);
        QVERIFY(again.shown);
        QCOMPARE(again.folder, opensThere ? last : m_music);
        QMutexLocker lock(&look->mutex);
        QCOMPARE(look->asked, QStringList{last});
        QVERIFY2(!look->onGuiThread, "the GUI thread looked at the folder");
    }

    void instanceLock()
    {
        QTemporaryDir root;
        const QString folder = root.path() + QStringLiteral("/data");
        std::unique_ptr<QLockFile> first;
        QCOMPARE(TakeInstanceLock(folder, first), int(INSTANCE_LOCKED));
        QVERIFY(first && first->isLocked());

        std::unique_ptr<QLockFile> second;
        QCOMPARE(TakeInstanceLock(folder, second), int(INSTANCE_RUNNING));
        QVERIFY(!second);

        first.reset();
        QCOMPARE(TakeInstanceLock(folder, second), int(INSTANCE_LOCKED));

        const QString file = root.path() + QStringLiteral("/plain");
        QVERIFY(testenv::writeAll(file, "x"));
        std::unique_ptr<QLockFile> none;
        QCOMPARE(TakeInstanceLock(file + QStringLiteral("/below"), none), int(INSTANCE_NO_LOCK));
    }
};

QTEST_MAIN(TestPlatform)
#include "tst_platform.moc"
