// A channel column shown in a window, its transport driving the real engine on a fixture clip.
#include "app/devices/KLVDeviceController.h"
#include "app/document/KLVPlaylistNode.h"
#include "app/moviecontroller/KLVDecoderEngine.h"
#include "app/moviecontroller/KLVMovieController.h"
#include "engine/decoder/ssMediaDecoder3.h"
#include "engine/output/ssDVIOutput.h"
#include "platform/gl/ssGLContext.h"
#include "platform/audio/AudioOutputHub.h"
#include "platform/foundation/UserDefaults.h"
#include "resources/strings/KLVLocalized.h"
#include "tests/support/MediaFiles.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WaitUntil.h"
#include "tests/ui/support/FakeChannelDelegate.h"
#include "ui/logic/channel/KLVChannelController.h"
#include "ui/logic/channel/KLVChannelOutput.h"
#include "ui/logic/channel/KLVChannelTransport.h"
#include "ui/widgets/channel/KLVChannelColumn.h"
#include "ui/widgets/channel/KLVChannelConfigPopover.h"
#include "ui/widgets/common/KLVTimeCodeTextField.h"
#include "ui/widgets/common/QMProgressView.h"

#include <QAccessible>
#include <QButtonGroup>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>

using namespace testsupport;

namespace {

// Settings in a folder of the test's own, no sound card, and one 1080p screen as the only device.
struct ScreenRig {
    TempFolder home;
    ssDVIOutput screen;

    ScreenRig()
    {
        platform::UserDefaults::setSharedFilePath(home.filePath(QStringLiteral("settings.conf")));
        platform::AudioOutputHub::shared().selectBackend(platform::AudioOutputHub::Backend::Null);
        auto& registry = KLVDeviceController::sharedController();
        registry.removeAllDevices();
        screen.Kind_ = ssBaseOutput::kKindScreen;
        screen.SetName("DVI (1)");
        outputMode mode;
        ssCopyName(mode.name, sizeof mode.name, "1920x1080");
        mode.width = 1920;
        mode.height = 1080;
        mode.frameRate = 60;
        screen.AddMode(mode);
        registry.addDevice(&screen);
    }
};

} // namespace

TEST(ChannelColumn, PlaysAFixtureClipThroughTheRealEngine)
{
    ScreenRig rig;
    auto& registry = KLVDeviceController::sharedController();

    FakeChannelDelegate app;
    auto node = KLVPlaylistNode::create();
    node->setPlnName(QStringLiteral("clip"));
    node->setPlnSourcePath(mediaPath("h264_2997_aac"));
    node->setFps(29.97);
    node->setInPoint(0);
    node->setOutPoint(2.0);
    app.playlistDataForChannelNumber(1)->setPlaylistItems({node});
    const char* build = std::getenv("KLV_BINARY_DIR");
    {
        KLVChannelController channel(app, 1, std::make_unique<KLVDecoderEngine>(build ? build : ".", nullptr));
        app.controllers.append(&channel);
        channel.setupInitialUI();
        ASSERT_TRUE(channel.output().deviceEnabled());

        KLVChannelColumn column(channel);
        column.resize(420, 520);
        column.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&column));
        EXPECT_EQ(column.componentModeLabel()->text(), QStringLiteral("DVI (1) - 1920x1080"));
        EXPECT_EQ(column.linkMenu()->count(), 2);

        channel.transport().loadNode(node, false);
        KLVPlaybackEngine* engine = channel.movie().movie();
        ASSERT_TRUE(waitUntil([&] { return engine->IsFileOpen(); })); // opened off this thread
        ASSERT_TRUE(waitUntil([&] { return engine->BuffersReady(); }));
        EXPECT_NEAR(column.progressBar()->outValue(), 2.0, 0.05);

        // The screen's display link: frames are taken for output at 60 Hz.
        std::atomic<bool> presenting{true};
        std::thread displayLink([&] {
            int32_t w, h, dw, dh, state;
            while (presenting.load()) {
                engine->decoder()->GetFrameForOutput(&w, &h, &dw, &dh, &state);
                std::this_thread::sleep_for(std::chrono::milliseconds(16));
            }
        });
        struct Join {
            std::atomic<bool>& flag;
            std::thread& thread;
            ~Join()
            {
                flag.store(false);
                thread.join();
            }
        } join{presenting, displayLink};

        // The jump field seeks to a position in the file.
        column.openJumpToTime();
        ASSERT_TRUE(column.jumpToTimePopup()->isVisible());
        column.jumpToTimeField()->setText(QStringLiteral("1;00"));
        QTest::keyClick(column.jumpToTimeField(), Qt::Key_Return);
        EXPECT_FALSE(column.jumpToTimePopup()->isVisible());
        // 1;00 names frame 30 of the 29.97 clip, which starts at 1.001 s.
        EXPECT_NEAR(column.progressBar()->doubleValue(), 30 * 1001.0 / 30000.0, 1e-9);

        // Play waits (on the 0.1 s poll) for the buffers the jump emptied.
        QTest::mouseClick(column.playButton(), Qt::LeftButton);
        EXPECT_TRUE(waitUntil([&] {
            app.clock.advance(100);
            return channel.isPlaying();
        }));
        EXPECT_TRUE(column.playButton()->isChecked());
        ASSERT_TRUE(waitUntil([&] { return engine->GetCurrentTime() > 1.3; }));
        app.clock.advance(100); // the progress updater's tick
        EXPECT_GT(column.progressBar()->doubleValue(), 1.3);
        EXPECT_NE(column.timeIn()->text(), QStringLiteral("00:00:00:00"));

        // The remote STOP's path, through the stop button.
        QTest::mouseClick(column.stopButton(), Qt::LeftButton);
        EXPECT_FALSE(channel.isPlaying());
        EXPECT_FALSE(column.playButton()->isChecked());
        EXPECT_TRUE(channel.controlButtonsEnabled());

        // Unloaded, as when its cue is deleted: no position and no time left of a cue it no
        // longer holds.
        app.clock.advance(100);
        ASSERT_NE(column.timeOut()->text(), QStringLiteral("00:00:00;00"));
        channel.transport().loadNode(nullptr, false);
        EXPECT_TRUE(waitUntil([&] { return !engine->IsFileOpen(); }));
        app.clock.advance(100);
        EXPECT_EQ(column.timeIn()->text(), QStringLiteral("00:00:00;00"));
        EXPECT_EQ(column.timeOut()->text(), QStringLiteral("00:00:00;00"));
        EXPECT_EQ(column.progressBar()->doubleValue(), 0.0);
        EXPECT_EQ(column.progressBar()->outValue(), 0.0);

        // The configuration popover lists the screen.
        column.editChannelConfiguration();
        KLVChannelConfigPopover* popover = column.configurationPopover();
        ASSERT_TRUE(popover->isVisible());
        EXPECT_TRUE(popover->windowFlags().testFlag(Qt::Popup));
        EXPECT_EQ(popover->deviceMenu()->currentText(), QStringLiteral("DVI (1)"));
        EXPECT_EQ(popover->audioOutputGroup()->checkedId(), 0);
        popover->hide();
        app.controllers.clear();
    }
    registry.removeAllDevices();
}

