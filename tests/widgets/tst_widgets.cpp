// The widget kit, seen as a user sees it: what each control paints and
// reports, the ticker's timers, the artwork chooser, the overlays and the
// About box.
#include "about/about.h"
#include "common.h"
#include "config.h"
#include "customcontrols/customcontrols.h"
#include "elide.h"
#include "linkcalls.h"
#include "treeitem.h"
#include "treeobj/treeobj.h"
#include "urlrecorder.h"
#include "widgettest.h"

#include <QApplication>
#include <QCheckBox>
#include <QFormLayout>
#include <QListWidget>
#include <QMovie>
#include <QPainter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

using widgettest::shot;
using widgettest::tick;
using widgettest::timersOf;

namespace {

// Stands in for the engine bridge.
class ArtworkLinkDouble : public CArtworkChoiceCalls
{
public:
    QList<QPair<void*, int>> calls;
    int SetArtworkList(void* track, int index) override
    {
        calls.append({track, index});
        return 0;
    }
};

// The image a widget painting only text would give.
QImage textImage(const QImage& like, const QFont& font, const QColor& color, const QRect& rect, int flags,
                 const QString& text)
{
    QImage image(like.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(like.pixel(0, 0));
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(rect, flags, text);
    painter.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

void sendMouse(QWidget* widget, QEvent::Type type, int x)
{
    const QPointF pos(x, widget->height() / 2);
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, pos, widget->mapToGlobal(pos), button, button, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &event);
}

void sendEnter(QWidget* widget)
{
    QEnterEvent event(QPointF(1, 1), QPointF(1, 1), widget->mapToGlobal(QPointF(1, 1)));
    QCoreApplication::sendEvent(widget, &event);
}

void sendLeave(QWidget* widget)
{
    QEvent event(QEvent::Leave);
    QCoreApplication::sendEvent(widget, &event);
}

// One row per pixel row: whether it holds any ink. The top-right corner,
// past the end of the short texts used here, is the background.
QList<bool> inkRows(const QImage& image)
{
    QList<bool> rows;
    const QRgb background = image.pixel(image.width() - 1, 0);
    for (int y = 0; y < image.height(); ++y) {
        bool ink = false;
        for (int x = 0; x < image.width() && !ink; ++x)
            ink = image.pixel(x, y) != background;
        rows << ink;
    }
    return rows;
}

QString writeImage(const QTemporaryDir& dir, const QString& name, const QSize& size, const QColor& color)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    const QString path = dir.filePath(name);
    return image.save(path) ? path : QString();
}

} // namespace

class TestWidgets : public QObject
{
    Q_OBJECT

    UrlRecorder m_opened;

private slots:
    void initTestCase();
    void cleanupTestCase();

    void elisionKeepsTheFirstPrefixThatReaches_data();
    void elisionKeepsTheFirstPrefixThatReaches();
    void textButtonShrinksToAFittingText();
    void textButtonElidesWhatDoesNotFit_data();
    void textButtonElidesWhatDoesNotFit();
    void textButtonNeverGrowsBack();

    void tipsRefuseEmptyAndRepeatedTexts();
    void nextTipWrapsAround();
    void oneTipShowsWithoutTicker();
    void startingTwiceRunsOneTicker();
    void tickerHoldsThenScrollsToTheNextTip();
    void pointerOverTickerPausesIt();
    void clearingStopsTheTicker();

    void richLabelWidensPerSegment();
    void richLabelClicksReportTheLinkIndex_data();
    void richLabelClicksReportTheLinkIndex();
    void richLabelPollsThePointerOnlyWhileInside();

    void statusBarShowsLogoOnlyWithoutMessage();

    void removalBoxStoresItsCheckBox_data();
    void removalBoxStoresItsCheckBox();

    void chooserSizesAndSelects();
    void chooserKeepsAPlaceForAMissingFile();
    void chooserRefillDoesNotChooseForTheNewCell();
    void chooserClickOnTheCurrentImageIsSilent();
    void chooserReportsEveryHide();

    void overlayCoversTheAreaWithAnimationOrFinishedImage();

    void enlargedPictureScalesTheLongerSide_data();
    void enlargedPictureScalesTheLongerSide();
    void enlargedPictureHidesAtThePress();

