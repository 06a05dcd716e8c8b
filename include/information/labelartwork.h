// The new-artwork picture of the track editor: a drop target for image
// files with a play/pause button that previews the track's music file
// through the shared preview player. GUI thread only.
#pragma once

#include "player/playstate.h"

#include <QLabel>
#include <QString>

class QPushButton;

class CLabelArtwork : public QLabel
{
    Q_OBJECT
public:
    // Registers the label as an owner of the preview player.
    explicit CLabelArtwork(QWidget* parent = nullptr);
    // Stops the label's own preview and leaves the player.
    ~CLabelArtwork() override;

    // The music file the button previews; an empty path changes nothing.
    // A preview of another file goes on until the button or a stop.
    void SetCurrentFilename(const QString& path);
    // Hides (true) or shows the button; shown, it tells what plays now.
    void SetPlayHidden(bool hidden);
    // Emits PlayStateChange(state); the player's end report comes here.
    void CallPlayState(unsigned int progress, int state);
    tagPlayState PlayState() const { return m_iPlayState; }

public slots:
    // The button: play, pause, resume, or play the current file anew.
    // "Playback failure!" when the file cannot be started.
    void PlayMusic();
    // PS_STOPPED stops the label's preview; other values are ignored.
    void SetPlayState(int state);

signals:
    // A local file dropped on the label; bDrop is true.
    void DropImg(const QString& strPath, bool bDrop);
    void PlayStateChange(int state);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void setPauseLook(bool pause);
    void forgetPreview();
    void followPlayer();
    bool startCurrentFile();

    QPushButton* m_pPlayBut = nullptr;
    QString m_strFileName;
    QString m_strPlayFile;
    tagPlayState m_iPlayState = PS_STOPPED;
    int m_iLook = -1;  // 1 pause look, 0 play look, -1 none yet
};
