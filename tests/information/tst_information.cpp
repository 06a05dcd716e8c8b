// The track information editor, its elided fields and its artwork label:
// against the real engine through the bridge, the preview through scripted
// movies of the player, lookups against a fake service on 127.0.0.1.
#include "player/PlayUnit.h"
#include "accessnames.h"
#include "common.h"
#include "config.h"
#include "customcontrols/customcontrols.h"
#include "desktop.h"
#include "fakeservice.h"
#include "information/labelartwork.h"
#include "information/lineedit.h"
#include "information/modifymusicinfo.h"
#include "lookupfakes.h"
#include "musiclink.h"
#include "reporter/analyreport.h"
#include "reporter/duplicate.h"
#include "reporter/reportlists.h"
#include "player.h"
#include "sharedimages.h"
#include "signalrecorder.h"
#include "tagread.h"
#include "testenv.h"
#include "testimages.h"
#include "treeitem.h"
#include "treeobj/treeobj.h"

#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QIcon>
#include <QSplitter>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

constexpr int kWaitMs = 60000;
const QString kPartial = QStringLiteral("id3v2-partial.mp3");  // title and artist, no picture
const QString kCover = QStringLiteral("id3v2-cover.mp3");      // every field and a picture
const QString kNoPicture = QStringLiteral("id3v1-only.mp3");   // every field, no picture
const QRegularExpression kDropName(QStringLiteral("^\\d{4}(-\\d\\d){5}(_\\d+)?\\.jpg$"));

class ScriptedMovie : public player::Movie
{
public:
    long level = player::LOAD_THROUGH;
    long loadState() const override { return level; }
    double duration() const override { return 5.0; }
    double currentTime() const override { return 0.0; }
    void setCurrentTime(double) override {}
    void autoplay() override {}
    void stop() override {}
    void setVolume(float) override {}
    void end() { emit didEnd(); }
    void fail()
    {
        level = player::LOAD_ERROR;
        emit loadStateChanged();
    }
};

QPointer<ScriptedMovie> g_movie;
int g_opened = 0;
char g_otherOwner;

void useScriptedMovies()
{
    g_opened = 0;
    player::setMovieOpener([](const QString&, QString*) {
        ++g_opened;
        auto movie = std::make_unique<ScriptedMovie>();
        g_movie = movie.get();
        return std::unique_ptr<player::Movie>(std::move(movie));
    });
}

// Answers every message box as it opens and keeps its text.
class BoxCloser : public QObject
{
public:
    QStringList texts;
    BoxCloser()
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                texts << box->text();
                box->done(QMessageBox::Ok);
            }
        });
        m_timer.start(5);
    }

private:
    QTimer m_timer;
};

// What a field shows after a paint.
QString shown(CLineEdit* edit)
{
    edit->grab();
    return static_cast<QLineEdit*>(edit)->text();
}

void focus(CLineEdit* edit, QEvent::Type type)
{
    QFocusEvent event(type, Qt::OtherFocusReason);
    QCoreApplication::sendEvent(edit, &event);
}

QStringList fieldsOf(const tagMMusicInfo* info)
{
    return {info->strName, info->strArtist, info->strAlbum, info->strYear, info->strGenre};
}

QImage sized(const QImage& image)
{
    return image.scaled(110, 110, Qt::IgnoreAspectRatio, Qt::FastTransformation)
        .convertToFormat(QImage::Format_ARGB32);
}

QImage pictureOf(QWidget* editor, const char* name)
{
    return editor->findChild<QLabel*>(QLatin1String(name))->pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
}

void dropOn(QWidget* target, QMimeData* data)
{
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
}

void dropFile(QWidget* target, const QString& path)
{
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    dropOn(target, &data);
}

// The image search of the fake services, by album or by song: two release
// groups, each a cover.
void answerImageSearch(FakeService& fake)
{
    using namespace lookupfakes;
    fake.answer(searchPath(), FakeAnswer::json(searchAnswer({kSearchGroupA, kSearchGroupB})));
    fake.answer(songSearchPath(), FakeAnswer::json(songSearchAnswer({kSearchGroupA, kSearchGroupB})));
    fake.answer(frontPath(kSearchGroupA), FakeAnswer::image(noiseJpeg(2)));
    fake.answer(frontPath(kSearchGroupB), FakeAnswer::image(noiseJpeg(3)));
}

// What column 6 of a row shows: "pause", "play" or "none".
QString playIcon(QTreeWidgetItem* row)
{
    const qint64 key = row->icon(6).cacheKey();
    if (row->icon(6).isNull())
        return QStringLiteral("none");
    return key == g_pIconPause->cacheKey() ? QStringLiteral("pause")
         : key == g_pIconPlay->cacheKey()  ? QStringLiteral("play") : QStringLiteral("other");
}

QStringList droppedFiles()
{
    QStringList names = QDir(CConfig::instance()->GetDowndImgPath()).entryList(QDir::Files, QDir::Name);
    return names.filter(kDropName);
}

} // namespace

class TestInformation : public QObject
{
    Q_OBJECT

    struct Track {
        void* handle = nullptr;
        int absence = 0;
        int index = -1;
        QString path;
    };

    std::unique_ptr<CMusicLink> m_link;
    std::unique_ptr<QTemporaryDir> m_dir;
    QHash<QString, Track> m_tracks;  // by fixture name