TEST(ChannelColumn, ANameStillBeingTypedWhenTheColumnGoesIsSaved)
{
    TempFolder home;
    platform::UserDefaults::setSharedFilePath(home.filePath(QStringLiteral("settings.conf")));
    platform::AudioOutputHub::shared().selectBackend(platform::AudioOutputHub::Backend::Null);
    FakeChannelDelegate app;
    const char* build = std::getenv("KLV_BINARY_DIR");
    KLVChannelController channel(app, 1, std::make_unique<KLVDecoderEngine>(build ? build : ".", nullptr));
    app.controllers.append(&channel);
    {
        // The window goes with the name field focused: the field finishes editing while the
        // column is already being destroyed.
        KLVChannelColumn column(channel);
        column.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&column));
        QLineEdit* field = nullptr;
        for (QLineEdit* edit : column.findChildren<QLineEdit*>())
            if (edit->placeholderText() == QStringLiteral("Channel 1"))
                field = edit;
        ASSERT_NE(field, nullptr);
        column.activateWindow();
        field->setFocus();
        ASSERT_TRUE(waitUntil([&] { return field->hasFocus(); }));
        QTest::keyClicks(field, QStringLiteral("Studio A"));
    }
    EXPECT_EQ(channel.channelName(), QStringLiteral("Studio A"));
}

namespace {

// Presses a control as an assistive technology does, through its accessible action.
bool doAccessibleAction(QWidget* control, const QString& action)
{
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(control);
    QAccessibleActionInterface* actions = face ? face->actionInterface() : nullptr;
    if (!actions || !actions->actionNames().contains(action))
        return false;
    actions->doAction(action);
    return true;
}

// The control whose accessible name is the localized text of the key.
QPushButton* controlNamed(QWidget& window, const char* key)
{
    for (QPushButton* b : window.findChildren<QPushButton*>()) {
        if (b->accessibleName() == KLVLocalized::text(key))
            return b;
    }
    return nullptr;
}

} // namespace

