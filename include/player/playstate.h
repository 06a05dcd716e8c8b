// What a preview button or a previewed row shows of the one preview player.
#pragma once

enum tagPlayState {
    PS_PLAYING = 0,
    PS_PAUSED = 1,  // the artwork label only; rows stop instead
    PS_STOPPED = 2,
};
typedef tagPlayState TPlayState;