    // Fresh copies of the fixtures as the library of the file mode.
    bool load(const QStringList& fixtures, bool analyse)
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QStringList files;
        for (const QString& name : fixtures) {
            files << m_dir->filePath(name);
            if (!QFile::copy(testenv::fixture(name), files.last()))
                return false;
            QFile::setPermissions(files.last(), QFile::ReadOwner | QFile::WriteOwner);
        }
        SignalRecorder loaded(m_link.get(), &CMusicLink::SendLoadOK);
        if (m_link->InitParam(RUN_FILES, nullptr) != 0 || m_link->LoadExMusicFiles(files) != 0
            || m_link->LoadiTunesMusic() != 0 || !loaded.wait(kWaitMs))
            return false;
        if (analyse) {
            SignalRecorder analysed(m_link.get(), &CMusicLink::SendAnalyzeOK);
            if (m_link->AnalyzeMusicInfo(CConfig::instance()->Genernal) != 0 || !analysed.wait(kWaitMs))
                return false;
            // Beginning a transaction waits for the save that follows the analysis.
            m_link->DBTransaction(false);
            m_link->DBTransaction(true);
        }
        m_tracks.clear();
        for (int i = 0; i < m_link->GetMusicCountAMode(nullptr, nullptr); ++i) {
            Track t;
            int state = 0;
            long long repeat = 0;
            m_link->GetMusicListMusic(i, &t.handle, t.absence, state, repeat);
            t.index = i;
            t.path = working(t.handle)->strLocation;
            m_tracks.insert(QFileInfo(t.path).fileName(), t);
        }
        return true;
    }

    const tagMMusicInfo* working(void* track)
    {
        const tagMMusicInfo* info = nullptr;
        m_link->GetMusicInfo(track, &info, INFO_NEW);
        return info;
    }

    // An editor bound to the bridge, shown and opened on the track.
    std::unique_ptr<CModifyMusicInfo> openEditor(const Track& track)
    {
        auto editor = std::make_unique<CModifyMusicInfo>();
        editor->setObjectName(QStringLiteral("ModifyMusicinfo"));
        editor->SetMusicLink(m_link.get());
        editor->resize(800, 170);
        editor->setHidden(false);
        editor->SetItem(track.absence, track.handle);
        editor->EditHide();
        return editor;
    }

    static CLineEdit* field(QWidget* editor, const QString& name)
    {
        for (CLineEdit* edit : editor->findChildren<CLineEdit*>())
            if (edit->accessibleName() == name)
                return edit;
        return nullptr;
    }

    static QList<CLineEdit*> newFields(QWidget* editor)
    {
        QList<CLineEdit*> fields;
        for (const char* row : {"Name", "Artist", "Album", "Year", "Genre"})
            fields << field(editor, QStringLiteral("New Tag ") + QLatin1String(row));
        return fields;
    }

