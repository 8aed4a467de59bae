#pragma once
// Moving through the timeline, the slides, the playlist and the media; no parameters.
class QMNavigationInterpreting {
public:
    virtual ~QMNavigationInterpreting() = default;

    virtual bool interpretTimelinePlay() { return false; }
    virtual bool interpretTimelinePause() { return false; }
    virtual bool interpretTimelineReset() { return false; }

    virtual bool interpretSlideNext() { return false; }
    virtual bool interpretSlidePrevious() { return false; }

    virtual bool interpretPlaylistItemNext() { return false; }
    virtual bool interpretPlaylistItemPrevious() { return false; }

    virtual bool interpretMediaNext() { return false; }
    virtual bool interpretMediaPrevious() { return false; }
};
