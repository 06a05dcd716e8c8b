#include "mediamovie.h"

#include <QAudioOutput>
#include <QUrl>

namespace player {

MediaMovie::MediaMovie(const QString& path)
    : m_pOutput(new QAudioOutput(this))
{
    m_player.setAudioOutput(m_pOutput);
    connect(&m_player, &QMediaPlayer::mediaStatusChanged, this, &MediaMovie::onStatus);
    connect(&m_player, &QMediaPlayer::durationChanged, this, &MediaMovie::onDuration);
    connect(&m_player, &QMediaPlayer::errorOccurred, this, &MediaMovie::onError);
    // Setting the source prerolls the file, so the load level starts moving
    // before anyone presses play, as the preview expects.
    m_player.setSource(QUrl::fromLocalFile(path));
}

MediaMovie::~MediaMovie()
{
    m_player.disconnect(this);
    m_player.stop();
}

long MediaMovie::loadState() const { return m_lLevel; }

double MediaMovie::duration() const
{
    return m_player.duration() > 0 ? m_player.duration() / 1000.0 : 0.0;
}

double MediaMovie::currentTime() const { return m_player.position() / 1000.0; }

void MediaMovie::setCurrentTime(double seconds)
{
    m_player.setPosition(qint64(seconds * 1000.0));
}

void MediaMovie::autoplay() { m_player.play(); }

void MediaMovie::stop() { m_player.pause(); }

void MediaMovie::setVolume(float volume) { m_pOutput->setVolume(volume); }

bool MediaMovie::mediaReady() const
{
    switch (m_player.mediaStatus()) {
    case QMediaPlayer::LoadedMedia:
    case QMediaPlayer::BufferingMedia:
    case QMediaPlayer::BufferedMedia:
        return true;
    default:
        return false;
    }
}

void MediaMovie::onStatus(QMediaPlayer::MediaStatus status)
{
    if (status == QMediaPlayer::InvalidMedia) {
        reportLevel(LOAD_ERROR);
        return;
    }
    if (status == QMediaPlayer::EndOfMedia) {
        emit didEnd();
        return;
    }
    // A local file plays through once it is loaded. The level is reported
    // only when the duration is known too: the preview reads the duration
    // at that moment, and a later duration would leave it without progress.
    if (mediaReady() && m_player.duration() > 0)
        reportLevel(LOAD_THROUGH);
}

void MediaMovie::onDuration(qint64 ms)
{
    if (ms > 0 && mediaReady())
        reportLevel(LOAD_THROUGH);
}

void MediaMovie::onError(QMediaPlayer::Error error, const QString&)
{
    if (error != QMediaPlayer::NoError)
        reportLevel(LOAD_ERROR);
}

void MediaMovie::reportLevel(long level)
{
    // Buffering during playback must not look like a new load: each new
    // level rewinds the preview.
    if (level == m_lLevel || m_lLevel == LOAD_ERROR)
        return;
    m_lLevel = level;
    emit loadStateChanged();
}

} // namespace player
