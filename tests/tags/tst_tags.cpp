// Tag access over every format: reading, writing, pictures, safe writes
// and broken files.
#include "core/mmlog.h"
#include "killedwrite.h"
#include "platformbase.h"
#include "privatemount.h"
#include "tags.h"
#include "src/tagfile.h"
#include "src/tagwriter.h"
#include "testenv.h"

#include <taglib/attachedpictureframe.h>
#include <taglib/fileref.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>

#include <QDir>
#include <QRandomGenerator>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <climits>
#include <cstdlib>
#include <functional>
#include <memory>

#include <csignal>
#include <grp.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const int kFields = TF_TITLE | TF_ARTIST | TF_ALBUM | TF_GENRE | TF_YEAR;

struct Fields {
    QString name, artist, album, genre, year;
};

Fields fieldsOf(const tagMusicTags& info)
{
    return {info.strName, info.strArtist, info.strAlbum, info.strGenre, info.strYear};
}

bool operator==(const Fields& a, const Fields& b)
{
    return a.name == b.name && a.artist == b.artist && a.album == b.album && a.genre == b.genre
        && a.year == b.year;
}

char* toString(const Fields& f)
{
    return QTest::toString(QStringList{f.name, f.artist, f.album, f.genre, f.year}.join(QLatin1Char('|')));
}

const Fields kLantern{QStringLiteral("Lantern Steps"), QStringLiteral("Orrin Vale"),
                      QStringLiteral("Harbour Lights"), QStringLiteral("Jazz"), QStringLiteral("1998")};

// What a forked child answers when it ended without running its work.
constexpr int kChildFailed = INT_MIN;
constexpr int kChildSkipped = INT_MIN + 1;

// Runs work in a forked child and gives back its result: for what must not
// touch this process (a file size limit, another user's identity).
int inChild(const std::function<int()>& work)
{
    int answer[2];
    if (::pipe(answer) != 0)
        return kChildFailed;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(answer[0]);
        const int result = work();
        ::_exit(::write(answer[1], &result, sizeof result) == ssize_t(sizeof result) ? 0 : 1);
    }
    ::close(answer[1]);
    int result = kChildFailed;
    if (child < 0 || ::read(answer[0], &result, sizeof result) != ssize_t(sizeof result))
        result = kChildFailed;
    ::close(answer[0]);
    int status = 0;
    if (child > 0)
        ::waitpid(child, &status, 0);
    return result;
}

// Writes past bytes then fail with EFBIG, as on a file system that is full.
bool limitFileSize(qint64 bytes)
{
    const struct rlimit limit = {rlim_t(bytes), rlim_t(bytes)};
    return ::signal(SIGXFSZ, SIG_IGN) != SIG_ERR && ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

// Becomes uid and gid alone; false when this process may not.
bool becomeUser(uid_t uid, gid_t gid)
{
    return ::setgroups(0, nullptr) == 0 && ::setgid(gid) == 0 && ::setuid(uid) == 0;
}

QString fileOwner(const QString& path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return QStringLiteral("missing");
    return QStringLiteral("%1:%2 %3").arg(st.st_uid).arg(st.st_gid).arg(st.st_mode & 07777, 0, 8);
}

} // namespace

Q_DECLARE_METATYPE(Fields)

