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
#include <map>
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

TEST(ClipwrightProcess, AFifoIsRefusedAtOnceAndEveryRequestIsAnsweredOnce)
{
    testsupport::TempFolder temp;
    const QString clip = helperClipPath(HelperClip::Small);
    // Nothing ever writes to it: a job that opened it would wait for good.
    const QString fifo = temp.filePath(QStringLiteral("feed.mov"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);

    platform::XpcServiceClient client(testsupport::clipwrightProgram());
    std::map<QString, std::vector<QCborMap>> answers;
    auto record = [&](QString name) {
        return [&, name](const platform::XpcReply& r) { answers[name].push_back(r.body); };
    };
    client.sendRequest(request({{kActionKey, kActionMetadata}, {kSourceKey, fifo}}), record(QStringLiteral("fifo metadata")));
    client.sendRequest(request({{kActionKey, kActionThumbnail},
                                {kSourceKey, fifo},
                                {kThumbnailDestinationKey, temp.filePath(QStringLiteral("f.png"))}}),
                       record(QStringLiteral("fifo thumbnail")));
    client.sendRequest(request({{kActionKey, kActionMetadata}, {kSourceKey, clip}}), record(QStringLiteral("metadata")));
    client.sendRequest(request({{kActionKey, QStringLiteral("format-disk")}, {kSourceKey, clip}}),
                       record(QStringLiteral("unknown")));
    client.sendRequest(request({{kActionKey, kActionMetadataFull}, {kSourceKey, clip}}), record(QStringLiteral("full")));
    client.sendRequest(request({{kActionKey, kActionThumbnail},
                                {kSourceKey, clip},
                                {kThumbnailDestinationKey, QStringLiteral("/dev/full")}}),
                       record(QStringLiteral("dev full")));
    client.sendRequest(request({{kActionKey, kActionThumbnail},
                                {kSourceKey, clip},
                                {kThumbnailDestinationKey, temp.filePath(QStringLiteral("t.png"))}}),
                       record(QStringLiteral("thumbnail")));
    ASSERT_TRUE(waitUntil([&] { return answers.size() == 7; }, 60000)) << answers.size() << " of 7 answered";
    testsupport::pumpEvents(200); // a second answer to any of them would arrive by now
    for (const auto& [name, replies] : answers)
        EXPECT_EQ(replies.size(), 1u) << name.toStdString();
    auto reason = [&](const char* name) { return answers[QLatin1String(name)].front().value(QLatin1String(kReasonKey)).toString(); };
    auto outcome = [&](const char* name) { return answers[QLatin1String(name)].front().value(QLatin1String(kResultKey)).toString(); };
    EXPECT_EQ(outcome("fifo metadata"), QStringLiteral("success"));
    EXPECT_EQ(reason("fifo metadata"), QLatin1String(kReasonSourceNotRegular));
    EXPECT_EQ(outcome("fifo thumbnail"), QStringLiteral("failure"));
    EXPECT_EQ(reason("fifo thumbnail"), QLatin1String(kReasonSourceNotRegular));
    EXPECT_EQ(outcome("metadata"), QStringLiteral("success"));
    EXPECT_EQ(outcome("unknown"), QStringLiteral("failure"));
    EXPECT_EQ(reason("unknown"), QLatin1String(kReasonUnknownAction));
    EXPECT_EQ(outcome("full"), QStringLiteral("failure"));
    EXPECT_FALSE(reason("full").isEmpty());
    EXPECT_EQ(outcome("dev full"), QStringLiteral("failure"));
    EXPECT_EQ(outcome("thumbnail"), QStringLiteral("success"));
    EXPECT_EQ(QImageReader(temp.filePath(QStringLiteral("t.png"))).size(), QSize(93, 70));
}

TEST(ClipwrightProcess, ARequestNestedTooDeeplyIsAnsweredWithAReasonAndTheNextOneIsServed)
{
    QObject owner;
    QString error;
    const platform::XpcSpawned spawned = platform::spawnXpcService(testsupport::clipwrightProgram(), {}, &owner, &error);
    ASSERT_NE(spawned.process, nullptr) << error.toStdString();
    // {"action": "metadata", "sourcePath": [[[...]]]}, hundreds of thousands of levels deep.
    QByteArray deep = QByteArray::fromHex("a4" "6176" "01" "626964" "05" "646b696e64" "6772657175657374" "64626f6479" "a2");
    deep += QCborValue(QLatin1String(kActionKey)).toCbor() + QCborValue(QLatin1String(kActionMetadata)).toCbor();
    deep += QCborValue(QLatin1String(kSourceKey)).toCbor() + QByteArray(500000, '\x81') + QByteArray(1, '\0');
    const QByteArray next = platform::encodeXpcFrame(
        {6, platform::XpcKind::Request, request({{kActionKey, QStringLiteral("format-disk")}})});
    const QByteArray bytes = lengthPrefixed(deep, quint32(deep.size())) + next;
    ASSERT_EQ(::write(spawned.fd, bytes.constData(), std::size_t(bytes.size())), bytes.size());

    platform::XpcFrameReader reader;
    std::map<std::int64_t, QCborMap> replies;
    char chunk[4096];
    while (replies.size() < 2) {
        const ssize_t n = ::read(spawned.fd, chunk, sizeof chunk);
        ASSERT_GT(n, 0) << "the helper hung up with " << replies.size() << " replies";
        reader.append(chunk, std::size_t(n));
        platform::XpcEnvelope envelope;
        while (reader.next(envelope) == platform::XpcFrameReader::Status::Frame)
            replies[envelope.id] = envelope.body;
    }
    EXPECT_EQ(replies[5].value(QLatin1String(kResultKey)).toString(), QLatin1String(kResultFailure));
    EXPECT_EQ(replies[5].value(QLatin1String(kReasonKey)).toString(), QLatin1String(kReasonNestedTooDeeply));
    EXPECT_EQ(replies[6].value(QLatin1String(kReasonKey)).toString(), QLatin1String(kReasonUnknownAction));
    ::close(spawned.fd);
    EXPECT_TRUE(spawned.process->waitForFinished(20000));
}
