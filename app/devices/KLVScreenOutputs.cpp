#include "app/devices/KLVScreenOutputs.h"

#include "app/devices/KLVDeviceController.h"
#include "engine/output/ssDVIOutput.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>

void KLVScreenOutputs::rebuild()
{
    for (auto& output : outputs_)
        retired_.push_back(std::move(output));
    outputs_.clear();
    int n = 0;
    for (QScreen* screen : QGuiApplication::screens()) {
        auto output = std::make_unique<ssDVIOutput>();
        output->Kind_ = ssBaseOutput::kKindScreen;
        output->SetName(QStringLiteral("DVI (%1)").arg(++n).toUtf8().constData());
        const QRect geometry = screen->geometry();
        const qreal ratio = screen->devicePixelRatio();
        outputMode mode;
        mode.width = int32_t(std::lround(geometry.width() * ratio));
        mode.height = int32_t(std::lround(geometry.height() * ratio));
        mode.frameRate = float(screen->refreshRate());
        ssCopyName(mode.name, int32_t(sizeof mode.name),
                   QStringLiteral("%1x%2").arg(mode.width).arg(mode.height).toUtf8().constData());
        output->AddMode(mode);
        outputs_.push_back(std::move(output));
    }
}

void KLVScreenOutputs::registerWith(KLVDeviceController& registry)
{
    for (auto& output : outputs_)
        registry.addDevice(output.get());
}