    void aboutBoxShowsItsTexts();
    void supportLinkRule_data();
    void supportLinkRule();
    void linkLabelShortensInTheMiddle_data();
    void linkLabelShortensInTheMiddle();
};

void TestWidgets::initTestCase()
{
    m_opened.listen({QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("mailto")});
}

void TestWidgets::cleanupTestCase()
{
    m_opened.stopListening();
    CConfig::Destroy();
}

// ---- the link button ----------------------------------------------------

void TestWidgets::elisionKeepsTheFirstPrefixThatReaches_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("available");
    QTest::addColumn<int>("minKeep");
    QTest::newRow("long text, room for some") << "Save Project to continue next time" << 60 << 5;
    QTest::newRow("no room keeps the minimum") << "Abcdefghijk" << -10 << 5;
    QTest::newRow("ticker keeps from one") << "Scanning Library: Artist - Title" << 40 << 1;
}

void TestWidgets::elisionKeepsTheFirstPrefixThatReaches()
{
    QFETCH(QString, text);
    QFETCH(int, available);
    QFETCH(int, minKeep);
    const QFontMetrics metrics(QApplication::font());
    const QString shown = ElideKeepingStart(metrics, text, available, minKeep);
    QVERIFY(shown.endsWith(QStringLiteral("...")));
    const QString kept = shown.chopped(3);
    QVERIFY(text.startsWith(kept));
    QVERIFY(kept.size() >= minKeep);
    QVERIFY(metrics.horizontalAdvance(kept) >= available);
    if (kept.size() > minKeep)
        QVERIFY(metrics.horizontalAdvance(kept.chopped(1)) < available);
}

void TestWidgets::textButtonShrinksToAFittingText()
{
    QWidget window;
    CTextButton button(&window);
    button.resize(200, 24);
    button.setText(QStringLiteral("Refix"));
    QVERIFY(button.toolTip().isEmpty());
    shot(&button);
    const int expected = button.fontMetrics().horizontalAdvance(QStringLiteral("Refix")) + 4;
    QCOMPARE(button.minimumWidth(), expected);
    QCOMPARE(button.maximumWidth(), expected);
    QCOMPARE(button.font().pixelSize(), 11);
}

void TestWidgets::textButtonElidesWhatDoesNotFit_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("extraWidth");  // button width minus text width; below -4 elides
    QTest::addColumn<QString>("shown");   // empty: elided by the rule
    QTest::addColumn<bool>("tooltip");
    QTest::newRow("far too wide") << "Save Project to continue next time" << -120 << QString() << true;
    QTest::newRow("three characters stay whole") << "WWW" << -15 << "WWW..." << true;
    QTest::newRow("at least five characters") << "Abcdefghijklmnop" << -80 << "Abcde..." << true;
    QTest::newRow("just too wide: no tooltip") << "Apply Result" << 2 << QString() << false;
}

void TestWidgets::textButtonElidesWhatDoesNotFit()
{
    QFETCH(QString, text);
    QFETCH(int, extraWidth);
    QFETCH(QString, shown);
    QFETCH(bool, tooltip);
    QWidget window;
    CTextButton button(&window);
    const QFontMetrics metrics = button.fontMetrics();
    const int width = metrics.horizontalAdvance(text) + extraWidth;
    button.setFixedSize(qMax(width, 1), 24);
    button.setText(text);
    QCOMPARE(button.toolTip(), tooltip ? text : QString());
    if (shown.isEmpty())
        shown = ElideKeepingStart(metrics, text, button.width() - 5 - metrics.horizontalAdvance(QStringLiteral("...")), 5);
    const QImage painted = shot(&button);
    const QImage expected = textImage(painted, button.font(), QColor(0, 115, 203),
                                      QRect(0, -5, button.width(), button.height()), Qt::AlignCenter, shown);
    QCOMPARE(painted, expected);
    QCOMPARE(button.width(), qMax(width, 1));
}

