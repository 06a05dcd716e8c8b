// The library agent: what it serves of a library file, what it refuses,
// and that its changes reach the file whole, survive a killed process and
// reach a later one.
#include "core/mmlog.h"
#include "desktop.h"
#include "fileattributes.h"
#include "libraryagent.h"
#include "libraryfixture.h"
#include "libraryxml.h"
#include "mmsession.h"
#include "platformbase.h"
#include "privatemount.h"
#include "src/libraryindex.h"
#include "src/safefile.h"
#include "syncfaults.h"
#include "tags.h"
#include "testenv.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace fixture;

namespace {

QByteArray served(const char* key, int index)
{
    char* text = nullptr;
    return FindAttributeValue_kwr(&text, key, index) == AGENT_OK && text ? QByteArray(text) : QByteArray("<none>");
}

// Index of the served track with this persistent ID, -1 when none.
int indexOf(const QString& id)
{
    for (int i = 0; i < GetTrackCount_kwr(); ++i)
        if (served("PersistentID", i) == id.toUtf8())
            return i;
    return -1;
}

QByteArray idOf(int track)
{
    return persistentId(track).toUtf8();
}

Dict tracksOf(const QString& path)
{
    return value(readTree(testenv::readAll(path)).value<Dict>(), QStringLiteral("Tracks")).value<Dict>();
}

// The Track IDs of a playlist's items, the playlist counted from 0.
QList<qlonglong> itemsOf(const QString& path, int playlist)
{
    const QVariantList lists = value(readTree(testenv::readAll(path)).value<Dict>(), QStringLiteral("Playlists")).toList();
    QList<qlonglong> ids;
    for (const QVariant& item : value(lists.value(playlist).value<Dict>(), QStringLiteral("Playlist Items")).toList())
        ids.append(value(item.value<Dict>(), QStringLiteral("Track ID")).toLongLong());
    return ids;
}

// Runs this test program in one of its child modes (see childMain).
QProcess* startChild(const QStringList& arguments, const QProcessEnvironment& env = QProcessEnvironment())
{
    auto* child = new QProcess;
    if (!env.isEmpty())
        child->setProcessEnvironment(env);
    child->setProgram(QCoreApplication::applicationFilePath());
    child->setArguments(QStringList{QStringLiteral("--child")} + arguments);
    child->start();
    return child;
}

QByteArray runChild(const QStringList& arguments, const QProcessEnvironment& env = QProcessEnvironment())
{
    std::unique_ptr<QProcess> child(startChild(arguments, env));
    child->waitForFinished(120000);
    return child->readAllStandardOutput().trimmed();
}

// The whole lines a child printed, read as they come.
class ChildLines
{
public:
    explicit ChildLines(QProcess* child) : m_child(child) {}

    // Reads until a line starting with prefix comes (true) or the child ends.
    bool waitFor(const QByteArray& prefix)
    {
        for (QDeadlineTimer deadline(120000); !deadline.hasExpired();) {
            for (; m_seen < m_lines.size(); ++m_seen)
                if (m_lines.at(m_seen).startsWith(prefix))
                    return ++m_seen, true;
            if (m_child->state() == QProcess::NotRunning)
                return false;
            m_child->waitForReadyRead(1000);
            take();
        }
        return false;
    }
    void finish()
    {
        m_child->waitForFinished(120000);
        take();
    }
    void kill()
    {
        m_child->kill();
        finish();
    }
    void say(const QByteArray& line) { m_child->write(line + '\n'); }
    // What follows "prefix " on each line that starts so.
    QStringList values(const QByteArray& prefix)
    {
        take();
        QStringList found;
        for (const QByteArray& line : m_lines)
            if (line.startsWith(prefix + ' '))
                found << QString::fromUtf8(line.mid(prefix.size() + 1));
        return found;
    }
    QByteArray errors() { return m_child->readAllStandardError(); }

private:
    void take()
    {
        m_pending += m_child->readAllStandardOutput();
        for (qsizetype end; (end = m_pending.indexOf('\n')) >= 0; m_pending.remove(0, end + 1))
            m_lines << m_pending.left(end);
    }

    std::unique_ptr<QProcess> m_child;
    QByteArray m_pending;
    QList<QByteArray> m_lines;
    qsizetype m_seen = 0;
};

// Every file under folder, links as the text they hold: what a change
// that stays out of the folder leaves as it was.
QMap<QString, QByteArray> contentsOf(const QString& folder)
{
    QMap<QString, QByteArray> contents;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo file(it.next());
        contents.insert(file.filePath(), file.isSymLink() ? "-> " + QFile::encodeName(file.symLinkTarget())
                                                          : testenv::readAll(file.filePath()));
    }
    return contents;
}

// The hidden files a write of this program's makes beside the library.
QStringList temporariesIn(const QString& folder)
{
    return QDir(folder)
        .entryList(QDir::Files | QDir::Hidden | QDir::System)
        .filter(QRegularExpression(QStringLiteral("^\\..*\\.vessolin-")));
}

// A file unchanged for two hours, as a killed program's is when it starts again.
bool makeOld(const QString& path)
{
    const struct timespec old[2] = {{::time(nullptr) - 7200, 0}, {::time(nullptr) - 7200, 0}};
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), old, AT_SYMLINK_NOFOLLOW) == 0;
}

// "uid:gid,more groups": this process becomes that user, with no way back.
bool becomeUser(const QString& user)
{
    const QStringList ids = user.split(QRegularExpression(QStringLiteral("[:,]")));
    std::vector<gid_t> groups;
    for (qsizetype i = 1; i < ids.size(); ++i)
        groups.push_back(gid_t(ids.at(i).toUInt()));
    const uid_t uid = ids.at(0).toUInt();
    return !groups.empty() && ::setgroups(groups.size(), groups.data()) == 0
        && ::setresgid(groups[0], groups[0], groups[0]) == 0 && ::setresuid(uid, uid, uid) == 0 && ::geteuid() == uid;
}

// Gives path to owner ("uid:gid") with mode.
bool give(const QString& path, const QString& owner, int mode)
{
    const QStringList ids = owner.split(QLatin1Char(':'));
    const QByteArray name = QFile::encodeName(path);
    return ::chown(name.constData(), ids.at(0).toUInt(), ids.at(1).toUInt()) == 0 && ::chmod(name.constData(), mode_t(mode)) == 0;
}

// Starts an "mm-apply" child on the library xml with its engine folders in
// root (made here); a normal user (uid:gid,groups, empty for this
// process's own) gets root as home.
std::unique_ptr<ChildLines> startMmApply(const QString& root, const QString& user, const QString& xml,
                                         QStringList arguments)
{
    QDir().mkpath(root);
    arguments << QStringLiteral("root=") + root;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!user.isEmpty()) {
        give(root, user.section(QLatin1Char(','), 0, 0), 0700);
        env.insert(QStringLiteral("HOME"), root);
        env.insert(QStringLiteral("XDG_DATA_HOME"), root);
        arguments << QStringLiteral("user=") + user;
    }
    return std::make_unique<ChildLines>(startChild(QStringList{QStringLiteral("mm-apply"), xml} + arguments, env));
}

} // namespace

