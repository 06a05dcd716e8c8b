// Images, icons and the busy animation shared by the report, duplicate and
// main-window widgets. Made and freed on the GUI thread; null in between.
#pragma once

class QIcon;
class QImage;
class QMovie;
class QPixmap;

extern QPixmap* g_xDefX;
extern QPixmap* g_xFailedX;
extern QIcon* g_pimgDef;
extern QIcon* g_pimgFrame;
extern QIcon* g_pimgFailed;
extern QImage* g_pimgbl;
extern QImage* g_pimgbc;
extern QImage* g_pimgbr;
extern QMovie* g_pMovie;
extern QIcon* g_pOK;
extern QIcon* g_pFailed;
extern QIcon* g_pSkiped;
extern QIcon* g_pRun;
extern QIcon* g_pIconNull;
extern QIcon* g_pIconEdit;
extern QIcon* g_pIconPause;
extern QIcon* g_pIconPlay;
extern QIcon* g_pReset;
extern QIcon* g_pOpen;
extern QIcon* g_pScaniTunes;
extern QIcon* g_pAdd;
extern QIcon* g_pDel;
extern QPixmap* g_pPixNull;
extern QPixmap* g_pimgCheck;
extern QPixmap* g_pimgUnCheck;
extern QPixmap* g_pimgSelectBut;
extern QPixmap* g_pimgArLoad;
extern QPixmap* g_pimgUncheckLoad;
extern QPixmap* g_pixPause;
extern QPixmap* g_pixPause_On;
extern QPixmap* g_pixPause_Down;
extern QPixmap* g_pixPlay;
extern QPixmap* g_pixPlay_On;
extern QPixmap* g_pixPlay_Down;
extern QPixmap* g_pixEdit;
extern QPixmap* g_pixEdit_On;
extern QPixmap* g_pixEdit_Down;

// Loads every image from the compiled-in resources; a missing one stays null.
void CreateImage();
// Frees every image (stopping the animation first) and clears its pointer.
void DestroyImage();
// A copy of the shared icon, or an empty icon while the images are not made.
QIcon SharedIcon(const QIcon* icon);
