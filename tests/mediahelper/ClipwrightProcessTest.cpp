// The Clipwright program as the application runs it: a child process on a socket pair.
#include "mediahelper/shared/ClipwrightProtocol.h"
#include "platform/xpc/XpcFrame.h"
#include "platform/xpc/XpcServiceClient.h"
#include "platform/xpc/XpcSpawn.h"
#include "tests/mediahelper/support/HelperTestMedia.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WaitUntil.h"

#include <QCborValue>
#include <QFile>
#include <QImageReader>
#include <QProcess>

#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using testsupport::HelperClip;
using testsupport::helperClipPath;
using testsupport::waitUntil;
using namespace clipwright;

namespace {

QCborMap request(std::initializer_list<std::pair<const char*, QCborValue>> entries)
{
    QCborMap map;
    for (const auto& [key, value] : entries)
        map.insert(QLatin1String(key), value);
    return map;
}

QString result(const platform::XpcReply& reply)
{
    return reply.body.value(QLatin1String(kResultKey)).toString();
}

// Writes raw bytes to a freshly started service and expects it to hang up and exit normally.
void expectRefused(const QByteArray& bytes)
{
    QObject owner;
    QString error;
    const platform::XpcSpawned spawned = platform::spawnXpcService(testsupport::clipwrightProgram(), {}, &owner, &error);
    ASSERT_NE(spawned.process, nullptr) << error.toStdString();
    ASSERT_EQ(::write(spawned.fd, bytes.constData(), std::size_t(bytes.size())), bytes.size());
    ASSERT_TRUE(spawned.process->waitForFinished(20000));
    EXPECT_EQ(spawned.process->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(spawned.process->exitCode(), 0);
    char byte;
    EXPECT_EQ(::read(spawned.fd, &byte, 1), 0); // hung up without answering
    ::close(spawned.fd);
}

QByteArray lengthPrefixed(const QByteArray& payload, quint32 statedLength)
{
    QByteArray frame;
    frame.append(char(statedLength >> 24)).append(char(statedLength >> 16)).append(char(statedLength >> 8)).append(char(statedLength));
    return frame + payload;
}

} // namespace

TEST(ClipwrightProcess, RefusesGarbageAndOversizeFramesWithoutCrashing)
{
    expectRefused(QByteArray("hello, this is not a frame at all"));     // length 0x68656c6c: far too large
    expectRefused(lengthPrefixed(QByteArray(8, '\0'), platform::kXpcMaxFrameSize + 1));
    expectRefused(lengthPrefixed(QByteArray(), 0));
    expectRefused(lengthPrefixed(QByteArray("\xff\xfe\xfd\xfc", 4), 4));  // not CBOR
    expectRefused(lengthPrefixed(QCborValue(QStringLiteral("text")).toCbor(), 5)); // not a map
    QCborMap wrongEnvelope;
    wrongEnvelope.insert(QStringLiteral("v"), 99);
    const QByteArray cbor = QCborValue(wrongEnvelope).toCbor();
    expectRefused(lengthPrefixed(cbor, quint32(cbor.size())));
}

TEST(ClipwrightProcess, ExitsWhenTheApplicationHangsUp)
{
    QObject owner;
    const platform::XpcSpawned spawned = platform::spawnXpcService(testsupport::clipwrightProgram(), {}, &owner);
    ASSERT_NE(spawned.process, nullptr);
    ::close(spawned.fd);
    ASSERT_TRUE(spawned.process->waitForFinished(20000));
    EXPECT_EQ(spawned.process->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(spawned.process->exitCode(), 0);
}

TEST(ClipwrightProcess, RefusesToRunWithoutItsConnection)
{
    QProcess process;
    process.setChildProcessModifier([] { ::close(platform::kXpcServiceFd); });
    process.start(testsupport::clipwrightProgram(), {});
    ASSERT_TRUE(process.waitForFinished(20000));
    EXPECT_EQ(process.exitCode(), 2);

    // Nor with some other descriptor there (a file left open by whoever started it).
    QProcess withFile;
    withFile.setChildProcessModifier([] {
        const int fd = ::open("/dev/null", O_RDONLY);
        if (fd >= 0 && fd != platform::kXpcServiceFd) {
            ::dup2(fd, platform::kXpcServiceFd);
            ::close(fd);
        }
    });
    withFile.start(testsupport::clipwrightProgram(), {});
    ASSERT_TRUE(withFile.waitForFinished(20000));
    EXPECT_EQ(withFile.exitCode(), 2);
}

TEST(ClipwrightProcess, WritesThumbnailsAndSlatesOfTheDisplaySize)
{
    testsupport::TempFolder temp;
    platform::XpcServiceClient client(testsupport::clipwrightProgram());
    struct Case {
        HelperClip clip;
        QSize thumb;
        QSize slate;
    };
    const std::vector<Case> cases = {{HelperClip::Square1080p, {114, 64}, {1920, 1080}},
                                     {HelperClip::Anamorphic480, {93, 70}, {640, 480}}};
    int answered = 0;
    std::vector<QString> results;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const QString source = helperClipPath(cases[i].clip);
        client.sendRequest(request({{kActionKey, kActionThumbnail},
                                    {kSourceKey, source},
                                    {kThumbnailDestinationKey, temp.filePath(QStringLiteral("t%1.png").arg(i))}}),
                           [&](const platform::XpcReply& r) { results.push_back(result(r)); ++answered; });
        client.sendRequest(request({{kActionKey, kActionSlate},
                                    {kSourceKey, source},
                                    {kSlateDestinationKey, temp.filePath(QStringLiteral("s%1.png").arg(i))}}),
                           [&](const platform::XpcReply& r) { results.push_back(result(r)); ++answered; });
    }
    ASSERT_TRUE(waitUntil([&] { return answered == 4; }, 60000));
    EXPECT_EQ(results, std::vector<QString>(4, QStringLiteral("success")));
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(QImageReader(temp.filePath(QStringLiteral("t%1.png").arg(i))).size(), cases[i].thumb);
        EXPECT_EQ(QImageReader(temp.filePath(QStringLiteral("s%1.png").arg(i))).size(), cases[i].slate);
    }
}