class TestAgent : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_libraries = 0;

    // A new library file in the test folder.
    QString writeLibrary(const QByteArray& text, const QString& name = QString())
    {
        const QString path = m_dir.filePath(name.isEmpty() ? QStringLiteral("Library %1.xml").arg(++m_libraries) : name);
        testenv::writeAll(path, text);
        return path;
    }

    QString standardLibrary(int count = 6, bool separateLines = false)
    {
        return writeLibrary(libraryText(library(tracks(count), {playlist(1, QStringLiteral("Library"), range(count)),
                                                                playlist(2, QStringLiteral("Mix"), {1, 3, 1})}),
                                        separateLines));
    }

    QString copyFixture(const QString& name)
    {
        const QString path = m_dir.filePath(QStringLiteral("%1-%2").arg(++m_libraries).arg(name));
        QFile::copy(testenv::fixture(name), path);
        QFile(path).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        return path;
    }

    QString logText() const { return QString::fromUtf8(testenv::readAll(m_dir.filePath(QStringLiteral("MM.log")))); }

    static void layouts()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("count");
        const QList<Dict> many = tracks(400);
        QTest::newRow("itunes layout") << libraryText(library(many, {playlist(1, "All", range(400))})) << 400;
        QTest::newRow("one value a line") << libraryText(library(many, {playlist(1, "All", range(9))}), true) << 400;
        QList<Dict> withNested = many;
        const Dict inner{{QStringLiteral("Deep"), QVariant::fromValue(Dict{{QStringLiteral("x"), true}})},
                         {QStringLiteral("y"), qlonglong(2)}};
        for (int i = 0; i < withNested.size(); i += 3)
            withNested[i].append(qMakePair(QStringLiteral("Inner"), QVariant::fromValue(inner)));
        QTest::newRow("nested dictionaries") << libraryText(library(withNested, {})) << 400;
        QTest::newRow("crlf line ends") << libraryText(library(many, {})).replace("\n", "\r\n") << 400;
        QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBF") + libraryText(library(many, {})) << 400;
        QTest::newRow("tracks after playlists")
            << libraryText(Dict{{QStringLiteral("Playlists"), QVariantList{QVariant::fromValue(playlist(1, "P", {1, 2}))}},
                                {QStringLiteral("Tracks"), value(library(many, {}), QStringLiteral("Tracks"))}})
            << 400;
        QTest::newRow("keys after tracks")
            << libraryText(Dict{{QStringLiteral("Tracks"), value(library(many, {}), QStringLiteral("Tracks"))},
                                {QStringLiteral("Music Folder"), QStringLiteral("file:///m/")},
                                {QStringLiteral("Playlists"), QVariantList{QVariant::fromValue(playlist(1, "P", {1, 2}))}}})
            << 400;
        QTest::newRow("empty track list") << libraryText(library({}, {playlist(1, "P", {})})) << 0;
        QTest::newRow("comments")
            << libraryText(library(many, {})).replace("</dict>\n\t\t<key>", "</dict><!-- </dict>\n\t\t<key> -->\n\t\t<key>")
            << 400;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(CreateLog(m_dir.path()));
        SetPlatformLog(&WriteLog);
    }

    void cleanupTestCase()
    {
        DestroyAgent_kwr();
        DestroyLog();
    }

    void servesTracksUnderTheLoadersKeys()
    {
        Dict first = track(0, QStringLiteral("Café & <Crème> \"Ü\" 😀"));
        setValue(&first, QStringLiteral("Location"), QStringLiteral("file:///music/Caf%C3%A9%20%26%20more/01%2B.m4a"));
        const QString path = writeLibrary(libraryText(library({first, track(1)}, {})));
        QCOMPARE(CreateAgent_kwr(path.toUtf8()), int(AGENT_OK));
        QCOMPARE(GetTrackCount_kwr(), 2);
        QCOMPARE(served("PersistentID", 0), idOf(0));
        QCOMPARE(served("TrackID", 0), QByteArray("1000"));
        QCOMPARE(QString::fromUtf8(served("Name", 0)), QStringLiteral("Café & <Crème> \"Ü\" 😀"));
        QCOMPARE(served("Artist", 1), QByteArray("Artist 1"));
        QCOMPARE(served("Album", 1), QByteArray("Album 1"));
        QCOMPARE(served("Size", 0), QByteArray("4000000"));
        QCOMPARE(served("TotalTime", 1), QByteArray("200001"));
        QCOMPARE(QString::fromUtf8(served("Location", 0)), QStringLiteral("/music/Café & more/01+.m4a"));
        QCOMPARE(served("Year", 1), QByteArray("1991"));
        QCOMPARE(served("Genre", 0), QByteArray("Jazz"));
        QCOMPARE(served("Bitrate", 0), QByteArray("192"));

        char* untouched = reinterpret_cast<char*>(this);
        QCOMPARE(FindAttributeValue_kwr(&untouched, "Kind", 0), int(AGENT_ERR_VALUE));
        QCOMPARE(FindAttributeValue_kwr(&untouched, "Name", 2), int(AGENT_ERR_NO_TRACK));
        QCOMPARE(FindAttributeValue_kwr(&untouched, "Name", -1), int(AGENT_ERR_NO_TRACK));
        QCOMPARE(untouched, reinterpret_cast<char*>(this));
        DestroyAgent_kwr();
        QCOMPARE(GetTrackCount_kwr(), 0);
        QCOMPARE(FindAttributeValue_kwr(&untouched, "Name", 0), int(AGENT_ERR_NO_LIBRARY));
    }

    void missingValueLeavesOutputUntouched()
    {
        Dict bare = track(0);
        removeValue(&bare, QStringLiteral("Year"));
        removeValue(&bare, QStringLiteral("Artist"));
        QCOMPARE(CreateAgent_kwr(writeLibrary(libraryText(library({bare}, {}))).toUtf8()), int(AGENT_OK));
        char* out = nullptr;
        QCOMPARE(FindAttributeValue_kwr(&out, "Year", 0), int(AGENT_ERR_VALUE));
        QCOMPARE(FindAttributeValue_kwr(&out, "Artist", 0), int(AGENT_ERR_VALUE));
        QVERIFY(out == nullptr);
        DestroyAgent_kwr();
    }

    void locationsAreDecoded_data()
    {
        QTest::addColumn<QString>("location");
        QTest::addColumn<QString>("path"); // empty: not served
        QTest::newRow("three slashes") << "file:///Users/a%20b/c.mp3" << "/Users/a b/c.mp3";
        QTest::newRow("localhost") << "file://localhost/Users/x/y.m4a" << "/Users/x/y.m4a";
        QTest::newRow("utf-8 escapes") << "file:///M%C3%BAsica/%E6%9D%B1%E4%BA%AC.mp3" << "/Música/東京.mp3";
        QTest::newRow("escaped escape and plus") << "file:///a+b/50%25%2B.mp3" << "/a+b/50%+.mp3";
        QTest::newRow("upper-case scheme") << "FILE:///x.mp3" << "/x.mp3";
        QTest::newRow("windows drive") << "file://localhost/C:/Music/x.mp3" << "/C:/Music/x.mp3";
        QTest::newRow("another host") << "file://server/share/x.mp3" << QString();
        QTest::newRow("web stream") << "http://example.com/x.mp3" << QString();
        QTest::newRow("no path") << "file://" << QString();
    }

    void locationsAreDecoded()
    {
        QFETCH(QString, location);
        QFETCH(QString, path);
        Dict t = track(0);
        setValue(&t, QStringLiteral("Location"), location);
        QCOMPARE(CreateAgent_kwr(writeLibrary(libraryText(library({t}, {}))).toUtf8()), int(AGENT_OK));
        QCOMPARE(GetTrackCount_kwr(), path.isEmpty() ? 0 : 1);
        if (!path.isEmpty())
            QCOMPARE(QString::fromUtf8(served("Location", 0)), path);
        DestroyAgent_kwr();
    }

    void onlyTracksWithAFileAreServed()
    {
        Dict stream = track(1);
        setValue(&stream, QStringLiteral("Track Type"), QStringLiteral("URL"));
        setValue(&stream, QStringLiteral("Location"), QStringLiteral("file:///music/looks-local.mp3"));
        Dict cloud = track(2);
        setValue(&cloud, QStringLiteral("Track Type"), QStringLiteral("Remote"));
        removeValue(&cloud, QStringLiteral("Location"));
        Dict anonymous = track(3);
        removeValue(&anonymous, QStringLiteral("Persistent ID"));
        Dict twin = track(4);
        setValue(&twin, QStringLiteral("Persistent ID"), persistentId(0));
        QCOMPARE(CreateAgent_kwr(writeLibrary(libraryText(library({track(0), stream, cloud, anonymous, twin, track(5)}, {})))
                                     .toUtf8()),
                 int(AGENT_OK));
        QCOMPARE(GetTrackCount_kwr(), 2);
        QCOMPARE(served("TrackID", 0), QByteArray("1000"));
        QCOMPARE(served("TrackID", 1), QByteArray("1005"));
        // Tracks not served cannot be changed either.
        QCOMPARE(SetAttributeValue_kwr(idOf(1), "Name", "x"), int(AGENT_ERR_NO_TRACK));
        QCOMPARE(DeleteTrackFromITunes_kwr(idOf(2)), int(AGENT_ERR_NO_TRACK));
        DestroyAgent_kwr();
    }

    void badFilesAreRefusedAndLogged_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("result");
        const QByteArray good = libraryText(library(tracks(3), {}));
        QTest::newRow("empty file") << QByteArray() << int(AGENT_ERR_FORMAT);
        QTest::newRow("not xml") << QByteArray("Track 1, Song, Artist\n") << int(AGENT_ERR_FORMAT);
        QTest::newRow("truncated") << good.left(good.size() * 2 / 3) << int(AGENT_ERR_FORMAT);
        QTest::newRow("cut inside the head") << good.left(200) << int(AGENT_ERR_FORMAT);
        QTest::newRow("not a plist") << QByteArray("<html><body/></html>") << int(AGENT_ERR_FORMAT);
        QTest::newRow("no tracks") << libraryText(Dict{{QStringLiteral("Major Version"), qlonglong(1)}})
                                   << int(AGENT_ERR_NO_TRACKS);
        QTest::newRow("tracks not a dictionary")
            << libraryText(Dict{{QStringLiteral("Tracks"), QVariantList{qlonglong(1)}}}) << int(AGENT_ERR_NO_TRACKS);
        QTest::newRow("a track that is no dictionary")
            << QByteArray(good).replace("<key>1001</key>\n\t\t<dict>", "<key>1001</key><string>x</string>\n\t\t<dict>")
            << int(AGENT_ERR_FORMAT);
        QTest::newRow("utf-16") << QByteArray("\xff\xfe<\0?\0x\0m\0l\0", 12) << int(AGENT_ERR_FORMAT);
        QTest::newRow("latin-1 declared")
            << QByteArray(good).replace("encoding=\"UTF-8\"", "encoding=\"ISO-8859-1\"") << int(AGENT_ERR_FORMAT);
        QTest::newRow("invalid utf-8") << QByteArray(good).replace("Song 1", "Song \xc3\x28") << int(AGENT_ERR_FORMAT);
    }

    void badFilesAreRefusedAndLogged()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, result);
        const QString path = writeLibrary(text);
        QCOMPARE(CreateAgent_kwr(path.toUtf8()), result);
        QCOMPARE(GetTrackCount_kwr(), 0);
        QVERIFY2(logText().contains(path), qPrintable(logText().right(300)));
        QCOMPARE(testenv::readAll(path), text);
    }

    void missingFileAndArguments()
    {
        const QString missing = m_dir.filePath(QStringLiteral("no such library.xml"));
        QCOMPARE(CreateAgent_kwr(missing.toUtf8()), int(AGENT_ERR_READ));
        QVERIFY(logText().contains(missing));
        // No path is the user's own library, of which there is none here.
        QCOMPARE(CreateAgent_kwr(nullptr), int(AGENT_ERR_READ));
        QCOMPARE(CreateAgent_kwr(""), int(AGENT_ERR_ARGS));
        QCOMPARE(FindAttributeValue_kwr(nullptr, "Name", 0), int(AGENT_ERR_ARGS));
        QCOMPARE(SetAttributeValue_kwr(nullptr, "Name", "x"), int(AGENT_ERR_ARGS));
        QCOMPARE(SetAttributeValue_kwr("0123", "Name", nullptr), int(AGENT_ERR_ARGS));
        QCOMPARE(DeleteTrackFromITunes_kwr(""), int(AGENT_ERR_ARGS));
        QCOMPARE(AddTrackToITunes_kwr(nullptr, nullptr), int(AGENT_ERR_ARGS));
        QCOMPARE(GetArtworkData_kwr("0123", nullptr, nullptr), int(AGENT_ERR_ARGS));
        QCOMPARE(HasArtwork_kwr(nullptr), 0);
    }

    // Without a path the agent opens the user's own library in the Music
    // folder, the older name first; with none there it fails as it does
    // for any missing file.
    void defaultLibraryFile_data()
    {
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("served");
        const QString older = QStringLiteral("iTunes Music Library.xml"), newer = QStringLiteral("iTunes Library.xml");
        QTest::newRow("none") << QStringList() << int(AGENT_ERR_READ) << 0;
        QTest::newRow("the older name") << QStringList{older} << int(AGENT_OK) << 3;
        QTest::newRow("the newer name") << QStringList{newer} << int(AGENT_OK) << 5;
        QTest::newRow("both") << QStringList{older, newer} << int(AGENT_OK) << 3;
    }

    void defaultLibraryFile()
    {
        QFETCH(QStringList, present);
        QFETCH(int, result);
        QFETCH(int, served);
        QDir folder(desktop::standardFolder(desktop::Folder::Music) + QStringLiteral("/iTunes"));
        QVERIFY(folder.mkpath(QStringLiteral(".")));
        // The two names hold libraries of different sizes, which tells them apart.
        for (const QString& name : present) {
            const int count = name == QLatin1String("iTunes Library.xml") ? 5 : 3;
            QVERIFY(testenv::writeAll(folder.filePath(name), libraryText(library(tracks(count), {}))));
        }
        QCOMPARE(CreateAgent_kwr(nullptr), result);
        QCOMPARE(GetTrackCount_kwr(), served);
        DestroyAgent_kwr();
        QVERIFY(folder.removeRecursively());
    }

    // Where the track list may be cut for parallel reading must not change
    // what is read, whatever the layout of the text.
    void layoutsReadAlike_data() { layouts(); }

    void layoutsReadAlike()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, count);
        QCOMPARE(CreateAgent_kwr(writeLibrary(text).toUtf8()), int(AGENT_OK));
        QCOMPARE(GetTrackCount_kwr(), count);
        for (int i = 0; i < count; i += 37) {
            QCOMPARE(served("Name", i), QStringLiteral("Song %1").arg(i).toUtf8());
            QCOMPARE(served("Location", i), QStringLiteral("/music/Artist %1/Song %2.mp3").arg(i % 3).arg(i).toUtf8());
        }
        DestroyAgent_kwr();
    }

    // Reading in pieces on several threads (small pieces here, to get many)
    // must find exactly what one reader finds, down to every byte offset.
    void piecesReadAsOneReaderDoes_data() { layouts(); }

    void piecesReadAsOneReaderDoes()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, count);
        const qint64 start = text.startsWith("\xEF\xBB\xBF") ? 3 : 0;
        CLibraryIndex whole;
        QString error;
        QCOMPARE(IndexLibrary(text, start, &whole, &error, text.size() * 2), int(AGENT_OK));
        QCOMPARE(whole.tracks.size(), count);
        for (const qint64 chunk : {qint64(20000), qint64(3000), qint64(200)}) {
            CLibraryIndex pieces;
            QCOMPARE(IndexLibrary(text, start, &pieces, &error, chunk), int(AGENT_OK));
            QCOMPARE(pieces.tracks.size(), whole.tracks.size());
            for (qsizetype i = 0; i < whole.tracks.size(); ++i) {
                const CTrackRecord& a = pieces.tracks.at(i);
                const CTrackRecord& b = whole.tracks.at(i);
                QCOMPARE(a.begin, b.begin);
                QCOMPARE(a.valueBegin, b.valueBegin);
                QCOMPARE(a.end, b.end);
                for (int key = 0; key < SK_COUNT; ++key)
                    QCOMPARE(a.value(tagServedKey(key)), b.value(tagServedKey(key)));
            }
            QCOMPARE(pieces.tracksBegin, whole.tracksBegin);
            QCOMPARE(pieces.tracksInsert, whole.tracksInsert);
            QCOMPARE(pieces.maxId, whole.maxId);
            QCOMPARE(pieces.items.size(), whole.items.size());
            for (qsizetype i = 0; i < whole.items.size(); ++i) {
                QCOMPARE(pieces.items.at(i).begin, whole.items.at(i).begin);
                QCOMPARE(pieces.items.at(i).end, whole.items.at(i).end);
                QCOMPARE(pieces.items.at(i).trackId, whole.items.at(i).trackId);
                QCOMPARE(pieces.items.at(i).playlist, whole.items.at(i).playlist);
            }
            QCOMPARE(pieces.playlists.size(), whole.playlists.size());
            for (qsizetype i = 0; i < whole.playlists.size(); ++i) {
                QCOMPARE(pieces.playlists.at(i).id, whole.playlists.at(i).id);
                QCOMPARE(pieces.playlists.at(i).itemsBegin, whole.playlists.at(i).itemsBegin);
                QCOMPARE(pieces.playlists.at(i).firstItem, whole.playlists.at(i).firstItem);
                QCOMPARE(pieces.playlists.at(i).itemCount, whole.playlists.at(i).itemCount);
            }
        }
        // The places found are where the text says they are.
        for (const CTrackRecord& track : whole.tracks) {
            const QByteArray entry = text.mid(track.begin, track.end - track.begin);
            // A comment before a track counts as part of it.
            const QByteArray key = "<key>" + track.value(SK_TRACK_ID) + "</key>";
            QVERIFY(entry.trimmed().startsWith(key) || (entry.trimmed().startsWith("<!--") && entry.contains("-->\n\t\t" + key)));
            QVERIFY(entry.endsWith("</dict>"));
            QVERIFY(text.mid(track.valueBegin, track.end - track.valueBegin).trimmed().startsWith("<dict>"));
        }
        for (const tagPlaylistItem& item : whole.items)
            QVERIFY(text.mid(item.begin, item.end - item.begin).contains(
                "<integer>" + QByteArray::number(item.trackId) + "</integer>"));
        for (const tagPlaylist& playlist : whole.playlists)
            QVERIFY(text.left(playlist.itemsBegin).endsWith("<array>"));
    }

    void realWorldLibrary()
    {
        const QString path = testenv::sharedTestData(QStringLiteral("itunes/Test Library.xml"));
        if (path.isEmpty())
            QSKIP("the real-world library is not present");
        const QByteArray before = testenv::readAll(path);
        QCOMPARE(CreateAgent_kwr(path.toUtf8()), int(AGENT_OK));
        // 402 tracks: 7 streams and 7 cloud tracks have no file.
        QCOMPARE(GetTrackCount_kwr(), 388);
        const int first = indexOf(QStringLiteral("ECF2584D15DCF139"));
        QVERIFY(first >= 0);
        QCOMPARE(served("Name", first), QByteArray("That's All I Ask"));
        QCOMPARE(served("TrackID", first), QByteArray("14970"));
        QCOMPARE(served("TotalTime", first), QByteArray("147922"));
        QCOMPARE(served("Size", first), QByteArray("6186302"));
        QCOMPARE(served("Bitrate", first), QByteArray("256"));
        QCOMPARE(served("Year", first), QByteArray("2003"));
        int protectedFiles = 0, videos = 0;
        for (int i = 0; i < GetTrackCount_kwr(); ++i) {
            const QByteArray location = served("Location", i);
            QVERIFY2(location.startsWith("/"), location.constData());
            QVERIFY(!location.contains('%'));
            protectedFiles += location.endsWith(".m4p");
            videos += location.endsWith(".m4v") || location.endsWith(".mp4");
        }
        QVERIFY(protectedFiles > 0);
        QVERIFY(videos > 0);
        QCOMPARE(indexOf(QStringLiteral("1EE48C9592479E93")), -1); // a podcast stream
        QCOMPARE(indexOf(QStringLiteral("24FD0C04C5AFA4C1")), -1); // a film kept in the cloud
        DestroyAgent_kwr();
        QCOMPARE(testenv::readAll(path), before);
        QVERIFY(!QFile::exists(path + QStringLiteral(".journal")));
    }

    // The real file's layout differs from ours; edits must keep every other
    // value of it, playlists and smart criteria included.
    void realWorldRewriteKeepsEverythingElse()
    {
        const QString shared = testenv::sharedTestData(QStringLiteral("itunes/Test Library.xml"));
        if (shared.isEmpty())
            QSKIP("the real-world library is not present");
        const QString path = writeLibrary(testenv::readAll(shared));
        const QVariant original = readTree(testenv::readAll(path));
        QVERIFY(original.isValid());
        QCOMPARE(CreateAgent_kwr(path.toUtf8()), int(AGENT_OK));
        QCOMPARE(SetAttributeValue_kwr("ECF2584D15DCF139", "Name", "Tout & <rien>"), int(AGENT_OK));
        QCOMPARE(SetAttributeValue_kwr("ECF2584D15DCF139", "Year", "1999"), int(AGENT_OK));
        QCOMPARE(SetAttributeValue_kwr("ECF2584D15DCF139", "Album", ""), int(AGENT_OK));
        const QByteArray victim = served("PersistentID", GetTrackCount_kwr() - 1);
        const qlonglong victimId = served("TrackID", GetTrackCount_kwr() - 1).toLongLong();
        QCOMPARE(DeleteTrackFromITunes_kwr(victim), int(AGENT_OK));
        DestroyAgent_kwr();

        Dict expected = original.value<Dict>();
        editTrack(&expected, 14970, QStringLiteral("Name"), QStringLiteral("Tout & <rien>"));
        editTrack(&expected, 14970, QStringLiteral("Year"), qlonglong(1999));
        editTrack(&expected, 14970, QStringLiteral("Album"), QVariant());
        removeTrack(&expected, victimId);
        const QVariant after = readTree(testenv::readAll(path));
        QVERIFY(after.isValid());
        const QString diff = difference(after, QVariant::fromValue(expected));
        QVERIFY2(diff.isEmpty(), qPrintable(diff));
        QCOMPARE(testenv::readAll(path + QStringLiteral(".backup")), testenv::readAll(shared));
    }

    void rewriteKeepsEverythingElse_data()
    {
        QTest::addColumn<bool>("separateLines");
        QTest::newRow("itunes layout") << false;
        QTest::newRow("one value a line") << true;
    }

    void rewriteKeepsEverythingElse()
    {
        QFETCH(bool, separateLines);
        const QString path = standardLibrary(6, separateLines);
        const QByteArray originalText = testenv::readAll(path);
        QCOMPARE(CreateAgent_kwr(path.toUtf8()), int(AGENT_OK));
        QCOMPARE(SetAttributeValue_kwr(idOf(0), "Genre", "Bossa \"Nova\" & <Samba>\r\n"), int(AGENT_OK));
        QCOMPARE(SetAttributeValue_kwr(idOf(2), "Artist", ""), int(AGENT_OK));
        QCOMPARE(SetAttributeValue_kwr(idOf(2), "Artist", "Back again"), int(AGENT_OK));
        QCOMPARE(SetAttributeValue_kwr(idOf(4), "Year", ""), int(AGENT_OK));
        QCOMPARE(SetAttributeValue_kwr(idOf(5), "Name", "Żółw 🐢"), int(AGENT_OK));
        QCOMPARE(DeleteTrackFromITunes_kwr(idOf(1)), int(AGENT_OK));
        QCOMPARE(DeleteTrackFromITunes_kwr(idOf(5)), int(AGENT_OK));
        // Served texts stay as they were read until the agent goes.
        QCOMPARE(served("Genre", 0), QByteArray("Bossa \"Nova\" & <Samba>\r\n"));
        DestroyAgent_kwr();

        Dict expected = readTree(originalText).value<Dict>();
        editTrack(&expected, 1000, QStringLiteral("Genre"), QStringLiteral("Bossa \"Nova\" & <Samba>\r\n"));
        editTrack(&expected, 1002, QStringLiteral("Artist"), QStringLiteral("Back again"));
        editTrack(&expected, 1004, QStringLiteral("Year"), QVariant());
        removeTrack(&expected, 1001);
        removeTrack(&expected, 1005);
        const QByteArray text = testenv::readAll(path);
        const QString diff = difference(readTree(text), QVariant::fromValue(expected));
        QVERIFY2(diff.isEmpty(), qPrintable(diff + '\n' + QString::fromUtf8(text)));
        // Nothing outside the changed tracks moved by a byte.
        QVERIFY(text.startsWith(originalText.left(originalText.indexOf("<key>1000</key>"))));
        QVERIFY(text.endsWith(originalText.mid(originalText.indexOf("<key>Music Folder</key>"))));
        QVERIFY(!QFile::exists(path + QStringLiteral(".journal")));
    }

    void valuesTheLibraryCannotHoldAreRefused_data()
    {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("result");
        QTest::newRow("location") << QByteArray("Location") << QByteArray("/x.mp3") << int(AGENT_ERR_VALUE);
        QTest::newRow("engine's key for size") << QByteArray("Size") << QByteArray("1") << int(AGENT_ERR_VALUE);
        QTest::newRow("lower-case key") << QByteArray("name") << QByteArray("x") << int(AGENT_ERR_VALUE);
        QTest::newRow("year with letters") << QByteArray("Year") << QByteArray("19x9") << int(AGENT_ERR_VALUE);
        QTest::newRow("negative year") << QByteArray("Year") << QByteArray("-5") << int(AGENT_ERR_VALUE);
        QTest::newRow("year beyond 64 bits") << QByteArray("Year") << QByteArray("99999999999999999999") << int(AGENT_ERR_VALUE);
        QTest::newRow("control character") << QByteArray("Name") << QByteArray("a\x01z") << int(AGENT_ERR_VALUE);
        QTest::newRow("invalid utf-8") << QByteArray("Album") << QByteArray("\xc3\x28") << int(AGENT_ERR_VALUE);
    }

    void valuesTheLibraryCannotHoldAreRefused()
    {
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, value);
        QFETCH(int, result);
        const QString path = standardLibrary(2);
        const QByteArray before = testenv::readAll(path);
        QCOMPARE(CreateAgent_kwr(path.toUtf8()), int(AGENT_OK));
        QCOMPARE(SetAttributeValue_kwr(idOf(0), key, value), result);
        QCOMPARE(SetAttributeValue_kwr("FFFFFFFFFFFFFFFF", "Name", "x"), int(AGENT_ERR_NO_TRACK));
        DestroyAgent_kwr();
        QCOMPARE(testenv::readAll(path), before);
        QVERIFY(!QFile::exists(path + QStringLiteral(".journal")));
        QVERIFY(!QFile::exists(path + QStringLiteral(".backup")));
    }

    // The loader releases the agent before anything is written.
    void writesNeedNoAgent()
    {
        const QString path = standardLibrary(3);
        QCOMPARE(CreateAgent_kwr(path.toUtf8()), int(AGENT_OK));
        DestroyAgent_kwr();
        QCOMPARE(SetAttributeValue_kwr(idOf(1), "Album", "Later"), int(AGENT_OK));
        QCOMPARE(DeleteTrackFromITunes_kwr(idOf(2)), int(AGENT_OK));
        QCOMPARE(DeleteTrackFromITunes_kwr(idOf(2)), int(AGENT_ERR_NO_TRACK));
        // Not in the file yet, but on disk beside it.
        QVERIFY(QFileInfo(path + QStringLiteral(".journal")).size() > 0);
        QCOMPARE(CreateAgent_kwr(path.toUtf8()), int(AGENT_OK));
        QCOMPARE(GetTrackCount_kwr(), 2);
        QCOMPARE(served("Album", indexOf(persistentId(1))), QByteArray("Later"));
        DestroyAgent_kwr();
        const Dict tree = readTree(testenv::readAll(path)).value<Dict>();
        const Dict list = value(tree, QStringLiteral("Tracks")).value<Dict>();
        QCOMPARE(list.size(), 2);
        QCOMPARE(value(value(list, QStringLiteral("1001")).value<Dict>(), QStringLiteral("Album")).toString(),
                 QStringLiteral("Later"));
    }

    void changesReachALaterProcess()
    {
        const QString path = standardLibrary(3);
        const QByteArray original = testenv::readAll(path);
        QCOMPARE(CreateAgent_kwr(path.toUtf8()), int(AGENT_OK));
        DestroyAgent_kwr();
        // The child never opens the library: it writes to the one last opened.
        QCOMPARE(runChild({QStringLiteral("set"), persistentId(2), QStringLiteral("Name"), QStringLiteral("From a child")}),
                 QByteArray("0"));
        const Dict tree = readTree(testenv::readAll(path)).value<Dict>();
        const Dict changed = value(value(tree, QStringLiteral("Tracks")).value<Dict>(), QStringLiteral("1002")).value<Dict>();
        QCOMPARE(value(changed, QStringLiteral("Name")).toString(), QStringLiteral("From a child"));
        QVERIFY(!QFile::exists(path + QStringLiteral(".journal")));
        QCOMPARE(testenv::readAll(path + QStringLiteral(".backup")), original);

        // A process that ends without writing the file leaves its journal,
        // which the next reader applies.
        QCOMPARE(runChild({QStringLiteral("set-and-vanish"), persistentId(0), QStringLiteral("Genre"), QStringLiteral("Lost?")}),
                 QByteArray("0"));
        QVERIFY(QFile::exists(path + QStringLiteral(".journal")));
        QCOMPARE(CreateAgent_kwr(path.toUtf8()), int(AGENT_OK));
        QCOMPARE(served("Genre", indexOf(persistentId(0))), QByteArray("Lost?"));
        QCOMPARE(served("Name", indexOf(persistentId(2))), QByteArray("From a child"));
        DestroyAgent_kwr();
        QVERIFY(!QFile::exists(path + QStringLiteral(".journal")));
    }

    void noLibraryEverOpened()
    {
        QTemporaryDir elsewhere;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), elsewhere.path());
        QCOMPARE(runChild({QStringLiteral("set"), persistentId(0), QStringLiteral("Name"), QStringLiteral("x")}, env),
                 QByteArray::number(AGENT_ERR_NO_LIBRARY));
    }

    void tornJournalEndIsDropped()
    {
        const QString path = standardLibrary(3);
        QCOMPARE(CreateAgent_kwr(path.toUtf8()), int(AGENT_OK));
        DestroyAgent_kwr();
        QCOMPARE(runChild({QStringLiteral("set-and-vanish"), persistentId(1), QStringLiteral("Artist"), QStringLiteral("Kept")}),
                 QByteArray("0"));
        const QString journal = path + QStringLiteral(".journal");
        const QByteArray whole = testenv::readAll(journal);
        QVERIFY(whole.endsWith('\n'));
        QFile file(journal);
        QVERIFY(file.open(QIODevice::Append));
        file.write("0123456789abcdef S "); // a crash in the middle of a line
        file.close();
        QCOMPARE(CreateAgent_kwr(path.toUtf8()), int(AGENT_OK));
        QCOMPARE(served("Artist", indexOf(persistentId(1))), QByteArray("Kept"));
        QCOMPARE(testenv::readAll(journal), whole);
        QCOMPARE(SetAttributeValue_kwr(idOf(2), "Artist", "Also kept"), int(AGENT_OK));
        DestroyAgent_kwr();
        const Dict list = value(readTree(testenv::readAll(path)).value<Dict>(), QStringLiteral("Tracks")).value<Dict>();
        QCOMPARE(value(value(list, QStringLiteral("1001")).value<Dict>(), QStringLiteral("Artist")).toString(), QStringLiteral("Kept"));
        QCOMPARE(value(value(list, QStringLiteral("1002")).value<Dict>(), QStringLiteral("Artist")).toString(), QStringLiteral("Also kept"));
    }

    // A child writes as fast as it can and is killed at some point; every
    // change it acknowledged must be there, and the file whole.
    void killedWriterLosesNoAcknowledgedChange()
    {
        constexpr int kTracks = 20;
        const QString path = standardLibrary(kTracks);
        std::unique_ptr<QProcess> child(startChild({QStringLiteral("hammer"), path, QStringLiteral("100000")}));
        QVERIFY(child->waitForStarted());
        int acknowledged = -1;
        QByteArray pending;
        while (acknowledged < 3000 && child->state() == QProcess::Running) {
            child->waitForReadyRead(60000);
            pending += child->readAllStandardOutput();
            const qsizetype lastLine = pending.lastIndexOf('\n');
            if (lastLine < 0)
                continue;
            for (const QByteArray& line : pending.left(lastLine).split('\n'))
                if (line.startsWith("ack "))
                    acknowledged = line.mid(4).toInt();
            pending = pending.mid(lastLine + 1);
        }
        child->kill();
        child->waitForFinished(60000);
        // Lines the child wrote before it died count as acknowledged too.
        pending += child->readAllStandardOutput();
        for (const QByteArray& line : pending.split('\n'))
            if (line.startsWith("ack ") && line.endsWith(QByteArray::number(line.mid(4).toInt())))
                acknowledged = qMax(acknowledged, line.mid(4).toInt());
        QVERIFY2(acknowledged >= 3000, child->readAllStandardError().constData());

        QVERIFY(readTree(testenv::readAll(path)).isValid());
        QCOMPARE(CreateAgent_kwr(path.toUtf8()), int(AGENT_OK));
        for (int t = 0; t < kTracks; ++t) {
            // Write i went to track i % kTracks; the one after the last
            // acknowledgement may or may not have reached the disk.
            const int lastAcked = acknowledged - ((acknowledged - t) % kTracks + kTracks) % kTracks;
            const QByteArray name = served("Name", indexOf(persistentId(t)));
            const int seen = name.mid(1).toInt();
            QVERIFY2(name.startsWith('v') && (seen == lastAcked || (seen == lastAcked + kTracks && seen == acknowledged + 1)),
                     qPrintable(QStringLiteral("track %1 holds %2, last acknowledged %3").arg(t).arg(QString::fromUtf8(name)).arg(lastAcked)));
        }
        DestroyAgent_kwr();
    }

    // The promise of the library file: every change the engine's apply
    // acknowledged is in the file after the next open, whatever users'
    // folders hold and whoever else opens the library. A child applies an
    // artist and an album to tracks through the engine and is killed at a
    // step of its rewrite, or another process opens the library while it
    // applies; then backup and sync tools do what they do to the folder, and
    // a new process opens the library and applies one track more. Each row
    // counts from the file itself, read by the test's own parser.
    void acknowledgedChangesReachTheFile_data()
    {
        QTest::addColumn<QString>("folder"); // what the folder goes through
        QTest::addColumn<QString>("stop");   // where the child is killed: empty for nowhere
        QTest::addColumn<bool>("second");    // another process opens during the apply
        QTest::addColumn<QStringList>("logged"); // what the next opening's log says
        QTest::newRow("killed at any moment of an apply") << "plain" << "any" << false << QStringList();
        QTest::newRow("killed with its new file written, not synced") << "plain" << "unsynced" << false << QStringList();
        QTest::newRow("killed with its new file synced, before the rename") << "plain" << "synced" << false << QStringList();
        QTest::newRow("killed after the rename, before the folder's sync") << "plain" << "renamed" << false << QStringList();
        QTest::newRow("killed with the journal removed, before the folder's sync")
            << "plain" << "journal removed" << false << QStringList();
        QTest::newRow("killed before the rename, then a hard-link snapshot of the folder")
            << "snapshot" << "synced" << false
            << QStringList{"is a file with a second name (a hard link): its 6 change(s) are read"};
        QTest::newRow("killed before the rename, then the journal a symbolic link")
            << "journal link" << "synced" << false
            << QStringList{"is a symbolic link: its 6 change(s) are read"};
        QTest::newRow("killed before the rename, then the backup with a second name")
            << "backup link" << "synced" << false << QStringList();
        QTest::newRow("killed before the rename on a share without locks")
            << "lockless" << "synced" << false
            << QStringList{"cannot be locked, so another process may open the library", "removed, left by a write that was killed"};
        QTest::newRow("a second process opens during the apply") << "plain" << "" << true << QStringList();
        QTest::newRow("a second user of the library's group opens during the apply") << "users" << "" << true << QStringList();
        QTest::newRow("the library replaced by another program, then a second process opens")
            << "replaced" << "" << true << QStringList();
        // A desktop's tags and rating on the library, a second user let in
        // by its ACL: the new file and the backup keep them.
        QTest::newRow("killed before the rename, the library with the desktop's attributes and an ACL")
            << "attributes" << "synced" << false << QStringList();
        QTest::newRow("a second user of the group opens during the apply, the library with attributes and an ACL")
            << "users attributes" << "" << true << QStringList();
    }

    void acknowledgedChangesReachTheFile()
    {
        QFETCH(QString, folder);
        QFETCH(QString, stop);
        QFETCH(bool, second);
        QFETCH(QStringList, logged);
        const bool users = folder.startsWith(QLatin1String("users"));
        const bool attributes = folder.endsWith(QLatin1String("attributes"));
        if (users && ::geteuid() != 0)
            QSKIP("only the super-user can set up the files of other users");
        QTemporaryDir base;
        QVERIFY(base.isValid() && ::chmod(QFile::encodeName(base.path()).constData(), 0755) == 0);
        const QString music = base.filePath(QStringLiteral("Music library")), elsewhere = base.filePath(QStringLiteral("elsewhere"));
        QVERIFY(QDir().mkpath(music) && QDir().mkpath(elsewhere));
        const QString song = music + QStringLiteral("/song.mp3"), xml = music + QStringLiteral("/iTunes Library.xml");
        QVERIFY(QFile::copy(testenv::fixture(QStringLiteral("id3v2-partial.mp3")), song));
        const int applied = stop == QLatin1String("any") ? 1000 : second ? 200 : 3;
        const int total = applied + 2; // one more for the second process, one for the next opening
        QVERIFY(libraryxml::write(xml, libraryxml::titledTracks(QStringList(total, song))));

        // Each process has a folder of its own for the engine's files and
        // log; a normal user's is that user's, and so is the home.
        const QString writer = users ? QStringLiteral("1000:1000,2000") : QString();
        const QString other = users ? QStringLiteral("1001:1001,2000") : QString();
        QVERIFY(give(song, users ? QStringLiteral("1234:2000") : QStringLiteral("0:0"), 0644) || !users);
        if (users)
            QVERIFY(give(music, QStringLiteral("0:2000"), 02775) && give(xml, QStringLiteral("1234:2000"), 0664));
        const QString acl = QStringLiteral("user::rw-,user:4321:rw-,group::rw-,mask::rw-,other::r--");
        if (attributes) {
            if (!fileattributes::supported(music))
                QSKIP("the test folder's file system keeps no extended attributes or ACLs");
            QVERIFY(fileattributes::set(xml, fileattributes::desktopAttributes()) && fileattributes::setAcl(xml, acl));
        }
        int runs = 0;
        const auto run = [&](const QString& user, QStringList arguments) {
            if (folder == QLatin1String("lockless"))
                arguments << QStringLiteral("lockless");
            return startMmApply(base.filePath(QStringLiteral("run %1").arg(++runs)), user, xml, arguments);
        };
        QHash<QString, QString> acknowledged; // persistent ID -> artist
        const auto take = [&](ChildLines& child, const QString& artist) {
            for (const QString& pid : child.values("ack"))
                acknowledged.insert(pid, artist + QLatin1Char(' ') + pid);
        };

        QStringList writing{QStringLiteral("0"), QString::number(applied), QStringLiteral("Artist")};
        if (!stop.isEmpty() && stop != QLatin1String("any"))
            writing << QStringLiteral("stop=") + stop;
        if (second)
            writing << QStringLiteral("hold=100,150");
        const std::unique_ptr<ChildLines> apply = run(writer, writing);
        QString secondAnswer;
        if (stop == QLatin1String("any")) {
            while (apply->values("ack").size() < 40 && apply->waitFor("ack")) {
            }
            apply->kill();
        } else if (!stop.isEmpty()) {
            QVERIFY2(apply->waitFor("held"), apply->errors().constData());
            apply->kill();
        } else {
            QVERIFY2(apply->waitFor("held"), apply->errors().constData());
            if (folder == QLatin1String("replaced")) {
                // Another program writes the file anew and renames it into place.
                QByteArray text = testenv::readAll(xml);
                text.replace("<string>Song 1</string>", "<string>Song 1, named by another program</string>");
                QVERIFY(testenv::writeAll(xml + QStringLiteral(".theirs"), text));
                QVERIFY(::rename(QFile::encodeName(xml + QStringLiteral(".theirs")).constData(),
                                 QFile::encodeName(xml).constData()) == 0);
            }
            // The second has read the journal and is about to replace the
            // file (when it got that far): the first goes on meanwhile.
            const std::unique_ptr<ChildLines> opening =
                run(other, {QString::number(applied), QStringLiteral("1"), QStringLiteral("Second"), QStringLiteral("stop=synced")});
            if (opening->waitFor("held")) {
                apply->say("go on");
                QVERIFY(apply->waitFor("held"));
                opening->say("go on");
            }
            opening->finish();
            secondAnswer = opening->values("load").value(0);
            take(*opening, QStringLiteral("Second"));
            // As many as the first may still wait for.
            apply->say("go on");
            apply->say("go on");
            apply->finish();
            QCOMPARE(apply->values("committed"), QStringList{QStringLiteral("0")});
        }
        take(*apply, QStringLiteral("Artist"));
        if (stop == QLatin1String("any")) {
            QVERIFY2(acknowledged.size() >= 40, apply->errors().constData());
            QVERIFY2(acknowledged.size() < applied, "the child finished before it was killed");
        } else {
            QCOMPARE(acknowledged.size(), applied + (secondAnswer == QLatin1String("0") ? 1 : 0));
        }

        // What users' tools then do to the folder.
        const QString journal = xml + QStringLiteral(".journal");
        if (folder == QLatin1String("snapshot"))
            QCOMPARE(QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-al"), music, elsewhere + QStringLiteral("/snapshot")}), 0);
        if (folder == QLatin1String("journal link"))
            QVERIFY(QFile::rename(journal, elsewhere + QStringLiteral("/journal")) && QFile::link(elsewhere + QStringLiteral("/journal"), journal));
        if (folder == QLatin1String("backup link"))
            QVERIFY(::link(QFile::encodeName(xml + QStringLiteral(".backup")).constData(),
                           QFile::encodeName(elsewhere + QStringLiteral("/backup")).constData()) == 0);
        // The next start comes later: the killed rewrite's file is old then.
        for (const QString& temporary : temporariesIn(music))
            QVERIFY(makeOld(music + QLatin1Char('/') + temporary));
        const QMap<QString, QByteArray> outside = contentsOf(elsewhere);

        const std::unique_ptr<ChildLines> next = run(other, {QString::number(applied + 1), QStringLiteral("1"), QStringLiteral("Next")});
        next->finish();
        QCOMPARE(next->values("load"), QStringList{QStringLiteral("0")});
        take(*next, QStringLiteral("Next"));

        const QMap<QString, QMap<QString, QString>> file = libraryxml::read(xml);
        QCOMPARE(file.size(), total);
        QStringList lost;
        for (auto it = acknowledged.cbegin(); it != acknowledged.cend(); ++it)
            if (file.value(it.key()).value(QStringLiteral("Artist")) != it.value()
                || file.value(it.key()).value(QStringLiteral("Album")) != QStringLiteral("Album ") + it.key())
                lost << it.key();
        QVERIFY2(lost.isEmpty(), qPrintable(QStringLiteral("%1 of %2 acknowledged changes are not in the file")
                                                .arg(lost.size())
                                                .arg(acknowledged.size())));
        QCOMPARE(temporariesIn(music), QStringList());
        QCOMPARE(contentsOf(elsewhere), outside);
        if (attributes) {
            QCOMPARE(fileattributes::of(xml), fileattributes::desktopAttributes());
            QCOMPARE(fileattributes::aclOf(xml), acl);
            QCOMPARE(fileattributes::aclOf(xml + QStringLiteral(".backup")), acl);
        }
        // The second process was told that another has the library.
        if (second)
            QCOMPARE(secondAnswer, QString::number(MM_ERR_LIBRARY_IN_USE));
        const QString log = QString::fromUtf8(testenv::readAll(base.filePath(QStringLiteral("run %1/data/MM.log").arg(runs))));
        for (const QString& line : logged)
            QVERIFY2(log.contains(line), qPrintable(line + QStringLiteral(" not in:\n") + log.right(2000)));
    }

    // The promise of opening: a library the user can read opens, whatever
    // is in its lock file's place, wherever the user may not write, and
    // after another user's crash; only where the user could replace what
    // is there is the load refused, for a reason of its own. Root sets the
    // folder up, a child that is the user loads the library through the
    // engine (in a mount of its own where the folder is read-only); a
    // crashed owner is a child killed in its apply, whose acknowledged
    // changes the second user's opening then writes into the file.
    void aLibraryThatCanBeReadOpens_data()
    {
        QTest::addColumn<QString>("place"); // "read-only mount", "unwritable folder", "writable folder", "acl share"
        QTest::addColumn<QString>("lock");  // what is in the lock file's place
        QTest::addColumn<QString>("user");  // uid:gid,groups; "root" stays the super-user
        QTest::addColumn<int>("load");      // the engine's answer
        const QString owner = QStringLiteral("1000:1000,2000");
        QTest::newRow("a read-only mount, the user's own lock left by a killed run")
            << "read-only mount" << "stale" << owner << 0;
        QTest::newRow("a read-only mount, that lock, another member of the group")
            << "read-only mount" << "stale" << "1001:1001,2000" << 0;
        QTest::newRow("a read-only mount, that lock, the super-user") << "read-only mount" << "stale" << "root" << 0;
        QTest::newRow("a library shared by an ACL, after its owner's run was killed")
            << "acl share" << "crashed owner's" << "4321:4321" << 0;
        QTest::newRow("a FIFO in the lock's place, in a folder the user may not write")
            << "unwritable folder" << "fifo" << owner << 0;
        QTest::newRow("a folder in the lock's place, in a folder the user may not write")
            << "unwritable folder" << "folder" << owner << 0;
        QTest::newRow("another's lock the user may not open, in a folder the user may not write")
            << "unwritable folder" << "another's" << owner << 0;
        QTest::newRow("a folder the user may not write, no lock") << "unwritable folder" << "none" << owner << 0;
        QTest::newRow("a FIFO in the lock's place, in a folder the user may write")
            << "writable folder" << "fifo" << owner << int(MM_ERR_LIBRARY_LOCK_NOT_FILE);
        QTest::newRow("another's lock the user may not open, in a folder the user may write")
            << "writable folder" << "another's" << owner << int(MM_ERR_LIBRARY_LOCK_DENIED);
    }

    void aLibraryThatCanBeReadOpens()
    {
        QFETCH(QString, place);
        QFETCH(QString, lock);
        QFETCH(QString, user);
        QFETCH(int, load);
        if (::geteuid() != 0)
            QSKIP("only the super-user can set up the files of other users");
        QTemporaryDir base;
        QVERIFY(base.isValid() && ::chmod(QFile::encodeName(base.path()).constData(), 0755) == 0);
        const QString music = base.filePath(QStringLiteral("Music library"));
        QVERIFY(QDir().mkpath(music));
        const QString song = music + QStringLiteral("/song.mp3"), xml = music + QStringLiteral("/iTunes Library.xml");
        const QString lockFile = xml + QStringLiteral(".lock");
        constexpr int kTracks = 4;
        QVERIFY(QFile::copy(testenv::fixture(QStringLiteral("id3v2-partial.mp3")), song));
        QVERIFY(libraryxml::write(xml, libraryxml::titledTracks(QStringList(kTracks, song))));
        const bool acl = place == QLatin1String("acl share");
        if (acl && !fileattributes::supported(music))
            QSKIP("the test folder's file system keeps no ACLs");
        if (place == QLatin1String("read-only mount"))
            QVERIFY(give(music, QStringLiteral("1000:2000"), 02775) && give(xml, QStringLiteral("1000:2000"), 0664));
        else if (acl)
            // The owner's own, and a second user let in by ACLs alone.
            QVERIFY(give(music, QStringLiteral("1000:1000"), 0750) && give(xml, QStringLiteral("1000:1000"), 0640)
                    && fileattributes::setAcl(music, QStringLiteral("user::rwx,user:4321:rwx,group::r-x,mask::rwx,other::---"))
                    && fileattributes::setAcl(xml, QStringLiteral("user::rw-,user:4321:rw-,group::r--,mask::rw-,other::---")));
        else
            QVERIFY(give(music, QStringLiteral("0:2000"), place == QLatin1String("writable folder") ? 02775 : 0755)
                    && give(xml, QStringLiteral("0:2000"), 0664));
        if (lock == QLatin1String("stale"))
            QVERIFY(testenv::writeAll(lockFile, QByteArray()) && give(lockFile, QStringLiteral("1000:2000"), 0664));
        else if (lock == QLatin1String("fifo"))
            QVERIFY(::mkfifo(QFile::encodeName(lockFile).constData(), 0644) == 0);
        else if (lock == QLatin1String("folder"))
            QVERIFY(QDir().mkpath(lockFile));
        else if (lock == QLatin1String("another's"))
            QVERIFY(testenv::writeAll(lockFile, QByteArray()) && give(lockFile, QStringLiteral("1234:1234"), 0600));
        QStringList acknowledged;
        if (lock == QLatin1String("crashed owner's")) {
            const std::unique_ptr<ChildLines> owner = startMmApply(
                base.filePath(QStringLiteral("owner")), QStringLiteral("1000:1000"), xml,
                {QStringLiteral("0"), QStringLiteral("2"), QStringLiteral("Owner"), QStringLiteral("stop=synced")});
            QVERIFY2(owner->waitFor("held"), owner->errors().constData());
            owner->kill();
            acknowledged = owner->values("ack");
            QCOMPARE(acknowledged.size(), 2);
            QVERIFY(QFile::exists(lockFile) && QFile::exists(xml + QStringLiteral(".journal")));
        }

        QStringList arguments{QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("None")};
        if (place == QLatin1String("read-only mount"))
            arguments << QStringLiteral("readonly=") + music;
        const std::unique_ptr<ChildLines> opening = startMmApply(
            base.filePath(QStringLiteral("user")), user == QLatin1String("root") ? QString() : user, xml, arguments);
        opening->finish();
        if (opening->values("mount").value(0) == QLatin1String("refused"))
            QSKIP("no mount of its own here: mounting needs the super-user");
        QCOMPARE(opening->values("load"), QStringList{QString::number(load)});
        if (load != 0) {
            QVERIFY(opening->values("tracks").isEmpty());
            return;
        }
        // Those the owner completed are no longer to be done.
        QCOMPARE(opening->values("tracks"), QStringList{QString::number(kTracks - acknowledged.size())});
        QCOMPARE(opening->values("committed"), QStringList{QStringLiteral("0")});
        // What the killed owner acknowledged is in the file now.
        const QMap<QString, QMap<QString, QString>> file = libraryxml::read(xml);
        for (const QString& pid : acknowledged)
            QCOMPARE(file.value(pid).value(QStringLiteral("Artist")), QStringLiteral("Owner ") + pid);
    }

    void growingJournalIsWrittenIntoTheFile()
    {
        const QString path = standardLibrary(4);
        QCOMPARE(CreateAgent_kwr(path.toUtf8()), int(AGENT_OK));
        DestroyAgent_kwr();
        const QString journal = path + QStringLiteral(".journal");
        qint64 largest = 0;
        bool rewritten = false;
        for (int i = 0; i < 3000 && !rewritten; ++i) {
            QCOMPARE(SetAttributeValue_kwr(idOf(i % 4), "Album", QByteArray("Album v") + QByteArray::number(i)), int(AGENT_OK));
            const qint64 size = QFileInfo(journal).size();
            rewritten = size < largest;
            largest = qMax(largest, size);
        }
        QVERIFY(rewritten);
        QVERIFY(testenv::readAll(path).contains("<string>Album v"));
        DestroyAgent_kwr();
    }

    // After the file took the journal in, the agent goes on from the text
    // it wrote: every place it knows must have moved with the edits.
    void changesAfterAnIntermediateRewrite()
    {
        const QString path = standardLibrary(6);
        const QByteArray original = testenv::readAll(path);
        QCOMPARE(CreateAgent_kwr(path.toUtf8()), int(AGENT_OK));
        DestroyAgent_kwr();
        char first[50] = {}, second[50] = {};
        QCOMPARE(AddTrackToITunes_kwr(copyFixture(QStringLiteral("id3v2-partial.mp3")).toUtf8(), first), int(AGENT_OK));
        QCOMPARE(DeleteTrackFromITunes_kwr(idOf(1)), int(AGENT_OK));
        QCOMPARE(SetAttributeValue_kwr(idOf(2), "Artist", "Before"), int(AGENT_OK));
        const QString journal = path + QStringLiteral(".journal");
        qint64 largest = 0;
        int i = 0;
        for (bool rewritten = false; !rewritten && i < 5000; ++i) {
            QCOMPARE(SetAttributeValue_kwr(idOf(0), "Name", QByteArray("Name ") + QByteArray::number(i)), int(AGENT_OK));
            const qint64 size = QFileInfo(journal).size();
            rewritten = size < largest;
            largest = qMax(largest, size);
        }
        QVERIFY(i < 5000);
        QVERIFY(testenv::readAll(path).contains(first));
        QCOMPARE(DeleteTrackFromITunes_kwr(idOf(3)), int(AGENT_OK));
        QCOMPARE(SetAttributeValue_kwr(first, "Genre", "Added, then changed"), int(AGENT_OK));
        QCOMPARE(SetAttributeValue_kwr(idOf(5), "Year", "2024"), int(AGENT_OK));
        QCOMPARE(SetAttributeValue_kwr(idOf(2), "Artist", "After"), int(AGENT_OK));
        QCOMPARE(AddTrackToITunes_kwr(copyFixture(QStringLiteral("id3v2-cover.mp3")).toUtf8(), second), int(AGENT_OK));
        DestroyAgent_kwr();

        Dict expected = readTree(original).value<Dict>();
        editTrack(&expected, 1000, QStringLiteral("Name"), QStringLiteral("Name %1").arg(i - 1));
        editTrack(&expected, 1002, QStringLiteral("Artist"), QStringLiteral("After"));
        editTrack(&expected, 1005, QStringLiteral("Year"), qlonglong(2024));
        removeTrack(&expected, 1001);
        removeTrack(&expected, 1003);
        Dict after = readTree(testenv::readAll(path)).value<Dict>();
        Dict list = value(after, QStringLiteral("Tracks")).value<Dict>();
        QCOMPARE(list.size(), 6);
        const Dict added = list.at(4).second.value<Dict>();
        QCOMPARE(value(added, QStringLiteral("Persistent ID")).toString(), QString::fromLatin1(first));
        QCOMPARE(value(added, QStringLiteral("Name")).toString(), QStringLiteral("Grey Water Café"));
        QCOMPARE(value(added, QStringLiteral("Genre")).toString(), QStringLiteral("Added, then changed"));
        QCOMPARE(value(list.at(5).second.value<Dict>(), QStringLiteral("Persistent ID")).toString(), QString::fromLatin1(second));
        list.removeLast();
        list.removeLast();
        setValue(&after, QStringLiteral("Tracks"), QVariant::fromValue(list));
        const QString diff = difference(QVariant::fromValue(after), QVariant::fromValue(expected));
        QVERIFY2(diff.isEmpty(), qPrintable(diff));
    }

    // Something else (iTunes itself, on the Mac) may replace the file while
    // changes wait; both its and our changes must end up in the file.
    void fileReplacedMeanwhileKeepsBothChanges()
    {
        const QString path = standardLibrary(3);
        QCOMPARE(CreateAgent_kwr(path.toUtf8()), int(AGENT_OK));
        DestroyAgent_kwr();
        QCOMPARE(SetAttributeValue_kwr(idOf(0), "Name", "Ours"), int(AGENT_OK));
        Dict replaced = library(tracks(3), {});
        editTrack(&replaced, 1002, QStringLiteral("Genre"), QStringLiteral("Theirs"));
        const QString temp = path + QStringLiteral(".new");
        testenv::writeAll(temp, libraryText(replaced));
        QVERIFY(::rename(QFile::encodeName(temp).constData(), QFile::encodeName(path).constData()) == 0);
        QCOMPARE(SetAttributeValue_kwr(idOf(1), "Name", "Ours too"), int(AGENT_OK));
        QCOMPARE(CreateAgent_kwr(path.toUtf8()), int(AGENT_OK));
        DestroyAgent_kwr();
        const Dict list = value(readTree(testenv::readAll(path)).value<Dict>(), QStringLiteral("Tracks")).value<Dict>();
        QCOMPARE(value(value(list, QStringLiteral("1000")).value<Dict>(), QStringLiteral("Name")).toString(), QStringLiteral("Ours"));
        QCOMPARE(value(value(list, QStringLiteral("1001")).value<Dict>(), QStringLiteral("Name")).toString(), QStringLiteral("Ours too"));
        QCOMPARE(value(value(list, QStringLiteral("1002")).value<Dict>(), QStringLiteral("Genre")).toString(), QStringLiteral("Theirs"));
    }

    // After a rewrite the agent goes on from the text it wrote; a file
    // changed by someone else since must be read again, however it was
    // changed, or the next rewrite would undo that change.
    void fileChangedAfterARewriteIsReadAgain_data()
    {
        QTest::addColumn<bool>("inPlace");
        QTest::newRow("replaced by a rename") << false;
        QTest::newRow("written over in place") << true;
    }

    void fileChangedAfterARewriteIsReadAgain()
    {
        QFETCH(bool, inPlace);
        const QString path = standardLibrary(3);
        QCOMPARE(CreateAgent_kwr(path.toUtf8()), int(AGENT_OK));
        DestroyAgent_kwr();
        QCOMPARE(SetAttributeValue_kwr(idOf(0), "Name", "Ours"), int(AGENT_OK));
        QCOMPARE(WriteLibraryFile_kwr(), int(AGENT_OK));
        const QByteArray ours = testenv::readAll(path);
        Dict theirs = readTree(ours).value<Dict>();
        editTrack(&theirs, 1002, QStringLiteral("Genre"), QStringLiteral("Theirs, a longer genre"));
        const QString temp = path + QStringLiteral(".new");
        testenv::writeAll(inPlace ? path : temp, libraryText(theirs));
        if (!inPlace)
            QVERIFY(::rename(QFile::encodeName(temp).constData(), QFile::encodeName(path).constData()) == 0);
        QVERIFY(testenv::readAll(path).size() != ours.size());
        QCOMPARE(SetAttributeValue_kwr(idOf(1), "Name", "Ours too"), int(AGENT_OK));
        QCOMPARE(WriteLibraryFile_kwr(), int(AGENT_OK));
        const Dict list = value(readTree(testenv::readAll(path)).value<Dict>(), QStringLiteral("Tracks")).value<Dict>();
        QCOMPARE(value(value(list, QStringLiteral("1000")).value<Dict>(), QStringLiteral("Name")).toString(), QStringLiteral("Ours"));
        QCOMPARE(value(value(list, QStringLiteral("1001")).value<Dict>(), QStringLiteral("Name")).toString(), QStringLiteral("Ours too"));
        QCOMPARE(value(value(list, QStringLiteral("1002")).value<Dict>(), QStringLiteral("Genre")).toString(),
                 QStringLiteral("Theirs, a longer genre"));
        DestroyAgent_kwr();
    }

    // A library kept elsewhere and linked into place is written where it
    // is: the links stay, and the journal and the backup lie beside the
    // file itself. Through a link or through the file it is one library.
    void linkedLibraryIsWrittenWhereItIs_data()
    {
        QTest::addColumn<QString>("layout");
        QTest::newRow("a link to the file") << "link";
        QTest::newRow("a relative link to a link") << "chain";
        QTest::newRow("a linked folder") << "folder";
    }

    void linkedLibraryIsWrittenWhereItIs()
    {
        QFETCH(QString, layout);
        const QString base = m_dir.filePath(QStringLiteral("linked %1").arg(++m_libraries));
        const QString target = base + QStringLiteral("/share/Library.xml");
        const QString place = base + QStringLiteral("/place");
        QVERIFY(QDir().mkpath(base + QStringLiteral("/share")));
        QVERIFY(testenv::writeAll(target, libraryText(library(tracks(3), {playlist(1, QStringLiteral("Library"), range(3))}))));
        if (layout == QLatin1String("folder")) {
            QVERIFY(QFile::link(QStringLiteral("share"), place));
        } else {
            QVERIFY(QDir().mkpath(place));
            QVERIFY(layout == QLatin1String("link") ? QFile::link(target, place + QStringLiteral("/Library.xml"))
                                                    : QFile::link(QStringLiteral("hop.xml"), place + QStringLiteral("/Library.xml"))
                        && QFile::link(QStringLiteral("../share/Library.xml"), place + QStringLiteral("/hop.xml")));
        }
        const QString link = place + QStringLiteral("/Library.xml");
        const auto listing = [](const QString& folder) {
            return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
        };
        const QStringList placeBefore = listing(place), baseBefore = listing(base);

        QCOMPARE(CreateAgent_kwr(link.toUtf8()), int(AGENT_OK));
        QCOMPARE(SetAttributeValue_kwr(idOf(0), "Name", "Through the link"), int(AGENT_OK));
        QCOMPARE(WriteLibraryFile_kwr(), int(AGENT_OK));
        QCOMPARE(SetAttributeValue_kwr(idOf(1), "Name", "Waiting"), int(AGENT_OK));
        QVERIFY(QFileInfo(layout == QLatin1String("folder") ? place : link).isSymLink());
        QCOMPARE(listing(base), baseBefore);
        if (layout != QLatin1String("folder"))
            QCOMPARE(listing(place), placeBefore);
        QCOMPARE(value(value(tracksOf(target), QStringLiteral("1000")).value<Dict>(), QStringLiteral("Name")).toString(),
                 QStringLiteral("Through the link"));
        QVERIFY(QFile::exists(target + QStringLiteral(".backup")));
        QVERIFY(QFile::exists(target + QStringLiteral(".journal")));

        QCOMPARE(CreateAgent_kwr(target.toUtf8()), int(AGENT_OK));
        QCOMPARE(served("Name", indexOf(persistentId(1))), QByteArray("Waiting"));
        DestroyAgent_kwr();
        QCOMPARE(value(value(tracksOf(target), QStringLiteral("1001")).value<Dict>(), QStringLiteral("Name")).toString(),
                 QStringLiteral("Waiting"));
        QVERIFY(!QFile::exists(target + QStringLiteral(".journal")));
        QVERIFY(QFileInfo(layout == QLatin1String("folder") ? place : link).isSymLink());
    }

    // The backup, the journal and the lock are this program's own files:
    // whoever may write the library's folder may put a link there, or a
    // second name of another file, and what that names must stay as it was,
    // content and mode, while the changes still reach the library.
    // A journal a snapshot or a sync tool left there, with changes that
    // never reached the file, is read: the changes come, and the first new
    // one goes into a plain journal that carries them, not through the link.
    void ownFilesBesideTheLibraryAreNeverFollowed_data()
    {
        QTest::addColumn<QString>("own");  // "backup", "journal" or "lock"
        QTest::addColumn<QString>("kind"); // "link", "dangling link" or "hard link"
        QTest::addColumn<bool>("changes"); // the file named holds a journal's changes
        for (const char* own : {"backup", "journal", "lock"})
            for (const char* kind : {"link", "dangling link", "hard link"})
                QTest::newRow(qPrintable(QStringLiteral("a %1 in the %2's place").arg(QLatin1String(kind), QLatin1String(own))))
                    << QString::fromLatin1(own) << QString::fromLatin1(kind) << false;
        QTest::newRow("the journal a link to a journal") << "journal" << "link" << true;
        QTest::newRow("the journal with a second name") << "journal" << "hard link" << true;
    }

    void ownFilesBesideTheLibraryAreNeverFollowed()
    {
        QFETCH(QString, own);
        QFETCH(QString, kind);
        QFETCH(bool, changes);
        const QString path = standardLibrary(3);
        const QByteArray original = testenv::readAll(path);
        const QString place = path + QLatin1Char('.') + own;
        const QString victim = m_dir.filePath(QStringLiteral("victim %1").arg(++m_libraries));
        QByteArray secret("the user's own file\n");
        if (changes) {
            // A process that ended without writing the file left its journal.
            QCOMPARE(CreateAgent_kwr(path.toUtf8()), int(AGENT_OK));
            DestroyAgent_kwr();
            QCOMPARE(runChild({QStringLiteral("set-and-vanish"), persistentId(1), QStringLiteral("Name"), QStringLiteral("Kept")}),
                     QByteArray("0"));
            QVERIFY(QFile::rename(place, victim));
            secret = testenv::readAll(victim);
            QVERIFY(::chmod(QFile::encodeName(victim).constData(), 0600) == 0);
        } else if (kind != QLatin1String("dangling link")) {
            QVERIFY(testenv::writeAll(victim, secret));
            QVERIFY(::chmod(QFile::encodeName(victim).constData(), 0600) == 0);
        }
        QVERIFY(kind == QLatin1String("hard link")
                    ? ::link(QFile::encodeName(victim).constData(), QFile::encodeName(place).constData()) == 0
                    : QFile::link(victim, place));
        const auto untouched = [&] {
            if (kind == QLatin1String("dangling link"))
                return !QFileInfo::exists(victim);
            struct stat st;
            return testenv::readAll(victim) == secret && ::stat(QFile::encodeName(victim).constData(), &st) == 0
                && (st.st_mode & 07777) == 0600;
        };

        QCOMPARE(CreateAgent_kwr(path.toUtf8()), int(AGENT_OK));
        QVERIFY(untouched());
        if (changes)
            QCOMPARE(served("Name", indexOf(persistentId(1))), QByteArray("Kept"));
        QCOMPARE(SetAttributeValue_kwr(idOf(0), "Name", "Changed"), int(AGENT_OK));
        QVERIFY(untouched());
        QVERIFY(!QFileInfo(path + QStringLiteral(".journal")).isSymLink());
        if (changes) {
            QVERIFY(testenv::readAll(path + QStringLiteral(".journal")).startsWith(secret));
            QVERIFY(logText().contains(path + QStringLiteral(".journal replaced by a journal of this program's own")));
        }
        QCOMPARE(WriteLibraryFile_kwr(), int(AGENT_OK));
        DestroyAgent_kwr();
        QVERIFY(untouched());
        QCOMPARE(value(value(tracksOf(path), QStringLiteral("1000")).value<Dict>(), QStringLiteral("Name")).toString(),
                 QStringLiteral("Changed"));
        if (changes)
            QCOMPARE(value(value(tracksOf(path), QStringLiteral("1001")).value<Dict>(), QStringLiteral("Name")).toString(),
                     QStringLiteral("Kept"));
        QVERIFY(!QFileInfo(path + QStringLiteral(".backup")).isSymLink());
        QCOMPARE(testenv::readAll(path + QStringLiteral(".backup")), original);
        QVERIFY(!QFileInfo::exists(path + QStringLiteral(".journal")) && !QFileInfo(path + QStringLiteral(".journal")).isSymLink());
    }

    // The rewrite replaces the file with a new one, which must be the same
    // user's, group's and mode's; a file marked read-only is not replaced,
    // whoever runs, and its changes wait in the journal.
    void libraryFileKeepsOwnerAndMode_data()
    {
        QTest::addColumn<QString>("owner"); // "user", "group" (another of the user's), "other" (1234:2345)
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("refused");
        QTest::newRow("the user's, 0640") << "user" << 0640 << false;
        QTest::newRow("the user's, 0664") << "user" << 0664 << false;
        QTest::newRow("another group") << "group" << 0660 << false;
        QTest::newRow("another owner and group") << "other" << 0664 << false;
        QTest::newRow("read-only") << "user" << 0444 << true;
        QTest::newRow("read-only for its owner") << "user" << 0464 << true;
        QTest::newRow("another owner's, read-only") << "other" << 0444 << true;
    }

    void libraryFileKeepsOwnerAndMode()
    {
        QFETCH(QString, owner);
        QFETCH(int, mode);
        QFETCH(bool, refused);
        uid_t uid = ::geteuid();
        gid_t gid = ::getegid();
        if (owner == QLatin1String("other")) {
            if (uid != 0)
                QSKIP("only the super-user can give a file to another user");
            uid = 1234;
            gid = 2345;
        } else if (owner == QLatin1String("group")) {
            gid_t groups[64];
            const int count = ::getgroups(64, groups);
            gid = uid == 0 ? 2345 : gid;
            for (int i = 0; uid != 0 && i < count; ++i)
                gid = groups[i] != ::getegid() ? groups[i] : gid;
            if (gid == ::getegid())
                QSKIP("the user belongs to one group only");
        }
        const QString path = standardLibrary(3);
        const QByteArray encoded = QFile::encodeName(path);
        QVERIFY(::chown(encoded.constData(), uid, gid) == 0);
        QVERIFY(::chmod(encoded.constData(), mode_t(mode)) == 0);
        const QByteArray before = testenv::readAll(path);
        QCOMPARE(CreateAgent_kwr(path.toUtf8()), int(AGENT_OK));
        QCOMPARE(SetAttributeValue_kwr(idOf(0), "Name", "Changed"), int(AGENT_OK));
        QCOMPARE(WriteLibraryFile_kwr(), refused ? int(AGENT_ERR_WRITE) : int(AGENT_OK));
        struct stat st;
        QCOMPARE(::stat(encoded.constData(), &st), 0);
        QCOMPARE(st.st_uid, uid);
        QCOMPARE(st.st_gid, gid);
        QCOMPARE(int(st.st_mode & 07777), mode);
        QCOMPARE(QFile::exists(path + QStringLiteral(".journal")), refused);
        if (refused) {
            QCOMPARE(testenv::readAll(path), before);
            QVERIFY2(logText().contains(path + QStringLiteral(": it is read-only")), qPrintable(logText().right(300)));
            // Writable again, the file takes what waited.
            QVERIFY(::chmod(encoded.constData(), 0644) == 0);
            QCOMPARE(WriteLibraryFile_kwr(), int(AGENT_OK));
        }
        QCOMPARE(value(value(tracksOf(path), QStringLiteral("1000")).value<Dict>(), QStringLiteral("Name")).toString(),
                 QStringLiteral("Changed"));
        DestroyAgent_kwr();
    }

    // Users run the program as themselves. A member of a shared library's
    // group, or the owner of a file in a group of someone else's, gets the
    // changes into the file, whose owner or group then becomes the user's,
    // logged; the mode stays. A file the user may not write stays as it is.
    // Root sets the files up; a child that is that user does the work.
    void aNormalUserWritesASharedLibrary_data()
    {
        QTest::addColumn<QString>("folderOwner"); // uid:gid
        QTest::addColumn<int>("folderMode");
        QTest::addColumn<QString>("fileOwner");
        QTest::addColumn<int>("fileMode");
        QTest::addColumn<QString>("user"); // uid:gid,more groups
        QTest::addColumn<bool>("written");
        QTest::addColumn<QString>("ownerAfter");
        QTest::addColumn<QString>("logged"); // empty: nothing about the owner
        QTest::newRow("a family library, the user in its group")
            << "0:2000" << 02775 << "1234:2000" << 0664 << "1000:1000,2000" << true << "1000:2000"
            << "now owned by 1000:2000 instead of 1234:2000";
        QTest::newRow("the user's own file in a group the user is not in")
            << "1000:1000" << 0755 << "1000:3000" << 0644 << "1000:1000" << true << "1000:1000"
            << "now owned by 1000:1000 instead of 1000:3000";
        QTest::newRow("the user's own file in another of the user's groups")
            << "1000:1000" << 0755 << "1000:2000" << 0640 << "1000:1000,2000" << true << "1000:2000" << "";
        QTest::newRow("a family library the user may not write")
            << "0:2000" << 02775 << "1234:2000" << 0644 << "1000:1000,2000" << false << "1234:2000"
            << "it is read-only";
    }

    void aNormalUserWritesASharedLibrary()
    {
        QFETCH(QString, folderOwner);
        QFETCH(int, folderMode);
        QFETCH(QString, fileOwner);
        QFETCH(int, fileMode);
        QFETCH(QString, user);
        QFETCH(bool, written);
        QFETCH(QString, ownerAfter);
        QFETCH(QString, logged);
        if (::geteuid() != 0)
            QSKIP("only the super-user can set up the files of other users");
        const auto ids = [](const QString& owner) { return owner.split(QRegularExpression(QStringLiteral("[:,]"))); };
        const auto give = [&](const QString& path, const QString& owner, int mode) {
            const QByteArray name = QFile::encodeName(path);
            return ::chown(name.constData(), ids(owner).at(0).toUInt(), ids(owner).at(1).toUInt()) == 0
                && ::chmod(name.constData(), mode_t(mode)) == 0;
        };
        QTemporaryDir shared;
        QVERIFY(shared.isValid());
        QVERIFY(::chmod(QFile::encodeName(shared.path()).constData(), 0755) == 0);
        const QString folder = shared.filePath(QStringLiteral("Music library")), home = shared.filePath(QStringLiteral("home"));
        QVERIFY(QDir().mkpath(folder) && QDir().mkpath(home));
        const QString path = folder + QStringLiteral("/Library.xml");
        QVERIFY(testenv::writeAll(path, libraryText(library(tracks(3), {playlist(1, QStringLiteral("Library"), range(3))}))));
        const QByteArray before = testenv::readAll(path);
        QVERIFY(give(folder, folderOwner, folderMode) && give(path, fileOwner, fileMode));
        QVERIFY(give(home, ids(user).at(0) + QLatin1Char(':') + ids(user).at(1), 0700));

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("XDG_DATA_HOME"), home);
        std::unique_ptr<QProcess> child(startChild({QStringLiteral("as-user"), user, path}, env));
        QVERIFY(child->waitForFinished(120000));
        if (child->exitCode() == 2)
            QSKIP("this process cannot become another user");
        const QByteArray answer = child->readAllStandardOutput().trimmed();
        const QString log = QString::fromLocal8Bit(child->readAllStandardError());
        if (answer == "unreachable")
            QSKIP("the test folder cannot be reached by another user");
        QCOMPARE(answer, written ? QByteArray("0 0 0 0 0") : QByteArray("0 0 0 0 ") + QByteArray::number(AGENT_ERR_WRITE));

        struct stat st;
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
        QCOMPARE(QStringLiteral("%1:%2").arg(st.st_uid).arg(st.st_gid), ownerAfter);
        QCOMPARE(int(st.st_mode & 07777), fileMode);
        QCOMPARE(QFile::exists(path + QStringLiteral(".journal")), !written);
        if (written) {
            const Dict entries = tracksOf(path);
            for (int i = 0; i < 3; ++i)
                QCOMPARE(value(value(entries, QString::number(1000 + i)).value<Dict>(), QStringLiteral("Name")).toString(),
                         QStringLiteral("Changed %1").arg(i));
        } else {
            QCOMPARE(testenv::readAll(path), before);
        }
        if (logged.isEmpty())
            QVERIFY2(!log.contains(QStringLiteral("now owned by")), qPrintable(log));
        else
            QVERIFY2(log.contains(path) && log.contains(logged), qPrintable(log));
    }

    // An undo brings back the entry that was removed, even where another
    // entry uses its file: a new entry with new IDs, every field of the old
    // one and its places in the playlists, as far as the agent saw it go;
    // removed again, it goes and the other entry stays.
    void removedEntryComesBackAsItWas_data()
    {
        QTest::addColumn<QString>("when");
        QTest::addColumn<QString>("file"); // "doubled slash" in its Location, "unreadable" tags
        QTest::addColumn<bool>("asItWas"); // else described by the file's tags
        QTest::newRow("after the removal was written") << "written" << "" << true;
        QTest::newRow("before the removal was written") << "waiting" << "" << true;
        QTest::newRow("the file changed meanwhile") << "changed" << "" << true;
        QTest::newRow("the agent let go meanwhile") << "released" << "" << false;
        QTest::newRow("a doubled slash in its Location") << "written" << "doubled slash" << true;
        QTest::newRow("a doubled slash, before it was written") << "waiting" << "doubled slash" << true;
        QTest::newRow("tags that cannot be read") << "written" << "unreadable" << true;
    }

    void removedEntryComesBackAsItWas()
    {
        QFETCH(QString, when);
        QFETCH(QString, file);
        QFETCH(bool, asItWas);
        // Tracks 1 and 4 are two entries of one file.
        const QString song = copyFixture(QStringLiteral("id3v2-cover.mp3"));
        QList<Dict> list = tracks(6);
        for (int i : {1, 4})
            setValue(&list[i], QStringLiteral("Location"), QUrl::fromLocalFile(song).toString(QUrl::FullyEncoded));
        // Other programs write a Location so; the engine hands back the
        // path served, in the same form.
        QString location = song;
        if (file == QLatin1String("doubled slash")) {
            location = QFileInfo(song).path() + QStringLiteral("//") + QFileInfo(song).fileName();
            setValue(&list[1], QStringLiteral("Location"),
                     QString(QUrl::fromLocalFile(song).toString(QUrl::FullyEncoded)).replace(QFileInfo(song).fileName(), QStringLiteral("/") + QFileInfo(song).fileName()));
        }
        if (file == QLatin1String("unreadable"))
            QVERIFY(testenv::writeAll(song, QByteArray(4096, 'x')));
        setValue(&list[1], QStringLiteral("Play Count"), qlonglong(17));
        const QString path = writeLibrary(libraryText(library(list, {playlist(1, QStringLiteral("Library"), range(6)),
                                                                     playlist(2, QStringLiteral("Mix"), {1, 3, 1}),
                                                                     playlist(3, QStringLiteral("Empty"), {})})));
        QCOMPARE(CreateAgent_kwr(path.toUtf8()), int(AGENT_OK));
        DestroyAgent_kwr();
        QCOMPARE(DeleteTrackFromITunes_kwr(idOf(1)), int(AGENT_OK));
        if (when != QLatin1String("waiting"))
            QCOMPARE(WriteLibraryFile_kwr(), int(AGENT_OK));
        if (when == QLatin1String("changed")) {
            Dict theirs = readTree(testenv::readAll(path)).value<Dict>();
            editTrack(&theirs, 1003, QStringLiteral("Genre"), QStringLiteral("Theirs"));
            QVERIFY(testenv::writeAll(path, libraryText(theirs)));
        }
        if (when == QLatin1String("released")) {
            QCOMPARE(CreateAgent_kwr(path.toUtf8()), int(AGENT_OK));
            DestroyAgent_kwr();
        }
        char id[50] = {};
        QCOMPARE(RestoreTrackToITunes_kwr(idOf(1), location.toUtf8(), id), int(AGENT_OK));
        QVERIFY2(QRegularExpression(QStringLiteral("^[0-9A-F]{16}$")).match(QString::fromLatin1(id)).hasMatch(), id);
        QVERIFY(QByteArray(id) != idOf(1) && QByteArray(id) != idOf(4));
        QCOMPARE(WriteLibraryFile_kwr(), int(AGENT_OK));

        Dict expected = list[1];
        setValue(&expected, QStringLiteral("Track ID"), qlonglong(1006));
        setValue(&expected, QStringLiteral("Persistent ID"), QString::fromLatin1(id));
        const Dict entries = tracksOf(path);
        QCOMPARE(entries.size(), 6);
        QCOMPARE(entries.at(5).first, QStringLiteral("1006"));
        const Dict back = entries.at(5).second.value<Dict>();
        if (asItWas) {
            const QString diff = difference(QVariant::fromValue(back), QVariant::fromValue(expected));
            QVERIFY2(diff.isEmpty(), qPrintable(diff));
        } else {
            QCOMPARE(value(back, QStringLiteral("Name")).toString(), QStringLiteral("Lantern Steps"));
            QCOMPARE(value(back, QStringLiteral("Track ID")).toLongLong(), 1006);
            QCOMPARE(value(back, QStringLiteral("Location")), value(expected, QStringLiteral("Location")));
        }
        QCOMPARE(value(value(entries, QStringLiteral("1004")).value<Dict>(), QStringLiteral("Persistent ID")).toString(),
                 persistentId(4));
        QCOMPARE(itemsOf(path, 0), asItWas ? (QList<qlonglong>{1000, 1006, 1002, 1003, 1004, 1005})
                                           : (QList<qlonglong>{1000, 1002, 1003, 1004, 1005}));
        QCOMPARE(itemsOf(path, 1), asItWas ? (QList<qlonglong>{1006, 1003, 1006}) : (QList<qlonglong>{1003}));
        QCOMPARE(itemsOf(path, 2), QList<qlonglong>());
        if (when == QLatin1String("changed"))
            QCOMPARE(value(value(entries, QStringLiteral("1003")).value<Dict>(), QStringLiteral("Genre")).toString(),
                     QStringLiteral("Theirs"));

        // Removed again, the entry brought back goes, the other one stays.
        QCOMPARE(DeleteTrackFromITunes_kwr(id), int(AGENT_OK));
        QCOMPARE(WriteLibraryFile_kwr(), int(AGENT_OK));
        const Dict after = tracksOf(path);
        QCOMPARE(after.size(), 5);
        QVERIFY(!value(after, QStringLiteral("1006")).isValid());
        QCOMPARE(value(value(after, QStringLiteral("1004")).value<Dict>(), QStringLiteral("Persistent ID")).toString(),
                 persistentId(4));
        QCOMPARE(itemsOf(path, 0), (QList<qlonglong>{1000, 1002, 1003, 1004, 1005}));
        QCOMPARE(itemsOf(path, 1), QList<qlonglong>{1003});
        QVERIFY(readTree(testenv::readAll(path)).isValid());
        // An entry that never went is no entry to bring back.
        char same[50] = {};
        QCOMPARE(RestoreTrackToITunes_kwr(idOf(4), song.toUtf8(), same), int(AGENT_OK));
        QCOMPARE(QByteArray(same), idOf(4));
        QCOMPARE(WriteLibraryFile_kwr(), int(AGENT_OK));
        QCOMPARE(tracksOf(path).size(), 5);
    }

    // An undone removal's entry takes a Track ID no integer of the file uses
    // for a track: not a key, not a Track ID, not a playlist's item, which
    // the entry would otherwise share or silently join. Past the last
    // integer, the lowest free one.
    void newTrackIdIsNewToTheWholeFile_data()
    {
        QTest::addColumn<QString>("oddity");
        QTest::addColumn<qlonglong>("expected");
        QTest::newRow("a key unlike its entry's Track ID") << "key" << qlonglong(1007);
        QTest::newRow("a playlist item of no entry") << "item" << qlonglong(1007);
        QTest::newRow("the last integer as a Track ID") << "limit" << qlonglong(3);
    }

    void newTrackIdIsNewToTheWholeFile()
    {
        QFETCH(QString, oddity);
        QFETCH(qlonglong, expected);
        const QString song = copyFixture(QStringLiteral("id3v2-cover.mp3"));
        QList<Dict> list = tracks(6);
        setValue(&list[1], QStringLiteral("Location"), QUrl::fromLocalFile(song).toString(QUrl::FullyEncoded));
        QList<int> mix{1, 3};
        if (oddity == QLatin1String("item"))
            mix << 6; // Track ID 1006, which no entry has
        if (oddity == QLatin1String("limit"))
            setValue(&list[5], QStringLiteral("Track ID"), qlonglong(LLONG_MAX));
        Dict top = library(list, {playlist(1, QStringLiteral("Library"), range(6)), playlist(2, QStringLiteral("Mix"), mix)});
        Dict entries = value(top, QStringLiteral("Tracks")).value<Dict>();
        if (oddity == QLatin1String("key"))
            entries[5].first = QStringLiteral("1006"); // Track ID 1005
        setValue(&top, QStringLiteral("Tracks"), QVariant::fromValue(entries));
        const QString path = writeLibrary(libraryText(top));

        QCOMPARE(CreateAgent_kwr(path.toUtf8()), int(AGENT_OK));
        DestroyAgent_kwr();
        QCOMPARE(DeleteTrackFromITunes_kwr(idOf(1)), int(AGENT_OK));
        QCOMPARE(WriteLibraryFile_kwr(), int(AGENT_OK));
        char id[50] = {};
        QCOMPARE(RestoreTrackToITunes_kwr(idOf(1), song.toUtf8(), id), int(AGENT_OK));
        QCOMPARE(WriteLibraryFile_kwr(), int(AGENT_OK));

        const Dict after = tracksOf(path);
        QCOMPARE(after.size(), 6);
        QSet<QString> keys;
        for (const auto& entry : after)
            keys.insert(entry.first);
        QCOMPARE(keys.size(), 6);
        const Dict back = after.last().second.value<Dict>();
        QCOMPARE(value(back, QStringLiteral("Persistent ID")).toString(), QString::fromLatin1(id));
        QCOMPARE(after.last().first, QString::number(expected));
        QCOMPARE(value(back, QStringLiteral("Track ID")).toLongLong(), expected);
        QCOMPARE(itemsOf(path, 1), oddity == QLatin1String("item") ? (QList<qlonglong>{expected, 1003, 1006})
                                                                  : (QList<qlonglong>{expected, 1003}));
    }

    // An entry the library cannot hold (a title with a control character,
    // from the file's tags) is refused when it is added or brought back;
    // once in the journal it would fail every later rewrite, and the
    // changes after it would wait for good.
    void entryTheFileCannotHoldIsRefused_data()
    {
        QTest::addColumn<bool>("restored"); // else a file added
        QTest::newRow("a file added") << false;
        QTest::newRow("an entry brought back from its tags") << true;
    }

    void entryTheFileCannotHoldIsRefused()
    {
        QFETCH(bool, restored);
        const QString song = copyFixture(QStringLiteral("id3v2-partial.mp3"));
        tagMusicTags tags;
        tags.strLocation = song;
        tags.strName = QStringLiteral("Bell\x07Ring");
        QCOMPARE(SetMusicInfo_tag(&tags, TF_TITLE), 0);
        QList<Dict> list = tracks(3);
        setValue(&list[1], QStringLiteral("Location"), QUrl::fromLocalFile(song).toString(QUrl::FullyEncoded));
        const QString path = writeLibrary(libraryText(library(list, {})));
        QCOMPARE(CreateAgent_kwr(path.toUtf8()), int(AGENT_OK));
        DestroyAgent_kwr();
        char id[50] = {};
        if (restored) {
            QCOMPARE(DeleteTrackFromITunes_kwr(idOf(1)), int(AGENT_OK));
            QCOMPARE(WriteLibraryFile_kwr(), int(AGENT_OK));
            // A new reading holds no memory of the entry that went.
            QCOMPARE(CreateAgent_kwr(path.toUtf8()), int(AGENT_OK));
            DestroyAgent_kwr();
            QCOMPARE(RestoreTrackToITunes_kwr(idOf(1), song.toUtf8(), id), int(AGENT_ERR_VALUE));
        } else {
            QCOMPARE(DeleteTrackFromITunes_kwr(idOf(1)), int(AGENT_OK));
            QCOMPARE(AddTrackToITunes_kwr(song.toUtf8(), id), int(AGENT_ERR_VALUE));
        }
        QCOMPARE(SetAttributeValue_kwr(idOf(2), "Name", "Still written"), int(AGENT_OK));
        QCOMPARE(WriteLibraryFile_kwr(), int(AGENT_OK));
        const Dict after = tracksOf(path);
        QCOMPARE(after.size(), 2);
        QCOMPARE(value(value(after, QStringLiteral("1002")).value<Dict>(), QStringLiteral("Name")).toString(),
                 QStringLiteral("Still written"));
        QVERIFY(!QFile::exists(path + QStringLiteral(".journal")));
    }

    // A rewrite is durable only once the folder holding the new file is
    // synced: until then a crash may bring back the old file, and the
    // journal, which still holds the changes, must stay. Written again
    // later, the changes land once.
    void journalStaysUntilTheFolderIsSynced()
    {
        const QString path = standardLibrary(3);
        const QString folder = QFileInfo(QFileInfo(path).absolutePath()).canonicalFilePath();
        QCOMPARE(CreateAgent_kwr(path.toUtf8()), int(AGENT_OK));
        DestroyAgent_kwr();
        char id[50] = {};
        QCOMPARE(AddTrackToITunes_kwr(copyFixture(QStringLiteral("id3v2-cover.mp3")).toUtf8(), id), int(AGENT_OK));
        QCOMPARE(SetAttributeValue_kwr(idOf(0), "Name", "Changed"), int(AGENT_OK));
        syncfaults::setHook([&](const QString& synced) { return synced != folder; });
        const int failed = WriteLibraryFile_kwr();
        syncfaults::setHook(nullptr);
        QCOMPARE(failed, int(AGENT_ERR_WRITE));
        QVERIFY(QFile::exists(path + QStringLiteral(".journal")));
        QVERIFY(logText().contains(path + QStringLiteral(" was replaced, but its folder could not be synced")));

        QCOMPARE(WriteLibraryFile_kwr(), int(AGENT_OK));
        QVERIFY(!QFile::exists(path + QStringLiteral(".journal")));
        const Dict after = tracksOf(path);
        QCOMPARE(after.size(), 4);
        QCOMPARE(value(after.last().second.value<Dict>(), QStringLiteral("Persistent ID")).toString(), QString::fromLatin1(id));
        QCOMPARE(value(value(after, QStringLiteral("1000")).value<Dict>(), QStringLiteral("Name")).toString(),
                 QStringLiteral("Changed"));
        DestroyAgent_kwr();
    }

    // A new entry's Track ID was the next free one of the file it was
    // chosen for; replayed into a file that uses it meanwhile, the entry
    // takes a free one, and its playlist items with it.
    void replayedEntryTakesAFreeTrackId_data()
    {
        QTest::addColumn<bool>("restored"); // else a file added
        QTest::addColumn<bool>("nextOpening"); // else replaced while held
        QTest::newRow("added, replaced meanwhile") << false << false;
        QTest::newRow("added, at the next opening") << false << true;
        QTest::newRow("brought back, replaced meanwhile") << true << false;
        QTest::newRow("brought back, at the next opening") << true << true;
    }

    void replayedEntryTakesAFreeTrackId()
    {
        QFETCH(bool, restored);
        QFETCH(bool, nextOpening);
        const QString song = copyFixture(QStringLiteral("id3v2-cover.mp3"));
        QList<Dict> list = tracks(3);
        setValue(&list[1], QStringLiteral("Location"), QUrl::fromLocalFile(song).toString(QUrl::FullyEncoded));
        const QString path = writeLibrary(libraryText(library(list, {playlist(1, QStringLiteral("Library"), range(3)),
                                                                     playlist(2, QStringLiteral("Mix"), {1, 2, 1})})));
        const QByteArray encoded = QFile::encodeName(path);
        QCOMPARE(CreateAgent_kwr(path.toUtf8()), int(AGENT_OK));
        char ours[50] = {};
        if (restored) {
            QCOMPARE(DeleteTrackFromITunes_kwr(idOf(1)), int(AGENT_OK));
            QCOMPARE(WriteLibraryFile_kwr(), int(AGENT_OK));
            QCOMPARE(RestoreTrackToITunes_kwr(idOf(1), song.toUtf8(), ours), int(AGENT_OK));
        } else {
            QCOMPARE(AddTrackToITunes_kwr(copyFixture(QStringLiteral("untagged.mp3")).toUtf8(), ours), int(AGENT_OK));
        }
        if (nextOpening) {
            // The file refuses the change, which waits in the journal.
            QVERIFY(::chmod(encoded.constData(), 0444) == 0);
            DestroyAgent_kwr();
            QVERIFY(QFile::exists(path + QStringLiteral(".journal")));
        }
        // Another program adds an entry of its own under the same ID.
        Dict theirs = readTree(testenv::readAll(path)).value<Dict>();
        Dict entries = value(theirs, QStringLiteral("Tracks")).value<Dict>();
        Dict their = track(3, QStringLiteral("Theirs"));
        setValue(&their, QStringLiteral("Persistent ID"), QStringLiteral("FEEDFACE00000001"));
        entries.append(qMakePair(QStringLiteral("1003"), QVariant::fromValue(their)));
        setValue(&theirs, QStringLiteral("Tracks"), QVariant::fromValue(entries));
        QVariantList lists = value(theirs, QStringLiteral("Playlists")).toList();
        Dict first = lists[0].value<Dict>();
        QVariantList items = value(first, QStringLiteral("Playlist Items")).toList();
        items.append(QVariant::fromValue(Dict{{QStringLiteral("Track ID"), qlonglong(1003)}}));
        setValue(&first, QStringLiteral("Playlist Items"), items);
        lists[0] = QVariant::fromValue(first);
        setValue(&theirs, QStringLiteral("Playlists"), lists);
        const QString temp = path + QStringLiteral(".theirs");
        QVERIFY(testenv::writeAll(temp, libraryText(theirs)));
        QVERIFY(::rename(QFile::encodeName(temp).constData(), encoded.constData()) == 0);
        if (nextOpening)
            QCOMPARE(CreateAgent_kwr(path.toUtf8()), int(AGENT_OK));
        QCOMPARE(WriteLibraryFile_kwr(), int(AGENT_OK));
        DestroyAgent_kwr();

        const Dict after = tracksOf(path);
        QSet<qlonglong> ids;
        for (const auto& entry : after) {
            const qlonglong trackId = value(entry.second.value<Dict>(), QStringLiteral("Track ID")).toLongLong();
            QCOMPARE(entry.first, QString::number(trackId));
            ids.insert(trackId);
        }
        QCOMPARE(ids.size(), after.size());
        QCOMPARE(value(value(after, QStringLiteral("1003")).value<Dict>(), QStringLiteral("Name")).toString(),
                 QStringLiteral("Theirs"));
        QCOMPARE(value(value(after, QStringLiteral("1004")).value<Dict>(), QStringLiteral("Persistent ID")).toString(),
                 QString::fromLatin1(ours));
        QCOMPARE(itemsOf(path, 0), restored ? (QList<qlonglong>{1000, 1004, 1002, 1003}) : (QList<qlonglong>{1000, 1001, 1002, 1003}));
        QCOMPARE(itemsOf(path, 1), restored ? (QList<qlonglong>{1004, 1002, 1004}) : (QList<qlonglong>{1001, 1002, 1001}));
        QVERIFY(logText().contains(QStringLiteral("takes the Track ID 1004")));
    }

    // A rewrite killed half-way leaves its temporary file beside the
    // library; the next opening removes it, but never one whose rewrite
    // still runs, and never a file that only looks alike: the user's own
    // files beside the library, and those named as older builds named
    // their temporary files.
    void leftoversOfAKilledRewriteAreSwept()
    {
        const QString path = standardLibrary(3);
        const QString folder = QFileInfo(path).absolutePath();
        const QString name = QFileInfo(path).fileName();
        const QStringList lookalikes = {name + QStringLiteral(".tmp-backup"), name + QStringLiteral(".tmp-2023v1"),
                                        name + QStringLiteral(".tmp-ABCDEF"), name + QStringLiteral(".backup.tmp-Xy12Z9"),
                                        name + QStringLiteral(".vessolin-ABCDEF"), QLatin1Char('.') + name + QStringLiteral(".vessolin-abc"),
                                        QLatin1Char('.') + name + QStringLiteral(".vessolin-ABCDEF.keep"),
                                        QStringLiteral(".Other.xml.vessolin-ABCDEF"), QStringLiteral(".vessolin-ABCDEF.xml")};
        for (const QString& lookalike : lookalikes)
            QVERIFY(testenv::writeAll(folder + QLatin1Char('/') + lookalike, "not ours"));
        std::unique_ptr<QProcess> child(startChild({QStringLiteral("rewrite-and-hang"), path}));
        QByteArray line;
        while (!line.endsWith('\n') && child->waitForReadyRead(120000))
            line += child->readAllStandardOutput();
        QVERIFY2(line.startsWith("temporary "), line.constData());
        const QString live = QString::fromUtf8(line.mid(10).trimmed());
        QCOMPARE(QFileInfo(live).absolutePath(), folder);
        QVERIFY(QFileInfo(live).fileName().startsWith(QLatin1Char('.') + name + QStringLiteral(".vessolin-")));
        // One that no write holds, which the opening must not sweep either
        // while another write runs.
        const QString stale = folder + QStringLiteral("/.") + name + QStringLiteral(".backup.vessolin-Xy12Z9");
        QVERIFY(testenv::writeAll(stale, "left by a killed backup"));

        // Its writer still runs and has the library: the opening is refused,
        // and nothing is swept.
        QCOMPARE(CreateAgent_kwr(path.toUtf8()), int(AGENT_ERR_IN_USE));
        DestroyAgent_kwr();
        QVERIFY(QFile::exists(live));
        QVERIFY(QFile::exists(stale));

        child->kill();
        QVERIFY(child->waitForFinished(60000));
        QCOMPARE(CreateAgent_kwr(path.toUtf8()), int(AGENT_OK));
        QCOMPARE(GetTrackCount_kwr(), 3);
        DestroyAgent_kwr();
        QVERIFY(!QFile::exists(live));
        QVERIFY(!QFile::exists(stale));
        for (const QString& lookalike : lookalikes)
            QCOMPARE(testenv::readAll(folder + QLatin1Char('/') + lookalike), QByteArray("not ours"));
        QVERIFY(logText().contains(live + QStringLiteral(" removed")));
    }

    // Only beside a library that opened is anything swept: a file that is
    // no library, or links that go round in a loop, may not even name the
    // library's folder.
    void nothingIsSweptBesideALibraryThatFailsToOpen_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("links in a loop") << "loop";
        QTest::newRow("not a library") << "text";
    }

    void nothingIsSweptBesideALibraryThatFailsToOpen()
    {
        QFETCH(QString, kind);
        const QString folder = m_dir.filePath(QStringLiteral("failing %1").arg(++m_libraries));
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + QStringLiteral("/Library.xml");
        if (kind == QLatin1String("loop"))
            QVERIFY(QFile::link(QStringLiteral("hop.xml"), path) && QFile::link(QStringLiteral("Library.xml"), folder + QStringLiteral("/hop.xml")));
        else
            QVERIFY(testenv::writeAll(path, "Track 1, Song, Artist\n"));
        const QStringList leftovers = {QStringLiteral(".Library.xml.vessolin-Ab12Cd"), QStringLiteral("Library.xml.tmp-Ab12Cd"),
                                       QStringLiteral(".hop.xml.vessolin-Ab12Cd")};
        for (const QString& leftover : leftovers)
            QVERIFY(testenv::writeAll(folder + QLatin1Char('/') + leftover, "left"));
        QVERIFY(CreateAgent_kwr(path.toUtf8()) != AGENT_OK);
        for (const QString& leftover : leftovers)
            QVERIFY2(QFile::exists(folder + QLatin1Char('/') + leftover), qPrintable(leftover));
    }

    void addedTrackIsDescribedByItsTags()
    {
        const QString path = standardLibrary(3);
        const QString music = copyFixture(QStringLiteral("id3v2-cover.mp3"));
        QCOMPARE(CreateAgent_kwr(path.toUtf8()), int(AGENT_OK));
        DestroyAgent_kwr();
        char id[50];
        std::memset(id, 'x', sizeof id);
        QCOMPARE(AddTrackToITunes_kwr(music.toUtf8(), id), int(AGENT_OK));
        QVERIFY2(QRegularExpression(QStringLiteral("^[0-9A-F]{16}$")).match(QString::fromLatin1(id)).hasMatch(), id);
        char again[50] = {};
        QCOMPARE(AddTrackToITunes_kwr(music.toUtf8(), again), int(AGENT_OK));
        QCOMPARE(QByteArray(again), QByteArray(id));
        char other[50] = {};
        QCOMPARE(AddTrackToITunes_kwr(copyFixture(QStringLiteral("untagged.mp3")).toUtf8(), other), int(AGENT_OK));
        QVERIFY(QByteArray(other) != QByteArray(id));
        QCOMPARE(AddTrackToITunes_kwr(m_dir.filePath(QStringLiteral("gone.mp3")).toUtf8(), other), int(AGENT_ERR_FILE));
        QCOMPARE(AddTrackToITunes_kwr(copyFixture(QStringLiteral("cover.jpg")).toUtf8(), other), int(AGENT_ERR_FILE));
        // Added tracks can be changed before the file holds them.
        QCOMPARE(SetAttributeValue_kwr(id, "Genre", "Changed"), int(AGENT_OK));

        QCOMPARE(CreateAgent_kwr(path.toUtf8()), int(AGENT_OK));
        QCOMPARE(GetTrackCount_kwr(), 5);
        const int added = indexOf(QString::fromLatin1(id));
        QVERIFY(added >= 0);
        QCOMPARE(served("Name", added), QByteArray("Lantern Steps"));
        QCOMPARE(served("Artist", added), QByteArray("Orrin Vale"));
        QCOMPARE(served("Album", added), QByteArray("Harbour Lights"));
        QCOMPARE(served("Year", added), QByteArray("1998"));
        QCOMPARE(served("Genre", added), QByteArray("Changed"));
        QCOMPARE(served("Location", added), music.toUtf8());
        QCOMPARE(served("Size", added), QByteArray::number(QFileInfo(music).size()));
        // The playlist "Mix" names 1003, which no entry has: a new entry
        // under it would join that playlist.
        QCOMPARE(served("TrackID", added), QByteArray("1004"));
        QCOMPARE(served("TrackID", indexOf(QString::fromLatin1(other))), QByteArray("1005"));
        QCOMPARE(HasArtwork_kwr(id), 1);
        DestroyAgent_kwr();

        const Dict list = value(readTree(testenv::readAll(path)).value<Dict>(), QStringLiteral("Tracks")).value<Dict>();
        const Dict entry = value(list, QStringLiteral("1004")).value<Dict>();
        QCOMPARE(value(entry, QStringLiteral("Persistent ID")).toString(), QString::fromLatin1(id));
        QCOMPARE(value(entry, QStringLiteral("Track Type")).toString(), QStringLiteral("File"));
        QCOMPARE(value(entry, QStringLiteral("Location")).toString(), QUrl::fromLocalFile(music).toString(QUrl::FullyEncoded));
        QCOMPARE(value(entry, QStringLiteral("Year")).metaType().id(), int(QMetaType::LongLong));
        QVERIFY(value(entry, QStringLiteral("Date Added")).toDateTime().isValid());
    }

    void artworkComesFromTheTrackFile()
    {
        Dict withCover = track(0), without = track(1), missing = track(2);
        setValue(&withCover, QStringLiteral("Location"), QUrl::fromLocalFile(copyFixture(QStringLiteral("id3v2-cover.mp3"))).toString(QUrl::FullyEncoded));
        const QString bare = copyFixture(QStringLiteral("id3v2-partial.mp3"));
        setValue(&without, QStringLiteral("Location"), QUrl::fromLocalFile(bare).toString(QUrl::FullyEncoded));
        const QString path = writeLibrary(libraryText(library({withCover, without, missing}, {})));
        QCOMPARE(CreateAgent_kwr(path.toUtf8()), int(AGENT_OK));
        QCOMPARE(HasArtwork_kwr(idOf(0)), 1);
        QCOMPARE(HasArtwork_kwr(idOf(1)), 0);
        QCOMPARE(HasArtwork_kwr(idOf(2)), 0);
        QCOMPARE(HasArtwork_kwr("FFFFFFFFFFFFFFFF"), 0);
        // Served tracks asked together answer as asked one by one.
        int answers[5] = {7, 7, 7, 7, 7};
        const int served = GetTrackCount_kwr();
        QCOMPARE(HasArtworkOfServed_kwr(0, 5, answers), int(AGENT_OK));
        for (int i = 0; i < 5; ++i) {
            char* id = nullptr;
            QCOMPARE(answers[i], i < served && FindAttributeValue_kwr(&id, "PersistentID", i) == AGENT_OK ? HasArtwork_kwr(id) : 0);
        }
        QCOMPARE(HasArtworkOfServed_kwr(0, 1, nullptr), int(AGENT_ERR_ARGS));
        QCOMPARE(HasArtworkOfServed_kwr(-1, 1, answers), int(AGENT_ERR_ARGS));
        // Indexes up to the last int, none of them served.
        QCOMPARE(HasArtworkOfServed_kwr(INT_MAX - 1, 5, answers), int(AGENT_OK));
        QCOMPARE(QList<int>(answers, answers + 5), QList<int>(5, 0));
        DestroyAgent_kwr();
        QCOMPARE(HasArtworkOfServed_kwr(0, 1, answers), int(AGENT_ERR_NO_LIBRARY));
        QCOMPARE(answers[0], 0);

        // Without an agent, as after a reload.
        void* data = nullptr;
        int length = 0;
        QCOMPARE(GetArtworkData_kwr(idOf(0), &data, &length), int(AGENT_OK));
        const QByteArray cover = testenv::readAll(testenv::fixture(QStringLiteral("cover.jpg")));
        QCOMPARE(QByteArray(static_cast<const char*>(data), length), cover);
        free(data);
        data = nullptr;
        QCOMPARE(GetArtworkData_kwr(idOf(1), &data, &length), int(AGENT_ERR_NO_ARTWORK));
        QVERIFY(data == nullptr);
        QCOMPARE(GetArtworkData_kwr(idOf(2), &data, &length), int(AGENT_ERR_FILE));
        QCOMPARE(GetArtworkData_kwr("FFFFFFFFFFFFFFFF", &data, &length), int(AGENT_ERR_NO_TRACK));

        const QByteArray before = testenv::readAll(bare);
        QCOMPARE(SetArtworkData_kwr(idOf(1), nullptr, 0), int(AGENT_ERR_ARGS));
        QCOMPARE(SetArtworkData_kwr(idOf(1), const_cast<char*>(cover.constData()), 0), int(AGENT_ERR_ARGS));
        QCOMPARE(testenv::readAll(bare), before);
        QCOMPARE(HasArtwork_kwr(idOf(1)), 0);
        QByteArray png = testenv::readAll(testenv::fixture(QStringLiteral("cover.png")));
        QCOMPARE(SetArtworkData_kwr(idOf(1), png.data(), int(png.size())), int(AGENT_OK));
        QCOMPARE(HasArtwork_kwr(idOf(1)), 1);
        QCOMPARE(GetArtworkData_kwr(idOf(1), &data, &length), int(AGENT_OK));
        QCOMPARE(QByteArray(static_cast<const char*>(data), length), png);
        free(data);
        QCOMPARE(SetArtworkData_kwr(idOf(2), png.data(), int(png.size())), int(AGENT_ERR_FILE));
        // Answers kept for a file go when something else changes the file.
        QVERIFY(testenv::writeAll(bare, before));
        QCOMPARE(HasArtwork_kwr(idOf(1)), 0);
        // The library file is not touched by artwork.
        QVERIFY(!QFile::exists(path + QStringLiteral(".journal")));
    }

    void concurrentCallsKeepEveryChange()
    {
        constexpr int kThreads = 8, kRounds = 60;
        const QString path = standardLibrary(kThreads * 2);
        QCOMPARE(CreateAgent_kwr(path.toUtf8()), int(AGENT_OK));
        std::atomic<int> failures{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([t, &failures] {
                for (int round = 0; round < kRounds; ++round) {
                    const QByteArray value = QByteArray("t") + QByteArray::number(t) + "r" + QByteArray::number(round);
                    failures += SetAttributeValue_kwr(idOf(2 * t), "Name", value) != AGENT_OK;
                    failures += SetAttributeValue_kwr(idOf(2 * t + 1), "Year", QByteArray::number(2000 + round)) != AGENT_OK;
                    char* text = nullptr;
                    failures += FindAttributeValue_kwr(&text, "Name", (t + round) % (2 * kThreads)) != AGENT_OK;
                    failures += text == nullptr || std::strlen(text) == 0;
                    HasArtwork_kwr(idOf(2 * t));
                }
            });
        }
        for (std::thread& thread : threads)
            thread.join();
        QCOMPARE(failures.load(), 0);
        DestroyAgent_kwr();
        QCOMPARE(CreateAgent_kwr(path.toUtf8()), int(AGENT_OK));
        for (int t = 0; t < kThreads; ++t) {
            QCOMPARE(served("Name", indexOf(persistentId(2 * t))), QByteArray("t") + QByteArray::number(t) + "r" + QByteArray::number(kRounds - 1));
            QCOMPARE(served("Year", indexOf(persistentId(2 * t + 1))), QByteArray::number(2000 + kRounds - 1));
        }
        DestroyAgent_kwr();
    }
};

