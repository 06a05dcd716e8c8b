// The preview player's view of a media framework: one movie opened from a
// local file, its load level, duration, position, play, pause in place,
// volume, and notices when the load level changes and when playback ends.
// GUI thread only; the notices arrive on the GUI thread's event loop.
#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace player {

// Load levels a movie reports; anything not listed means "no news".
enum LoadLevel : long {
    LOAD_ERROR = -1,         // the file cannot be decoded
    LOAD_LOADING = 1000,     // opened, still reading
    LOAD_LOADED = 2000,      // duration known, not yet playable
    LOAD_PLAYABLE = 10000,   // can start playing
    LOAD_THROUGH = 20000,    // can play to the end without stalling
};

class Movie : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~Movie() override = default;

    virtual long loadState() const = 0;
    virtual double duration() const = 0;     // seconds; 0 while unknown
    virtual double currentTime() const = 0;  // seconds
    virtual void setCurrentTime(double seconds) = 0;
    virtual void autoplay() = 0;             // plays as soon as it can, from the position
    virtual void stop() = 0;                 // stops in place; the position stays
    virtual void setVolume(float volume) = 0;

signals:
    void loadStateChanged();
    void didEnd();
};

// Opens a movie for playback; null, with a reason in *error, when the file
// is missing, not a file or not readable. Decoding problems come later as
// LOAD_ERROR.
std::unique_ptr<Movie> openMovie(const QString& path, QString* error);

// Replaces how a readable file becomes a movie (tests put a scripted movie
// here); an empty function restores Qt Multimedia.
using MovieOpener = std::function<std::unique_ptr<Movie>(const QString& path, QString* error)>;
void setMovieOpener(MovieOpener opener);

} // namespace player
