// Art-Net and sACN through their receive paths: 100,000 datagrams of 512 slots over 16 universes
// sent to 127.0.0.1, through the filter queue to a counting delegate. The sender keeps at most
// kWindow datagrams ahead of the receiver so the kernel's buffer never overflows, which would lose
// packets out of the receiver's sight. Counters: packets per second through the receiver, packets
// delivered, dropped by the receiver (counted, newer frames of a busy universe), lost (neither
// delivered nor counted: should stay 0) and the growth of the resident size over the last 90%
// of the run (flat memory: a few pages at most).
#include "bench/support/BenchRun.h"
#include "comm/showcontrol/dmxnet/FWNArtNetIOController.h"
#include "comm/showcontrol/dmxnet/FWNSACNIOController.h"
#include "comm/showcontrol/dmxnet/FWNSACNPacket.h"
#include "platform/foundation/UserDefaults.h"

#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kUniverses = 16;
// Datagrams ahead of the receiver at most: 64 small datagrams stay well inside the default
// socket receive buffer (each costs its buffer about 2 KiB).
constexpr std::uint64_t kWindow = 64;

std::uint64_t packetCount()
{
    return benchsupport::smokeRun() ? 2000 : 100000;
}

long residentKiB()
{
    long kib = 0;
    if (FILE* status = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, status))
            if (std::sscanf(line, "VmRSS: %ld kB", &kib) == 1)
                break;
        std::fclose(status);
    }
    return kib;
}

// A plain UDP socket aimed at 127.0.0.1:port.
class Sender {
public:
    explicit Sender(quint16 port) : fd_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0))
    {
        to_.sin_family = AF_INET;
        to_.sin_port = htons(port);
        to_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    }
    ~Sender() { ::close(fd_); }
    bool send(const QByteArray& datagram)
    {
        return ::sendto(fd_, datagram.constData(), size_t(datagram.size()), 0, reinterpret_cast<const sockaddr*>(&to_),
                        sizeof to_) == datagram.size();
    }

private:
    int fd_;
    sockaddr_in to_{};
};

struct Totals {
    std::uint64_t delivered = 0;
    std::uint64_t dropped = 0;
    double seconds = 0;
    long growthKiB = 0;
};

// Sends every datagram (cycling through them) and waits for the receiver to account for each.
bool run(benchmark::State& state, Sender& sender, const std::vector<QByteArray>& datagrams,
         const std::function<std::uint64_t()>& delivered, const std::function<std::uint64_t()>& dropped, Totals& totals)
{
    const std::uint64_t total = packetCount();
    const std::uint64_t delivered0 = delivered(), dropped0 = dropped();
    auto accounted = [&] { return delivered() - delivered0 + dropped() - dropped0; };
    long rssAtTenth = 0;
    const auto start = std::chrono::steady_clock::now();
    for (std::uint64_t sent = 0; sent < total; ++sent) {
        while (sent - accounted() >= kWindow)
            std::this_thread::yield();
        if (!sender.send(datagrams[sent % datagrams.size()])) {
            state.SkipWithError("send failed");
            return false;
        }
        if (sent == total / 10)
            rssAtTenth = residentKiB();
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (accounted() < total && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    totals.seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    totals.delivered += delivered() - delivered0;
    totals.dropped += dropped() - dropped0;
    totals.growthKiB = std::max(totals.growthKiB, residentKiB() - rssAtTenth);
    return true;
}

void report(benchmark::State& state, const Totals& totals)
{
    const double sent = double(packetCount()) * double(state.iterations());
    state.counters["packets_per_s"] = (double(totals.delivered) + double(totals.dropped)) / totals.seconds;
    state.counters["delivered"] = double(totals.delivered);
    state.counters["dropped"] = double(totals.dropped);
    state.counters["lost"] = sent - double(totals.delivered) - double(totals.dropped);
    state.counters["rss_growth_kib"] = double(totals.growthKiB);
    if (totals.delivered + totals.dropped < std::uint64_t(sent)) {
        const std::string why = "packets neither delivered nor counted as dropped: " + std::to_string(std::uint64_t(sent)
            - totals.delivered - totals.dropped) + " of " + std::to_string(std::uint64_t(sent));
        state.SkipWithError(why.c_str());
    }
}

class ArtNetCounter : public FWNArtNetIOControllerDelegate {
public:
    void artNetIOControllerReceivedArtDMXPacket(FWNArtNetIOController*, const FWNArtDMXPacket& packet) override
    {
        benchmark::DoNotOptimize(packet.portAddress());
        count.fetch_add(1, std::memory_order_relaxed);
    }
    std::atomic<std::uint64_t> count{0};
};

void BM_ArtNetReceive(benchmark::State& state)
{
    FWNArtNetIOController::Options options;
    options.port = 0;
    options.bindInterface = QStringLiteral("127.0.0.1");
    FWNArtNetIOController io(options);
    ArtNetCounter counter;
    io.setDelegate(&counter);
    if (!io.beginReceiving()) {
        state.SkipWithError("cannot receive");
        return;
    }
    std::vector<QByteArray> datagrams;
    for (int u = 0; u < kUniverses; ++u)
        datagrams.push_back(FWNArtDMXPacket::withDMX(QByteArray(512, char(u)), FWNArtDMXIdentity(std::uint16_t(u))).data());
    Sender sender(io.receivePort());
    Totals totals;
    for (auto _ : state)
        if (!run(state, sender, datagrams, [&] { return counter.count.load(); }, [&] { return io.droppedPackets(); }, totals))
            return;
    io.setDelegate(nullptr);
    report(state, totals);
}

class SACNCounter : public FWNSACNIOControllerDelegate {
public:
    void receivedPacket(const FWNSACNPacket& packet) override
    {
        benchmark::DoNotOptimize(packet.universe());
        count.fetch_add(1, std::memory_order_relaxed);
    }
    std::atomic<std::uint64_t> count{0};
};

quint16 freeUdpPort()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    quint16 port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

void BM_SACNReceive(benchmark::State& state)
{
    // Unicast to the receive socket's port: the same filter and delivery as a joined group.
    FWNSACNIOController::setPort(freeUdpPort());
    const quint16 port = FWNSACNIOController::port();
    std::vector<QByteArray> datagrams;
    const QByteArray cid = FWNSACNIdentity::generateCID();
    for (int u = 1; u <= kUniverses; ++u)
        datagrams.push_back(FWNSACNPacket::withDMX(QByteArray(512, char(u)), FWNSACNIdentity(std::uint16_t(u), cid), 100, 0,
                                                   QStringLiteral("bench"), 0)
                                .data());
    Totals totals;
    {
        FWNSACNIOController io;
        SACNCounter counter;
        io.setDelegate(&counter);
        Sender sender(port);
        // The receive socket is set up on the filter queue: wait until it takes datagrams.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (counter.count.load() == 0 && std::chrono::steady_clock::now() < deadline) {
            sender.send(datagrams[0]);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50)); // the warm-up's last deliveries
        for (auto _ : state)
            if (!run(state, sender, datagrams, [&] { return counter.count.load(); }, [&] { return io.droppedPackets(); },
                     totals))
                break;
        io.setDelegate(nullptr);
    }
    FWNSACNIOController::setPort(FWNSACNIOController::kDefaultPort);
    report(state, totals);
}

BENCHMARK(BM_ArtNetReceive)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_SACNReceive)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

} // namespace
