#include "mediamovie.h"

#include <QFile>
#include <QFileInfo>

namespace player {

namespace {

MovieOpener& opener()
{
    static MovieOpener s_opener;
    return s_opener;
}

// The media framework would only say "not found" later and asynchronously;
// the preview wants a missing or unreadable file refused at once.
bool checkReadable(const QString& path, QString* error)
{
    const QFileInfo info(path);
    QString reason;
    if (path.isEmpty() || !info.exists())
        reason = QStringLiteral("file not found");
    else if (!info.isFile())
        reason = QStringLiteral("not a file");
    else {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            reason = file.errorString();
    }
    if (error)
        *error = reason;
    return reason.isEmpty();
}

} // namespace

std::unique_ptr<Movie> openMovie(const QString& path, QString* error)
{
    if (!checkReadable(path, error))
        return nullptr;
    if (opener())
        return opener()(path, error);
    return std::make_unique<MediaMovie>(path);
}

void setMovieOpener(MovieOpener fn)
{
    opener() = std::move(fn);
}

} // namespace player