namespace {

void say(const QByteArray& line)
{
    std::printf("%s\n", line.constData());
    std::fflush(stdout);
}

// Says "held" and waits for a line on standard input.
void hold()
{
    say("held");
    char line[16];
    if (!std::fgets(line, sizeof line, stdin))
        ::_exit(6);
}

// Where an "mm-apply" child holds: in the syncs of the journal that holds
// names (counted from 1), and once at a step of the first rewrite of the
// library file named name: "unsynced" (its new file written, not synced),
// "synced" (before the rename), "renamed" (the folder not synced),
// "journal removed" (the folder not synced again).
void holdAt(const QString& name, const QList<int>& holds, const QString& step)
{
    const QString temporary = QLatin1Char('.') + name + QStringLiteral(".vessolin-");
    static std::atomic<int> journalSyncs{0}, folderSyncs{0}, rewrites{0};
    SetTemporaryWrittenHook([temporary, step](const QString& written) {
        if (QFileInfo(written).fileName().startsWith(temporary) && ++rewrites == 1 && step == QLatin1String("synced"))
            hold();
    });
    syncfaults::setHook([=](const QString& path) {
        const QString synced = QFileInfo(path).fileName();
        if (synced == name + QStringLiteral(".journal") && holds.contains(++journalSyncs))
            hold();
        if (step == QLatin1String("unsynced") && synced.startsWith(temporary) && rewrites == 0)
            hold();
        const int after = step == QLatin1String("renamed") ? 1 : step == QLatin1String("journal removed") ? 2 : 0;
        if (after > 0 && rewrites == 1 && QFileInfo(path).isDir() && ++folderSyncs == after)
            hold();
        return true;
    });
}

// "mm-apply <library> <first> <count> <artist> [user=uid:gid,groups]
// [lockless] [hold=K,L...] [stop=step] [root=folder] [readonly=folder]": as
// the engine's user does, loads the library (with folder read-only in a
// mount of its own; "mount refused" where there is none), analyses it and
// applies to tracks first to first + count - 1 the artist "<artist> <ID>"
// and the album "Album <ID>" in one transaction. Prints "load <answer>",
// "tracks <count loaded>", "ack <persistent ID>" for each track applied and
// "committed <answer>".
int mmApply(const QStringList& args)
{
    QHash<QString, QString> options;
    for (const QString& option : args.mid(4))
        options.insert(option.section(QLatin1Char('='), 0, 0), option.section(QLatin1Char('='), 1));
    // The library's folder as a read-only snapshot shows it, to this process.
    if (options.contains(QStringLiteral("readonly"))
        && !(privatemount::enter() && privatemount::makeReadOnly(options.value(QStringLiteral("readonly"))))) {
        say("mount refused");
        return 0;
    }
    if (options.contains(QStringLiteral("user")) && !becomeUser(options.value(QStringLiteral("user"))))
        return 2;
    if (options.contains(QStringLiteral("lockless")))
        syncfaults::setLockHook([](const QString&) { return ENOLCK; });
    const QString xml = args.value(0);
    QList<int> holds;
    for (const QString& at : options.value(QStringLiteral("hold")).split(QLatin1Char(','), Qt::SkipEmptyParts))
        holds << at.toInt();
    holdAt(QFileInfo(xml).fileName(), holds, options.value(QStringLiteral("stop")));
    QSet<QString> wanted;
    for (int i = args.value(1).toInt(); i < args.value(1).toInt() + args.value(2).toInt(); ++i)
        wanted.insert(libraryxml::persistentId(quint64(i)));
    mmtest::Session s(options.value(QStringLiteral("root")));
    const int opened = s.openLibrary(xml, RUN_ITUNES);
    say("load " + QByteArray::number(opened));
    mmtest::RecordSink load, analysis;
    const tagCtlCmdParam analyse = analysis.param(CMD_ANALYSE);
    if (opened != 0)
        return 0;
    if (s.startLoad(load) != 0 || !load.waitForEnd() || MMAnalyzeMusicInfo(s.handle, &analyse, MF_ARTIST | MF_ALBUM) != 0
        || !analysis.waitForEnd() || MMDBTransaction(s.handle, false) != 0)
        return 3;
    say("tracks " + QByteArray::number(s.count()));
    for (int i = 0; i < s.count(); ++i) {
        void* track = nullptr;
        int absence = 0, state = 0;
        long long repeat = 0;
        if (MMGetMusicListMusic(s.handle, i, &track, &absence, &state, &repeat) != 0)
            return 4;
        const QString pid = s.persistentId(track);
        if (!wanted.contains(pid))
            continue;
        const QByteArray artist = (args.value(3) + QLatin1Char(' ') + pid).toUtf8();
        const QByteArray album = (QStringLiteral("Album ") + pid).toUtf8();
        const char* values[] = {artist.constData(), album.constData()};
        if (MMSetUserMusicInfo(s.handle, track, MF_ARTIST | MF_ALBUM, values) != 0 || MMApplyMusicInfo(s.handle, i, 0) != 0)
            return 5;
        say("ack " + pid.toUtf8());
    }
    say("committed " + QByteArray::number(MMDBTransaction(s.handle, true)));
    return 0;
}

} // namespace