TEST(ClipwrightProcess, RequestsArrivingDuringASlateAreServedInLaneOrder)
{
    testsupport::TempFolder temp;
    const QString clip = helperClipPath(HelperClip::Small);
    // The running slate reads a FIFO: its job is held inside the open until the test lets go.
    const QString fifo = temp.filePath(QStringLiteral("held.mov"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);

    platform::XpcServiceClient client(testsupport::clipwrightProgram());
    std::vector<QString> order;
    std::vector<QString> results;
    auto record = [&](QString name) {
        return [&, name](const platform::XpcReply& r) {
            order.push_back(name);
            results.push_back(result(r));
        };
    };
    client.sendRequest(request({{kActionKey, kActionSlate},
                                {kSourceKey, fifo},
                                {kSlateDestinationKey, temp.filePath(QStringLiteral("held.png"))}}),
                       record(QStringLiteral("held slate")));
    int writer = -1;
    ASSERT_TRUE(waitUntil([&] {
        if (writer < 0) // the predicate may be asked again after it held
            writer = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        return writer >= 0; // succeeds once the job has the FIFO open for reading
    }, 30000));

    std::vector<QString> expected;
    for (int i = 0; i < 10; ++i) {
        client.sendRequest(request({{kActionKey, kActionSlate},
                                    {kSourceKey, clip},
                                    {kSlateDestinationKey, temp.filePath(QStringLiteral("s%1.png").arg(i))}}),
                           record(QStringLiteral("slate")));
        client.sendRequest(request({{kActionKey, kActionThumbnail},
                                    {kSourceKey, clip},
                                    {kThumbnailDestinationKey, temp.filePath(QStringLiteral("t%1.png").arg(i))}}),
                           record(QStringLiteral("thumbnail")));
        client.sendRequest(request({{kActionKey, kActionMetadata}, {kSourceKey, clip}}), record(QStringLiteral("metadata")));
    }
    // Answered by the connection's thread at once: every request above has been queued by then.
    client.sendRequest(request({{kActionKey, kActionMetadata}}), record(QStringLiteral("refused")));
    ASSERT_TRUE(waitUntil([&] { return order.size() == 1; }, 30000));
    ::close(writer);
    ASSERT_TRUE(waitUntil([&] { return order.size() == 32; }, 120000));

    expected.push_back(QStringLiteral("refused"));
    expected.push_back(QStringLiteral("held slate"));
    for (const char* kind : {"metadata", "thumbnail", "slate"})
        for (int i = 0; i < 10; ++i)
            expected.push_back(QLatin1String(kind));
    EXPECT_EQ(order, expected);
    EXPECT_EQ(results[0], QStringLiteral("failure"));
    EXPECT_EQ(results[1], QStringLiteral("failure")); // nothing came through the FIFO
    for (std::size_t i = 2; i < results.size(); ++i)
        EXPECT_EQ(results[i], QStringLiteral("success")) << i;
    EXPECT_EQ(QImageReader(temp.filePath(QStringLiteral("t9.png"))).size(), QSize(93, 70));
    EXPECT_EQ(QImageReader(temp.filePath(QStringLiteral("s9.png"))).size(), QSize(320, 240));
}
