// The duplicate page's panes: the scan mode and criteria against the
// Duplicate mask, the sources list with its drops, the removal-history
// days, and the countdown box.
#include "cadenzo.h"
#include "common.h"
#include "config.h"
#include "modalwatch.h"
#include "option/duplicatewidget.h"
#include "option/duptoptwidget.h"
#include "option/historyoptwidget.h"
#include "option/warnmessage.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

#include <functional>

namespace {

const QStringList kCriteria = {"Name", "Artist", "Album", "File size", "Time"};

template <class T>
T* byText(QWidget* root, const QString& text)
{
    for (T* widget : root->findChildren<T*>())
        if (widget->text() == text)
            return widget;
    return nullptr;
}

// "x" checked or "." not, then "e" enabled or "-" not, per criterion.
QString criteria(QWidget* pane)
{
    QString checks, enabled;
    for (const QString& name : kCriteria) {
        QCheckBox* box = byText<QCheckBox>(pane, name);
        checks += box->isChecked() ? QLatin1Char('x') : QLatin1Char('.');
        enabled += box->isEnabled() ? QLatin1Char('e') : QLatin1Char('-');
    }
    return checks + QLatin1Char(' ') + enabled;
}

QStringList rows(QTreeWidget* list)
{
    QStringList texts;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = list->topLevelItem(i);
        texts << row->text(0) + QLatin1Char('|') + row->text(1) + QLatin1Char('|') + row->text(2);
    }
    return texts;
}

// Without a drag in progress the application delivers no drop, so the
// pane is handed the event as the drag manager would.
struct DropTarget : CDuptOptWidget {
    DropTarget() : CDuptOptWidget(nullptr) {}
    bool drop(const QList<QUrl>& urls)
    {
        QMimeData dropped;
        dropped.setUrls(urls);
        QDropEvent event(QPointF(5, 5), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
        dropEvent(&event);
        return event.isAccepted();
    }
};

} // namespace

class TestDuplicateOptions : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString file(const QString& name, qint64 size)
    {
        QFile f(m_dir.filePath(name));
        f.open(QIODevice::WriteOnly);
        f.resize(size);
        return f.fileName();
    }

