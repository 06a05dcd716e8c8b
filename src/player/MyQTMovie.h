// The player behind the preview functions: one movie at a time, its load
// level turned into report states, a progress timer, and the end report.
#pragma once

#include "player/PlayUnit.h"

#include <QObject>
#include <QString>

#include <memory>

namespace player { class Movie; }
class QTimer;

class MyPlayUnit : public QObject
{
    Q_OBJECT
public:
    MyPlayUnit(PlayUnitCallBack fun, void* user);
    ~MyPlayUnit() override;

    int SetMediaFile(const char* utf8Path);  // 0 opened, -1 not
    int StartPlay();                         // -1 without a movie
    int Pauseplay();
    int StopPlay();                          // drops the movie; -1 without one
    int SeekTo(unsigned int ms);
    int ChangeVloume(float volume);
    // Forgets the callback: nothing is reported from here on.
    void ClearCallback();

    int playState() const { return m_playState; }
    double movieDuration() const { return m_movieDuration; }
    player::Movie* pQTMovie() const { return m_pQTMovie.get(); }
    bool progressTimerRunning() const { return m_CheckMovieTimeTimer != nullptr; }

public slots:
    // The progress timer's tick.
    void checkMovieTime();

private:
    void movieLoadStateChanged();
    void movieDidEnd();
    void handleLoadStateChanged();
    void updateSelectedMovieCurrentTime();
    void startProgressTimer();
    void report(unsigned int progress);

    PlayUnitCallBack m_playFun = nullptr;
    void* m_pUserObj = nullptr;
    std::unique_ptr<player::Movie> m_pQTMovie;
    QString m_pMediaFile;
    double m_movieDuration = 0.0;
    int m_playState = 0;
    QTimer* m_CheckMovieTimeTimer = nullptr;
};

// The unit's player, or null without a unit; for whoever needs to drive
// its timer by hand.
MyPlayUnit* PlayUnit_Player();