void TestWidgets::textButtonNeverGrowsBack()
{
    QWidget window;
    CTextButton button(&window);
    button.resize(300, 24);
    button.setText(QStringLiteral("Refix"));
    shot(&button);
    const int narrow = button.maximumWidth();
    const QString longer = QStringLiteral("Refix the failed songs again");
    button.setText(longer);
    QCOMPARE(button.toolTip(), longer);
    const QImage painted = shot(&button);
    QCOMPARE(button.minimumWidth(), narrow);
    QCOMPARE(button.maximumWidth(), narrow);
    const QFontMetrics metrics = button.fontMetrics();
    const QString shown = ElideKeepingStart(metrics, longer, narrow - 5 - metrics.horizontalAdvance(QStringLiteral("...")), 5);
    QVERIFY(shown.startsWith(QStringLiteral("Refix")));
    QCOMPARE(painted, textImage(painted, button.font(), QColor(0, 115, 203), QRect(0, -5, narrow, button.height()),
                                Qt::AlignCenter, shown));
}

// ---- the tips ticker ----------------------------------------------------

void TestWidgets::tipsRefuseEmptyAndRepeatedTexts()
{
    CShadeLabel label(nullptr);
    QVERIFY(label.InputText(QStringLiteral("Tip one")));
    QVERIFY(!label.InputText(QStringLiteral("Tip one")));
    QVERIFY(!label.InputText(QString()));
    QVERIFY(label.InputText(QStringLiteral("Tip two")));
    label.setText(QStringLiteral("Tip two"));
    QCOMPARE(label.NextText(), QStringLiteral("Tip one"));
}

void TestWidgets::nextTipWrapsAround()
{
    CShadeLabel label(nullptr);
    QCOMPARE(label.NextText(), QString());
    for (const char* tip : {"A", "B", "C"})
        label.InputText(QString::fromLatin1(tip));
    label.setText(QStringLiteral("B"));
    QCOMPARE(label.NextText(), QStringLiteral("C"));
    label.setText(QStringLiteral("C"));
    QCOMPARE(label.NextText(), QStringLiteral("A"));
    label.ChangedText();
    QCOMPARE(label.text(), QStringLiteral("A"));
    label.setText(QStringLiteral("Scanning Library: "));
    QCOMPARE(label.NextText(), QString());
}

void TestWidgets::oneTipShowsWithoutTicker()
{
    CShadeLabel label(nullptr);
    label.InputText(QStringLiteral("Only tip"));
    label.setHidden(false);
    QVERIFY(label.isVisible());
    QCOMPARE(label.text(), QStringLiteral("Only tip"));
    QVERIFY(timersOf(&label).isEmpty());
}

void TestWidgets::startingTwiceRunsOneTicker()
{
    CShadeLabel label(nullptr);
    for (const char* tip : {"A", "B", "C"})
        label.InputText(QString::fromLatin1(tip));
    label.setHidden(false);
    label.setHidden(false);
    const auto timers = timersOf(&label);
    QCOMPARE(timers.size(), 1);
    QCOMPARE(timers.first().interval, 100);
    QVERIFY(QStringList({"A", "B", "C"}).contains(label.text()));
}

void TestWidgets::tickerHoldsThenScrollsToTheNextTip()
{
    CShadeLabel label(nullptr);
    label.setFixedSize(200, 20);
    // Tips of the same letter heights, so each paints the same rows.
    label.InputText(QStringLiteral("Tip A"));
    label.InputText(QStringLiteral("Tip B"));
    label.setHidden(false);
    const QString first = label.text();
    const QString second = label.NextText();
    const QList<bool> still = inkRows(shot(&label));
    QVERIFY(still.contains(true));

    QVERIFY(tick(&label));
    QCOMPARE(timersOf(&label).first().interval, 10000);  // the hold
    QVERIFY(tick(&label));
    QCOMPARE(timersOf(&label).first().interval, 100);
    for (int ticks = 2; ticks < 20; ++ticks) {
        // Painted at offset d, row y shows what row y + d of the two tips
        // stacked one above the other would show.
        const QList<bool> rows = inkRows(shot(&label));
        for (int y = 0; y < 20; ++y) {
            const int source = y + ticks;
            QCOMPARE(rows.at(y), still.at(source % 20));
        }
        QCOMPARE(label.text(), first);
        QVERIFY(tick(&label));
    }
    QCOMPARE(label.text(), second);  // the 20th tick
    QCOMPARE(inkRows(shot(&label)), still);
    QVERIFY(tick(&label));
    QCOMPARE(timersOf(&label).first().interval, 10000);
}

