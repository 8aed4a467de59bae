#include "tests/engine/output/CardsForOutputs.h"

#include "app/devices/KLVDeviceController.h"
#include "app/devices/KLVScreenOutputs.h"
#include "engine/output/ssDVIOutput.h"

#include <gtest/gtest.h>

#include <QGuiApplication>

// Two virtual screens, read by the offscreen platform when the application starts.
static const bool kScreensConfigured = [] {
    setenv("QT_QPA_PLATFORM", "offscreen:configfile=" KLV_SCREEN_CONFIG, 1);
    return true;
}();

namespace {

QVariantMap deviceNamed(const QVariantList& devices, const QString& name)
{
    for (const QVariant& d : devices) {
        if (d.toMap().value("deviceName").toString() == name)
            return d.toMap();
    }
    return {};
}

} // namespace

TEST(DeviceRegistry, ListsCardsWithModesAndReportsTheModeZeroOwner)
{
    testsupport::VirtualCards cards(testsupport::kTwoCards);
    KLVDeviceController registry;
    const QVariantList devices = registry.outputDevices();
    ASSERT_EQ(devices.size(), 2);
    QVariantMap out = devices.at(0).toMap();
    EXPECT_EQ(out.value("deviceName").toString(), "Out A");
    const QVariantList modes = out.value("modes").toList();
    ASSERT_EQ(modes.size(), 4);
    EXPECT_EQ(modes.at(3).toMap().value("modeIndex").toInt(), 3);
    EXPECT_EQ(modes.at(3).toMap().value("modeName").toString(), "HD 720p 59.94");
    EXPECT_FALSE(out.contains("assigned"));
    ssBaseOutput* capture = registry.getDeviceByName("Capture B");
    ASSERT_NE(capture, nullptr);
    EXPECT_EQ(capture->Flags_, 2);
    EXPECT_EQ(registry.getDeviceByName("nothing"), nullptr);

    // One holder per mode: playback by channel 1, record input by channel 2.
    EXPECT_TRUE(registry.setOwner("Channel 2", "Out A", 1));
    EXPECT_TRUE(registry.setOwner("Channel 1", "Out A", 0));
    EXPECT_FALSE(registry.setOwner("Channel 3", "Out A", 0));
    EXPECT_EQ(registry.ownerForDeviceName("Out A", 0), "Channel 1");
    EXPECT_EQ(registry.ownerForDeviceName("Out A", 1), "Channel 2");
    EXPECT_TRUE(registry.ownerForDeviceName("Capture B", 0).isNull());
    EXPECT_EQ(KLVDeviceController::inUseMessage(registry.ownerForDeviceName("Out A", 0)),
              "Device already in use by: Channel 1");

    registry.rebuildOutputDevices();
    out = deviceNamed(registry.outputDevices(), "Out A");
    EXPECT_TRUE(out.value("assigned").toBool());
    EXPECT_EQ(out.value("ownerName").toString(), "Channel 1");
    EXPECT_EQ(out.value("deviceMode").toInt(), 0);
}

TEST(DeviceRegistry, ReleaseDropsTheOwnersEntriesAndAModeSwitchReclaims)
{
    KLVDeviceController registry;
    registry.setOwner("Channel 1", "Out A", 0);
    registry.setOwner("Channel 1", "Capture B", 1);
    registry.setOwner("Channel 2", "DVI (1)", 0);

    // Releasing one mode leaves the other.
    registry.setOwner("Channel 1", QString(), 1);
    EXPECT_TRUE(registry.ownerForDeviceName("Capture B", 1).isNull());
    EXPECT_EQ(registry.ownerForDeviceName("Out A", 0), "Channel 1");

    // Mode -1 releases everything the owner holds, nothing of others.
    registry.setOwner("Channel 1", "Capture B", 1);
    registry.setOwner("Channel 1", QString(), -1);
    EXPECT_TRUE(registry.ownerForDeviceName("Out A", 0).isNull());
    EXPECT_TRUE(registry.ownerForDeviceName("Capture B", 1).isNull());
    EXPECT_EQ(registry.ownerForDeviceName("DVI (1)", 0), "Channel 2");

    // A channel switching mode takes its device along; another channel may then play to it.
    registry.setOwner("Channel 1", "Out A", 0);
    EXPECT_TRUE(registry.setOwner("Channel 1", "Out A", 1));
    EXPECT_TRUE(registry.ownerForDeviceName("Out A", 0).isNull());
    EXPECT_EQ(registry.ownerForDeviceName("Out A", 1), "Channel 1");
    EXPECT_TRUE(registry.setOwner("Channel 3", "Out A", 0));
    // A channel holds one device per mode.
    EXPECT_TRUE(registry.setOwner("Channel 3", "DVI (2)", 0));
    EXPECT_TRUE(registry.ownerForDeviceName("Out A", 0).isNull());
    EXPECT_EQ(registry.devicesInUse().size(), 3);

    registry.removeAllDevices();
    EXPECT_TRUE(registry.devicesInUse().isEmpty());
}

TEST(DeviceRegistry, ScreensBecomeDviOutputsAndGiveTheirWindowsBack)
{
    ASSERT_EQ(QGuiApplication::screens().size(), 2);
    testsupport::VirtualCards cards(R"({"cards": []})");
    KLVScreenOutputs screens;
    screens.rebuild();
    ASSERT_EQ(screens.outputs().size(), 2u);
    const ssDVIOutput& first = *screens.outputs()[0];
    const ssDVIOutput& second = *screens.outputs()[1];
    EXPECT_STREQ(first.Name_, "DVI (1)");
    EXPECT_STREQ(second.Name_, "DVI (2)");
    EXPECT_EQ(first.Kind_, ssBaseOutput::kKindScreen);
    ASSERT_EQ(first.ModeCount_, 1);
    EXPECT_STREQ(first.Modes_[0].name, "1920x1080");
    EXPECT_STREQ(second.Modes_[0].name, "1280x720");
    EXPECT_EQ(second.Modes_[0].width, 1280);

    KLVDeviceController registry;
    std::vector<void*> released;
    registry.setWindowReleaser([&](void* window) { released.push_back(window); });
    registry.rebuildOutputDevices(); // no cards
    EXPECT_TRUE(registry.outputDevices().isEmpty());
    screens.registerWith(registry);
    ASSERT_EQ(registry.outputDevices().size(), 2);
    EXPECT_EQ(registry.outputDevices().at(1).toMap().value("modes").toList().at(0).toMap().value("modeName"),
              "1280x720");

    int windowA = 0, windowB = 0;
    screens.outputs()[0]->Window_ = &windowA;
    screens.outputs()[1]->Window_ = &windowB;
    registry.removeDevice("DVI (2)");
    EXPECT_EQ(released, std::vector<void*>{&windowB});
    EXPECT_EQ(screens.outputs()[1]->Window_, nullptr);
    ASSERT_EQ(registry.outputDevices().size(), 1);
    // A rebuild drops the screens and gives their windows back.
    registry.rebuildOutputDevices();
    EXPECT_EQ(released.size(), 2u);
    EXPECT_TRUE(registry.outputDevices().isEmpty());
}
