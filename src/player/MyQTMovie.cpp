#include "MyQTMovie.h"

#include "cadenzo.h"
#include "player.h"

#include <QTimer>
#include <QtDebug>

namespace {

constexpr int kProgressTickMs = 250;

// The movie may be the one whose signal is being delivered right now, so
// it goes away once control is back in the event loop.
void releaseMovie(std::unique_ptr<player::Movie>& movie)
{
    movie->disconnect();
    movie.release()->deleteLater();
}

} // namespace

MyPlayUnit::MyPlayUnit(PlayUnitCallBack fun, void* user)
    : m_playFun(fun)
    , m_pUserObj(user)
{
}

MyPlayUnit::~MyPlayUnit()
{
    if (m_pQTMovie)
        StopPlay();
}

void MyPlayUnit::ClearCallback()
{
    m_playFun = nullptr;
    m_pUserObj = nullptr;
}

int MyPlayUnit::SetMediaFile(const char* utf8Path)
{
    StopPlay();
    m_pMediaFile = QString::fromUtf8(utf8Path ? utf8Path : "");
    QString error;
    m_pQTMovie = player::openMovie(m_pMediaFile, &error);
    int result = -1;
    if (m_pQTMovie) {
        m_playState = PU_LOADING;
        connect(m_pQTMovie.get(), &player::Movie::loadStateChanged, this, &MyPlayUnit::movieLoadStateChanged);
        connect(m_pQTMovie.get(), &player::Movie::didEnd, this, &MyPlayUnit::movieDidEnd);
        result = 0;
    } else {
        qWarning("Create QTMovie failed, Err:%s", qPrintable(error));
    }
    m_movieDuration = 0.0;
    handleLoadStateChanged();
    updateSelectedMovieCurrentTime();
    return result;
}

int MyPlayUnit::StartPlay()
{
    if (!m_pQTMovie)
        return -1;
    m_pQTMovie->autoplay();
    return 0;
}

int MyPlayUnit::Pauseplay()
{
    if (!m_pQTMovie)
        return -1;
    m_pQTMovie->stop();
    return 0;
}

int MyPlayUnit::StopPlay()
{
    if (!m_pQTMovie)
        return -1;
    m_pQTMovie->stop();
    releaseMovie(m_pQTMovie);
    if (m_CheckMovieTimeTimer) {
        // A report from the timer's own tick may have led here.
        m_CheckMovieTimeTimer->stop();
        m_CheckMovieTimeTimer->deleteLater();
        m_CheckMovieTimeTimer = nullptr;
    }
    m_pMediaFile.clear();
    return 0;
}

int MyPlayUnit::SeekTo(unsigned int ms)
{
    if (!m_pQTMovie)
        return -1;
    if (m_playState < PU_PLAYABLE)
        return 0;
    m_pQTMovie->setCurrentTime(ms / 1000.0);
    return 0;
}

int MyPlayUnit::ChangeVloume(float volume)
{
    if (!m_pQTMovie)
        return -1;
    m_pQTMovie->setVolume(volume);
    return 0;
}

void MyPlayUnit::checkMovieTime()
{
    updateSelectedMovieCurrentTime();
}

void MyPlayUnit::movieLoadStateChanged()
{
    handleLoadStateChanged();
}

void MyPlayUnit::movieDidEnd()
{
    m_playState = PU_ENDED;
    StopPlay();
    report(PROGRESS_FULL);
}

void MyPlayUnit::handleLoadStateChanged()
{
    if (!m_pQTMovie)
        return;
    const long level = m_pQTMovie->loadState();
    if (level == player::LOAD_LOADING) {
        m_playState = PU_LOADING;
    } else if (level == player::LOAD_ERROR) {
        m_playState = PU_ERROR;
    } else if (level >= player::LOAD_LOADED) {
        m_movieDuration = m_pQTMovie->duration();
        m_pQTMovie->setCurrentTime(0.0);
        if (level > player::LOAD_LOADED)
            m_playState = PU_PLAYABLE;
        // The bare playable level starts no timer, play-through does, and
        // a complete load above it none: what the preview has always done.
        if (level > player::LOAD_PLAYABLE && level <= player::LOAD_THROUGH && !m_CheckMovieTimeTimer)
            startProgressTimer();
    }
    report(0);
}

void MyPlayUnit::updateSelectedMovieCurrentTime()
{
    if (!m_pQTMovie || m_movieDuration <= 0.0 || !m_playFun)
        return;
    const double share = m_pQTMovie->currentTime() / m_movieDuration;
    report(static_cast<unsigned int>(share * PROGRESS_FULL));
}

void MyPlayUnit::startProgressTimer()
{
    m_CheckMovieTimeTimer = new QTimer(this);
    m_CheckMovieTimeTimer->setInterval(kProgressTickMs);
    connect(m_CheckMovieTimeTimer, &QTimer::timeout, this, &MyPlayUnit::checkMovieTime);
    m_CheckMovieTimeTimer->start();
}

void MyPlayUnit::report(unsigned int progress)
{
    if (m_playFun)
        m_playFun(progress, static_cast<tagPlayUnitState>(m_playState), m_pUserObj);
}
