#include "engine/files/ssFile.h"

#include "FilesTestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <utility>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

TEST(ssFile, WritesThenReadsBack)
{
    TempDir dir;
    const auto data = patternBytes(5000, 9);
    {
        ssFile out;
        ASSERT_TRUE(out.Open((dir / "clip.bin").c_str(), O_WRONLY | O_CREAT | O_TRUNC));
        EXPECT_EQ(out.Write(data.data(), 5000), 5000);
        EXPECT_EQ(out.GetPosition(), 5000);
        EXPECT_EQ(out.Tell(), 5000);
    }
    EXPECT_EQ(readBytes(dir / "clip.bin"), data);

    ssFile in;
    ASSERT_TRUE(in.Open((dir / "clip.bin").c_str(), O_RDONLY));
    EXPECT_EQ(in.GetPath(), dir / "clip.bin");
    EXPECT_EQ(in.GetSize(), 5000);
    std::vector<uint8_t> got(6000);
    EXPECT_EQ(in.Read(got.data(), 1000), 1000);
    EXPECT_EQ(in.GetPosition(), 1000);
    EXPECT_EQ(in.Seek(-4, SEEK_END), 4996);
    EXPECT_EQ(in.Tell(), 4996);
    EXPECT_EQ(in.Read(got.data(), 100), 4);
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + 4, data.end() - 4));
    EXPECT_EQ(in.Read(got.data(), 100), 0);
    EXPECT_EQ(in.GetPosition(), 5000);
}

TEST(ssFile, FailedSeekKeepsThePosition)
{
    TempDir dir;
    writeBytes(dir / "f", patternBytes(10, 0));
    ssFile file;
    ASSERT_TRUE(file.Open((dir / "f").c_str(), O_RDONLY));
    EXPECT_EQ(file.Seek(6, SEEK_SET), 6);
    EXPECT_EQ(file.Seek(-100, SEEK_SET), -1);
    EXPECT_EQ(file.GetPosition(), 6);
    EXPECT_EQ(file.Tell(), 6);
}

TEST(ssFile, ClosedOrMissingFileAnswersZero)
{
    TempDir dir;
    ssFile file;
    EXPECT_FALSE(file.Open((dir / "absent").c_str(), O_RDONLY));
    EXPECT_FALSE(file.IsOpen());
    char buffer[8];
    EXPECT_EQ(file.Read(buffer, 8), 0);
    EXPECT_EQ(file.Write(buffer, 8), 0);
    EXPECT_EQ(file.Seek(0, SEEK_SET), 0);
    EXPECT_EQ(file.GetSize(), 0);
    EXPECT_EQ(file.Tell(), 0);
    file.Close();

    writeBytes(dir / "f", patternBytes(10, 0));
    ASSERT_TRUE(file.Open((dir / "f").c_str(), O_RDONLY));
    file.Close();
    EXPECT_EQ(file.Read(buffer, 8), 0);
    EXPECT_EQ(file.GetSize(), 0);
}

TEST(ssFile, ReadErrorsCountAsNothingRead)
{
    TempDir dir;
    ssFile folder;
    ASSERT_TRUE(folder.Open(dir.path().c_str(), O_RDONLY));
    char buffer[8];
    EXPECT_EQ(folder.Read(buffer, 8), 0);
    EXPECT_EQ(folder.GetPosition(), 0);

    writeBytes(dir / "f", patternBytes(10, 0));
    ssFile readOnly;
    ASSERT_TRUE(readOnly.Open((dir / "f").c_str(), O_RDONLY));
    EXPECT_EQ(readOnly.Write(buffer, 8), 0);
    EXPECT_EQ(readOnly.GetPosition(), 0);
}

TEST(ssFile, SizeIsCachedUntilDropped)
{
    TempDir dir;
    writeBytes(dir / "growing.mov", patternBytes(10, 0));
    ssFile file;
    ASSERT_TRUE(file.Open((dir / "growing.mov").c_str(), O_RDONLY));
    char buffer[3];
    ASSERT_EQ(file.Read(buffer, 3), 3);
    EXPECT_EQ(file.GetSize(), 10);
    writeBytes(dir / "growing.mov", patternBytes(25, 0));
    EXPECT_EQ(file.GetSize(), 10);
    file.DropCachedSize();
    EXPECT_EQ(file.GetSize(), 25);
    // Learning the size does not move the read position.
    EXPECT_EQ(file.Tell(), 3);
}

TEST(ssFile, DescriptorsAreCloseOnExecAndNewFilesFollowTheUmask)
{
    TempDir dir;
    // New files get 0666 less the umask: readable by others under 022, private under 077.
    for (const auto& [mask, expected] : {std::pair<mode_t, mode_t>{022, 0644}, {077, 0600}}) {
        const std::string path = dir / ("new" + std::to_string(mask) + ".mov");
        ssFile file;
        const mode_t savedMask = umask(mask);
        const bool opened = file.Open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC);
        umask(savedMask);
        ASSERT_TRUE(opened);
        const int flags = fcntl(file.GetDescriptor(), F_GETFD);
        EXPECT_TRUE(flags & FD_CLOEXEC);
        struct stat status{};
        ASSERT_EQ(stat(path.c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 0777, expected) << std::oct << mask;
    }
}

TEST(ssFile, ReopeningClosesThePreviousDescriptor)
{
    TempDir dir;
    writeBytes(dir / "a", patternBytes(4, 1));
    writeBytes(dir / "b", patternBytes(6, 2));
    ssFile file;
    ASSERT_TRUE(file.Open((dir / "a").c_str(), O_RDONLY));
    const int first = file.GetDescriptor();
    ASSERT_TRUE(file.Open((dir / "b").c_str(), O_RDONLY));
    EXPECT_EQ(file.GetSize(), 6);
    EXPECT_EQ(file.GetPosition(), 0);
    if (file.GetDescriptor() != first) {
        EXPECT_EQ(fcntl(first, F_GETFD), -1);
    }
}

TEST(ssFile, PipesDevicesAndSocketsAreRefusedWithoutWaiting)
{
    TempDir dir;
    const std::string fifo = dir / "clip.mov";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string link = dir / "link.mov";
    ASSERT_EQ(symlink(fifo.c_str(), link.c_str()), 0);
    const std::string socketPath = dir / "sock.mov";
    const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
    ASSERT_EQ(bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);

    // A pipe with no writer would hold a blocking open for ever.
    for (const std::string& path : {fifo, link, socketPath, std::string("/dev/null"), std::string("/dev/zero")}) {
        ssFile file;
        EXPECT_FALSE(file.Open(path.c_str(), O_RDONLY)) << path;
        EXPECT_EQ(file.LastError(), ssFile::kNotRegularFile) << path;
        EXPECT_FALSE(file.IsOpen());
    }
    close(listener);

    ssFile absent;
    EXPECT_FALSE(absent.Open((dir / "absent").c_str(), O_RDONLY));
    EXPECT_EQ(absent.LastError(), ENOENT);

    // A regular file is read blocking, as before.
    writeBytes(dir / "f", patternBytes(4, 1));
    ssFile regular;
    ASSERT_TRUE(regular.Open((dir / "f").c_str(), O_RDONLY));
    EXPECT_EQ(regular.LastError(), 0);
    EXPECT_EQ(fcntl(regular.GetDescriptor(), F_GETFL) & O_NONBLOCK, 0);
}
