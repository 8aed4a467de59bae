#include "shell/KLVOutputScreens.h"

#include "app/devices/KLVDeviceController.h"
#include "app/devices/KLVOutputWindow.h"
#include "engine/output/ssDVIOutput.h"
#include "shell/KLVChannelLayout.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>

KLVOutputScreens::KLVOutputScreens(KLVDeviceController& registry, QOpenGLContext* shareContext)
    : registry_(registry), shareContext_(shareContext)
{
    registry_.setWindowReleaser(&KLVOutputWindow::release);
}


KLVOutputScreens::~KLVOutputScreens()
{
    tearDownDVIScreens();
}

QString KLVOutputScreens::outputName(int i) const
{
    return QStringLiteral("DVI (%1)").arg(i + 1);
}

ssDVIOutput* KLVOutputScreens::makeOutput(const QString& name, int width, int height, float rate)
{
    auto output = std::make_unique<ssDVIOutput>();
    output->Kind_ = ssBaseOutput::kKindScreen;
    output->SetName(name.toUtf8().constData());
    outputMode mode;
    mode.width = width;
    mode.height = height;
    mode.frameRate = rate;
    ssCopyName(mode.name, int32_t(sizeof mode.name), QStringLiteral("%1x%2").arg(width).arg(height).toUtf8().constData());
    output->AddMode(mode);
    ssDVIOutput* raw = output.get();
    outputs_.push_back(std::move(output));
    registry_.addDevice(raw);
    raw->SetSize(width, height);
    return raw;
}

void KLVOutputScreens::configureStandardOutput()
{
    tearDownDVIScreens();
    registry_.rebuildOutputDevices();
    quad_ = false;
    const QList<QScreen*> screens = QGuiApplication::screens();
    const int count = KLVChannelLayout::outputWindowCount(int(screens.size()));
    for (int i = 0; i < count; ++i) {
        QScreen* screen = screens.at(i);
        const qreal ratio = screen->devicePixelRatio();
        const QRect geometry = screen->geometry();
        ssDVIOutput* output = makeOutput(outputName(i), int(std::lround(geometry.width() * ratio)),
                                         int(std::lround(geometry.height() * ratio)), float(screen->refreshRate()));
        auto* window = new KLVOutputWindow(output, screen, shareContext_);
        output->Window_ = window; // released by the registry with its output
        window->startRendering();
        entries_.push_back({output, window, screen, i + 1});
    }
}

void KLVOutputScreens::configureQuadTestOutput(QScreen* mainWindowScreen)
{
    tearDownDVIScreens();
    const QList<QScreen*> screens = QGuiApplication::screens();
    std::vector<bool> holdsMain;
    for (QScreen* screen : screens)
        holdsMain.push_back(screen == mainWindowScreen);
    const KLVChannelLayout::QuadTarget target = KLVChannelLayout::quadTarget(int(screens.size()), holdsMain);
    if (target.screenIndex < 0)
        return;
    quad_ = true;
    QScreen* screen = screens.at(target.screenIndex);
    const QRect geometry = screen->geometry();
    const std::vector<QRect> quadrants = KLVChannelLayout::quadrantRects(geometry);
    for (int j = 0; j < 4; ++j) {
        // Every quadrant's output keeps the whole screen's mode: what a real screen would take.
        ssDVIOutput* output = makeOutput(outputName(j), geometry.width(), geometry.height(), float(screen->refreshRate()));
        auto window = std::make_unique<KLVOutputWindow>(output, screen, shareContext_);
        window->setGeometry(quadrants[size_t(j)]);
        window->startRendering();
        entries_.push_back({output, window.get(), screen, target.headIndex});
        quadWindows_.push_back(std::move(window));
    }
}

void KLVOutputScreens::tearDownDVIScreens()
{
    for (Entry& entry : entries_) {
        if (entry.window) {
            entry.window->stopRendering();
            entry.window->hide();
        }
        // Removing the output releases a standard window (its Window_) through the registry.
        registry_.removeDevice(QString::fromUtf8(entry.output->Name_));
    }
    entries_.clear();
    quadWindows_.clear();
    if (stopOutputDevices_)
        stopOutputDevices_();
    registry_.removeAllDevices();
}

void KLVOutputScreens::showQuadWindows(bool show)
{
    if (!quad_)
        return;
    for (Entry& entry : entries_) {
        if (!entry.window)
            continue;
        if (show) {
            entry.window->setOpacity(1.0);
            entry.window->show();
            entry.window->raise();
        } else {
            entry.window->hide();
        }
    }
}

void KLVOutputScreens::screenRemoved(QScreen* screen)
{
    for (Entry& entry : entries_) {
        if (entry.screen != screen || !entry.window)
            continue;
        entry.window->stopRendering();
        entry.window->hide();
        entry.screen = nullptr;
        if (quad_)
            continue; // quad windows stay ours; they are hidden and not shown again below
        registry_.removeDevice(QString::fromUtf8(entry.output->Name_));
        entry.window = nullptr; // released with its output
    }
    if (quad_) {
        bool anyLeft = false;
        for (const Entry& entry : entries_)
            anyLeft = anyLeft || entry.screen;
        if (!anyLeft)
            quad_ = false; // nothing left to show: showQuadWindows does nothing
    }
}
