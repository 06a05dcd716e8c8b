// The preferences window: each page opens with the stored settings, the
// user's clicks follow the page's rules, and closing writes everything back
// into the settings object and its file.
#include "cadenzo.h"
#include "config.h"
#include "linkcalls.h"
#include "option/option.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
#include <QToolBar>

namespace {

class ProxyLinkDouble : public CProxyCalls
{
public:
    int calls = 0;
    int useProxySeen = -1;
    void SetNetworkProxy() override
    {
        ++calls;
        useProxySeen = CConfig::instance()->GetUseProxy();
    }
};

const QStringList kFix = {"Songs Without Album Artwork", "Songs Without Artist", "Songs Without Album", "Unwritable items"};
const QStringList kFields = {"Name", "Artist", "Album", "Year", "Genre"};
const QString kMaster = QStringLiteral("Replace original songs meta");

template <class T>
T* byText(QWidget* root, const QString& text)
{
    for (T* widget : root->findChildren<T*>()) {
        if (widget->text() == text)
            return widget;
    }
    return nullptr;
}

QString checks(QWidget* root, const QStringList& names)
{
    QString marks;
    for (const QString& name : names)
        marks += byText<QCheckBox>(root, name)->isChecked() ? QLatin1Char('x') : QLatin1Char('.');
    return marks;
}

QString enabled(QWidget* root, const QStringList& names)
{
    QString marks;
    for (const QString& name : names)
        marks += byText<QCheckBox>(root, name)->isEnabled() ? QLatin1Char('e') : QLatin1Char('-');
    return marks;
}

// The edits of the Network page in form order: host, port, user, password.
QList<QLineEdit*> proxyEdits(QWidget* root)
{
    return root->findChild<CNetWidget*>()->findChildren<QLineEdit*>(Qt::FindDirectChildrenOnly);
}

// Drops the in-memory settings, so the next instance reads the file.
void reloadSettings()
{
    CConfig::Destroy();
    CConfig::instance();
}

} // namespace

class TestPreferences : public QObject
{
    Q_OBJECT

    ProxyLinkDouble m_link;

private slots:
    void init()
    {
        CConfig::Destroy();
        QFile::remove(CConfig::instance()->GetLogFile() + QStringLiteral("/vessolin.plist"));
        reloadSettings();
        m_link = ProxyLinkDouble();
    }

    void cleanupTestCase() { CConfig::Destroy(); }

    void windowFrame()
    {
        COption window(&m_link, nullptr);
        QCOMPARE(window.windowTitle(), QStringLiteral("Preferences"));
        QCOMPARE(window.windowModality(), Qt::ApplicationModal);
        auto* stack = window.findChild<QStackedWidget*>();
        QCOMPARE(stack->count(), 3);
        QCOMPARE(stack->currentIndex(), 0);
        const QList<QAction*> actions = window.findChild<QToolBar*>()->actions();
        QCOMPARE(actions.size(), 3);
        QStringList names;
        for (QAction* action : actions)
            names << action->text();
        QCOMPARE(names, QStringList({"General", "Network", "Update"}));
        QVERIFY(actions.at(0)->isChecked());
        actions.at(2)->trigger();
        QCOMPARE(stack->currentIndex(), 2);
        QVERIFY(!actions.at(0)->isChecked());
        actions.at(1)->trigger();
        QCOMPARE(stack->currentWidget(), window.findChild<CNetWidget*>());
    }

