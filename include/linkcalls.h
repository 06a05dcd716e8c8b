// The few engine-bridge calls the widgets make. CMusicLink implements these
// interfaces, so a CMusicLink* passes straight in; tests pass doubles.
#pragma once

// The artwork chooser's one request: candidate index is the track's artwork.
class CArtworkChoiceCalls
{
public:
    virtual ~CArtworkChoiceCalls() = default;
    // The engine's result (MMSetDowndArtworkForItem).
    virtual int SetArtworkList(void* track, int index) = 0;
};

// The preferences' one request: hand the saved proxy settings to the engine.
class CProxyCalls
{
public:
    virtual ~CProxyCalls() = default;
    virtual void SetNetworkProxy() = 0;
};
