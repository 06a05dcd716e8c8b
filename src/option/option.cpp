#include "option/option.h"

#include "config.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QEventLoop>
#include <QIcon>
#include <QStackedWidget>
#include <QToolBar>

COption::COption(CProxyCalls* link, QWidget* parent, Qt::WindowFlags flags)
    : QMainWindow(parent, flags)
{
    setUnifiedTitleAndToolBarOnMac(true);
    setWindowTitle(tr("Preferences"));
    setWindowModality(Qt::ApplicationModal);

    m_pGeneral = new CGeneralWidget(this);
    m_pNet = new CNetWidget(link, this);
    m_pUpdate = new CUpdateWidget(this);
    m_pUpdate->InitUpdate();
    m_pStack = new QStackedWidget(this);
    m_pStack->addWidget(m_pGeneral);
    m_pStack->addWidget(m_pNet);
    m_pStack->addWidget(m_pUpdate);
    setCentralWidget(m_pStack);
    buildToolBar();
    fixSize();
}

void COption::fixSize()
{
    // 520 x 240 is the window's size where the tool bar shares the title
    // bar; here the tool bar takes its own room, and the pages in the
    // desktop's font need more height than is left, so the window grows
    // to the tallest page instead of cutting it.
    constexpr int kWidth = 520;
    constexpr int kHeight = 240;
    setFixedSize(kWidth, qMax(kHeight, sizeHint().height()));
}

COption::~COption()
{
    delete m_pLoop;
}

void COption::buildToolBar()
{
    QToolBar* bar = addToolBar(tr("Preferences"));
    bar->setContentsMargins(0, 0, 0, 0);
    bar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    bar->setMovable(false);
    m_pActions = new QActionGroup(this);
    m_pActions->setExclusive(true);
    const struct {
        QString text;
        const char* icon;
    } pages[] = {
        {tr("General"), ":/res/res/mac/label/genera_icon.png"},
        {tr("Network"), ":/res/res/mac/label/network_icon.png"},
        {tr("Update"), ":/res/res/mac/label/update_icon.png"},
    };
    for (int i = 0; i < 3; ++i) {
        QAction* action = m_pActions->addAction(QIcon(QString::fromLatin1(pages[i].icon)), pages[i].text);
        action->setCheckable(true);
        action->setChecked(i == 0);
        bar->addAction(action);
        connect(action, &QAction::triggered, m_pStack, [this, i] { m_pStack->setCurrentIndex(i); });
    }
}

int COption::exec()
{
    delete m_pLoop;
    m_pLoop = new QEventLoop(this);
    show();
    return m_pLoop->exec();
}

void COption::SaveOption()
{
    m_pGeneral->Save();
    m_pNet->Save();
    m_pUpdate->SaveUpdate();
    CConfig::instance()->Save();
}

void COption::closeEvent(QCloseEvent* event)
{
    SaveOption();
    if (m_pLoop)
        m_pLoop->exit(0);
    QMainWindow::closeEvent(event);
}
