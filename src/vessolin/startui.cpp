#include "vessolin/startui.h"

#include "appInfo.h"
#include "common.h"

#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QMessageBox>
#include <QMimeData>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <QtConcurrent>

#include <vector>

namespace {

constexpr int kLargeWidth = 205;
constexpr int kLargeHeight = 195;
constexpr int kSmallSize = 32;
constexpr int kQuestionDelayMs = 50;

const char* const kFacebookPage = "https://www.facebook.com/vessolin";
const char* const kTwitterPage = "https://twitter.com/vessolin";

bool IsMusicDrop(const QString& path)
{
    return path.endsWith(QLatin1String(".mp3"), Qt::CaseInsensitive)
        || path.endsWith(QLatin1String(".m4a"), Qt::CaseInsensitive) || QFileInfo(path).isDir();
}

} // namespace

QString StartButtonStyle(const QString& name, const QString& image, const QString& color,
                         const QString& hoverColor, int width, int height, int padding)
{
    return QStringLiteral(
               "QPushButton#%1{border:0;min-width: %5;max-width: %5;max-height: %6;min-height: %6;"
               "color:%3;border-image: url(:/res/res/mac/button/%2.png);font:bold 14px;"
               "text-align:bottom;padding-bottom:%7px;}"
               "QPushButton#%1:hover{border-image: url(:/res/res/mac/button/%2_on.png);"
               "font:bold 11px;color:%4;}"
               "QPushButton#%1:pressed{border-image: url(:/res/res/mac/button/%2_down.png);"
               "font:bold 11px;color:%4;}"
               "QPushButton#%1:disabled{border-image: url(:/res/res/mac/button/%2_disable.png);"
               "font:bold 14px;color:%3;}")
        .arg(name)
        .arg(image)
        .arg(color)
        .arg(hoverColor)
        .arg(width)
        .arg(height)
        .arg(padding);
}

CStartUI::CStartUI(QWidget* parent) : QWidget(parent)
{
    m_pCleanerBtn = NewButton(tr("Start to Clean iTunes"), QString(), "cleaner_obj",
                              QStringLiteral("cleanitunes"), true);
    m_pOpenBtn = NewButton(tr("Open Music Files"), QString(), "open_obj", QStringLiteral("musicfolder"), true);
    m_pLoadBtn = NewButton(tr("Load Saved Result"), QString(), "load_obj", QStringLiteral("loadsaved"), true);
    m_pDuplicateBtn = NewButton(tr("Clean-up Duplicates"), QString(), "duplicate_obj",
                                QStringLiteral("duplicates"), true);
    QPushButton* settings = NewButton(QString(), tr("Settings"), "set_obj", QStringLiteral("setting"), false);
    QPushButton* facebook = NewButton(QString(), tr("Facebook"), "facebook_obj", QStringLiteral("facebook"), false);
    QPushButton* twitter = NewButton(QString(), tr("Twitter"), "twitter_obj", QStringLiteral("twitter"), false);
    facebook->hide();
    twitter->hide();

    BuildLayout(settings, facebook, twitter);

    connect(m_pCleanerBtn, &QPushButton::clicked, this, &CStartUI::StartCleaneriTunes);
    connect(m_pOpenBtn, &QPushButton::clicked, this, &CStartUI::OpenMusicFiles);
    // The buttons take no focus, so a person without a mouse needs a key to
    // reach the chooser; the desktop's usual one for opening files.
    m_pOpenBtn->setShortcut(QKeySequence::Open);
    connect(m_pLoadBtn, &QPushButton::clicked, this, &CStartUI::LoadSaveResult);
    connect(m_pDuplicateBtn, &QPushButton::clicked, this, &CStartUI::Duplicate);
    connect(settings, &QPushButton::clicked, this, &CStartUI::Setting);
    connect(facebook, &QPushButton::clicked, this, &CStartUI::FaceBook);
    connect(twitter, &QPushButton::clicked, this, &CStartUI::Twitter);

    m_strDBName = g_strDBName;
    connect(&m_look, &QFutureWatcher<bool>::finished, this, &CStartUI::AskAboutKeptRun);
    QTimer::singleShot(kQuestionDelayMs, this, &CStartUI::CheckingIsSave);
    setFocusPolicy(Qt::WheelFocus);
    // Files come in through the panels only; a drop would bypass the
    // panels' type filter for folders full of other files.
    setAcceptDrops(false);
}

QPushButton* CStartUI::NewButton(const QString& text, const QString& tip, const char* name,
                                 const QString& image, bool large)
{
    auto* button = new QPushButton(text, this);
    button->setObjectName(QLatin1String(name));
    button->setFocusPolicy(Qt::NoFocus);
    // Image-only buttons are named by their tooltip for assistive tools.
    button->setAccessibleName(text.isEmpty() ? tip : text);
    if (!tip.isEmpty())
        button->setToolTip(tip);
    if (large)
        button->setStyleSheet(StartButtonStyle(button->objectName(), image, QStringLiteral("#5a5a5a"),
                                               QStringLiteral("#5e5e5e"), kLargeWidth, kLargeHeight, 10));
    else
        button->setStyleSheet(StartButtonStyle(button->objectName(), image, QStringLiteral("#5e5e5e"),
                                               QStringLiteral("#ffffff"), kSmallSize, kSmallSize, 0));
    return button;
}

