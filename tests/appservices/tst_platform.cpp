// The platform helpers: folders, caller buffers, bundle information, the
// system version, revealing a file, the file panels and the instance lock.
#include "appInfo.h"
#include "appenv.h"
#include "appguide.h"
#include "desktop.h"
#include "filefolderdialog.h"
#include "instancelock.h"
#include "testenv.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <functional>
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
        QStringList sorted(chosen.begin(), chosen.end());
        sorted.sort();
        QStringList expected = {song, folder};
        expected.sort();
        QCOMPARE(sorted, expected);
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
