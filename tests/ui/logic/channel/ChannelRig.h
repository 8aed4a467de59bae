#pragma once
// Channels over fake engines, the in-memory document and the real device registry with screen
// and card outputs made up for the test.

#include "app/devices/KLVDeviceController.h"
#include "app/document/KLVPlaylistNode.h"
#include "engine/output/ssDVIOutput.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/support/TempFolder.h"
#include "tests/ui/support/FakeChannelDelegate.h"
#include "tests/ui/support/FakePlaybackEngine.h"
#include "ui/logic/channel/KLVChannelController.h"

#include <QFile>

#include <initializer_list>
#include <memory>
#include <vector>

namespace testsupport {

struct ChannelRig {
    TempFolder home;
    FakeChannelDelegate app;
    std::vector<std::unique_ptr<ssBaseOutput>> outputs;
    std::vector<std::unique_ptr<KLVChannelController>> channels;
    std::vector<FakePlaybackEngine*> engines;

    ChannelRig()
    {
        // Each test starts from empty user defaults of its own.
        platform::UserDefaults::setSharedFilePath(home.filePath(QStringLiteral("settings.conf")));
        KLVDeviceController::sharedController().removeAllDevices();
    }
    ~ChannelRig()
    {
        channels.clear();
        KLVDeviceController::sharedController().removeAllDevices();
    }

    // kind: ssBaseOutput::kKindScreen or kKindDeckLink.
    ssBaseOutput& addOutput(const char* name, std::initializer_list<const char*> modes,
                            int kind = ssBaseOutput::kKindScreen)
    {
        auto out = kind == ssBaseOutput::kKindScreen ? std::unique_ptr<ssBaseOutput>(new ssDVIOutput)
                                                     : std::make_unique<ssBaseOutput>();
        out->Kind_ = kind;
        out->SetName(name);
        for (const char* m : modes) {
            outputMode mode;
            ssCopyName(mode.name, sizeof mode.name, m);
            out->AddMode(mode);
        }
        KLVDeviceController::sharedController().addDevice(out.get());
        outputs.push_back(std::move(out));
        return *outputs.back();
    }

    KLVChannelController& add(long tag)
    {
        auto e = std::make_unique<FakePlaybackEngine>();
        engines.push_back(e.get());
        channels.push_back(std::make_unique<KLVChannelController>(app, tag, std::move(e)));
        app.controllers.append(channels.back().get());
        return *channels.back();
    }

    FakePlaybackEngine& engine(long tag) { return *engines.at(size_t(tag - 1)); }

    // A cue over a real (empty) file, or a missing one.
    std::shared_ptr<KLVPlaylistNode> cue(const QString& name, long behaviour = 0, bool exists = true)
    {
        auto node = KLVPlaylistNode::create();
        node->setPlnName(name);
        const QString path = home.filePath(name + QStringLiteral(".mov"));
        if (exists) {
            QFile f(path);
            f.open(QIODevice::WriteOnly);
        }
        node->setPlnSourcePath(path);
        node->setPlaybackBehavior(behaviour);
        node->setFps(25);
        return node;
    }
};

} // namespace testsupport