void TestWidgets::pointerOverTickerPausesIt()
{
    QStatusBar bar;
    CShadeLabel label(&bar);
    label.InputText(QStringLiteral("A tip that is rather long"));
    label.InputText(QStringLiteral("Another tip"));
    label.setHidden(false);
    sendEnter(&label);
    QCOMPARE(bar.currentMessage(), label.text());
    QVERIFY(timersOf(&label).isEmpty());
    sendLeave(&label);
    QVERIFY(bar.currentMessage().isEmpty());
    const auto timers = timersOf(&label);
    QCOMPARE(timers.size(), 1);
    QCOMPARE(timers.first().interval, 100);
}

void TestWidgets::clearingStopsTheTicker()
{
    CShadeLabel label(nullptr);
    label.InputText(QStringLiteral("A"));
    label.InputText(QStringLiteral("B"));
    label.setHidden(false);
    label.ClearText();
    QVERIFY(label.isHidden());
    QVERIFY(timersOf(&label).isEmpty());
    QVERIFY(label.text().isEmpty());
    QVERIFY(label.InputText(QStringLiteral("A")));  // the list was emptied
}

// ---- the rich label -----------------------------------------------------

namespace {
const QStringList kSentence = {"You can ", "Apply Result", " now, or ", "Save Project", " to continue next time."};

void fillSentence(CRichLabel* label)
{
    for (int i = 0; i < kSentence.size(); ++i)
        label->InsertString(kSentence.at(i), i % 2 ? CRichLabel::STR_LINK : CRichLabel::STR_TEXT);
}

// The x in the middle of segment index, or past the end for index -1.
int middleOf(const QFontMetrics& metrics, int index)
{
    int x = 0;
    for (int i = 0; i < kSentence.size(); ++i) {
        const int w = metrics.horizontalAdvance(kSentence.at(i));
        if (i == index)
            return x + w / 2;
        x += w;
    }
    return x + 20;
}
} // namespace

void TestWidgets::richLabelWidensPerSegment()
{
    QWidget window;
    CRichLabel label(&window);
    label.resize(0, 20);
    int expected = 0;
    for (int i = 0; i < kSentence.size(); ++i) {
        label.InsertString(kSentence.at(i), i % 2 ? CRichLabel::STR_LINK : CRichLabel::STR_TEXT);
        expected += label.fontMetrics().horizontalAdvance(kSentence.at(i));
        QCOMPARE(label.minimumWidth(), expected);
    }
}

void TestWidgets::richLabelClicksReportTheLinkIndex_data()
{
    QTest::addColumn<int>("segment");
    QTest::addColumn<int>("clicked");  // -1: nothing
    QTest::newRow("Apply Result") << 1 << 1;
    QTest::newRow("Save Project") << 3 << 3;
    QTest::newRow("plain text") << 2 << -1;
    QTest::newRow("first plain text") << 0 << -1;
    QTest::newRow("past the end") << -1 << -1;
}

void TestWidgets::richLabelClicksReportTheLinkIndex()
{
    QFETCH(int, segment);
    QFETCH(int, clicked);
    QWidget window;
    auto* label = new CRichLabel(&window);
    fillSentence(label);
    label->resize(label->minimumWidth() + 60, 20);
    window.show();
    QSignalSpy spy(label, &CRichLabel::Clicked);
    const int x = middleOf(label->fontMetrics(), segment);
    sendMouse(label, QEvent::MouseMove, x);
    QCOMPARE(label->cursor().shape(), clicked >= 0 ? Qt::PointingHandCursor : Qt::ArrowCursor);
    sendMouse(label, QEvent::MouseButtonPress, x);
    if (clicked < 0) {
        QCOMPARE(spy.count(), 0);
        return;
    }
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.first().first().toInt(), clicked);
}