private slots:
    void initTestCase()
    {
        CreateLinkAndName();
        CConfig::instance();
        CreateImage();
        m_link = std::make_unique<CMusicLink>();
        QVERIFY(m_link->HasEngine());
        QCOMPARE(PlayUnit_Create([](unsigned int, tagPlayUnitState, void*) {}, &g_otherOwner), 0);
    }

    void cleanupTestCase()
    {
        PlayUnit_Destroy(&g_otherOwner);
        m_link->SetExitState(1);
        m_link->DestroyMusicLibrary();
        DestroyImage();
    }

    void init()
    {
        useScriptedMovies();
        QDir(CConfig::instance()->GetDowndImgPath()).removeRecursively();
    }

    // Unfocused, a field shows its text cut to its width; focused, the
    // whole text, which typing changes and a new text replaces at once.
    void lineEditKeepsItsFullText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("unfocused");
        QTest::newRow("fits") << "Abba" << 200 << "Abba";
        QTest::newRow("five characters that do not fit") << "WWWWW" << 20 << "WWWWW...";
        QTest::newRow("long") << QString(60, QLatin1Char('x')) << 150 << "";
    }

    void lineEditKeepsItsFullText()
    {
        QFETCH(QString, text);
        QFETCH(int, width);
        QFETCH(QString, unfocused);
        CLineEdit edit;
        edit.setFixedWidth(width);
        edit.setText(text);
        const QString cut = shown(&edit);
        if (unfocused.isEmpty()) {
            QVERIFY(cut.endsWith(QLatin1String("...")));
            QVERIFY(cut.size() >= 9 && cut.size() < text.size());
            QVERIFY(text.startsWith(cut.chopped(3)));
        } else {
            QCOMPARE(cut, unfocused);
        }
        QCOMPARE(edit.text(), text);

        focus(&edit, QEvent::FocusIn);
        QCOMPARE(shown(&edit), text);
        edit.end(false);
        edit.insert(QStringLiteral("!"));
        QCOMPARE(edit.text(), text + QLatin1Char('!'));
        const QString next = QStringLiteral("set while focused");
        edit.setText(next);
        QCOMPARE(shown(&edit), next);
        edit.end(false);
        edit.insert(QStringLiteral("!"));
        QCOMPARE(edit.text(), next + QLatin1Char('!'));
        focus(&edit, QEvent::FocusOut);
        shown(&edit);
        QCOMPARE(edit.text(), next + QLatin1Char('!'));
    }

    // Steps: click, end, error (the file does not decode), other (another
    // owner plays a file), stop, next (another file becomes current).
    void labelPreview_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("pauseLook");
        QTest::addColumn<QString>("box");
        QTest::addColumn<int>("opened");
        QTest::addColumn<QString>("owner");
        const QString failure = QStringLiteral("Playback failure!");
        const QStringList click{QStringLiteral("click")};
        QTest::newRow("no file") << "" << click << int(PS_STOPPED) << false << failure << 0 << "none";
        QTest::newRow("protected") << "song.m4p" << click << int(PS_STOPPED) << false << failure << 0 << "none";
        QTest::newRow("upper-case extension plays") << "song.M4P" << click << int(PS_PLAYING) << true << "" << 1 << "label";
        QTest::newRow("missing file") << "gone.mp3" << click << int(PS_STOPPED) << false << failure << 0 << "none";
        QTest::newRow("pause") << "song.mp3" << QStringList{"click", "click"} << int(PS_PAUSED) << false << "" << 1 << "label";
        QTest::newRow("resume") << "song.mp3" << QStringList{"click", "click", "click"} << int(PS_PLAYING) << true << "" << 1 << "label";
        QTest::newRow("end") << "song.mp3" << QStringList{"click", "end"} << int(PS_STOPPED) << false << "" << 1 << "none";
        QTest::newRow("end, then again from the start") << "song.mp3" << QStringList{"click", "end", "click"}
                                                        << int(PS_PLAYING) << true << "" << 2 << "label";
        QTest::newRow("undecodable") << "song.mp3" << QStringList{"click", "error"} << int(PS_STOPPED) << false << "" << 1 << "none";
        QTest::newRow("taken over") << "song.mp3" << QStringList{"click", "other"} << int(PS_STOPPED) << false << "" << 2 << "other";
        QTest::newRow("stop leaves another owner playing") << "song.mp3" << QStringList{"other", "stop"}
                                                           << int(PS_STOPPED) << false << "" << 1 << "other";
        QTest::newRow("another file: sound goes on") << "song.mp3" << QStringList{"click", "next"}
                                                     << int(PS_PLAYING) << false << "" << 1 << "label";
        QTest::newRow("another file, clicked") << "song.mp3" << QStringList{"click", "next", "click"}
                                               << int(PS_PLAYING) << true << "" << 2 << "label";
    }

    void labelPreview()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, steps);
        QTemporaryDir dir;
        const QString path = file.isEmpty() ? QString() : dir.filePath(file);
        if (!file.startsWith(QLatin1String("gone")) && !path.isEmpty())
            QVERIFY(QFile::copy(testenv::fixture(QStringLiteral("plain.wav")), path));
        QVERIFY(QFile::copy(testenv::fixture(QStringLiteral("plain.wav")), dir.filePath(QStringLiteral("next.mp3"))));
        const QByteArray other = testenv::fixture(QStringLiteral("plain.wav")).toUtf8();
        CLabelArtwork label;
        label.SetCurrentFilename(path);
        BoxCloser boxes;
        for (const QString& step : steps) {
            if (step == QLatin1String("click"))
                label.PlayMusic();
            else if (step == QLatin1String("end"))
                g_movie->end();
            else if (step == QLatin1String("error"))
                g_movie->fail();
            else if (step == QLatin1String("other"))
                QCOMPARE(PlayUnit_SetMediaFile(other.constData(), &g_otherOwner), 0);
            else if (step == QLatin1String("stop"))
                label.SetPlayState(PS_STOPPED);
            else if (step == QLatin1String("next"))
                label.SetCurrentFilename(dir.filePath(QStringLiteral("next.mp3")));
        }
        QFETCH(int, state);
        QFETCH(bool, pauseLook);
        QFETCH(QString, box);
        QFETCH(int, opened);
        QFETCH(QString, owner);
        QCOMPARE(int(label.PlayState()), state);
        auto* button = label.findChild<QPushButton*>(QStringLiteral("PlayMusicBut"));
        QCOMPARE(button->styleSheet().contains(QLatin1String("musicpause.png")), pauseLook);
        QCOMPARE(button->accessibleName(), pauseLook ? QStringLiteral("Pause") : QStringLiteral("Play"));
        QCOMPARE(boxes.texts, box.isEmpty() ? QStringList() : QStringList{box});
        QCOMPARE(g_opened, opened);
        void* expectedOwner = owner == QLatin1String("label") ? static_cast<void*>(&label)
                            : owner == QLatin1String("other") ? static_cast<void*>(&g_otherOwner) : nullptr;
        QCOMPARE(PlayUnit_FileOwner(), expectedOwner);
        PlayUnit_Stop();
    }

    void labelTakesOnlyLocalFiles_data()
    {
        QTest::addColumn<QList<QUrl>>("urls");
        QTest::addColumn<QString>("emitted");
        const QString file = QStringLiteral("/music/cover art.jpg");
        QTest::newRow("a local file") << QList<QUrl>{QUrl::fromLocalFile(file)} << file;
        QTest::newRow("the first of two") << QList<QUrl>{QUrl::fromLocalFile(file), QUrl::fromLocalFile("/b.jpg")} << file;
        QTest::newRow("text without a URL") << QList<QUrl>{} << "";
        QTest::newRow("a web address") << QList<QUrl>{QUrl("https://example.com/a.jpg")} << "";
    }

    void labelTakesOnlyLocalFiles()
    {
        QFETCH(QList<QUrl>, urls);
        QFETCH(QString, emitted);
        CLabelArtwork label;
        QSignalSpy drops(&label, &CLabelArtwork::DropImg);
        QMimeData data;
        data.setText(QStringLiteral("not a file"));
        if (!urls.isEmpty())
            data.setUrls(urls);
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&label, &enter);
        QDragLeaveEvent leave;
        QCoreApplication::sendEvent(&label, &leave);
        QCOMPARE(label.backgroundRole(), QPalette::Highlight);
        QCoreApplication::sendEvent(&label, &enter);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&label, &drop);
        QCOMPARE(label.backgroundRole(), QPalette::Dark);
        QCOMPARE(drops.count(), emitted.isEmpty() ? 0 : 1);
        QCOMPARE(drop.isAccepted(), !emitted.isEmpty());
        if (!emitted.isEmpty())
            QCOMPARE(drops.first(), (QVariantList{emitted, true}));
    }

    // Typed values (null: left as loaded), then the commit before an apply.
    void commitOfHandEdits_data()
    {
        QTest::addColumn<QStringList>("typed");
        QTest::addColumn<QStringList>("committed");  // null: the engine's value stays
        QTest::addColumn<QString>("box");
        QTest::addColumn<int>("editSignals");
        const QString n;
        QTest::newRow("title of three spaces") << QStringList{"   ", n, n, "2001", n} << QStringList{n, n, n, n, n}
                                               << "Please, music title cannot be empty." << 0;
        QTest::newRow("genre only") << QStringList{n, n, n, n, "Jazz"} << QStringList{n, n, n, n, "Jazz"} << "" << 0;
        QTest::newRow("title and year") << QStringList{"New Title", n, n, "2001", n}
                                        << QStringList{"New Title", n, n, "2001", n} << "" << 1;
        QTest::newRow("emptied artist") << QStringList{n, "", n, n, n} << QStringList{n, n, n, n, n} << "" << 0;
        QTest::newRow("artist of spaces") << QStringList{n, "  ", n, n, n} << QStringList{n, n, n, n, n} << "" << 0;
        QTest::newRow("tab title, spaced album") << QStringList{"\t", n, " Live ", n, n}
                                                 << QStringList{"\t", n, " Live ", n, n} << "" << 1;
    }

    void commitOfHandEdits()
    {
        QFETCH(QStringList, typed);
        QFETCH(QStringList, committed);
        QFETCH(QString, box);
        QFETCH(int, editSignals);
        QVERIFY(load({kPartial}, false));
        const Track track = m_tracks.value(kPartial);
        const QStringList before = fieldsOf(working(track.handle));
        auto editor = openEditor(track);
        const QList<CLineEdit*> fields = newFields(editor.get());
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(fields[i]->text(), before[i]);
            if (!typed[i].isNull())
                fields[i]->setText(typed[i]);
        }
        QSignalSpy edits(editor.get(), &CModifyMusicInfo::SendEditItem);
        BoxCloser boxes;
        QCOMPARE(editor->CommitPendingEdit(), box.isEmpty());
        QVERIFY(editor->isHidden());
        QCOMPARE(boxes.texts, box.isEmpty() ? QStringList() : QStringList{box});
        QStringList expected = before;
        for (int i = 0; i < 5; ++i)
            if (!committed[i].isNull())
                expected[i] = committed[i];
        QCOMPARE(fieldsOf(working(track.handle)), expected);
        QCOMPARE(edits.count(), editSignals);
        if (editSignals)
            QCOMPARE(edits.first().first().value<void*>(), track.handle);
        if (!box.isEmpty()) {
            // Title, artist and album come back from the engine; the year stays typed.
            QCOMPARE(fields[0]->text(), before[0]);
            QCOMPARE(fields[3]->text(), typed[3]);
        }
    }

    // A field that keeps the focus while the user moves to another track
    // shows that track's text, so what is typed then goes to that track
    // with its own text, and the first track keeps its own.
    void focusedFieldFollowsTheTrack()
    {
        QVERIFY(load({kPartial, kNoPicture}, false));
        const Track first = m_tracks.value(kNoPicture);
        const Track second = m_tracks.value(kPartial);
        const QString firstName = working(first.handle)->strName;
        const QString secondName = working(second.handle)->strName;
        QVERIFY(firstName != secondName);
        auto editor = openEditor(first);
        CLineEdit* name = field(editor.get(), QStringLiteral("New Tag Name"));
        focus(name, QEvent::FocusIn);
        QCOMPARE(shown(name), firstName);
        editor->SetItem(second.absence, second.handle);
        QCOMPARE(shown(name), secondName);
        name->end(false);
        name->insert(QStringLiteral("!"));
        QVERIFY(editor->CommitPendingEdit());
        QCOMPARE(working(second.handle)->strName, secondName + QLatin1Char('!'));
        QCOMPARE(working(first.handle)->strName, firstName);
    }

    // Collapsed, a track is only remembered; opening loads it, and after a
    // commit a reopening without a new track loads nothing.
    void openAndCollapse()
    {
        QVERIFY(load({kPartial, kNoPicture}, false));
        CModifyMusicInfo editor;
        editor.SetMusicLink(m_link.get());
        editor.SetItem(0, m_tracks.value(kNoPicture).handle);
        QCOMPARE(editor.height(), 12);
        QCOMPARE(field(&editor, "New Tag Name")->text(), QString());
        editor.EditHide();
        QCOMPARE(editor.height(), 170);
        QVERIFY(!editor.isHidden());
        QCOMPARE(field(&editor, "Orginal Tag Name")->text(), working(m_tracks.value(kNoPicture).handle)->strName);
        QCOMPARE(field(&editor, "Orginal Tag Name")->toolTip(), field(&editor, "Orginal Tag Name")->text());
        editor.SetItem(0, m_tracks.value(kPartial).handle);  // open: commits the first, loads the second
        const QString partialName = working(m_tracks.value(kPartial).handle)->strName;
        QCOMPARE(field(&editor, "New Tag Name")->text(), partialName);
        editor.EditHide();
        QCOMPARE(editor.height(), 12);
        field(&editor, "New Tag Name")->setText(QStringLiteral("typed while collapsed"));
        editor.EditHide();
        QCOMPARE(field(&editor, "New Tag Name")->text(), QStringLiteral("typed while collapsed"));
        editor.EditHide();
        QCOMPARE(working(m_tracks.value(kPartial).handle)->strName, partialName);
    }

    void picturesFollowTheArtwork_data()
    {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<int>("absence");
        QTest::addColumn<QString>("left");  // "artwork": the track's own picture
        QTest::addColumn<QString>("right");
        const QString art = QStringLiteral("artwork");
        const QString none = QStringLiteral(":/res/res/mac/label/noartwork.png");
        const QString failed = QStringLiteral(":/res/res/mac/label/Failed_load_artwork_en.png");
        const QString drag = QStringLiteral(":/res/res/mac/label/drag_artwork_here_en.png");
        QTest::newRow("with artwork") << kCover << 0 << art << art;
        QTest::newRow("artwork chosen for a track without") << kCover << int(MF_ARTWORK) << none << art;
        QTest::newRow("artwork that cannot be read") << kNoPicture << 0 << failed << failed;
        QTest::newRow("lacking artwork") << kNoPicture << int(MF_ARTWORK) << none << drag;
    }

    void picturesFollowTheArtwork()
    {
        QFETCH(QString, fixture);
        QFETCH(int, absence);
        QFETCH(QString, left);
        QFETCH(QString, right);
        QVERIFY(load({kCover, kNoPicture}, false));
        Track track = m_tracks.value(fixture);
        track.absence = absence;
        auto editor = openEditor(track);
        const QImage own = QImage::fromData(tagread::mp3Picture(track.path));
        QCOMPARE(pictureOf(editor.get(), "OrgArtwork"), sized(left == QLatin1String("artwork") ? own : QImage(left)));
        QCOMPARE(pictureOf(editor.get(), "NewArtwork"), sized(right == QLatin1String("artwork") ? own : QImage(right)));
    }

    // Where a dropped file lies decides whether it is copied into the
    // artwork folder; what waits is what the commit gives the engine.
    void droppedPicture_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<bool>("drop");
        QTest::addColumn<bool>("copied");
        QTest::addColumn<bool>("committed");
        QTest::addColumn<QString>("box");
        QTest::newRow("outside the folder") << "outside" << true << true << true << "";
        QTest::newRow("inside the folder") << "inside" << true << false << true << "";
        QTest::newRow("a sibling named like the folder") << "sibling" << true << true << true << "";
        QTest::newRow("a path holding the folder's") << "holding" << true << true << true << "";
        QTest::newRow("leaving the folder by ..") << "dotdot" << true << true << true << "";
        QTest::newRow("not an image") << "text" << true << false << false
                                      << "Sorry, the file you dragged-in is not a valid image file.";
        QTest::newRow("missing") << "missing" << true << false << false << "";
        QTest::newRow("picked candidate") << "outside" << false << false << false << "";
    }

    void droppedPicture()
    {
        QFETCH(QString, where);
        QFETCH(bool, drop);
        QFETCH(bool, copied);
        QFETCH(bool, committed);
        QFETCH(QString, box);
        QVERIFY(load({kPartial}, true));
        const Track track = m_tracks.value(kPartial);
        QVERIFY(track.absence & MF_ARTWORK);
        const QString folder = CConfig::instance()->GetDowndImgPath();
        QTemporaryDir outside;
        const QHash<QString, QString> places{
            {"outside", outside.filePath("cover.jpg")}, {"inside", folder + "/mine/cover.jpg"},
            {"sibling", folder + "2/cover.jpg"}, {"holding", outside.path() + folder + "/cover.jpg"},
            {"dotdot", folder + "/../cover.jpg"}, {"text", outside.filePath("notes.jpg")},
            {"missing", outside.filePath("gone.jpg")}};
        const QString source = places.value(where);
        QDir().mkpath(folder);
        QDir().mkpath(QFileInfo(source).absolutePath());
        QFile::remove(source);
        if (where == QLatin1String("text"))
            QVERIFY(testenv::writeAll(source, "just words"));
        else if (where != QLatin1String("missing"))
            QVERIFY(QFile::copy(testenv::fixture(QStringLiteral("cover.jpg")), source));

        auto editor = openEditor(track);
        BoxCloser boxes;
        QSignalSpy edits(editor.get(), &CModifyMusicInfo::SendEditItem);
        if (drop)
            dropFile(editor->findChild<QWidget*>(QStringLiteral("NewArtwork")), source);
        else
            editor->OpenFileImg(source, false);
        const QStringList made = droppedFiles();
        QCOMPARE(made.size(), copied ? 1 : 0);
        if (copied)
            QVERIFY(made.first().startsWith(QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd-"))));
        if (where != QLatin1String("text") && where != QLatin1String("missing"))
            QCOMPARE(pictureOf(editor.get(), "NewArtwork"), sized(QImage(source)));
        QVERIFY(editor->CommitPendingEdit());
        QCOMPARE(boxes.texts, box.isEmpty() ? QStringList() : QStringList{box});
        QString artwork;
        m_link->GetMusicArtwork(track.handle, artwork);
        const QString expected = copied ? folder + QLatin1Char('/') + made.first() : QDir::cleanPath(source);
        QCOMPARE(artwork, committed ? expected : QString());
        QCOMPARE(edits.count(), committed ? 1 : 0);
    }

    // A picture committed is never replaced by a later drop, even within
    // the same second.
    void dropsWithinASecondGetTheirOwnFiles()
    {
        QVERIFY(load({kPartial}, false));
        auto editor = openEditor(m_tracks.value(kPartial));
        QWidget* target = editor->findChild<QWidget*>(QStringLiteral("NewArtwork"));
        QTemporaryDir outside;
        const QString noise = outside.filePath(QStringLiteral("noise.jpg"));
        QVERIFY(testenv::writeAll(noise, testimages::noiseJpeg(1)));
        const QString cover = testenv::fixture(QStringLiteral("cover.jpg"));
        QVERIFY(QImage(cover).size() != QImage(noise).size());
        QStringList made;
        QString stamp;
        for (int attempt = 0; attempt < 5 && made.size() != 2; ++attempt) {
            QDir(CConfig::instance()->GetDowndImgPath()).removeRecursively();
            stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd-hh-mm-ss"));
            dropFile(target, cover);
            dropFile(target, noise);
            made = droppedFiles();
            if (made.size() != 2 || !made.last().startsWith(stamp))
                made.clear();  // a second boundary fell between the drops
        }
        QCOMPARE(made, (QStringList{stamp + ".jpg", stamp + "_1.jpg"}));
        const QString folder = CConfig::instance()->GetDowndImgPath() + QLatin1Char('/');
        QCOMPARE(QImage(folder + made[0]).size(), QImage(cover).size());
        QCOMPARE(QImage(folder + made[1]).size(), QImage(noise).size());
    }

    // The report's chooser opens beside a fixed tile and is moved back onto
    // the screen near either edge; a candidate picked there shows in the
    // report's editor only (the chooser tells the engine), is selected when
    // the chooser opens again, and the apply writes it into the file.
    void chosenCandidateIsApplied()
    {
        FakeService fake;
        lookupfakes::useFakeServices(fake);
        answerImageSearch(fake);
        QVERIFY(load({kPartial}, true));
        const Track track = m_tracks.value(kPartial);
        SignalRecorder lookups(m_link.get(), &CMusicLink::SendDowldInfo);
        QCOMPARE(m_link->DowldMusicInfo(track.handle, nullptr, DW_SEARCH_ARTWORK, FT_DEFAULT), 0);
        QVERIFY(lookups.wait(kWaitMs));
        QCOMPARE(m_link->GetArtworkConut(track.handle), 2);
        QStringList paths;
        for (int i = 0; i < 2; ++i) {
            paths << QString();
            m_link->GetArtworkList(track.handle, i, paths.last());
        }
        QString current;
        m_link->GetMusicArtwork(track.handle, current);
        QCOMPARE(current, paths[0]);

        CAnalyReport report(nullptr);
        report.SetMusicLink(m_link.get());
        report.resize(900, 600);
        report.show();
        CListWidget* grid = report.ArtworkList();
        auto* tile = new CListItem(track.handle, track.absence, grid);
        CModifyMusicInfo* editor = report.ModifyInfo();
        editor->setHidden(false);
        editor->SetItem(track.absence, track.handle);
        editor->EditHide();
        auto* chooser = report.findChild<CArtworkList*>();
        QSignalSpy edits(editor, &CModifyMusicInfo::SendEditItem);

        // Where the tile's corner lands on the screen: the middle, past the
        // right edge, before the left edge.
        const int screen = QGuiApplication::primaryScreen()->geometry().width();
        const int left = report.findChild<QSplitter*>()->widget(0)->width();
        const QPoint corner = grid->visualItemRect(tile).bottomRight();
        const int half = (95 * 2 + 10) / 2;
        struct Place { int anchorX; int selected; };
        const Place places[] = {{screen / 2, 0}, {screen - 20, 1}, {30, 1}};
        for (const Place& place : places) {
            report.move(place.anchorX - corner.x(), 40);
            const QPoint anchor = report.mapToGlobal(corner);
            QVERIFY(qAbs(anchor.x() - place.anchorX) <= 8);
            const int overflow = anchor.x() + half > screen ? anchor.x() + half - screen
                               : anchor.x() - half < 0      ? anchor.x() - half : 0;
            QCOMPARE(overflow == 0, place.anchorX == screen / 2);
            report.SelectArtworkList(tile);
            QVERIFY(chooser->isVisible());
            QCOMPARE(accessnames::unnamedControls(chooser, {}, true), QStringList());
            QCOMPARE(chooser->width(), 2 * half);
            // Within the frame margins that a window platform may add.
            const QPoint expected(anchor.x() - 18 - overflow + left - half, anchor.y() - 10);
            QVERIFY2((chooser->pos() - expected).manhattanLength() <= 8,
                     qPrintable(QStringLiteral("%1,%2").arg(chooser->x()).arg(chooser->y())));
            QCOMPARE(chooser->GetSelectArtwork(), place.selected);
            QCOMPARE(pictureOf(editor, "NewArtwork"), sized(QImage(paths[place.selected])));
            if (place.selected == 0)
                chooser->findChild<QListWidget*>(QStringLiteral("Artwork_list_list"))->setCurrentRow(1);
            chooser->hide();
        }
        QCOMPARE(pictureOf(editor, "NewArtwork"), sized(QImage(paths[1])));
        m_link->GetMusicArtwork(track.handle, current);
        QCOMPARE(current, paths[1]);
        QVERIFY(editor->CommitPendingEdit());
        QCOMPARE(edits.count(), 0);
        QCOMPARE(m_link->DBTransaction(false), 0);
        QCOMPARE(m_link->ApplyMusicInfo(track.index, 0), 0);
        QCOMPARE(m_link->DBTransaction(true), 0);
        QCOMPARE(tagread::mp3Picture(track.path), testenv::readAll(paths[1]));
    }

    // While a lookup writes the track's working copy the editor neither
    // commits into it nor reads it; the lookup's record frees the fields.
    void editsWaitForARunningLookup()
    {
        auto fake = std::make_unique<FakeService>();
        lookupfakes::useFakeServices(*fake);
        fake->answer(lookupfakes::searchPath(), FakeAnswer::never());
        fake->answer(lookupfakes::songSearchPath(), FakeAnswer::never());
        QVERIFY(load({kPartial}, true));
        const Track track = m_tracks.value(kPartial);
        const QString title = working(track.handle)->strName;
        auto editor = openEditor(track);
        const QList<CLineEdit*> fields = newFields(editor.get());
        fields[0]->setText(QStringLiteral("Typed during the lookup"));
        SignalRecorder lookups(m_link.get(), &CMusicLink::SendDowldInfo);
        QCOMPARE(m_link->DowldMusicInfo(track.handle, nullptr, DW_SEARCH_ARTWORK, FT_DEFAULT), 0);
        QVERIFY(m_link->IsLookupRunning(track.handle));
        BoxCloser boxes;
        QVERIFY(!editor->CommitPendingEdit());
        QCOMPARE(boxes.texts, QStringList{"This song is being looked up online; your changes were not saved."});
        editor->EditHide();  // the refused track is still the editor's
        QVERIFY(!fields[0]->isEnabled());
        QCOMPARE(fields[0]->text(), QString());
        QVERIFY(!editor->findChild<QWidget*>(QStringLiteral("NewArtwork"))->acceptDrops());
        fake.reset();  // the hanging search fails: its record ends the lookup
        QVERIFY(lookups.wait(kWaitMs));
        QVERIFY(!m_link->IsLookupRunning(track.handle));
        QTRY_VERIFY(fields[0]->isEnabled());
        QCOMPARE(fields[0]->text(), title);
        QCOMPARE(working(track.handle)->strName, title);
    }

    // The report page's preview of an unrecognized row. Steps: play or
    // stop a row (a, the current one; b; p, protected; g, gone), end or
    // error of the movie, label (the editor's own preview starts).
    void reportPreview_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("icons");  // of a and b at the end
        QTest::addColumn<QString>("box");
        const QString failure = QStringLiteral("Playback failure!");
        QTest::newRow("plays to its end") << QStringList{"play a", "end"} << QStringList{"play", "none"} << "";
        QTest::newRow("a row not current ends") << QStringList{"play b", "end"} << QStringList{"none", "none"} << "";
        QTest::newRow("playing") << QStringList{"play a"} << QStringList{"pause", "none"} << "";
        QTest::newRow("second press stops") << QStringList{"play a", "play a"} << QStringList{"play", "none"} << "";
        QTest::newRow("another row") << QStringList{"play a", "play b"} << QStringList{"play", "pause"} << "";
        QTest::newRow("stop") << QStringList{"play a", "stop a"} << QStringList{"play", "none"} << "";
        QTest::newRow("undecodable") << QStringList{"play a", "error"} << QStringList{"play", "none"} << "";
        QTest::newRow("the editor's preview") << QStringList{"play a", "label"} << QStringList{"play", "none"} << "";
        QTest::newRow("protected") << QStringList{"play p"} << QStringList{"none", "none"} << failure;
        QTest::newRow("missing file") << QStringList{"play g"} << QStringList{"none", "none"} << failure;
    }

    void reportPreview()
    {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, icons);
        QFETCH(QString, box);
        QTemporaryDir dir;
        for (const char* name : {"a.mp3", "b.mp3", "p.m4p"})
            QVERIFY(QFile::copy(testenv::fixture(QStringLiteral("plain.wav")), dir.filePath(QLatin1String(name))));
        CAnalyReport report(nullptr);
        report.SetMusicLink(m_link.get());
        QHash<QString, QTreeWidgetItem*> rows;
        for (const char* name : {"a.mp3", "b.mp3", "p.m4p", "g.mp3"}) {
            auto* row = new CTreeItem(report.UnrecognizedTree());
            row->SetPath(dir.filePath(QLatin1String(name)));
            rows.insert(QString(QLatin1Char(name[0])), row);
        }
        report.UnrecognizedTree()->setCurrentItem(rows.value("a"));
        auto* label = report.findChild<CLabelArtwork*>();
        label->SetCurrentFilename(dir.filePath(QStringLiteral("b.mp3")));
        BoxCloser boxes;
        for (const QString& step : steps) {
            const QString verb = step.section(QLatin1Char(' '), 0, 0);
            QTreeWidgetItem* row = rows.value(step.section(QLatin1Char(' '), 1));
            if (verb == QLatin1String("play") || verb == QLatin1String("stop"))
                report.PlayMusic(row, verb == QLatin1String("play") ? PS_PLAYING : PS_STOPPED);
            else if (verb == QLatin1String("end"))
                g_movie->end();
            else if (verb == QLatin1String("error"))
                g_movie->fail();
            else if (verb == QLatin1String("label"))
                label->PlayMusic();
        }
        QCOMPARE((QStringList{playIcon(rows.value("a")), playIcon(rows.value("b"))}), icons);
        QCOMPARE(boxes.texts, box.isEmpty() ? QStringList() : QStringList{box});
        QCOMPARE(label->PlayState() == PS_PLAYING, steps.last() == QLatin1String("label"));
    }

    // The report and duplicate pages are owners of the player each in its
    // own right: when one page goes, the other's preview plays on and its
    // end still comes back to that page.
    void previewOutlivesTheOtherPage_data()
    {
        QTest::addColumn<bool>("reportGoes");
        QTest::newRow("the report page goes") << true;
        QTest::newRow("the duplicate page goes") << false;
    }

    void previewOutlivesTheOtherPage()
    {
        QFETCH(bool, reportGoes);
        QVERIFY(load({kCover}, false));
        const Track track = m_tracks.value(kCover);
        auto report = std::make_unique<CAnalyReport>(nullptr);
        report->SetMusicLink(m_link.get());
        auto duplicates = std::make_unique<CDuplicate>(m_link.get(), nullptr);
        duplicates->SetMusicLink(m_link.get());
        auto* reportRow = new CTreeItem(report->UnrecognizedTree());
        reportRow->SetPath(track.path);
        report->UnrecognizedTree()->setCurrentItem(reportRow);
        auto* tree = duplicates->findChild<QTreeWidget*>(QStringLiteral("DuplicateTree"));
        auto* duplicateRow = new CTreeItem(nullptr);
        duplicateRow->SetCtlParam(track.handle, track.absence);
        (new CTreeItem(tree))->addChild(duplicateRow);
        tree->setCurrentItem(duplicateRow);

        // The page that stays previews; the other one goes meanwhile.
        QTreeWidgetItem* row = reportGoes ? duplicateRow : static_cast<QTreeWidgetItem*>(reportRow);
        const int column = reportGoes ? 5 : 6;
        if (reportGoes)
            duplicates->PlayMusic();
        else
            report->PlayMusic(reportRow, PS_PLAYING);
        QCOMPARE(row->icon(column).cacheKey(), g_pIconPause->cacheKey());
        if (reportGoes)
            report.reset();
        else
            duplicates.reset();
        QVERIFY(PlayUnit_FileOwner());
        QCOMPARE(row->icon(column).cacheKey(), g_pIconPause->cacheKey());
        g_movie->end();
        QTRY_COMPARE(row->icon(column).cacheKey(), g_pIconPlay->cacheKey());
        QVERIFY(!PlayUnit_FileOwner());
    }

    // A double click enlarges a tile's artwork over the grid, centred on a
    // side long enough to hold the popup.
    void largePicture_data()
    {
        QTest::addColumn<QSize>("grid");
        QTest::addColumn<QPoint>("offset");
        QTest::newRow("narrow and tall") << QSize(300, 500) << QPoint(0, 62);
        QTest::newRow("wide") << QSize(800, 376) << QPoint(212, 0);
        QTest::newRow("one pixel more") << QSize(377, 377) << QPoint(0, 0);
    }

    void largePicture()
    {
        QFETCH(QSize, grid);
        QFETCH(QPoint, offset);
        QVERIFY(load({kCover, kNoPicture}, false));
        CAnalyReport report(nullptr);
        report.SetMusicLink(m_link.get());
        CListWidget* list = report.ArtworkList();
        list->resize(grid);
        auto* bare = new CListItem(m_tracks.value(kNoPicture).handle, 0, list);
        auto* tile = new CListItem(m_tracks.value(kCover).handle, 0, list);
        void* data = nullptr;
        int length = 0;
        m_link->GetiTunesArtwork(m_tracks.value(kCover).handle, &data, length);  // gives the artwork its file
        m_link->ReleaseiTunesArtwork(&data);
        auto* popup = list->findChild<CShowMaxPicture*>();
        emit list->itemDoubleClicked(bare);
        QVERIFY(!popup->isVisible());
        emit list->itemDoubleClicked(tile);
        QVERIFY(popup->isVisible());
        QCOMPARE(accessnames::unnamedControls(popup, {}, true), QStringList());
        const QPoint origin = report.mapToGlobal(list->pos())
                            + QPoint(report.findChild<QSplitter*>()->widget(0)->width(), 0);
        QCOMPARE(popup->geometry(), QRect(origin + offset, QSize(376, 376)));
        QCOMPARE(popup->windowModality(), Qt::ApplicationModal);
        popup->hide();
    }

    // A click on the path column of an unwritable row shows the file in
    // the file manager, through the desktop's replaceable reveal.
    void revealOfAnUnwritableSong()
    {
        QStringList revealed;
        desktop::setRevealBackend({[&](const QStringList& uris) { revealed << uris; return true; }, {}});
        CAnalyReport report(nullptr);
        report.SetMusicLink(m_link.get());
        auto* row = new CTreeItem(report.UnwritableTree());
        row->setText(6, QStringLiteral("/music/gone song.mp3"));
        emit report.UnwritableTree()->itemClicked(row, 5);
        report.SetFixState(CAnalyReport::FS_RUN);
        emit report.UnwritableTree()->itemClicked(row, 6);
        report.SetFixState(CAnalyReport::FS_IDLE);
        emit report.UnwritableTree()->itemClicked(row, 6);
        desktop::setRevealBackend({});
        QCOMPARE(revealed, QStringList{"file:///music/gone%20song.mp3"});
    }
};

QTEST_MAIN(TestInformation)
#include "tst_information.moc"