    void everyPageFitsTheWindow()
    {
        COption window(&m_link, nullptr);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.width(), 520);
        QVERIFY(window.height() >= 240);
        QCOMPARE(window.minimumSize(), window.maximumSize());
        auto* stack = window.findChild<QStackedWidget*>();
        for (int i = 0; i < stack->count(); ++i) {
            QWidget* page = stack->widget(i);
            QVERIFY2(page->sizeHint().height() <= stack->height(), page->metaObject()->className());
            QVERIFY2(page->minimumSizeHint().width() <= stack->width(), page->metaObject()->className());
        }
    }

    void execRunsUntilClosedAndSaves()
    {
        CConfig::instance()->Genernal = MF_ARTIST;
        COption window(&m_link, nullptr);
        QTimer::singleShot(0, &window, [&] {
            QVERIFY(window.isVisible());
            byText<QCheckBox>(&window, kFix.at(0))->click();
            window.close();
        });
        QCOMPARE(window.exec(), 0);
        QCOMPARE(m_link.calls, 1);
        reloadSettings();
        QCOMPARE(CConfig::instance()->Genernal, int(MF_ARTIST | MF_ARTWORK));
    }

    void generalPageOpensAndClosesAsStored_data()
    {
        QTest::addColumn<int>("general");
        QTest::addColumn<int>("replace");
        QTest::addColumn<QString>("fix");
        QTest::addColumn<bool>("master");
        QTest::addColumn<QString>("fields");
        QTest::addColumn<QString>("fieldsEnabled");
        QTest::addColumn<int>("generalOut");
        QTest::addColumn<int>("replaceOut");
        QTest::newRow("defaults") << 0x08010C00 << 0x01000C00 << "xxxx" << false << "xxx.." << "-----"
                                  << 0x08010C00 << 0x01000C00;
        QTest::newRow("unknown bits are lost") << (0x08010C00 | MF_TITLE | 0x1) << (OPT_REPLACE_META | MF_TITLE | 0x2)
                                               << "xxxx" << true << "x...." << "eeeee" << 0x08010C00
                                               << (OPT_REPLACE_META | MF_TITLE);
        QTest::newRow("switch without fields") << int(MF_ALBUM) << int(OPT_REPLACE_META) << "..x." << false << "....."
                                               << "eeeee" << int(MF_ALBUM) << 0;
        QTest::newRow("fields without switch") << 0 << int(MF_YEAR | MF_GENRE) << "...." << false << "...xx" << "-----"
                                               << 0 << int(MF_YEAR | MF_GENRE);
        QTest::newRow("everything") << 0x08010C00 << (OPT_REPLACE_META | 0x07000C00) << "xxxx" << true << "xxxxx"
                                    << "eeeee" << 0x08010C00 << (OPT_REPLACE_META | 0x07000C00);
    }

    void generalPageOpensAndClosesAsStored()
    {
        QFETCH(int, general);
        QFETCH(int, replace);
        QFETCH(QString, fix);
        QFETCH(bool, master);
        QFETCH(QString, fields);
        QFETCH(QString, fieldsEnabled);
        QFETCH(int, generalOut);
        QFETCH(int, replaceOut);
        CConfig::instance()->Genernal = general;
        CConfig::instance()->Replace = replace;
        COption window(&m_link, nullptr);
        QCOMPARE(checks(&window, kFix), fix);
        QCOMPARE(byText<QCheckBox>(&window, kMaster)->isChecked(), master);
        QCOMPARE(checks(&window, kFields), fields);
        QCOMPARE(enabled(&window, kFields), fieldsEnabled);
        window.close();
        QCOMPARE(CConfig::instance()->Genernal, generalOut);
        QCOMPARE(CConfig::instance()->Replace, replaceOut);
        reloadSettings();
        QCOMPARE(CConfig::instance()->Genernal, generalOut);
        QCOMPARE(CConfig::instance()->Replace, replaceOut);
    }

    void masterSwitchAndFieldsFollowEachOther()
    {
        CConfig::instance()->Replace = OPT_REPLACE_META;
        COption window(&m_link, nullptr);
        QCheckBox* master = byText<QCheckBox>(&window, kMaster);
        master->click();  // on, with no field: all five
        QCOMPARE(checks(&window, kFields), QStringLiteral("xxxxx"));
        QCOMPARE(enabled(&window, kFields), QStringLiteral("eeeee"));
        for (int i = 0; i < 4; ++i)
            byText<QCheckBox>(&window, kFields.at(i))->click();
        QVERIFY(master->isChecked());
        byText<QCheckBox>(&window, kFields.at(4))->click();  // the last one goes
        QVERIFY(!master->isChecked());
        QCOMPARE(enabled(&window, kFields), QStringLiteral("eeeee"));
        byText<QCheckBox>(&window, QStringLiteral("Year"))->click();
        master->click();
        master->click();  // off again: the fields lock, their checks stay
        QCOMPARE(enabled(&window, kFields), QStringLiteral("-----"));
        QCOMPARE(checks(&window, kFields), QStringLiteral("...x."));
        window.close();
        QCOMPARE(CConfig::instance()->Replace, int(MF_YEAR));
    }

    void networkPageOpensAsStored_data()
    {
        QTest::addColumn<int>("use");
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("index");
        QTest::addColumn<bool>("editable");
        QTest::addColumn<int>("useOut");
        QTest::newRow("no proxy") << 0 << 1 << 0 << false << 0;
        QTest::newRow("http proxy") << 1 << 1 << 1 << true << 1;
        QTest::newRow("in use but type none") << 1 << 0 << 0 << true << 0;
        QTest::newRow("unknown type") << 1 << 7 << -1 << false << 0;
    }

    void networkPageOpensAsStored()
    {
        QFETCH(int, use);
        QFETCH(int, type);
        QFETCH(int, index);
        QFETCH(bool, editable);
        QFETCH(int, useOut);
        CConfig* config = CConfig::instance();
        config->SetUseProxy(use);
        config->SetProxyType(type);
        config->SetProxyHost(QStringLiteral("proxy.example.net"));
        config->SetProxyPort(3128);
        config->SetProxyUserName(QStringLiteral("ann"));
        config->SetProxyPassword(QStringLiteral("secret"));
        COption window(&m_link, nullptr);
        QCOMPARE(window.findChild<QComboBox*>()->currentIndex(), index);
        const QList<QLineEdit*> edits = proxyEdits(&window);
        QCOMPARE(edits.size(), 4);
        QStringList texts;
        for (QLineEdit* edit : edits) {
            QCOMPARE(edit->isEnabled(), editable);
            texts << edit->text();
        }
        QCOMPARE(texts, QStringList({"proxy.example.net", "3128", "ann", "secret"}));
        QCOMPARE(edits.at(3)->echoMode(), QLineEdit::Password);
        window.close();
        QCOMPARE(m_link.calls, 1);
        QCOMPARE(m_link.useProxySeen, useOut);  // saved before the engine is told
        reloadSettings();
        config = CConfig::instance();
        QCOMPARE(config->GetUseProxy(), useOut);
        QCOMPARE(config->GetProxyType(), type);
        QCOMPARE(config->GetProxyHost(), QStringLiteral("proxy.example.net"));
        QCOMPARE(config->GetProxyPort(), 3128);
    }

    void noneKeepsTheProxyForLater()
    {
        CConfig* config = CConfig::instance();
        config->SetUseProxy(1);
        config->SetProxyType(1);
        config->SetProxyHost(QStringLiteral("old.example.net"));
        config->SetProxyPort(8080);
        {
            COption window(&m_link, nullptr);
            window.findChild<QComboBox*>()->setCurrentIndex(0);
            QVERIFY(!proxyEdits(&window).at(0)->isEnabled());
            proxyEdits(&window).at(0)->setText(QStringLiteral("typed.example.net"));
            window.close();
        }
        QCOMPARE(config->GetUseProxy(), 0);
        QCOMPARE(config->GetProxyHost(), QStringLiteral("old.example.net"));
        COption window(&m_link, nullptr);
        window.findChild<QComboBox*>()->setCurrentIndex(1);
        QVERIFY(proxyEdits(&window).at(0)->isEnabled());
        QCOMPARE(proxyEdits(&window).at(0)->text(), QStringLiteral("old.example.net"));
        QCOMPARE(proxyEdits(&window).at(1)->text(), QStringLiteral("8080"));
    }

    void proxyIsSavedAsTyped_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<int>("stored");
        QTest::newRow("a port") << "3128" << 3128;
        QTest::newRow("highest port") << "65535" << 65535;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("above the range") << "70000" << 0;
        QTest::newRow("zero") << "0" << 0;
    }

    void proxyIsSavedAsTyped()
    {
        QFETCH(QString, port);
        QFETCH(int, stored);
        COption window(&m_link, nullptr);
        window.findChild<QComboBox*>()->setCurrentIndex(1);
        const QList<QLineEdit*> edits = proxyEdits(&window);
        edits.at(0)->setText(QStringLiteral("proxy.example.net"));
        edits.at(1)->clear();
        QTest::keyClicks(edits.at(1), port);
        QCOMPARE(edits.at(1)->text(), port);  // the validator lets it stand while typing
        edits.at(2)->setText(QStringLiteral("bob"));
        edits.at(3)->setText(QStringLiteral("pw"));
        window.close();
        reloadSettings();
        const CConfig* config = CConfig::instance();
        QCOMPARE(config->GetUseProxy(), 1);
        QCOMPARE(config->GetProxyType(), 1);
        QCOMPARE(config->GetProxyHost(), QStringLiteral("proxy.example.net"));
        QCOMPARE(config->GetProxyPort(), stored);
        QCOMPARE(config->GetProxyUserName(), QStringLiteral("bob"));
        QCOMPARE(config->GetProxyPassword(), QStringLiteral("pw"));
    }

    void portAcceptsOnlyTcpPorts()
    {
        COption window(nullptr, nullptr);
        const QValidator* validator = proxyEdits(&window).at(1)->validator();
        QVERIFY(validator);
        int pos = 0;
        for (const char* ok : {"1", "80", "65535"}) {
            QString text = QString::fromLatin1(ok);
            QCOMPARE(validator->validate(text, pos), QValidator::Acceptable);
        }
        for (const char* bad : {"0", "65536", "100000", "-1"}) {
            QString text = QString::fromLatin1(bad);
            QVERIFY2(validator->validate(text, pos) != QValidator::Acceptable, bad);
        }
    }

    void updatePageOpensAndClosesAsStored_data()
    {
        QTest::addColumn<int>("schedule");
        QTest::addColumn<int>("days");
        QTest::addColumn<QString>("radio");  // empty: none checked
        QTest::addColumn<int>("spin");
        QTest::addColumn<bool>("spinEnabled");
        QTest::addColumn<int>("scheduleOut");
        QTest::addColumn<int>("daysOut");
        const QString nDays = QStringLiteral("Number of days between update checks (At least 1 days)");
        QTest::newRow("off") << 0 << 5 << nDays << 5 << true << 0 << 5;
        QTest::newRow("every 12 days") << 1 << 12 << nDays << 12 << true << 1 << 12;
        QTest::newRow("daily") << 2 << 7 << "Update every day" << 7 << false << 2 << 7;
        QTest::newRow("weekly") << 3 << 7 << "Update every week" << 7 << false << 3 << 7;
        QTest::newRow("monthly") << 4 << 7 << "Update every month" << 7 << false << 4 << 7;
        QTest::newRow("days 0 shows 7, stored on days") << 1 << 0 << nDays << 7 << true << 1 << 7;
        QTest::newRow("days 150 kept on weekly") << 3 << 150 << "Update every week" << 7 << false << 3 << 150;
        QTest::newRow("unknown schedule stays") << 5 << 7 << QString() << 7 << false << 5 << 7;
    }

    void updatePageOpensAndClosesAsStored()
    {
        QFETCH(int, schedule);
        QFETCH(int, days);
        QFETCH(QString, radio);
        QFETCH(int, spin);
        QFETCH(bool, spinEnabled);
        QFETCH(int, scheduleOut);
        QFETCH(int, daysOut);
        CConfig::instance()->SetAutoUpdate(schedule);
        CConfig::instance()->SetAutoDays(days);
        COption window(&m_link, nullptr);
        auto* enable = byText<QCheckBox>(&window, QStringLiteral("Enable automatic update check."));
        QCOMPARE(enable->isChecked(), schedule >= 1);
        QCOMPARE(window.findChild<QGroupBox*>()->isEnabled(), schedule >= 1);
        QStringList checked;
        for (QRadioButton* button : window.findChildren<QRadioButton*>()) {
            if (button->isChecked())
                checked << button->text();
        }
        QCOMPARE(checked, radio.isEmpty() ? QStringList() : QStringList{radio});
        auto* spinBox = window.findChild<QSpinBox*>();
        QCOMPARE(spinBox->value(), spin);
        QCOMPARE(spinBox->minimum(), 1);
        QCOMPARE(spinBox->maximum(), 99);
        QCOMPARE(spinBox->isEnabledTo(spinBox->parentWidget()), spinEnabled);
        window.close();
        reloadSettings();
        QCOMPARE(CConfig::instance()->GetAutoUpdate(), scheduleOut);
        QCOMPARE(CConfig::instance()->GetAutoDays(), daysOut);
    }

    void updateChoicesAreStored()
    {
        CConfig::instance()->SetAutoUpdate(1);
        COption window(&m_link, nullptr);
        auto* spinBox = window.findChild<QSpinBox*>();
        byText<QRadioButton>(&window, QStringLiteral("Update every week"))->click();
        QVERIFY(!spinBox->isEnabled());
        byText<QRadioButton>(&window, QStringLiteral("Number of days between update checks (At least 1 days)"))->click();
        QVERIFY(spinBox->isEnabled());
        spinBox->setValue(30);
        auto* enable = byText<QCheckBox>(&window, QStringLiteral("Enable automatic update check."));
        enable->click();
        QVERIFY(!window.findChild<QGroupBox*>()->isEnabled());
        window.close();
        QCOMPARE(CConfig::instance()->GetAutoUpdate(), 0);
        QCOMPARE(CConfig::instance()->GetAutoDays(), 7);  // off leaves the days alone
    }

    void emptyDaysFieldStoresZero()
    {
        CConfig::instance()->SetAutoUpdate(1);
        COption window(&m_link, nullptr);
        auto* field = window.findChild<QSpinBox*>()->findChild<QLineEdit*>();
        QVERIFY(field);
        field->clear();
        window.close();
        QCOMPARE(CConfig::instance()->GetAutoUpdate(), 1);
        QCOMPARE(CConfig::instance()->GetAutoDays(), 0);
    }
};

QTEST_MAIN(TestPreferences)
#include "tst_preferences.moc"