void TestWidgets::richLabelPollsThePointerOnlyWhileInside()
{
    QWidget window;
    auto* label = new CRichLabel(&window);
    fillSentence(label);
    label->resize(label->minimumWidth(), 20);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    sendEnter(label);
    const auto timers = timersOf(label);
    QCOMPARE(timers.size(), 1);
    QCOMPARE(timers.first().interval, 120);
    // The pointer rests over "Save Project": the poll alone finds the link.
    QCursor::setPos(label->mapToGlobal(QPoint(middleOf(label->fontMetrics(), 3), 10)));
    QVERIFY(tick(label));
    QCOMPARE(label->cursor().shape(), Qt::PointingHandCursor);
    sendLeave(label);
    QVERIFY(timersOf(label).isEmpty());
    QCOMPARE(label->cursor().shape(), Qt::ArrowCursor);
}

// ---- the status bar -----------------------------------------------------

void TestWidgets::statusBarShowsLogoOnlyWithoutMessage()
{
    const QImage logo = QImage(QStringLiteral(":/res/res/mac/label/zorvalogo.png")).convertToFormat(QImage::Format_ARGB32);
    QVERIFY(!logo.isNull());
    QPoint opaque(-1, -1);
    for (int y = 0; y < logo.height() && opaque.x() < 0; ++y) {
        for (int x = 0; x < logo.width(); ++x) {
            if (qAlpha(logo.pixel(x, y)) == 255) {
                opaque = QPoint(x, y);
                break;
            }
        }
    }
    QVERIFY(opaque.x() >= 0);

    QWidget window;
    auto* bar = new CStatusBar(&window);
    QCOMPARE(bar->minimumHeight(), int(logo.height() * 1.5));
    QCOMPARE(bar->maximumHeight(), int(logo.height() * 1.5));
    bar->resize(600, bar->minimumHeight());
    const QPoint where = QPoint((600 - logo.width()) / 2, (bar->height() - logo.height()) / 2) + opaque;
    QCOMPARE(shot(bar).pixel(where), logo.pixel(opaque));

    bar->showMessage(QStringLiteral("Scanning"));
    QVERIFY(shot(bar).pixel(where) != logo.pixel(opaque));
    bar->clearMessage();
    QCOMPARE(shot(bar).pixel(where), logo.pixel(opaque));
}

// ---- the removal confirmation -------------------------------------------

void TestWidgets::removalBoxStoresItsCheckBox_data()
{
    QTest::addColumn<bool>("check");
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("stored");
    QTest::newRow("remove, keep asking") << false << "Remove" << 1 << 0;
    QTest::newRow("remove, stop asking") << true << "Remove" << 1 << 2;
    QTest::newRow("cancel, stop asking") << true << "Cancel" << 0 << 2;
    QTest::newRow("cancel, keep asking") << false << "Cancel" << 0 << 0;
}

void TestWidgets::removalBoxStoresItsCheckBox()
{
    QFETCH(bool, check);
    QFETCH(QString, button);
    QFETCH(int, result);
    QFETCH(int, stored);
    CConfig::instance()->SetMsgInfo(check ? 0 : 2);
    CMessgboxEx box(nullptr);
    auto* checkBox = box.findChild<QCheckBox*>();
    QVERIFY(checkBox);
    QCOMPARE(checkBox->text(), QStringLiteral("Don't show it again."));
    QPushButton* target = nullptr;
    for (QPushButton* b : box.findChildren<QPushButton*>()) {
        if (b->text() == button)
            target = b;
    }
    QVERIFY(target);
    bool sawText = false;
    QTimer::singleShot(0, &box, [&] {
        for (QLabel* l : box.findChildren<QLabel*>())
            sawText |= l->text() == QStringLiteral("Are you sure you want to remove the duplicates?\n");
        checkBox->setChecked(check);
        QTest::mouseClick(target, Qt::LeftButton);
    });
    QCOMPARE(box.exec(), result);
    QVERIFY(sawText);
    QCOMPARE(CConfig::instance()->GetMsgInfo(), stored);
}

// ---- the artwork chooser ------------------------------------------------

