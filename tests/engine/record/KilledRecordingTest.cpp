#include "tests/engine/record/MovieFile.h"
#include "tests/support/MediaFiles.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>

#include <csignal>
#include <cstdio>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace testsupport;

extern char** environ;

// A recording whose process dies before Finish keeps every frame it wrote: the movie atom was
// written for the longest recording at the start, and each frame went to its own place.
TEST(ssMovieWriter, AFileCutOffByAKilledProcessDecodesEveryFrameWritten)
{
    TempFolder folder;
    const std::string path = QDir(folder.path()).filePath("killed.mov").toStdString();
    constexpr int kFrames = 37;
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const std::string frames = std::to_string(kFrames);
    char* argv[] = {const_cast<char*>(KLV_RECORD_HELPER_PATH), const_cast<char*>(path.c_str()),
                    const_cast<char*>(frames.c_str()), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, KLV_RECORD_HELPER_PATH, &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    // The helper logs before it is ready; read until its "ready" line.
    std::string said;
    char c = 0;
    while (said.find("ready\n") == std::string::npos && read(out[0], &c, 1) == 1)
        said += c;
    close(out[0]);
    ASSERT_NE(said.find("ready\n"), std::string::npos) << said;
    ASSERT_EQ(kill(pid, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status));

    MovieFile m(path);
    ASSERT_EQ(m.top.children.size(), 3u);
    EXPECT_EQ(m.top.children[2].type, "mdat");
    // The tables still describe the whole minute the recording was opened for.
    EXPECT_EQ(m.chunkOffsets(m.track("vide")).size(), 1500u);

    // ffmpeg decodes the frames that are there (it complains about the missing rest).
    const ToolResult run = runTool(ffmpegProgram(), {"-v", "quiet", "-i", QString::fromStdString(path), "-frames:v",
                                                     QString::number(kFrames), "-f", "rawvideo", "-pix_fmt", "uyvy422",
                                                     "-"});
    ASSERT_EQ(run.output.size(), qsizetype(kFrames) * 320 * 180 * 2) << run.errors.toStdString();
    for (int k = 0; k < kFrames; ++k) {
        const auto* frame = reinterpret_cast<const uint8_t*>(run.output.constData()) + size_t(k) * 320 * 180 * 2;
        EXPECT_EQ(platform::FrameBarcode::read(frame, 320, 180, 640, platform::BarcodePixels::Uyvy422), uint32_t(k));
    }
    const QJsonObject probe = probeMedia(QString::fromStdString(path));
    EXPECT_EQ(probe.value("streams").toArray().at(0).toObject().value("tags").toObject().value("timecode").toString(),
              "10:00:00:00");
}
