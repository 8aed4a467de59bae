#pragma once
// The output windows: one per attached screen (at most 16), or in quad test mode four on one
// screen in its quadrants. Each is a frameless, stay-on-top window with its own render thread
// (KLVOutputWindow) drawing a screen output registered with the device registry as "DVI (n)".
// Windows are made hidden, their render threads running from the start (a hidden window still
// presents its engine's frames); channels show a screen output's window when their output is
// enabled, quad mode's windows are shown here. GUI thread.

#include <QList>
#include <QRect>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class KLVDeviceController;
class KLVOutputWindow;
class QOpenGLContext;
class QScreen;
class ssDVIOutput;

class KLVOutputScreens {
public:
    // shareContext: the root of the application's GL share group (may be null).
    KLVOutputScreens(KLVDeviceController& registry, QOpenGLContext* shareContext);
    ~KLVOutputScreens();
    KLVOutputScreens(const KLVOutputScreens&) = delete;
    KLVOutputScreens& operator=(const KLVOutputScreens&) = delete;

    // Told after the windows are gone and before the registry is emptied (channels stop their
    // output devices).
    void setStopOutputDevices(std::function<void()> stop) { stopOutputDevices_ = std::move(stop); }

    // One hidden window per screen, in the screens' order (the card list is enumerated again).
    void configureStandardOutput();
    // Four hidden windows on the last screen that does not hold the main window.
    void configureQuadTestOutput(QScreen* mainWindowScreen);
    void tearDownDVIScreens();

    int numDVIOutputs() const { return int(entries_.size()); }
    bool isQuad() const { return quad_; }
    // The screen's index each window draws for (quad mode: the head index of its screen).
    int headIndex(int i) const { return entries_.at(size_t(i)).headIndex; }
    KLVOutputWindow* window(int i) const { return entries_.at(size_t(i)).window; }
    ssDVIOutput* output(int i) const { return entries_.at(size_t(i)).output; }
    // "DVI (n)" of the i-th window.
    QString outputName(int i) const;

    // Quad mode: shows (alpha 1, in front) or hides the four windows.
    void showQuadWindows(bool show);
    // A screen went away: its window stops drawing and is hidden, and its output leaves the
    // registry, so no channel can show it again (Qt would move it onto a remaining screen and
    // cover that screen's own output).
    void screenRemoved(QScreen* screen);

private:
    struct Entry {
        ssDVIOutput* output = nullptr;
        KLVOutputWindow* window = nullptr;
        QScreen* screen = nullptr;
        int headIndex = 0;
    };
    ssDVIOutput* makeOutput(const QString& name, int width, int height, float rate);

    KLVDeviceController& registry_;
    QOpenGLContext* shareContext_;
    std::function<void()> stopOutputDevices_;
    std::vector<Entry> entries_;
    // Quad windows are ours; standard windows belong to their output (the registry releases them).
    std::vector<std::unique_ptr<KLVOutputWindow>> quadWindows_;
    // Outputs are never deleted while the process runs: channels may still hold them.
    std::vector<std::unique_ptr<ssDVIOutput>> outputs_;
    bool quad_ = false;
};
