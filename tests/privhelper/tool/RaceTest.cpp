// A listed user racing the tool: while the tool makes a folder or copies a link for it, the
// user's own thread swaps the new name with another user's file (RENAME_EXCHANGE). Whatever the
// timing, the file keeps its owner and mode.

#include "OtherUsers.h"
#include "ToolTestSupport.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <thread>
#include <vector>

using privtest::RawClient;
using privtest::request;
using namespace privtest::users;

namespace {

constexpr int kMaxRequests = 600;
constexpr auto kMaxTime = std::chrono::seconds(4);

// Swaps <folder>/<prefix><k> with <folder>/<victim> for the k the client is asking about.
class Swapper {
public:
    Swapper(std::string folder, char prefix, std::string victim)
        : folder_(std::move(folder)), prefix_(prefix), victim_(std::move(victim)), thread_([this] { run(); })
    {
    }
    ~Swapper()
    {
        done_ = true;
        thread_.join();
    }
    std::string name(int k) const { return folder_ + "/" + prefix_ + std::to_string(k); }
    std::string victim() const { return folder_ + "/" + victim_; }
    void aimAt(int k) { current_ = k; }
    // Stops swapping and puts the victim back under its own name.
    void stopAndRestore(int k)
    {
        current_ = -1;
        std::lock_guard wait(mutex_); // a swap in progress has ended
        struct stat st {};
        if (::lstat(victim().c_str(), &st) == 0 && !S_ISREG(st.st_mode))
            ::renameat2(AT_FDCWD, name(k).c_str(), AT_FDCWD, victim().c_str(), RENAME_EXCHANGE);
    }
    int swaps() const { return swaps_; }

private:
    void run()
    {
        while (!done_) {
            std::lock_guard lock(mutex_);
            // Once per name: swapping back at once would undo the swap half of the time.
            const int k = current_;
            if (k >= 0 && k != swapped_
                && ::renameat2(AT_FDCWD, name(k).c_str(), AT_FDCWD, victim().c_str(), RENAME_EXCHANGE) == 0) {
                swapped_ = k;
                ++swaps_;
            }
        }
    }

    const std::string folder_;
    const char prefix_;
    const std::string victim_;
    std::atomic<int> current_{-1};
    std::atomic<bool> done_{false};
    std::atomic<int> swaps_{0};
    int swapped_ = -1; // the swapper thread's own
    std::mutex mutex_;
    std::thread thread_;
};

// Asks for one request per k while the swapper aims at k's name; bounded in count and time.
template <class MakeRequest>
void race(RawClient& client, Swapper& swapper, MakeRequest makeRequest)
{
    const auto end = std::chrono::steady_clock::now() + kMaxTime;
    for (int k = 0; k < kMaxRequests && std::chrono::steady_clock::now() < end; ++k) {
        swapper.aimAt(k);
        client.call(makeRequest(swapper.name(k)));
        swapper.stopAndRestore(k);
    }
}

bool victimIntact(const std::string& path)
{
    const Owner o = ownerOf(path);
    return o == Owner{kOtherUser, kOtherUser, 0600};
}

} // namespace

TEST_F(ToolTest, SwappingANewFolderOrLinkForAnotherUsersFileGivesTheFileNothing)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to run a client as another user";
    startTool("allow-uid " + std::to_string(kUser) + "\n");
    tree_.makeDirectory("media/shared", 0777); // open to everyone, not sticky
    const std::vector<std::string> victims = {"victim-d", "victim-l"};
    for (const auto& v : victims)
        giveTo(tree_.writeFile("media/shared/" + v, "secret", 0600), kOtherUser);
    const std::string shared = media_ + "/shared";
    const std::string folder = giveTo(tree_.makeDirectory("media/u", 0755), kUser);
    const std::string link = giveTo(tree_.makeSymlink("media/u/link", "anywhere"), kUser);
    const std::string socket = tool_->socketPath();

    const int taken = asUser([&] {
        // The user may move the files into its own folder: both folders are writable to it.
        for (const auto& v : victims) {
            if (::rename((shared + "/" + v).c_str(), (folder + "/" + v).c_str()) != 0)
                return 100;
        }
        RawClient c(socket);
        {
            Swapper swapper(folder, 'n', victims[0]);
            race(c, swapper, [](const std::string& path) {
                auto r = request(PrivilegedHelperProtocol::createDirectory, path);
                r.attributes = platform::privileged::FileAttributes{0644, kUser, {}, {}};
                return r;
            });
            std::fprintf(stderr, "folder race: %d swaps\n", swapper.swaps());
        }
        {
            Swapper swapper(folder, 'l', victims[1]);
            race(c, swapper, [&](const std::string& path) {
                return request(PrivilegedHelperProtocol::copyItem, link, path);
            });
            std::fprintf(stderr, "link race: %d swaps\n", swapper.swaps());
        }
        // One bit per file the user could take or read.
        int bits = 0;
        for (std::size_t i = 0; i < victims.size(); ++i) {
            const std::string path = folder + "/" + victims[i];
            if (!victimIntact(path) || ::open(path.c_str(), O_RDONLY | O_CLOEXEC) >= 0)
                bits |= 1 << i;
        }
        return bits;
    });
    EXPECT_EQ(taken, 0) << "1: the folder race, 2: the link race";
    for (const auto& v : victims) {
        EXPECT_TRUE(victimIntact(folder + "/" + v)) << v << " " << ownerOf(folder + "/" + v);
        EXPECT_EQ(privtest::readFile(folder + "/" + v), "secret");
    }
}
