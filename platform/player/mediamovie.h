// The Qt Multimedia movie: a QMediaPlayer with its own QAudioOutput.
#pragma once

#include "player.h"

#include <QMediaPlayer>

class QAudioOutput;

namespace player {

class MediaMovie : public Movie
{
    Q_OBJECT
public:
    explicit MediaMovie(const QString& path);
    ~MediaMovie() override;

    long loadState() const override;
    double duration() const override;
    double currentTime() const override;
    void setCurrentTime(double seconds) override;
    void autoplay() override;
    void stop() override;
    void setVolume(float volume) override;

private:
    void onStatus(QMediaPlayer::MediaStatus status);
    void onDuration(qint64 ms);
    void onError(QMediaPlayer::Error error, const QString& text);
    void reportLevel(long level);
    bool mediaReady() const;

    QMediaPlayer m_player;
    QAudioOutput* m_pOutput = nullptr;
    long m_lLevel = LOAD_LOADING;
};

} // namespace player