private slots:
    void initTestCase()
    {
        CreateLinkAndName();
        CConfig::instance();
        CreateImage();
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("Folder One")));
    }

    void scanModeFollowsTheMask_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<bool>("deep");
        QTest::addColumn<QString>("degree");
        QTest::addColumn<QString>("boxes");
        QTest::addColumn<int>("afterBuild");
        QTest::newRow("default") << 0x31020C20 << true << "Medium" << "xxxxx -----" << 0x31020C20;
        QTest::newRow("no degree: Medium, saved at once")
            << int(MF_TITLE | OPT_DEEP_SCAN) << true << "Medium" << "x.... -----"
            << int(MF_TITLE | OPT_DEEP_SCAN | OPT_DEGREE_MEDIUM);
        QTest::newRow("several degrees: High wins")
            << int(MF_TITLE | OPT_DEGREE_LOW | OPT_DEGREE_MEDIUM | OPT_DEGREE_HIGH) << false << "High"
            << "x.... -eeee" << int(MF_TITLE | OPT_DEGREE_HIGH);
        QTest::newRow("Medium before Low") << int(OPT_DEGREE_LOW | OPT_DEGREE_MEDIUM | MF_SIZE) << false << "Medium"
                                           << "...x. -eeee" << int(OPT_DEGREE_MEDIUM | MF_SIZE);
        QTest::newRow("Low writes nothing while building, stray bits stay")
            << int(OPT_DEGREE_LOW | MF_ARTIST | MF_GENRE) << false << "Low" << ".x... -eeee"
            << int(OPT_DEGREE_LOW | MF_ARTIST | MF_GENRE);
    }

    // The controls show the stored mask; a save keeps only the bits the
    // controls stand for, so a stray bit goes at the first save.
    void scanModeFollowsTheMask()
    {
        QFETCH(int, stored);
        QFETCH(bool, deep);
        QFETCH(QString, degree);
        QFETCH(QString, boxes);
        QFETCH(int, afterBuild);
        CConfig::instance()->Duplicate = stored;
        auto* pane = new CDuplicateWidget(nullptr);
        QCOMPARE(byText<QRadioButton>(pane, "Deep Scan")->isChecked(), deep);
        QCOMPARE(byText<QRadioButton>(pane, "Quick Scan")->isChecked(), !deep);
        auto* box = pane->findChild<QComboBox*>();
        QCOMPARE(box->currentText(), degree);
        QCOMPARE(box->isEnabled(), deep);
        QCOMPARE(criteria(pane), boxes);
        QCOMPARE(CConfig::instance()->Duplicate, afterBuild);
        delete pane;
        QCOMPARE(CConfig::instance()->Duplicate, afterBuild & ~MF_GENRE);
    }

    // A criterion ticked alone reaches the mask at the next save; a mode
    // change saves and enables that mode's controls.
    void modeChangesSaveAndCriteriaWait()
    {
        CConfig::instance()->Duplicate = 0x31020C20;
        CDuplicateWidget pane(nullptr);
        byText<QCheckBox>(&pane, "Album")->setChecked(false);
        QCOMPARE(CConfig::instance()->Duplicate, 0x31020C20);
        byText<QRadioButton>(&pane, "Quick Scan")->click();
        QCOMPARE(criteria(&pane), QStringLiteral("xx.xx -eeee"));
        QVERIFY(!pane.findChild<QComboBox*>()->isEnabled());
        QCOMPARE(CConfig::instance()->Duplicate, 0x31000420);
        pane.findChild<QComboBox*>()->setCurrentIndex(2);
        QCOMPARE(CConfig::instance()->Duplicate, 0x31000410);

        // The history options open modally and change nothing here.
        OnModal([](QWidget* dialog) {
            QVERIFY(qobject_cast<CHistoryOptWidget*>(dialog));
            dialog->close();
        });
        pane.findChild<QPushButton*>(QStringLiteral("dupremoptbtn"))->click();
        QCOMPARE(CConfig::instance()->Duplicate, 0x31000410);
        QSignalSpy trash(&pane, &CDuplicateWidget::ShowTrash);
        pane.findChild<QPushButton*>(QStringLiteral("duprembtn"))->click();
        QCOMPARE(trash.count(), 1);
    }

    void historyDays_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<int>("shown");
        QTest::addColumn<int>("typed");
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("after");
        QTest::newRow("OK stores") << 7 << 7 << 12 << "OK" << 12;
        QTest::newRow("out of range shows 7") << 120 << 7 << 7 << "OK" << 7;
        QTest::newRow("Cancel keeps") << 30 << 30 << 50 << "Cancel" << 30;
        QTest::newRow("close keeps") << 30 << 30 << 50 << "" << 30;
        QTest::newRow("above 99 is held at 99") << 7 << 7 << 150 << "OK" << 99;
        QTest::newRow("below 1 is held at 1") << 7 << 7 << 0 << "OK" << 1;
    }

    void historyDays()
    {
        QFETCH(int, stored);
        QFETCH(int, shown);
        QFETCH(int, typed);
        QFETCH(QString, button);
        QFETCH(int, after);
        CConfig::instance()->ClearDays = stored;
        CHistoryOptWidget dialog(nullptr);
        QCOMPARE(dialog.size(), QSize(570, 160));
        auto* days = dialog.findChild<QSpinBox*>();
        QCOMPARE(days->value(), shown);
        days->setValue(typed);
        dialog.show();
        if (button.isEmpty())
            dialog.close();
        else
            byText<QPushButton>(&dialog, button)->click();
        QVERIFY(!dialog.isVisible());
        QCOMPARE(CConfig::instance()->ClearDays, after);
    }

    // Files are taken by their extension in any case, folders by the file
    // system whether or not the URL ends in "/", both only from this
    // machine; every drop is accepted.
    void dropsListMusicAndFolders()
    {
        const QString mp3 = file(QStringLiteral("song.MP3"), 1048576);
        const QString m4a = file(QStringLiteral("big.m4a"), 130000000);
        const QString wav = file(QStringLiteral("tone.wav"), 10);
        const QString folder = m_dir.filePath(QStringLiteral("Folder One"));
        DropTarget pane;
        auto* list = pane.findChild<QTreeWidget*>();
        QVERIFY(pane.drop({QUrl::fromLocalFile(wav)}));
        QCOMPARE(list->topLevelItemCount(), 0);
        // A web link whose path happens to name a song of this machine.
        QVERIFY(pane.drop({QUrl(QStringLiteral("https://example.com") + mp3),
                           QUrl(QStringLiteral("smb://server") + folder + "/")}));
        QCOMPARE(list->topLevelItemCount(), 0);
        QVERIFY(pane.drop({QUrl::fromLocalFile(mp3), QUrl::fromLocalFile(wav), QUrl::fromLocalFile(folder + "/")}));
        QVERIFY(pane.drop({QUrl::fromLocalFile(folder), QUrl::fromLocalFile(m4a)}));
        pane.AddNewItems({mp3});
        // Sorted by path as text: upper case first.
        QCOMPARE(rows(list), (QStringList{folder + "|Folder One|--", m4a + "|big.m4a|123.98MB",
                                         mp3 + "|song.MP3|1.00MB"}));

        // Delete takes the selection only.
        byText<QAction>(&pane, "Delete")->trigger();
        QCOMPARE(list->topLevelItemCount(), 3);
        list->topLevelItem(1)->setSelected(true);
        byText<QAction>(&pane, "Delete")->trigger();
        QCOMPARE(list->topLevelItemCount(), 2);

        // Scan iTunes asks for the library and leaves the list alone.
        QSignalSpy complete(&pane, &CDuptOptWidget::Complete);
        byText<QAction>(&pane, "Scan iTunes")->trigger();
        QCOMPARE(complete.count(), 1);
        QCOMPARE(complete[0][0].toStringList(), QStringList());
        QCOMPARE(complete[0][2].value<tagMusicRunMode>(), RUN_DUP_ITUNES);
        QCOMPARE(list->topLevelItemCount(), 2);

        // The paths are appended, last row first, and the list empties.
        QStringList names{"kept"};
        pane.GetMusicNames(names);
        QCOMPARE(names, (QStringList{"kept", mp3, folder}));
        QCOMPARE(list->topLevelItemCount(), 0);
        pane.GetMusicNames(names);
        QCOMPARE(names.size(), 3);

        // A cancelled open panel adds nothing.
        OnModal([](QWidget* panel) { panel->close(); });
        byText<QAction>(&pane, "Add")->trigger();
        QCOMPARE(list->topLevelItemCount(), 0);
    }

    // The countdown shows n..1 on the first button, then 0 as it answers 1.
    void countdownAnswersTheFirstButton()
    {
        QStringList seen;
        OnModal([&seen](QWidget* modal) {
            auto* box = qobject_cast<CWarnMessage*>(modal);
            QVERIFY(box);
            auto* first = byText<QPushButton>(box, "Sure(3)");
            QVERIFY(first);
            for (int tick = 0; tick < 3; ++tick) {
                seen << first->text();
                box->SecondRed();
            }
            seen << first->text();
        });
        const int answer = CWarnMessage::information(nullptr, QString(), "Clear?", 2, "Sure", "Cancel", "Never", 3);
        QCOMPARE(answer, 1);
        QCOMPARE(seen, (QStringList{"Sure(3)", "Sure(2)", "Sure(1)", "Sure(0)"}));
    }

    void buttonsAnswer_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QString>("press");  // a button's text, "Escape" or "close"
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<int>("answer");
        QTest::newRow("mode 0 counts on OK") << 0 << 10 << "OK(10)" << QStringList{"OK(10)"} << 1;
        QTest::newRow("mode 1") << 1 << 0 << "One" << QStringList{"One"} << 1;
        QTest::newRow("mode 2 hides the third") << 2 << 10 << "Two" << QStringList{"One(10)", "Two"} << 2;
        QTest::newRow("three buttons") << 3 << 0 << "Three" << QStringList{"One", "Two", "Three"} << 3;
        QTest::newRow("Escape during the countdown") << 2 << 10 << "Escape" << QStringList{"One(10)", "Two"} << 0;
        QTest::newRow("closed") << 3 << 5 << "close" << QStringList{"One(5)", "Two", "Three"} << 0;
    }

    void buttonsAnswer()
    {
        QFETCH(int, mode);
        QFETCH(int, seconds);
        QFETCH(QString, press);
        QFETCH(QStringList, shown);
        QFETCH(int, answer);
        QStringList visible;
        OnModal([&](QWidget* box) {
            for (QPushButton* button : box->findChildren<QPushButton*>())
                if (button->isVisibleTo(box))
                    visible << button->text();
            if (press == "Escape")
                QTest::keyClick(box, Qt::Key_Escape);
            else if (press == "close")
                box->close();
            else
                byText<QPushButton>(box, press)->click();
        });
        QCOMPARE(CWarnMessage::information(nullptr, "Title", "Text", mode, "One", "Two", "Three", seconds), answer);
        QCOMPARE(visible, shown);
    }

    // The real timer: a countdown of one second answers by itself.
    void countdownRunsOut()
    {
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(CWarnMessage::information(nullptr, QString(), "Go?", 2, "Sure", "Cancel", QString(), 1), 1);
        QVERIFY(clock.elapsed() >= 900);
    }
};

QTEST_MAIN(TestDuplicateOptions)
#include "tst_duplicateoptions.moc"
