#include "sharedimages.h"

#include <QIcon>
#include <QImage>
#include <QMovie>
#include <QPixmap>

#include <initializer_list>
#include <utility>

QPixmap* g_xDefX = nullptr;
QPixmap* g_xFailedX = nullptr;
QIcon* g_pimgDef = nullptr;
QIcon* g_pimgFrame = nullptr;
QIcon* g_pimgFailed = nullptr;
QImage* g_pimgbl = nullptr;
QImage* g_pimgbc = nullptr;
QImage* g_pimgbr = nullptr;
QMovie* g_pMovie = nullptr;
QIcon* g_pOK = nullptr;
QIcon* g_pFailed = nullptr;
QIcon* g_pSkiped = nullptr;
QIcon* g_pRun = nullptr;
QIcon* g_pIconNull = nullptr;
QIcon* g_pIconEdit = nullptr;
QIcon* g_pIconPause = nullptr;
QIcon* g_pIconPlay = nullptr;
QIcon* g_pReset = nullptr;
QIcon* g_pOpen = nullptr;
QIcon* g_pScaniTunes = nullptr;
QIcon* g_pAdd = nullptr;
QIcon* g_pDel = nullptr;
QPixmap* g_pPixNull = nullptr;
QPixmap* g_pimgCheck = nullptr;
QPixmap* g_pimgUnCheck = nullptr;
QPixmap* g_pimgSelectBut = nullptr;
QPixmap* g_pimgArLoad = nullptr;
QPixmap* g_pimgUncheckLoad = nullptr;
QPixmap* g_pixPause = nullptr;
QPixmap* g_pixPause_On = nullptr;
QPixmap* g_pixPause_Down = nullptr;
QPixmap* g_pixPlay = nullptr;
QPixmap* g_pixPlay_On = nullptr;
QPixmap* g_pixPlay_Down = nullptr;
QPixmap* g_pixEdit = nullptr;
QPixmap* g_pixEdit_On = nullptr;
QPixmap* g_pixEdit_Down = nullptr;

namespace {

using ModeFile = std::pair<QIcon::Mode, const char*>;

QString res(const char* relative)
{
    return QStringLiteral(":/res/res/mac/") + QLatin1String(relative);
}

QPixmap* pixmap(const char* relative)
{
    return new QPixmap(res(relative));
}

QIcon* icon(const char* relative)
{
    return new QIcon(res(relative));
}

// Icons of several files carry each for one mode, all in the On state.
QIcon* icon(std::initializer_list<ModeFile> files)
{
    auto* made = new QIcon;
    for (const ModeFile& file : files)
        made->addFile(res(file.second), QSize(), file.first, QIcon::On);
    return made;
}

// Three-state icons: plain, pressed ("_down") and hovered ("_on").
QIcon* buttonIcon(const char* plain, const char* down, const char* on)
{
    return icon({{QIcon::Normal, plain}, {QIcon::Active, down}, {QIcon::Selected, on}});
}

template <typename T>
void destroy(T*& pointer)
{
    delete pointer;
    pointer = nullptr;
}

void createListImages()
{
    g_xDefX = pixmap("list/artwork_def.png");
    g_xFailedX = pixmap("list/artwork_failed.png");
    g_pimgDef = icon("list/artwork_def.png");
    g_pimgFrame = icon("list/artwork_frame.png");
    g_pimgFailed = icon("list/artwork_failed.png");
    g_pimgbl = new QImage(res("list/label_bl.png"));
    g_pimgbc = new QImage(res("list/label_bc.png"));
    g_pimgbr = new QImage(res("list/label_br.png"));
    g_pMovie = new QMovie(res("gif/artwork_run.gif"));
    g_pOK = icon({{QIcon::Normal, "list/complete.png"},
                  {QIcon::Active, "list/complete.png"},
                  {QIcon::Selected, "list/complete.png"},
                  {QIcon::Disabled, "list/complete.png"}});
    g_pFailed = icon("list/failed.png");
    g_pSkiped = icon("list/skiped.png");
    g_pRun = icon("list/samllloading.gif");
    g_pIconNull = new QIcon;
    g_pIconEdit = icon("list/edit.png");
}

void createButtonIcons()
{
    g_pIconPause = buttonIcon("button/playing.png", "button/playing_down.png", "button/playing_on.png");
    g_pIconPlay = icon({{QIcon::Selected, "button/play_on.png"}});
    g_pReset = icon({{QIcon::Disabled, "button/reset_down.png"}});
    g_pOpen = buttonIcon("button/open.png", "button/open_down.png", "button/open_on.png");
    g_pScaniTunes = buttonIcon("button/sit.png", "button/sit_down.png", "button/sit_on.png");
    g_pAdd = buttonIcon("button/add.png", "button/add_down.png", "button/add_on.png");
    g_pDel = buttonIcon("button/del.png", "button/del_down.png", "button/del_on.png");
}

void createListPixmaps()
{
    g_pPixNull = new QPixmap;
    g_pimgCheck = pixmap("list/check.png");
    g_pimgUnCheck = pixmap("list/uncheck.png");
    g_pimgSelectBut = pixmap("list/expand.png");
    g_pimgArLoad = pixmap("list/artwork_load.png");
    g_pimgUncheckLoad = pixmap("list/artwork_load_uncheck.png");
    g_pixPause = pixmap("list/pause.png");
    g_pixPause_On = pixmap("list/pause_on.png");
    g_pixPause_Down = pixmap("list/pause_down.png");
    g_pixPlay = pixmap("list/play.png");
    g_pixPlay_On = pixmap("list/play_on.png");
    g_pixPlay_Down = pixmap("list/play_down.png");
    g_pixEdit = pixmap("list/edit.png");
    g_pixEdit_On = pixmap("list/edit_on.png");
    g_pixEdit_Down = pixmap("list/edit_down.png");
}

} // namespace

void CreateImage()
{
    createListImages();
    createButtonIcons();
    createListPixmaps();
}

void DestroyImage()
{
    destroy(g_xDefX);
    destroy(g_xFailedX);
    destroy(g_pimgDef);
    destroy(g_pimgFrame);
    destroy(g_pimgFailed);
    destroy(g_pimgbl);
    destroy(g_pimgbc);
    destroy(g_pimgbr);
    if (g_pMovie)
        g_pMovie->stop();
    destroy(g_pMovie);
    for (QIcon** icon : {&g_pOK, &g_pFailed, &g_pSkiped, &g_pRun, &g_pIconNull, &g_pIconEdit, &g_pIconPause,
                         &g_pIconPlay, &g_pReset, &g_pOpen, &g_pScaniTunes, &g_pAdd, &g_pDel})
        destroy(*icon);
    for (QPixmap** pixmap : {&g_pPixNull, &g_pimgCheck, &g_pimgUnCheck, &g_pimgSelectBut, &g_pimgArLoad,
                             &g_pimgUncheckLoad, &g_pixPause, &g_pixPause_On, &g_pixPause_Down, &g_pixPlay,
                             &g_pixPlay_On, &g_pixPlay_Down, &g_pixEdit, &g_pixEdit_On, &g_pixEdit_Down})
        destroy(*pixmap);
}

QIcon SharedIcon(const QIcon* icon)
{
    return icon ? *icon : QIcon();
}