void TestWidgets::chooserSizesAndSelects()
{
    QTemporaryDir dir;
    const QStringList paths = {writeImage(dir, "a.png", {200, 200}, Qt::red),
                               writeImage(dir, "b.jpg", {120, 60}, Qt::green),
                               writeImage(dir, "c.png", {50, 50}, Qt::blue)};
    ArtworkLinkDouble link;
    QListWidget grid;
    int track = 0;
    auto* cell = new CListItem(&track, 0, &grid);
    CArtworkList strip(&link, nullptr, Qt::WindowFlags());
    QSignalSpy chosen(&strip, &CArtworkList::SetArtwork);
    strip.Init(cell, 1, paths);

    QCOMPARE(strip.minimumSize(), QSize(295, 156));
    QCOMPARE(strip.maximumSize(), QSize(295, 156));
    QCOMPARE(strip.GetSelectArtwork(), 1);
    QCOMPARE(cell->GetArtworkPath(), paths.at(1));
    QCOMPARE(link.calls, (QList<QPair<void*, int>>{{&track, 1}}));
    QCOMPARE(chosen.count(), 1);
    QCOMPARE(chosen.first().at(0).toString(), paths.at(1));
    QCOMPARE(chosen.first().at(1).toBool(), false);

    auto* list = strip.findChild<QListWidget*>();
    QCOMPARE(list->count(), 3);
    QCOMPARE(list->item(0)->icon().pixmap(80, 80).toImage().pixelColor(40, 40), QColor(Qt::red));
    QCOMPARE(list->minimumSize(), QSize(285, 90));
}

void TestWidgets::chooserKeepsAPlaceForAMissingFile()
{
    QTemporaryDir dir;
    const QStringList paths = {dir.filePath("gone.png"), writeImage(dir, "b.png", {80, 80}, Qt::green)};
    ArtworkLinkDouble link;
    QListWidget grid;
    auto* cell = new CListItem(nullptr, 0, &grid);
    CArtworkList strip(&link, nullptr, Qt::WindowFlags());
    strip.Init(cell, 1, paths);
    auto* list = strip.findChild<QListWidget*>();
    QCOMPARE(list->count(), 2);
    QVERIFY(list->item(0)->icon().isNull());
    QVERIFY(!list->item(1)->icon().isNull());
    QCOMPARE(cell->GetArtworkPath(), paths.at(1));
    QCOMPARE(link.calls.size(), 1);
    QCOMPARE(link.calls.first().second, 1);
}

void TestWidgets::chooserRefillDoesNotChooseForTheNewCell()
{
    QTemporaryDir dir;
    QStringList paths;
    for (int i = 0; i < 3; ++i)
        paths << writeImage(dir, QStringLiteral("%1.png").arg(i), {40, 40}, Qt::gray);
    ArtworkLinkDouble link;
    QListWidget grid;
    auto* first = new CListItem(nullptr, 0, &grid);
    auto* second = new CListItem(nullptr, 0, &grid);
    second->SetArtworkPath(QStringLiteral("/own/artwork.jpg"));
    CArtworkList strip(&link, nullptr, Qt::WindowFlags());
    strip.Init(first, 1, paths);
    QSignalSpy chosen(&strip, &CArtworkList::SetArtwork);
    link.calls.clear();

    strip.Init(second, -1, paths);  // the track's own artwork is no candidate
    QCOMPARE(strip.GetSelectArtwork(), -1);
    QCOMPARE(chosen.count(), 0);
    QVERIFY(link.calls.isEmpty());
    QCOMPARE(second->GetArtworkPath(), QStringLiteral("/own/artwork.jpg"));
}

void TestWidgets::chooserClickOnTheCurrentImageIsSilent()
{
    QTemporaryDir dir;
    const QStringList paths = {writeImage(dir, "a.png", {40, 40}, Qt::red), writeImage(dir, "b.png", {40, 40}, Qt::blue)};
    ArtworkLinkDouble link;
    QListWidget grid;
    auto* cell = new CListItem(nullptr, 0, &grid);
    CArtworkList strip(&link, nullptr, Qt::WindowFlags());
    strip.Init(cell, 0, paths);
    strip.show();
    QVERIFY(QTest::qWaitForWindowExposed(&strip));
    QSignalSpy chosen(&strip, &CArtworkList::SetArtwork);
    auto* list = strip.findChild<QListWidget*>();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, list->visualItemRect(list->item(0)).center());
    QCOMPARE(chosen.count(), 0);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, list->visualItemRect(list->item(1)).center());
    QCOMPARE(chosen.count(), 1);
    QCOMPARE(chosen.first().first().toString(), paths.at(1));
    QCOMPARE(cell->GetArtworkPath(), paths.at(1));
    QCOMPARE(link.calls.last().second, 1);
}