TEST(ChannelColumn, EveryTransportButtonCanBePressedThroughTheAccessibilityInterface)
{
    ScreenRig rig;
    auto& registry = KLVDeviceController::sharedController();

    FakeChannelDelegate app;
    std::vector<std::shared_ptr<KLVPlaylistNode>> nodes;
    for (const char* name : {"first", "second"}) {
        auto node = KLVPlaylistNode::create();
        node->setPlnName(QString::fromLatin1(name));
        node->setPlnSourcePath(mediaPath("h264_2997_aac"));
        node->setFps(29.97);
        node->setInPoint(0);
        node->setOutPoint(2.0);
        nodes.push_back(node);
    }
    app.playlistDataForChannelNumber(1)->setPlaylistItems({nodes[0], nodes[1]});
    const char* build = std::getenv("KLV_BINARY_DIR");
    {
        KLVChannelController channel(app, 1, std::make_unique<KLVDecoderEngine>(build ? build : ".", nullptr));
        app.controllers.append(&channel);
        channel.setupInitialUI();
        KLVChannelColumn column(channel);
        column.resize(420, 520);
        column.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&column));
        channel.transport().loadNode(nodes[0], false);
        KLVPlaybackEngine* engine = channel.movie().movie();
        ASSERT_TRUE(waitUntil([&] { return engine->IsFileOpen() && engine->BuffersReady(); }));

        std::atomic<bool> presenting{true};
        std::thread displayLink([&] {
            int32_t w, h, dw, dh, state;
            while (presenting.load()) {
                engine->decoder()->GetFrameForOutput(&w, &h, &dw, &dh, &state);
                std::this_thread::sleep_for(std::chrono::milliseconds(16));
            }
        });
        struct Join {
            std::atomic<bool>& flag;
            std::thread& thread;
            ~Join()
            {
                flag.store(false);
                thread.join();
            }
        } join{presenting, displayLink};
        const auto playing = [&] {
            return waitUntil([&] {
                app.clock.advance(100); // the start waits on the 0.1 s poll for its buffers
                return channel.isPlaying();
            });
        };

        QPushButton* play = controlNamed(column, "QM_PLAY");
        QPushButton* pause = controlNamed(column, "QM_PAUSE");
        QPushButton* stop = controlNamed(column, "QM_STOP");
        QPushButton* stepBack = controlNamed(column, "QM_REWIND");
        QPushButton* stepForward = controlNamed(column, "QM_FAST_FORWARD");
        QPushButton* toStart = controlNamed(column, "QM_GO_TO_START");
        QPushButton* next = controlNamed(column, "QM_NEXT_CUE");
        QPushButton* jump = controlNamed(column, "QM_JUMP_TO_TIME");
        for (QPushButton* b : {play, pause, stop, stepBack, stepForward, toStart, next, jump})
            ASSERT_NE(b, nullptr);

        // Play shows the playing state, so it is offered as a toggle; pressing it and toggling
        // it both start the channel, as a click does.
        ASSERT_TRUE(doAccessibleAction(play, QAccessibleActionInterface::toggleAction()));
        EXPECT_TRUE(playing());
        EXPECT_TRUE(play->isChecked());
        ASSERT_TRUE(doAccessibleAction(pause, QAccessibleActionInterface::pressAction()));
        EXPECT_TRUE(waitUntil([&] { return !channel.isPlaying(); }));
        EXPECT_FALSE(play->isChecked());
        // The same control's press action.
        QAccessible::queryAccessibleInterface(play)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        EXPECT_TRUE(playing());
        ASSERT_TRUE(doAccessibleAction(stop, QAccessibleActionInterface::pressAction()));
        EXPECT_TRUE(waitUntil([&] { return !channel.isPlaying(); }));
        EXPECT_FALSE(play->isChecked());

        // The step buttons, which act on a mouse press, step one frame when pressed so.
        ASSERT_TRUE(doAccessibleAction(toStart, QAccessibleActionInterface::pressAction()));
        ASSERT_TRUE(waitUntil([&] { return engine->GetCurrentTime() < 0.01; }));
        ASSERT_TRUE(doAccessibleAction(stepForward, QAccessibleActionInterface::pressAction()));
        ASSERT_TRUE(waitUntil([&] { return engine->GetCurrentTime() > 0.01; })) << engine->GetCurrentTime();
        const double stepped = engine->GetCurrentTime();
        EXPECT_NEAR(stepped, 1001.0 / 30000.0, 1e-3);
        ASSERT_TRUE(doAccessibleAction(stepBack, QAccessibleActionInterface::pressAction()));
        EXPECT_TRUE(waitUntil([&] { return engine->GetCurrentTime() < stepped - 0.01; })) << engine->GetCurrentTime();
        // And from the keyboard.
        QTest::keyClick(stepForward, Qt::Key_Space);
        EXPECT_TRUE(waitUntil([&] { return engine->GetCurrentTime() > 0.01; })) << engine->GetCurrentTime();

        ASSERT_TRUE(doAccessibleAction(jump, QAccessibleActionInterface::pressAction()));
        EXPECT_TRUE(waitUntil([&] { return column.jumpToTimePopup()->isVisible(); }));
        column.jumpToTimePopup()->hide();
        ASSERT_TRUE(doAccessibleAction(next, QAccessibleActionInterface::pressAction()));
        EXPECT_TRUE(waitUntil([&] { return channel.currentPlaylistNode() == nodes[1]; }));
        app.controllers.clear();
    }
    registry.removeAllDevices();
}
