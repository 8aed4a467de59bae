#pragma once
// The assembled program on the X display, as main() builds it: the real engines in contexts of
// the shared OpenGL root (their resources from the build folder), the media helper, screen
// output windows and the preview strip, launched over the document the test wrote. Prompts and
// file panels are fakes.

#include "app/gl/SharedContext.h"
#include "app/moviecontroller/KLVDecoderEngine.h"
#include "shell/KLVAppDelegate.h"
#include "shell/KLVDataFile.h"
#include "app/document/KLVPlaylist.h"
#include "app/document/KLVPlaylistNode.h"
#include "platform/gl/ssGLContext.h"
#include "tests/ui/support/FakePrompts.h"
#include "app/ports/KLVTimerSource.h"

#include <QDir>

#include <cstdlib>
#include <memory>
#include <string>

class DisplayShell {
public:
    // A four-channel document in `documents` whose channel 1 holds one cue of `clipPath`.
    // `behaviour` is the cue's end behaviour (0 stop, 1 loop).
    static void writeDocument(const QString& documents, const QString& cueName, const QString& clipPath,
                              std::int64_t behaviour = 0)
    {
        auto playlist = KLVPlaylist::createForNumberOfOutputs(4);
        auto node = KLVPlaylistNode::create();
        node->setPlnName(cueName);
        node->setPlnSourcePath(clipPath);
        node->setPlaybackBehavior(behaviour);
        playlist->channelForChannelNumber(1, true)->setPlaylistItems({node});
        QDir().mkpath(documents);
        KLVDataFile::serialize(*playlist, documents + QStringLiteral("/Kalvanto.klv3"));
    }

    DisplayShell()
    {
        SharedContext* shared = SharedContext::instance();
        const std::string build = std::getenv("KLV_BINARY_DIR");
        // The media helper draws the cues' thumbnails and slates.
        ::setenv("KLV_CLIPWRIGHT_PATH", (build + "/bin/Clipwright").c_str(), 1);
        KLVAppDelegate::Services services;
        services.prompter = &prompts_;
        services.filePicker = &picker_;
        services.timers = &KLVTimerSource::mainLoop();
        services.watchSleep = false;
        services.shareContext = shared ? shared->context() : nullptr;
        // The build folder holds the engines' Contents/Resources (test programs are not in <build>/bin).
        services.engineFactory = [build, shared](long) {
            return std::make_unique<KLVDecoderEngine>(build, shared ? shared->createEngineContext() : nullptr);
        };
        delegate_ = std::make_unique<KLVAppDelegate>(std::move(services));
        delegate_->applicationWillFinishLaunching();
        delegate_->applicationDidFinishLaunching();
    }

    ~DisplayShell()
    {
        delegate_->applicationWillTerminate();
        delegate_.reset();
    }

    DisplayShell(const DisplayShell&) = delete;
    DisplayShell& operator=(const DisplayShell&) = delete;

    KLVAppDelegate& app() const { return *delegate_; }
    testsupport::FakeFilePicker& picker() { return picker_; }

private:
    testsupport::FakePrompter prompts_;
    testsupport::FakeFilePicker picker_;
    std::unique_ptr<KLVAppDelegate> delegate_;
};