void CStartUI::BuildLayout(QPushButton* settings, QPushButton* facebook, QPushButton* twitter)
{
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    QPushButton* const order[] = {m_pCleanerBtn, m_pOpenBtn, m_pDuplicateBtn, m_pLoadBtn};
    for (QPushButton* button : order) {
        if (button != order[0])
            buttons->addSpacing(10);
        buttons->addWidget(button, 0, Qt::AlignHCenter);
    }
    buttons->addStretch();

    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addSpacing(10);
    bottom->addWidget(settings);
    bottom->addSpacing(10);
    bottom->addWidget(facebook);
    bottom->addSpacing(10);
    bottom->addWidget(twitter, 2);

    auto* page = new QVBoxLayout(this);
    page->addStretch();
    page->addLayout(buttons);
    page->addStretch();
    page->addLayout(bottom, 2);
}

void CStartUI::SetCleanerBtnText(const QString& text)
{
    m_pCleanerBtn->setText(text);
    m_pCleanerBtn->setAccessibleName(text);
}

void CStartUI::Emit(const QStringList& paths, const QString& path, EMusicRunMode mode)
{
    m_strPath = path;
    emit Complete(paths, m_strPath, mode);
}

// A request that began before this turn (the database is then its own)
// has put another page in the window's place, or masks this one while it
// puts a project in the database's place: nothing to ask about any more.
bool CStartUI::IsPutAside() const
{
    return parentWidget() && (isHidden() || !isEnabled());
}

void CStartUI::CheckingIsSave()
{
    // A look under way asks when it ends.
    if (IsPutAside() || m_bLooking)
        return;
    m_bLooking = true;
    const QString database = m_strDBName;
    // A copy of the hook: the look may outlast the window.
    const std::function<void()> note = m_pMusicLink ? m_pMusicLink->DiskWorkNote(CMusicLink::DW_DATABASE_LOOK)
                                                    : std::function<void()>();
    m_look.setFuture(QtConcurrent::run([database, note] {
        if (note)
            note();
        return QFile::exists(database);
    }));
}

void CStartUI::AskAboutKeptRun()
{
    if (IsPutAside() || !m_look.result()) {
        m_bLooking = false;
        return;
    }
    QMessageBox box(this);
    box.setIconPixmap(QPixmap(QStringLiteral(":/res/res/mac/label/starticon.png")));
    box.setInformativeText(
        QStringLiteral("Last fixing project was interrupted unexpectedly. Do you want to continue it?"));
    QPushButton* resume = box.addButton(tr("Continue"), QMessageBox::AcceptRole);
    QPushButton* cancel = box.addButton(tr("Cancel"), QMessageBox::RejectRole);
    box.setDefaultButton(resume);
    box.setEscapeButton(cancel);
    box.exec();
    // Until answered, a second look would ask a second time.
    m_bLooking = false;
    if (box.clickedButton() == resume)
        Emit(QStringList(), m_strDBName, RUN_PROJECT);
}

void CStartUI::StartCleaneriTunes()
{
    m_strPath = m_strDBName;
    QStringList paths;
    if (m_pCleanerBtn->text() != tr("Start to Clean iTunes")) {
        const QString library = GetOpenFileNameFun(nullptr, 0, "xml");
        // The panel took only a file that was there; one gone since is the
        // load's to say, on its own thread: the library may be on a share
        // that stopped answering.
        if (library.isEmpty())
            return;
        paths << library;
    }
    WriteUILog(QStringLiteral("Enter CStartUI::StartCleaneriTunes()"));
    Emit(paths, m_strDBName, RUN_ITUNES);
}

void CStartUI::OpenMusicFiles()
{
    std::vector<QString> chosen;
    GetOpenFileNamesFun(nullptr, 0, chosen);
    QStringList paths;
    for (const QString& path : chosen)
        paths << path;
    if (paths.isEmpty())
        return;
    Emit(paths, m_strDBName, RUN_FILES);
}

// The window puts the project in the working database's place before it
// loads it, on a worker: the project may lie on a slow disk or a share.
void CStartUI::LoadSaveResult()
{
    m_strPath = GetOpenFileNameFun(nullptr, 0, "zorvadata");
    if (m_strPath.isEmpty())
        return;
    Emit(QStringList(), m_strPath, RUN_PROJECT);
}

void CStartUI::Setting()
{
    emit SetPreferences();
}

void CStartUI::FaceBook()
{
    QDesktopServices::openUrl(QUrl(QLatin1String(kFacebookPage)));
}

void CStartUI::Twitter()
{
    QDesktopServices::openUrl(QUrl(QLatin1String(kTwitterPage)));
}

void CStartUI::dragEnterEvent(QDragEnterEvent* event)
{
    event->acceptProposedAction();
}

void CStartUI::dragMoveEvent(QDragMoveEvent* event)
{
    event->acceptProposedAction();
}

void CStartUI::dragLeaveEvent(QDragLeaveEvent* event)
{
    event->accept();
}

void CStartUI::dropEvent(QDropEvent* event)
{
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        const QString path = url.toLocalFile();
        if (IsMusicDrop(path))
            paths << path;
    }
    event->acceptProposedAction();
    if (!paths.isEmpty())
        Emit(paths, m_strDBName, RUN_FILES);
}