class TestTags : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;

    QString copyFixture(const QString& fixture, const QString& name = QString())
    {
        const QString path = m_dir->filePath(name.isEmpty() ? fixture : name);
        QFile::remove(path);
        return QFile::copy(testenv::fixture(fixture), path) ? path : QString();
    }

    static tagMusicTags read(const QString& path, int* result = nullptr)
    {
        tagMusicTags info;
        const int r = GetMusicInfo_tag(path, &info);
        if (result)
            *result = r;
        return info;
    }

    QStringList leftovers() const
    {
        return QDir(m_dir->path()).entryList({QStringLiteral(".vessolin-*")}, QDir::Files | QDir::Hidden);
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(QFile::exists(testenv::fixture(QStringLiteral("plain.wav"))), "VESSOLIN_FIXTURES not set");
        QVERIFY(CreateLog(QDir::homePath()));
        SetPlatformLog(&WriteLog);
    }
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }
    void cleanup()
    {
        QVERIFY2(leftovers().isEmpty(), qPrintable(leftovers().join(QLatin1Char(' '))));
        m_dir.reset();
    }

    void fileType_data()
    {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("forWrite");
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("hasTag");
        QTest::newRow("mixed case extension") << "id3v2-cover.mp3" << "a.Mp3" << false << 1 << true;
        QTest::newRow("id3v1 read") << "id3v1-only.mp3" << "a.mp3" << false << 2 << true;
        QTest::newRow("id3v1 write") << "id3v1-only.mp3" << "a.mp3" << true << 1 << true;
        QTest::newRow("ape read") << "ape-only.mp3" << "a.mp3" << false << 4 << true;
        QTest::newRow("untagged mp3") << "untagged.mp3" << "a.mp3" << false << 1 << true;
        QTest::newRow("m4a") << "cover.m4a" << "a.m4a" << false << 3 << true;
        QTest::newRow("wma") << "tagged.wma" << "a.wma" << false << 5 << true;
        QTest::newRow("asf") << "tagged.wma" << "a.ASF" << false << 5 << true;
        QTest::newRow("flac with id3v2") << "id3v2.flac" << "a.flac" << false << 1 << true;
        QTest::newRow("flac without id3v2") << "vorbis-only.flac" << "a.flac" << true << 1 << false;
        QTest::newRow("tta") << "id3v2-title.tta" << "a.tta" << false << 1 << true;
        QTest::newRow("aif") << "id3v2-cover.aiff" << "a.aif" << false << 1 << true;
        QTest::newRow("wav without tag") << "plain.wav" << "a.wav" << true << 1 << true;
        QTest::newRow("no dot") << "plain.wav" << "wav" << false << -3 << false;
        QTest::newRow("ogg") << "plain.wav" << "a.ogg" << false << -2 << false;
        QTest::newRow("dot only in a folder") << "plain.wav" << "x.wav/a" << false << -2 << false;
        QTest::newRow("other class than extension") << "plain.wav" << "a.mp3" << false << -2 << false;
    }
    void fileType()
    {
        QFETCH(QString, fixture);
        QFETCH(QString, name);
        QFETCH(bool, forWrite);
        QFETCH(int, kind);
        QFETCH(bool, hasTag);
        std::unique_ptr<TagLib::FileRef> ref = OpenMusicFile(testenv::fixture(fixture));
        QVERIFY(ref);
        TagLib::Tag* tag = reinterpret_cast<TagLib::Tag*>(this);
        QCOMPARE(GetFileType(QStringLiteral("/music/") + name, ref->file(), &tag, forWrite), kind);
        QCOMPARE(tag != nullptr, hasTag);
        QCOMPARE(GetFileType(QString(), ref->file(), &tag, false), -1);
        QCOMPARE(GetFileType(QStringLiteral("a.mp3"), nullptr, &tag, false), -1);
    }

    void readFixtures_data()
    {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<int>("result");
        QTest::addColumn<Fields>("fields");
        const QString kept = QStringLiteral("kept"); // a year of 0 leaves the field alone
        QTest::newRow("id3v2 with cover") << "id3v2-cover.mp3" << 1 << kLantern;
        QTest::newRow("id3v2 partial") << "id3v2-partial.mp3" << 0
                                       << Fields{QStringLiteral("Grey Water Café"), QStringLiteral("Mira Kessel"), "", "", kept};
        QTest::newRow("id3v1 only") << "id3v1-only.mp3" << 0 << kLantern;
        QTest::newRow("ape only") << "ape-only.mp3" << 0
                                  << Fields{QStringLiteral("Salt Road"), QStringLiteral("Mira Kessel"),
                                            QStringLiteral("Low Tide"), QStringLiteral("Folk"), QStringLiteral("2004")};
        QTest::newRow("untagged mp3") << "untagged.mp3" << 0 << Fields{QStringLiteral("untagged"), "", "", "", kept};
        QTest::newRow("m4a with cover") << "cover.m4a" << 1
                                        << Fields{kLantern.name, kLantern.artist, QStringLiteral("港の灯"), kLantern.genre, kLantern.year};
        QTest::newRow("empty m4a") << "empty.m4a" << 0 << Fields{QStringLiteral("empty"), "", "", "", kept};
        QTest::newRow("wma") << "tagged.wma" << 0 << kLantern;
        QTest::newRow("flac id3v2") << "id3v2.flac" << 0 << kLantern;
        QTest::newRow("flac without id3v2") << "vorbis-only.flac" << -4 << Fields{"", "", "", "", kept};
        QTest::newRow("tta title only") << "id3v2-title.tta" << 0 << Fields{kLantern.name, "", "", "", kept};
        QTest::newRow("aiff with cover") << "id3v2-cover.aiff" << 1 << kLantern;
        QTest::newRow("plain wav") << "plain.wav" << 0 << Fields{QStringLiteral("plain"), "", "", "", kept};
    }
    void readFixtures()
    {
        QFETCH(QString, fixture);
        QFETCH(int, result);
        QFETCH(Fields, fields);
        const QString path = testenv::fixture(fixture);
        tagMusicTags info;
        info.strYear = QStringLiteral("kept");
        QCOMPARE(GetMusicInfo_tag(path, &info), result);
        QCOMPARE(fieldsOf(info), fields);
        QCOMPARE(info.strLocation, path);
        QCOMPARE(info.strSize, QString::number(QFileInfo(path).size()));
        QCOMPARE(info.strTotalTime, QStringLiteral("5000"));
        QVERIFY(info.strBitRate.toInt() > 0);
        QCOMPARE(HasMusicArtwork_tag(path), result < 0 ? -3 : result);
    }

    void nameFallback_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("name");
        QTest::newRow("three spaces") << "Song.One.mp3" << "   " << "Song.One";
        QTest::newRow("letter between spaces") << "a.mp3" << " x " << " x ";
        QTest::newRow("backslash separates") << "dir\\Track 5.mp3" << "" << "Track 5";
        QTest::newRow("non-ascii file name") << "Café 夜.mp3" << "" << "Café 夜";
    }
    void nameFallback()
    {
        QFETCH(QString, file);
        QFETCH(QString, title);
        QFETCH(QString, name);
        tagMusicTags info;
        info.strLocation = copyFixture(QStringLiteral("id3v2-cover.mp3"), file);
        info.strName = title;
        QCOMPARE(SetMusicInfo_tag(&info, TF_TITLE), 0);
        QCOMPARE(read(info.strLocation).strName, name);
    }

    // Every writable format: title, artist and album are replaced, genre
    // and year only fill blanks, and the written bits say exactly that.
    void roundTrip_data()
    {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<Fields>("before");
        const Fields blank{"", "", "", "", ""};
        QTest::newRow("mp3 id3v2") << "id3v2-cover.mp3" << kLantern;
        QTest::newRow("mp3 partial") << "id3v2-partial.mp3" << blank;
        QTest::newRow("mp3 id3v1 shown") << "id3v1-only.mp3" << kLantern;
        QTest::newRow("mp3 ape shown") << "ape-only.mp3" << Fields{"", "", "", QStringLiteral("Folk"), QStringLiteral("2004")};
        QTest::newRow("mp3 untagged") << "untagged.mp3" << blank;
        QTest::newRow("m4a") << "cover.m4a" << kLantern;
        QTest::newRow("m4a empty") << "empty.m4a" << blank;
        QTest::newRow("wma") << "tagged.wma" << kLantern;
        QTest::newRow("flac") << "id3v2.flac" << kLantern;
        QTest::newRow("tta") << "id3v2-title.tta" << blank;
        QTest::newRow("aiff") << "id3v2-cover.aiff" << kLantern;
        QTest::newRow("wav") << "plain.wav" << blank;
    }
    void roundTrip()
    {
        QFETCH(QString, fixture);
        QFETCH(Fields, before);
        tagMusicTags info = read(testenv::fixture(fixture));
        const int hadPicture = HasMusicArtwork_tag(testenv::fixture(fixture));
        info.strLocation = copyFixture(fixture);
        info.strName = QStringLiteral("Ünïcode ☂ 夜");
        info.strArtist = QStringLiteral("Zoë");
        info.strAlbum = QStringLiteral("Ålbum");
        info.strGenre = QStringLiteral("Ambient");
        info.strYear = QStringLiteral("2011");
        int written = -1;
        QCOMPARE(SetMusicInfo_tag(&info, kFields, &written), 0);

        const bool genreBlank = before.genre.isEmpty(), yearBlank = before.year.isEmpty();
        QCOMPARE(written, TF_TITLE | TF_ARTIST | TF_ALBUM | (genreBlank ? TF_GENRE : 0) | (yearBlank ? TF_YEAR : 0));
        int result = -1;
        const tagMusicTags after = read(info.strLocation, &result);
        QCOMPARE(result, hadPicture);
        QCOMPARE(fieldsOf(after), (Fields{info.strName, info.strArtist, info.strAlbum,
                                          genreBlank ? info.strGenre : before.genre,
                                          yearBlank ? info.strYear : before.year}));
        QCOMPARE(after.strTotalTime, QStringLiteral("5000"));
    }

    void fillRules_data()
    {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<int>("flags");
        QTest::addColumn<QString>("year");
        QTest::addColumn<int>("written");
        QTest::addColumn<Fields>("after");
        const Fields partial{QStringLiteral("Grey Water Café"), QStringLiteral("Mira Kessel"), "", "", ""};
        QTest::newRow("genre kept, title written") << "id3v2-cover.mp3" << (TF_GENRE | TF_TITLE) << "" << int(TF_TITLE)
                                                   << Fields{QStringLiteral("New"), kLantern.artist, kLantern.album, kLantern.genre, kLantern.year};
        QTest::newRow("year alone over a year") << "id3v2-cover.mp3" << int(TF_YEAR) << "2011" << 0 << kLantern;
        QTest::newRow("year alone into a blank") << "id3v2-partial.mp3" << int(TF_YEAR) << "2011" << int(TF_YEAR)
                                                 << Fields{partial.name, partial.artist, "", "", QStringLiteral("2011")};
        QTest::newRow("genre alone into a blank") << "id3v2-partial.mp3" << int(TF_GENRE) << "" << int(TF_GENRE)
                                                  << Fields{partial.name, partial.artist, "", QStringLiteral("Ambient"), ""};
        QTest::newRow("year with a date") << "id3v2-partial.mp3" << int(TF_YEAR) << "1999-04-01" << int(TF_YEAR)
                                          << Fields{partial.name, partial.artist, "", "", QStringLiteral("1999")};
        QTest::newRow("year not a number") << "id3v2-partial.mp3" << int(TF_YEAR) << "soon" << 0 << partial;
        QTest::newRow("year zero") << "id3v2-partial.mp3" << int(TF_YEAR) << "0" << 0 << partial;
        QTest::newRow("no field bits") << "id3v2-partial.mp3" << int(~kFields) << "2011" << 0 << partial;
    }
    void fillRules()
    {
        QFETCH(QString, fixture);
        QFETCH(int, flags);
        QFETCH(QString, year);
        QFETCH(int, written);
        QFETCH(Fields, after);
        tagMusicTags info;
        info.strLocation = copyFixture(fixture);
        info.strName = QStringLiteral("New");
        info.strGenre = QStringLiteral("Ambient");
        info.strYear = year;
        const QByteArray bytes = testenv::readAll(info.strLocation);
        int got = -1;
        QCOMPARE(SetMusicInfo_tag(&info, flags, &got), 0);
        QCOMPARE(got, written);
        QCOMPARE(fieldsOf(read(info.strLocation)), after);
        if (written == 0)
            QCOMPARE(testenv::readAll(info.strLocation), bytes); // untouched
    }

    // A picture in each tag kind: added when missing, found again, and
    // never replacing one already there.
    void pictures_data()
    {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QString>("existing");
        QTest::newRow("mp3 APIC") << "id3v2-partial.mp3" << "";
        QTest::newRow("mp3 untagged") << "untagged.mp3" << "";
        QTest::newRow("mp3 id3v1 stays shown") << "id3v1-only.mp3" << "";
        QTest::newRow("m4a covr") << "empty.m4a" << "";
        QTest::newRow("wma WM/Picture") << "tagged.wma" << "";
        QTest::newRow("flac") << "id3v2.flac" << "";
        QTest::newRow("tta") << "id3v2-title.tta" << "";
        QTest::newRow("wav") << "plain.wav" << "";
        QTest::newRow("mp3 has one") << "id3v2-cover.mp3" << "cover.jpg";
        QTest::newRow("m4a has one") << "cover.m4a" << "cover.png";
        QTest::newRow("aiff has one") << "id3v2-cover.aiff" << "cover.jpg";
    }
    void pictures()
    {
        QFETCH(QString, fixture);
        QFETCH(QString, existing);
        const QString path = copyFixture(fixture);
        const Fields fields = fieldsOf(read(path));
        const QByteArray png = testenv::readAll(testenv::fixture(QStringLiteral("cover.png")));
        QCOMPARE(HasMusicArtwork_tag(path), existing.isEmpty() ? 0 : 1);

        QCOMPARE(SetMusicArtwork_tag(path, png.constData(), png.size(), CPICTURE_PNG), 0);
        const QByteArray expected = existing.isEmpty() ? png : testenv::readAll(testenv::fixture(existing));
        void* data = nullptr;
        int length = 0;
        QCOMPARE(GetMusicArtwork_tag(path, &data, &length), 0);
        const QByteArray got(static_cast<const char*>(data), length);
        std::free(data);
        QCOMPARE(got, expected);
        int result = -1;
        QCOMPARE(fieldsOf(read(path, &result)), fields);
        QCOMPARE(result, 1);
        QCOMPARE(HasMusicArtwork_tag(path), 1);
    }

    void pictureTypes_data()
    {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("result");
        QTest::newRow("bmp into id3v2") << "untagged.mp3" << int(CPICTURE_BMP) << -7;
        QTest::newRow("gif into id3v2") << "plain.wav" << int(CPICTURE_GIF) << -7;
        QTest::newRow("unknown into id3v2") << "id3v2.flac" << 7 << -7;
        QTest::newRow("bmp into mp4") << "empty.m4a" << int(CPICTURE_BMP) << 0;
        QTest::newRow("gif into mp4") << "empty.m4a" << int(CPICTURE_GIF) << 0;
        QTest::newRow("unknown into mp4") << "empty.m4a" << 4 << -9;
        QTest::newRow("any into asf") << "tagged.wma" << int(CPICTURE_GIF) << 0;
        QTest::newRow("no id3v2 in flac") << "vorbis-only.flac" << int(CPICTURE_JPEG) << -4;
    }
    void pictureTypes()
    {
        QFETCH(QString, fixture);
        QFETCH(int, type);
        QFETCH(int, result);
        const QString path = copyFixture(fixture);
        const QByteArray before = testenv::readAll(path);
        const QByteArray picture = testenv::readAll(testenv::fixture(QStringLiteral("cover.png")));
        QCOMPARE(SetMusicArtwork_tag(path, picture.constData(), picture.size(), CPICTURE_TYPE(type)), result);
        if (result != 0) {
            QCOMPARE(testenv::readAll(path), before);
            return;
        }
        QCOMPARE(HasMusicArtwork_tag(path), 1);
        const TagLib::FileRef ref(QFile::encodeName(path).constData());
        if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(ref.file()))
            QCOMPARE(int(mp4->tag()->item("covr").toCoverArtList().front().format()),
                     int(type == CPICTURE_BMP ? TagLib::MP4::CoverArt::BMP : TagLib::MP4::CoverArt::GIF));
    }

    void artworkArguments()
    {
        const QString wma = copyFixture(QStringLiteral("tagged.wma"));
        const QString missing = m_dir->filePath(QStringLiteral("gone.mp3"));
        void* data = &data;
        int length = 7;
        QCOMPARE(GetMusicArtwork_tag(wma, &data, &length), 1);
        QVERIFY(!data);
        QCOMPARE(length, 0);
        QCOMPARE(GetMusicArtwork_tag(wma, nullptr, &length), -2);
        QCOMPARE(GetMusicArtwork_tag(missing, &data, &length), -1);
        QCOMPARE(HasMusicArtwork_tag(missing), -1);
        QCOMPARE(SetMusicArtwork_tag(wma, nullptr, 10, CPICTURE_JPEG), -1);
        QCOMPARE(SetMusicArtwork_tag(wma, "x", 0, CPICTURE_JPEG), -1);
        QCOMPARE(SetMusicArtwork_tag(missing, "x", 1, CPICTURE_JPEG), -2);
        tagMusicTags info;
        info.strLocation = missing;
        QCOMPARE(SetMusicInfo_tag(nullptr, TF_TITLE), -1);
        QCOMPARE(SetMusicInfo_tag(&info, TF_TITLE), -2);
        QCOMPARE(GetMusicInfo_tag(missing, &info), -2);
        QCOMPARE(GetMusicInfo_tag(wma, nullptr), -1);
    }

    // The reading order of MP3 tags decides whether a picture shows.
    void mp3PictureBehindId3v1()
    {
        const QString path = copyFixture(QStringLiteral("untagged.mp3"), QStringLiteral("song.mp3"));
        const QByteArray jpeg = testenv::readAll(testenv::fixture(QStringLiteral("cover.jpg")));
        {
            TagLib::MPEG::File file(QFile::encodeName(path).constData());
            auto* frame = new TagLib::ID3v2::AttachedPictureFrame;
            frame->setPicture(TagLib::ByteVector(jpeg.constData(), unsigned(jpeg.size())));
            file.ID3v2Tag(true)->addFrame(frame);
            file.ID3v1Tag(true)->setTitle("From ID3v1");
            QVERIFY(file.save(TagLib::MPEG::File::AllTags, TagLib::File::StripNone, TagLib::ID3v2::v4,
                              TagLib::File::DoNotDuplicate));
        }
        int result = -1;
        QCOMPARE(read(path, &result).strName, QStringLiteral("From ID3v1"));
        QCOMPARE(result, 0);
        QCOMPARE(HasMusicArtwork_tag(path), 0);
        {
            TagLib::MPEG::File file(QFile::encodeName(path).constData());
            QVERIFY(file.strip(TagLib::MPEG::File::ID3v1));
        }
        QCOMPARE(read(path, &result).strName, QStringLiteral("song"));
        QCOMPARE(result, 1);
    }

    // A write killed with its copy made leaves the copy; the next write
    // into the folder, or a load that is handed the copy, removes it. A
    // folder this process swept already is swept again in a new run, since
    // another process may have died writing into it meanwhile.
    void killedWriteLeavesNoCopyBehind_data()
    {
        QTest::addColumn<bool>("sweptBefore");
        QTest::addColumn<QString>("then");
        QTest::newRow("next write into the folder") << false << "write";
        QTest::newRow("the copy handed to a load") << false << "load the copy";
        QTest::newRow("first write of a new run") << true << "new run, write";
        QTest::newRow("the folder swept") << true << "sweep";
    }
    void killedWriteLeavesNoCopyBehind()
    {
        QFETCH(bool, sweptBefore);
        QFETCH(QString, then);
        const QString path = copyFixture(QStringLiteral("id3v2-partial.mp3"));
        const QByteArray before = testenv::readAll(path);
        tagMusicTags info;
        info.strLocation = copyFixture(QStringLiteral("untagged.mp3"));
        info.strName = QStringLiteral("Written");
        if (sweptBefore)
            QCOMPARE(SetMusicInfo_tag(&info, TF_TITLE), 0);
        QVERIFY(killedwrite::killMidWrite(path));
        QCOMPARE(leftovers().size(), 1);
        QCOMPARE(testenv::readAll(path), before);
        const QString copy = m_dir->filePath(leftovers().first());
        if (then == QLatin1String("load the copy")) {
            QVERIFY(RemoveStaleTagCopy(copy));
        } else if (then == QLatin1String("sweep")) {
            QCOMPARE(RemoveStaleTagCopies(m_dir->path()), 1);
        } else {
            if (then.startsWith(QLatin1String("new run")))
                StartTagWriteRun();
            info.strArtist = QStringLiteral("Written too");
            QCOMPARE(SetMusicInfo_tag(&info, TF_ARTIST), 0);
            QCOMPARE(read(info.strLocation).strArtist, info.strArtist);
        }
        QVERIFY(leftovers().isEmpty());
        QCOMPARE(testenv::readAll(path), before);
        if (then != QLatin1String("load the copy"))
            QVERIFY(testenv::readAll(QDir::homePath() + QStringLiteral("/MM.log"))
                        .contains(QFile::encodeName(copy) + " Removed: a copy left by an interrupted write"));
    }

    // A load sweeps the folders it lists, also through a link to the folder;
    // the writes of the same run do not list them again, so a copy a process
    // left there meanwhile waits for the next run.
    void folderIsSweptOncePerRun()
    {
        const QString path = copyFixture(QStringLiteral("id3v2-partial.mp3"));
        const QString linked = m_dir->filePath(QStringLiteral("linked"));
        QVERIFY(QFile::link(m_dir->path(), linked));
        QVERIFY(killedwrite::killMidWrite(path));
        StartTagWriteRun();
        QCOMPARE(SweepTagCopiesOnce(linked), 1);
        QVERIFY(leftovers().isEmpty());
        QVERIFY(killedwrite::killMidWrite(path));
        tagMusicTags info;
        info.strLocation = path;
        info.strName = QStringLiteral("Written");
        QCOMPARE(SetMusicInfo_tag(&info, TF_TITLE), 0);
        QCOMPARE(read(path).strName, info.strName);
        QCOMPARE(SweepTagCopiesOnce(m_dir->path()), 0);
        QCOMPARE(leftovers().size(), 1);
        StartTagWriteRun();
        QCOMPARE(SweepTagCopiesOnce(m_dir->path()), 1);
        QVERIFY(leftovers().isEmpty());
    }

    // Only our own copies whose writers are gone go: not the copy of a
    // write still running, not files merely named alike.
    void onlyStaleCopiesAreRemoved()
    {
        const QString folder = m_dir->filePath(QStringLiteral("music"));
        QVERIFY(QDir().mkpath(folder));
        const QStringList alike = {QStringLiteral(".vessolin-abc12.mp3"), QStringLiteral(".vessolin-abc123"),
                                   QStringLiteral("vessolin-abc123.mp3"), QStringLiteral(".vessolin-abc123.mp3.bak"),
                                   QStringLiteral(".vessolin-abc-12.mp3")};
        for (const QString& name : alike)
            QVERIFY(testenv::writeAll(folder + QLatin1Char('/') + name, "user's"));
        QVERIFY(QDir(folder).mkdir(QStringLiteral(".vessolin-folder.mp3")));
        const QString song = folder + QStringLiteral("/song.mp3");
        QVERIFY(QFile::copy(testenv::fixture(QStringLiteral("id3v2-partial.mp3")), song));
        QFile(song).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QVERIFY(QFile::link(song, folder + QStringLiteral("/.vessolin-link01.mp3")));
        QVERIFY(testenv::writeAll(folder + QStringLiteral("/.vessolin-Stale9.mp3"), "left behind"));

        // A write held with its copy made, on a thread of its own.
        QSemaphore made, resume;
        QString live;
        SetCopyMadeHook([&](const QString& copy) {
            live = copy;
            made.release();
            resume.acquire();
        });
        tagMusicTags info;
        info.strLocation = song;
        info.strName = QStringLiteral("Written");
        int result = 1;
        std::unique_ptr<QThread> writer(QThread::create([&] { result = SetMusicInfo_tag(&info, TF_TITLE); }));
        writer->start();
        made.acquire();
        const int removedBeside = RemoveStaleTagCopies(folder);
        const bool removedLive = RemoveStaleTagCopy(live);
        const bool stays = QFile::exists(live);
        resume.release();
        writer->wait();
        SetCopyMadeHook(nullptr);
        QCOMPARE(removedBeside, 0);
        QVERIFY(!removedLive);
        QVERIFY(stays);
        QCOMPARE(result, 0);
        QCOMPARE(read(song).strName, QStringLiteral("Written"));

        // The write swept the folder first: the stale copy is gone, the rest stays.
        QStringList expected = alike;
        expected << QStringLiteral(".vessolin-folder.mp3") << QStringLiteral(".vessolin-link01.mp3")
                 << QStringLiteral("song.mp3");
        expected.sort();
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
                 expected);
        for (const QString& name : alike)
            QCOMPARE(testenv::readAll(folder + QLatin1Char('/') + name), QByteArray("user's"));
    }

    // A write that fails anywhere leaves the original as it was.
    void failedWritesKeepOriginal_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("lockFolder");
        QTest::addColumn<int>("result");
        QTest::newRow("read-only file") << 0444 << false << int(TAG_WRITE_READ_ONLY);
        QTest::newRow("no write bit for anyone") << 0440 << false << int(TAG_WRITE_READ_ONLY);
        QTest::newRow("read-only folder") << 0644 << true << int(TAG_WRITE_NO_COPY);
    }
    void failedWritesKeepOriginal()
    {
        QFETCH(int, mode);
        QFETCH(bool, lockFolder);
        QFETCH(int, result);
        if (lockFolder && ::geteuid() == 0)
            QSKIP("the super-user creates files in read-only folders");
        const QString path = copyFixture(QStringLiteral("id3v2-partial.mp3"));
        const QByteArray before = testenv::readAll(path);
        QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode_t(mode)), 0);
        if (lockFolder)
            QCOMPARE(::chmod(QFile::encodeName(m_dir->path()).constData(), 0555), 0);
        tagMusicTags info;
        info.strLocation = path;
        info.strName = QStringLiteral("Never");
        int written = -1;
        const QByteArray picture = testenv::readAll(testenv::fixture(QStringLiteral("cover.jpg")));
        QCOMPARE(SetMusicInfo_tag(&info, TF_TITLE, &written), result);
        QCOMPARE(written, 0);
        QCOMPARE(SetMusicArtwork_tag(path, picture.constData(), picture.size(), CPICTURE_JPEG), result);
        ::chmod(QFile::encodeName(m_dir->path()).constData(), 0755);
        QCOMPARE(testenv::readAll(path), before);
        QVERIFY(testenv::readAll(QDir::homePath() + QStringLiteral("/MM.log")).contains(QFile::encodeName(path)));
    }

    void unreadableFile()
    {
        if (::geteuid() == 0)
            QSKIP("the super-user reads files without read permission");
        const QString path = copyFixture(QStringLiteral("id3v2-cover.mp3"));
        QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0200), 0);
        tagMusicTags info;
        QCOMPARE(GetMusicInfo_tag(path, &info), -3);
        QCOMPARE(HasMusicArtwork_tag(path), -2);
        info.strName = QStringLiteral("Never");
        QCOMPARE(SetMusicInfo_tag(&info, TF_TITLE), -3);
    }

    void editAndCheckFailuresKeepOriginal_data()
    {
        QTest::addColumn<int>("editResult");
        QTest::addColumn<bool>("checkResult");
        QTest::addColumn<int>("result");
        QTest::newRow("edit refused") << -6 << true << -6;
        QTest::newRow("does not read back") << 0 << false << int(TAG_WRITE_NOT_VERIFIED);
        QTest::newRow("reads back") << 0 << true << 0;
    }
    void editAndCheckFailuresKeepOriginal()
    {
        QFETCH(int, editResult);
        QFETCH(bool, checkResult);
        QFETCH(int, result);
        const QString path = copyFixture(QStringLiteral("cover.m4a"));
        const QByteArray before = testenv::readAll(path);
        const TagEdit edit = [&](TagLib::File*, TagLib::Tag* tag, int) {
            tag->setTitle("Edited");
            return editResult;
        };
        const TagCheck check = [&](TagLib::Tag* tag, int) { return tag->title() == "Edited" && checkResult; };
        QCOMPARE(WriteThroughCopy(path, edit, check), result);
        QCOMPARE(testenv::readAll(path) == before, result != 0);
    }

    // Every format: a write that runs out of room, while copying the song
    // or while the save moves its audio to make room for the new tag,
    // leaves the song as it was and says why; no copy stays behind.
    void outOfRoomKeepsTheSong_data()
    {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<bool>("whileSaving");
        QTest::addColumn<int>("result");
        struct Row { const char* fixture; int savingResult; };
        const Row rows[] = {
            {"id3v2-partial.mp3", TAG_WRITE_AUDIO_CHANGED}, {"untagged.mp3", TAG_WRITE_AUDIO_CHANGED},
            {"id3v1-only.mp3", TAG_WRITE_AUDIO_CHANGED},    {"ape-only.mp3", TAG_WRITE_AUDIO_CHANGED},
            {"empty.m4a", TAG_WRITE_NOT_VERIFIED},          {"tagged.wma", TAG_WRITE_AUDIO_CHANGED},
            {"id3v2.flac", TAG_WRITE_AUDIO_CHANGED},        {"id3v2-title.tta", TAG_WRITE_AUDIO_CHANGED},
            {"id3v2-cover.aiff", TAG_WRITE_NOT_VERIFIED},   {"plain.wav", TAG_WRITE_NOT_VERIFIED},
        };
        for (const Row& row : rows) {
            QTest::addRow("%s while copying", row.fixture) << row.fixture << false << int(TAG_WRITE_NO_SPACE);
            QTest::addRow("%s while saving", row.fixture) << row.fixture << true << row.savingResult;
        }
    }
    void outOfRoomKeepsTheSong()
    {
        QFETCH(QString, fixture);
        QFETCH(bool, whileSaving);
        QFETCH(int, result);
        const QString path = copyFixture(fixture);
        const QByteArray before = testenv::readAll(path);
        // An album long enough that no tag has the room for it already.
        tagMusicTags info;
        info.strLocation = path;
        info.strAlbum = QString(20000, QLatin1Char('a'));
        const qint64 limit = whileSaving ? before.size() + 10000 : before.size() / 2;
        const int got = inChild([&] {
            return limitFileSize(limit) ? SetMusicInfo_tag(&info, TF_ALBUM) : kChildSkipped;
        });
        QVERIFY(got != kChildSkipped);
        QCOMPARE(got, result);
        QCOMPARE(testenv::readAll(path), before);
    }

    // The audio check compares the audio of every format, and only it: a
    // byte changed in the middle of the song is caught, the new tag is not.
    void changedAudioIsRefused_data()
    {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<bool>("touchAudio");
        QTest::addColumn<int>("result");
        for (const char* fixture : {"id3v2-cover.mp3", "id3v1-only.mp3", "ape-only.mp3", "untagged.mp3", "cover.m4a",
                                    "tagged.wma", "id3v2.flac", "id3v2-title.tta", "id3v2-cover.aiff", "plain.wav"}) {
            QTest::addRow("%s tag only", fixture) << fixture << false << 0;
            QTest::addRow("%s audio changed", fixture) << fixture << true << int(TAG_WRITE_AUDIO_CHANGED);
        }
    }
    void changedAudioIsRefused()
    {
        QFETCH(QString, fixture);
        QFETCH(bool, touchAudio);
        QFETCH(int, result);
        const QString path = copyFixture(fixture);
        const QByteArray before = testenv::readAll(path);
        const TagEdit edit = [&](TagLib::File* file, TagLib::Tag* tag, int) {
            tag->setTitle("Edited");
            if (touchAudio) {
                // A save that leaves the tag right and one byte of the audio wrong.
                const long middle = file->length() / 2;
                file->seek(middle);
                TagLib::ByteVector byte = file->readBlock(1);
                byte[0] = char(~byte[0]);
                file->seek(middle);
                file->writeBlock(byte);
            }
            return 0;
        };
        const TagCheck check = [](TagLib::Tag* tag, int) { return tag->title() == "Edited"; };
        QCOMPARE(WriteThroughCopy(path, edit, check), result);
        if (result != 0)
            QCOMPARE(testenv::readAll(path), before);
        else
            QCOMPARE(read(path).strName, QStringLiteral("Edited"));
    }

    // The free space is asked before anything is copied: a write that
    // cannot fit is refused and the edit never runs.
    void freeSpaceIsCheckedFirst_data()
    {
        QTest::addColumn<bool>("moreThanFree");
        QTest::addColumn<int>("result");
        QTest::newRow("more than the folder has free") << true << int(TAG_WRITE_NO_SPACE);
        QTest::newRow("room enough") << false << 0;
    }
    void freeSpaceIsCheckedFirst()
    {
        QFETCH(bool, moreThanFree);
        QFETCH(int, result);
        const QString path = copyFixture(QStringLiteral("id3v2-partial.mp3"));
        const QByteArray before = testenv::readAll(path);
        struct statvfs fs;
        QCOMPARE(::statvfs(QFile::encodeName(m_dir->path()).constData(), &fs), 0);
        const int64_t free = int64_t(fs.f_bavail) * int64_t(fs.f_frsize);
        bool edited = false;
        const TagEdit edit = [&](TagLib::File*, TagLib::Tag* tag, int) {
            edited = true;
            tag->setAlbum("Fits");
            return 0;
        };
        const TagCheck check = [](TagLib::Tag* tag, int) { return tag->album() == "Fits"; };
        QCOMPARE(WriteThroughCopy(path, edit, check, moreThanFree ? free : 0), result);
        QCOMPARE(edited, !moreThanFree);
        QCOMPARE(testenv::readAll(path) == before, moreThanFree);
    }

    // On a small file system of its own (a tmpfs in a private mount
    // namespace, which needs the super-user), a cover is refused while
    // the folder lacks room for the song and its new tag, and fits once
    // there is room; a refused song stays as it was.
    void smallFileSystem_data()
    {
        QTest::addColumn<int>("freeKiB");
        QTest::addColumn<int>("result");
        QTest::newRow("full") << 16 << int(TAG_WRITE_NO_SPACE);
        QTest::newRow("room for a copy, not for the cover") << 60 << int(TAG_WRITE_NO_SPACE);
        QTest::newRow("room enough") << 600 << 0;
    }
    void smallFileSystem()
    {
        QFETCH(int, freeKiB);
        QFETCH(int, result);
        const QString folder = m_dir->filePath(QStringLiteral("small"));
        QVERIFY(QDir().mkpath(folder));
        const QByteArray song = testenv::readAll(testenv::fixture(QStringLiteral("id3v2-partial.mp3")));
        const QByteArray cover = QByteArray("\xFF\xD8\xFF\xE0") + QByteArray(64 * 1024, 'c');
        constexpr int kSongChanged = INT_MIN + 2;
        const int got = inChild([&] {
            const QByteArray mountPoint = QFile::encodeName(folder);
            if (!privatemount::enter() || ::mount("tmpfs", mountPoint.constData(), "tmpfs", 0, "size=1m") != 0)
                return kChildSkipped;
            const QString path = folder + QStringLiteral("/song.mp3");
            struct statvfs fs;
            if (!testenv::writeAll(path, song) || ::statvfs(mountPoint.constData(), &fs) != 0)
                return kChildFailed;
            const qint64 filler = qint64(fs.f_bavail) * qint64(fs.f_frsize) - freeKiB * 1024;
            if (filler > 0 && !testenv::writeAll(folder + QStringLiteral("/filler"), QByteArray(int(filler), 'f')))
                return kChildFailed;
            const int written = SetMusicArtwork_tag(path, cover.constData(), cover.size(), CPICTURE_JPEG);
            if (written != 0 && testenv::readAll(path) != song)
                return kSongChanged;
            return written == 0 && HasMusicArtwork_tag(path) != 1 ? kSongChanged : written;
        });
        if (got == kChildSkipped)
            QSKIP("no file system of our own here: mounting needs the super-user");
        QCOMPARE(got, result);
    }

    // A song keeps its mode, and its owner and group as far as the writer
    // may give them (only the super-user gives files away, and only to
    // groups one is in): what it may not give becomes the writer's.
    void ownerAndGroupAreKept_data()
    {
        QTest::addColumn<bool>("asUser");
        QTest::addColumn<uint>("owner");
        QTest::addColumn<uint>("group");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("after"); // empty: as before
        const uint user = 4242, other = 4343;
        QTest::newRow("super-user, another's song") << false << other << other << 0640 << 0 << "";
        QTest::newRow("user, own song and group") << true << user << user << 0644 << 0 << "";
        QTest::newRow("user, another's song writable by all") << true << other << other << 0666 << 0 << "4242:4242 666";
        QTest::newRow("user, own song of a group not theirs") << true << user << other << 0664 << 0 << "4242:4242 664";
    }
    void ownerAndGroupAreKept()
    {
        QFETCH(bool, asUser);
        QFETCH(uint, owner);
        QFETCH(uint, group);
        QFETCH(int, mode);
        QFETCH(int, result);
        QFETCH(QString, after);
        if (::geteuid() != 0)
            QSKIP("giving songs to other owners needs the super-user");
        const uid_t user = 4242;
        const QString path = copyFixture(QStringLiteral("id3v2-partial.mp3"));
        const QByteArray name = QFile::encodeName(path);
        QCOMPARE(::chown(name.constData(), owner, group), 0);
        QCOMPARE(::chmod(name.constData(), mode_t(mode)), 0);
        // The user writes into the folder of the song.
        QCOMPARE(::chmod(QFile::encodeName(m_dir->path()).constData(), 0777), 0);
        const QString before = fileOwner(path);
        const QByteArray bytes = testenv::readAll(path);
        tagMusicTags info;
        info.strLocation = path;
        info.strAlbum = QStringLiteral("Kept by its owner");
        const int got = inChild([&] {
            if (asUser && (!becomeUser(user, user) || ::access(name.constData(), W_OK) != 0))
                return kChildSkipped;
            return SetMusicInfo_tag(&info, TF_ALBUM);
        });
        ::chmod(QFile::encodeName(m_dir->path()).constData(), 0700);
        if (got == kChildSkipped)
            QSKIP("the song's folder cannot be reached as another user here");
        QCOMPARE(got, result);
        QCOMPARE(fileOwner(path), after.isEmpty() ? before : after);
        if (result == 0)
            QCOMPARE(read(path).strAlbum, info.strAlbum);
        else
            QCOMPARE(testenv::readAll(path), bytes);
    }

    void writeKeepsModeAndLinks()
    {
        const QString path = copyFixture(QStringLiteral("id3v2-cover.aiff"));
        const QString link = m_dir->filePath(QStringLiteral("link.aiff"));
        QVERIFY(QFile::link(path, link));
        QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0640), 0);
        tagMusicTags info;
        info.strLocation = link;
        info.strAlbum = QStringLiteral("Through a link");
        QCOMPARE(SetMusicInfo_tag(&info, TF_ALBUM), 0);
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(read(path).strAlbum, info.strAlbum);
        struct stat st;
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, mode_t(0640));
    }

    // Broken copies of every fixture go through every call: a clear code,
    // never a crash or a hang, and a broken file is never changed.
    void brokenFiles_data()
    {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QString>("breakage");
        QTest::addColumn<bool>("mustFail");
        const QStringList fixtures{"id3v2-cover.mp3", "ape-only.mp3", "cover.m4a", "tagged.wma", "id3v2.flac",
                                   "id3v2-title.tta", "id3v2-cover.aiff", "plain.wav"};
        const QList<QPair<QString, bool>> breakages{{"empty", true},   {"4", true},      {"10", true},
                                                    {"300", false},    {"2000", false},  {"half", false},
                                                    {"cut end", false}, {"random", true}, {"foreign head", false},
                                                    {"directory", true}, {"unknown extension", true}};
        for (const QString& fixture : fixtures)
            for (const auto& b : breakages)
                QTest::addRow("%s %s", qPrintable(fixture), qPrintable(b.first)) << fixture << b.first << b.second;
    }
    void brokenFiles()
    {
        QFETCH(QString, fixture);
        QFETCH(QString, breakage);
        QFETCH(bool, mustFail);
        QByteArray bytes = testenv::readAll(testenv::fixture(fixture));
        QString name = QStringLiteral("broken.") + QFileInfo(fixture).suffix();
        if (breakage == QLatin1String("empty") || breakage.toInt() > 0)
            bytes.truncate(breakage.toInt());
        else if (breakage == QLatin1String("half"))
            bytes.truncate(bytes.size() / 2);
        else if (breakage == QLatin1String("cut end"))
            bytes.chop(1000);
        else if (breakage == QLatin1String("random")) {
            QRandomGenerator random(uint(qHash(fixture)));
            for (char& c : bytes)
                c = char(random.bounded(256));
        } else if (breakage == QLatin1String("foreign head")) {
            const QString other = fixture.endsWith(QLatin1String(".flac")) ? "cover.m4a" : "id3v2.flac";
            bytes.replace(0, 4096, testenv::readAll(testenv::fixture(other)).left(4096));
        } else if (breakage == QLatin1String("unknown extension"))
            name = QStringLiteral("broken.xyz");
        const QString path = m_dir->filePath(name);
        if (breakage == QLatin1String("directory"))
            QVERIFY(QDir().mkpath(path));
        else
            QVERIFY(testenv::writeAll(path, bytes));

        tagMusicTags info;
        const int read = GetMusicInfo_tag(path, &info);
        QVERIFY2(QList<int>({-3, -4, 0, 1}).contains(read), qPrintable(QString::number(read)));
        if (mustFail)
            QVERIFY(read < 0);
        const int has = HasMusicArtwork_tag(path);
        QCOMPARE(has < 0, read < 0);
        void* data = nullptr;
        int length = 0;
        const int got = GetMusicArtwork_tag(path, &data, &length);
        QCOMPARE(got == 0, data != nullptr);
        std::free(data);

        const QByteArray jpeg = testenv::readAll(testenv::fixture(QStringLiteral("cover.jpg")));
        info.strLocation = path;
        info.strName = QStringLiteral("Title");
        const int setInfo = SetMusicInfo_tag(&info, TF_TITLE);
        const int setArt = SetMusicArtwork_tag(path, jpeg.constData(), jpeg.size(), CPICTURE_JPEG);
        if (mustFail) {
            QVERIFY(setInfo < 0 && setArt < 0);
            QVERIFY(testenv::readAll(QDir::homePath() + QStringLiteral("/MM.log")).contains(QFile::encodeName(path)));
            if (breakage != QLatin1String("directory"))
                QCOMPARE(testenv::readAll(path), bytes);
        } else if (setInfo == 0) {
            QCOMPARE(GetMusicInfo_tag(path, &info) >= 0, true);
            QCOMPARE(info.strName, QStringLiteral("Title"));
        }
    }
};

QTEST_GUILESS_MAIN(TestTags)
#include "tst_tags.moc"