// Child modes, run by the tests in a process of their own.
static int childMain(const QStringList& args)
{
    const QString mode = args.value(0);
    if (mode == QLatin1String("mm-apply"))
        return mmApply(args.mid(1));
    if (mode == QLatin1String("set") || mode == QLatin1String("set-and-vanish")) {
        const int result = SetAttributeValue_kwr(args.value(1).toUtf8(), args.value(2).toUtf8(), args.value(3).toUtf8());
        std::printf("%d\n", result);
        std::fflush(stdout);
        if (mode == QLatin1String("set-and-vanish"))
            ::_exit(0); // no exit handlers: the file is not written
        return 0;
    }
    if (mode == QLatin1String("rewrite-and-hang")) {
        // Stops for good with the rewrite's temporary file written.
        if (CreateAgent_kwr(args.value(1).toUtf8()) != AGENT_OK
            || SetAttributeValue_kwr(persistentId(0).toUtf8(), "Name", "Never written") != AGENT_OK)
            return 2;
        SetTemporaryWrittenHook([](const QString& temporary) {
            std::printf("temporary %s\n", QFile::encodeName(temporary).constData());
            std::fflush(stdout);
            for (;;)
                ::pause();
        });
        WriteLibraryFile_kwr();
        return 3;
    }
    if (mode == QLatin1String("as-user")) {
        // Becomes that user, then changes three tracks and writes the file.
        if (!becomeUser(args.value(1)))
            return 2;
        const QByteArray path = args.value(2).toUtf8();
        if (::access(QFile::encodeName(QFileInfo(args.value(2)).absolutePath()).constData(), X_OK) != 0) {
            std::printf("unreachable\n");
            return 0;
        }
        SetPlatformLog([](const QString& line) { std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData()); });
        QList<int> results{CreateAgent_kwr(path.constData())};
        for (int i = 0; i < 3; ++i)
            results << SetAttributeValue_kwr(persistentId(i).toUtf8(), "Name", QStringLiteral("Changed %1").arg(i).toUtf8());
        results << WriteLibraryFile_kwr();
        for (const int result : results)
            std::printf("%d ", result);
        std::printf("\n");
        std::fflush(stdout);
        DestroyAgent_kwr();
        return 0;
    }
    if (mode == QLatin1String("hammer")) {
        if (CreateAgent_kwr(args.value(1).toUtf8()) != AGENT_OK)
            return 2;
        QList<QByteArray> ids;
        for (int i = 0; i < GetTrackCount_kwr(); ++i)
            ids.append(served("PersistentID", i));
        DestroyAgent_kwr();
        const int count = args.value(2).toInt();
        for (int i = 0; i < count; ++i) {
            if (SetAttributeValue_kwr(ids.at(i % ids.size()), "Name", QByteArray("v") + QByteArray::number(i)) != AGENT_OK)
                return 3;
            std::printf("ack %d\n", i);
            std::fflush(stdout);
        }
        return 0;
    }
    return 1;
}

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--child") == 0) {
        QCoreApplication app(argc, argv);
        return childMain(app.arguments().mid(2));
    }
    QCoreApplication app(argc, argv);
    TestAgent test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_agent.moc"
