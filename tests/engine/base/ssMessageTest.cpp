#include "engine/base/ssMessage.h"

#include "StdoutCapture.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

TEST(ssMessage, WritesOneLineWithNewline)
{
    StdoutCapture capture;
    ssMessage(2, "Couldn't open %s (%d)", "clip.mov", -1);
    EXPECT_EQ(capture.Finish(), "Couldn't open clip.mov (-1)\n");
}

TEST(ssMessage, CutsLongTextAt1023Characters)
{
    const std::string longText(5000, 'x');
    StdoutCapture capture;
    ssMessage(2, "%s", longText.c_str());
    ssMessage(2, "%s", std::string(1023, 'y').c_str());
    const std::string written = capture.Finish();
    EXPECT_EQ(written, std::string(1023, 'x') + "\n" + std::string(1023, 'y') + "\n");
}

TEST(ssMessage, LinesFromManyThreadsStayWhole)
{
    constexpr int kThreads = 8;
    constexpr int kLines = 300;
    StdoutCapture capture;
    {
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([t] {
                const std::string body(600, static_cast<char>('a' + t));
                for (int i = 0; i < kLines; ++i)
                    ssMessage(2, "%d:%s", t, body.c_str());
            });
        }
        for (auto& thread : threads)
            thread.join();
    }
    std::istringstream lines(capture.Finish());
    std::map<int, int> perThread;
    std::string line;
    while (std::getline(lines, line)) {
        ASSERT_GE(line.size(), 2u);
        const int t = line[0] - '0';
        ASSERT_EQ(line, std::to_string(t) + ":" + std::string(600, static_cast<char>('a' + t)));
        ++perThread[t];
    }
    ASSERT_EQ(perThread.size(), static_cast<size_t>(kThreads));
    for (const auto& [t, count] : perThread)
        EXPECT_EQ(count, kLines) << "thread " << t;
}
