#pragma once
// Clearing a layer of the output; these commands carry no parameters.
class QMClearInterpreting {
public:
    virtual ~QMClearInterpreting() = default;

    virtual bool interpretClearAll() { return false; }
    virtual bool interpretClearBackground() { return false; }
    virtual bool interpretClearSlide() { return false; }
    virtual bool interpretClearProps() { return false; }
    virtual bool interpretClearAudio() { return false; }
    virtual bool interpretClearLogo() { return false; }
};
