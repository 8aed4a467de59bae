#pragma once
// What a movie controller asks of its owner (the channel controller, or the cue inspector).

class KLVMovieControllerDelegate {
public:
    virtual ~KLVMovieControllerDelegate() = default;
    virtual long tag() const = 0;
    virtual void endpointReached() = 0;
    virtual bool isMaster() const = 0;
    virtual void seekToSeconds(double seconds, int scrubMode) = 0;
    virtual void pauseForSeek() = 0;
    virtual void playFromSeek() = 0;
    virtual void setHasReference(bool hasReference) = 0;
    virtual bool showSlate() const = 0;
    // A load asked for has finished (opened or failed), on the main thread.
    virtual void movieDidLoad() {}
};