void TestWidgets::chooserReportsEveryHide()
{
    CArtworkList strip(nullptr, nullptr, Qt::WindowFlags());
    QSignalSpy hidden(&strip, &CArtworkList::SendHide);
    for (int i = 1; i <= 2; ++i) {
        strip.show();
        strip.hide();
        QCOMPARE(hidden.count(), i);
    }
}

// ---- the busy overlay ---------------------------------------------------

void TestWidgets::overlayCoversTheAreaWithAnimationOrFinishedImage()
{
    QWidget window;
    window.resize(600, 400);
    auto* header = new QWidget(&window);
    header->setFixedHeight(120);
    auto* central = new QWidget(&window);
    auto* area = new QWidget(central);
    (new QVBoxLayout(central))->addWidget(area);
    auto* column = new QVBoxLayout(&window);
    column->addWidget(header);
    column->addWidget(central, 1);
    auto* overlay = new CAnalyWidget(area, &window);
    overlay->hide();
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QRect covered(area->mapTo(&window, QPoint(0, 0)), area->size());
    QVERIFY(covered.top() >= 120);

    overlay->SetFash(true);
    QVERIFY(overlay->isVisible());
    QCOMPARE(overlay->geometry(), covered);
    auto* label = overlay->findChild<QLabel*>();
    QCOMPARE(label->size(), QSize(60, 60));
    QVERIFY(label->movie());
    QCOMPARE(label->movie()->state(), QMovie::Running);
    QCOMPARE(label->movie()->fileName(), QStringLiteral(":/res/res/mac/gif/bigloading.gif"));

    overlay->SetFash(false);
    QVERIFY(overlay->isVisible());
    QCOMPARE(overlay->geometry(), covered);
    QVERIFY(!label->movie());
    QCOMPARE(label->pixmap().toImage(), QPixmap(QStringLiteral(":/res/res/mac/label/fixallok.png")).toImage());
    QCOMPARE(overlay->findChild<QMovie*>()->state(), QMovie::NotRunning);
    // The mask darkens the page.
    const QImage painted = shot(overlay);
    QVERIFY(qGray(painted.pixel(5, 5)) < qGray(window.palette().color(QPalette::Window).rgb()) - 50);
}

// ---- the enlarged picture -----------------------------------------------

void TestWidgets::enlargedPictureScalesTheLongerSide_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSize>("shown");
    QTest::newRow("landscape") << QSize(600, 400) << QSize(300, 200);
    QTest::newRow("portrait") << QSize(400, 600) << QSize(200, 300);
    QTest::newRow("square") << QSize(120, 120) << QSize(300, 300);
    QTest::newRow("null") << QSize() << QSize();
}

void TestWidgets::enlargedPictureScalesTheLongerSide()
{
    QFETCH(QSize, picture);
    QFETCH(QSize, shown);
    QWidget page;
    CShowMaxPicture popup(&page);
    QCOMPARE(popup.size(), QSize(376, 376));
    QPixmap pixmap;
    if (picture.isValid()) {
        pixmap = QPixmap(picture);
        pixmap.fill(Qt::darkCyan);
    }
    popup.SetPicture(pixmap);
    QCOMPARE(popup.isVisible(), shown.isValid());
    QLabel* label = nullptr;
    for (QLabel* l : popup.findChildren<QLabel*>())
        label = l;
    QVERIFY(label);
    QCOMPARE(label->pixmap().size(), shown.isValid() ? shown : QSize(0, 0));
}

void TestWidgets::enlargedPictureHidesAtThePress()
{
    QWidget page;
    CShowMaxPicture popup(&page);
    QPixmap pixmap(50, 50);
    pixmap.fill(Qt::yellow);
    popup.SetPicture(pixmap);
    QVERIFY(QTest::qWaitForWindowExposed(&popup));
    auto* close = popup.findChild<QPushButton*>(QStringLiteral("EnlargeClose"));
    QVERIFY(close);
    QVERIFY(close->width() == 17 && close->height() == 17);
    QTest::mousePress(close, Qt::LeftButton);
    QVERIFY(popup.isHidden());
    QTest::mouseRelease(close, Qt::LeftButton);
}

