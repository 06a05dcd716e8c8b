// A tag write killed half-way, as a crash or a kill -9 leaves it: a child
// process starts the write and is killed the moment its working copy holds
// the song's bytes. For the tests of the tag layer and of the engine above
// it, which both see the tag layer's internals.
#pragma once

#include "src/tagwriter.h"
#include "tags.h"

#include <QString>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace killedwrite {

// Writes a title into song in a child that is killed with its copy made;
// true once the child stopped there and is gone.
inline bool killMidWrite(const QString& song)
{
    int ready[2];
    if (::pipe(ready) != 0)
        return false;
    const pid_t child = ::fork();
    if (child == 0) {
        SetCopyMadeHook([&](const QString&) {
            const char done = 'x';
            if (::write(ready[1], &done, 1) == 1)
                for (;;)
                    ::pause();
        });
        tagMusicTags info;
        info.strLocation = song;
        info.strName = QStringLiteral("Never");
        SetMusicInfo_tag(&info, TF_TITLE);
        ::_exit(1);
    }
    ::close(ready[1]);
    char done = 0;
    const bool stopped = child > 0 && ::read(ready[0], &done, 1) == 1;
    ::close(ready[0]);
    if (child > 0) {
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
    }
    return stopped;
}

} // namespace killedwrite
