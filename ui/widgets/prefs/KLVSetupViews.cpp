#include "ui/widgets/prefs/KLVSetupViews.h"

#include "comm/core/QMSerialHardwareCommunicator.h"
#include "comm/core/QMTCPNetworkHardwareCommunicator.h"
#include "comm/showcontrol/dmx/QMDMXArtnetHardwareCommunicator.h"
#include "comm/showcontrol/midi/QMMIDIHardwareCommunicator.h"
#include "ui/widgets/comm/dmx/QMDMXArtnetConfigurationView.h"
#include "ui/widgets/comm/midi/QMCoreMIDIConfigurationView.h"
#include "ui/widgets/prefs/KLVNetworkSetupView.h"
#include "ui/widgets/prefs/KLVSerialSetupView.h"

#include <QWidget>

namespace KLVSetupViews {

void install()
{
    QMHardwareCommunicator::setSetupViewProvider([](QMHardwareCommunicator& communicator) -> QWidget* {
        QWidget* view = nullptr;
        if (auto* serial = dynamic_cast<QMSerialHardwareCommunicator*>(&communicator))
            view = new KLVSerialSetupView(*serial);
        else if (auto* artnet = dynamic_cast<QMDMXArtnetHardwareCommunicator*>(&communicator))
            view = new QMDMXArtnetConfigurationView(*artnet);
        else if (auto* midi = dynamic_cast<QMMIDIHardwareCommunicator*>(&communicator))
            view = new QMCoreMIDIConfigurationView(*midi);
        else if (auto* network = dynamic_cast<QMNetworkHardwareCommunicator*>(&communicator))
            view = new KLVNetworkSetupView(*network);
        // A view goes with its link at once: a refresh it still has queued must never reach a
        // link that is gone.
        if (view)
            QObject::connect(&communicator, &QObject::destroyed, view, [view] { delete view; });
        return view;
    });
}

} // namespace KLVSetupViews