// ---- the About box ------------------------------------------------------

void TestWidgets::aboutBoxShowsItsTexts()
{
    g_strVersion = QStringLiteral("2.5.1");
    HOME = QStringLiteral("http://vessolin.example.com/");
    SUPPORT = QStringLiteral("support@vessolin.example.com");
    CAbout about(nullptr);
    QCOMPARE(about.windowTitle(), QStringLiteral("About"));
    QCOMPARE(about.minimumSize(), QSize(620, 250));
    QCOMPARE(about.maximumSize(), QSize(620, 250));
    QStringList texts;
    for (QLabel* label : about.findChildren<QLabel*>())
        texts << label->text();
    for (const char* text : {"Vessolin", "2.5.1", "Music database powered by Sennet", "Version:", "Support:", "Home Page:"})
        QVERIFY2(texts.contains(QString::fromLatin1(text)), text);
    const auto links = about.findChildren<CLabelPress*>();
    QCOMPARE(links.size(), 2);
    QCOMPARE(links.at(1)->url(), HOME);

    m_opened.opened.clear();
    QTest::mouseClick(links.at(1), Qt::RightButton);
    QCOMPARE(m_opened.opened, QList<QUrl>{QUrl(HOME)});
}

void TestWidgets::supportLinkRule_data()
{
    QTest::addColumn<QString>("support");
    QTest::addColumn<QString>("opens");
    QTest::newRow("web page") << "http://vessolin.example.com/support/" << "http://vessolin.example.com/support/";
    QTest::newRow("secure web page") << "https://vessolin.example.com/support/" << "https://vessolin.example.com/support/";
    QTest::newRow("bare mail address") << "support@vessolin.example.com" << "mailto:support@vessolin.example.com";
    QTest::newRow("capitals are no web page") << "HTTP://VESSOLIN.EXAMPLE.COM" << "mailto:HTTP://VESSOLIN.EXAMPLE.COM";
}

void TestWidgets::supportLinkRule()
{
    QFETCH(QString, support);
    QFETCH(QString, opens);
    SUPPORT = support;
    CAbout about(nullptr);
    CLabelPress* link = about.findChildren<CLabelPress*>().first();
    QCOMPARE(link->url(), opens);
    QVERIFY(link->text().contains(support.toHtmlEscaped()));
    m_opened.opened.clear();
    QTest::mouseClick(link, Qt::LeftButton);
    QCOMPARE(m_opened.opened.size(), 1);
    QCOMPARE(m_opened.opened.first().toString(), opens);
}

void TestWidgets::linkLabelShortensInTheMiddle_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("shortened");
    QTest::newRow("fits") << "http://vessolin.example.com/" << false;
    QTest::newRow("too long") << "http://vessolin.example.com/a/very/long/path/to/the/support/pages/of/the/product.html"
                              << true;
}

void TestWidgets::linkLabelShortensInTheMiddle()
{
    QFETCH(QString, text);
    QFETCH(bool, shortened);
    CLabelPress label(text, text, nullptr);
    QCOMPARE(label.width(), 300);
    QCOMPARE(label.cursor().shape(), Qt::PointingHandCursor);
    const QString prefix = QStringLiteral("<u><font color=#4F94CD>");
    const QString suffix = QStringLiteral("</font></u>");
    QVERIFY(label.text().startsWith(prefix) && label.text().endsWith(suffix));
    const QString shown = label.text().mid(prefix.size(), label.text().size() - prefix.size() - suffix.size());
    if (!shortened) {
        QCOMPARE(shown, text);
        QVERIFY(label.toolTip().isEmpty());
        return;
    }
    QCOMPARE(label.toolTip(), text);
    // The start and the end of the text with "..." between them, in the middle.
    const int kept = int(shown.size()) - 3;
    bool middle = false;
    for (int head = kept / 2; head <= (kept + 1) / 2; ++head) {
        middle |= shown == text.left(head) + QStringLiteral("...") + text.right(kept - head);
    }
    QVERIFY2(middle, qPrintable(shown));
    QVERIFY(label.fontMetrics().horizontalAdvance(shown) <= 300);
}

QTEST_MAIN(TestWidgets)
#include "tst_widgets.moc"
