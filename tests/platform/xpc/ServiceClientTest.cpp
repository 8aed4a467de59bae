// Starting, answering, losing and restarting a real service program.
#include "platform/xpc/XpcServiceClient.h"
#include "tests/support/WaitUntil.h"

#include <QCborValue>
#include <QCoreApplication>
#include <QDir>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <vector>

#include <sys/types.h>

using platform::XpcReply;
using platform::XpcServiceClient;
using testsupport::waitUntil;

namespace {

const QString kEcho = QStringLiteral(KLV_XPC_ECHO_SERVICE);

QCborMap op(const char* name, std::initializer_list<std::pair<const char*, qint64>> values = {})
{
    QCborMap body;
    body.insert(QStringLiteral("op"), QLatin1String(name));
    for (const auto& [key, value] : values)
        body.insert(QLatin1String(key), value);
    return body;
}

qint64 askPid(XpcServiceClient& client)
{
    qint64 pid = -1;
    client.sendRequest(op("pid"), [&](const XpcReply& r) {
        pid = r.status == XpcReply::Status::Reply ? r.body.value(QStringLiteral("pid")).toInteger() : 0;
    });
    EXPECT_TRUE(waitUntil([&] { return pid >= 0; }));
    return pid;
}

} // namespace

TEST(XpcServiceClient, StartsOnFirstRequestAndAnswersLaterOnTheMainThread)
{
    XpcServiceClient client(kEcho);
    EXPECT_EQ(client.servicePid(), 0); // nothing runs before the first request
    bool answered = false;
    XpcReply reply;
    QCborMap body = op("echo");
    body.insert(QStringLiteral("text"), QStringLiteral("ünïcode"));
    client.sendRequest(body, [&](const XpcReply& r) {
        EXPECT_TRUE(QThread::currentThread() == qApp->thread());
        reply = r;
        answered = true;
    });
    EXPECT_FALSE(answered); // never inside the call
    EXPECT_GT(client.servicePid(), 0);
    ASSERT_TRUE(waitUntil([&] { return answered; }));
    EXPECT_EQ(reply.status, XpcReply::Status::Reply);
    EXPECT_EQ(reply.body, body);
    EXPECT_EQ(client.pendingCount(), 0);
}

TEST(XpcServiceClient, RepliesOutOfOrderReachTheirOwnRequests)
{
    XpcServiceClient client(kEcho);
    std::vector<qint64> order;
    for (qint64 ms : {300, 10, 150}) {
        client.sendRequest(op("sleep", {{"ms", ms}}), [&order](const XpcReply& r) {
            order.push_back(r.body.value(QStringLiteral("ms")).toInteger());
        });
    }
    ASSERT_TRUE(waitUntil([&] { return order.size() == 3; }));
    EXPECT_EQ(order, (std::vector<qint64>{10, 150, 300}));
}

TEST(XpcServiceClient, CrashInterruptsEveryPendingRequestAndTheNextOneRestarts)
{
    XpcServiceClient client(kEcho);
    const qint64 first = askPid(client);
    ASSERT_GT(first, 0);
    std::vector<XpcReply::Status> statuses;
    for (int i = 0; i < 5; ++i)
        client.sendRequest(op("hang"), [&](const XpcReply& r) { statuses.push_back(r.status); });
    client.sendRequest(op("abort"), [&](const XpcReply& r) { statuses.push_back(r.status); });
    ASSERT_TRUE(waitUntil([&] { return statuses.size() == 6; }));
    EXPECT_EQ(statuses, std::vector<XpcReply::Status>(6, XpcReply::Status::Interrupted));
    EXPECT_EQ(client.servicePid(), 0);

    const qint64 second = askPid(client);
    EXPECT_GT(second, 0);
    EXPECT_NE(second, first);
}

TEST(XpcServiceClient, ServiceKilledFromOutsideInterruptsPendingRequests)
{
    XpcServiceClient client(kEcho);
    const qint64 pid = askPid(client);
    int interrupted = 0;
    for (int i = 0; i < 3; ++i)
        client.sendRequest(op("hang"), [&](const XpcReply& r) { interrupted += r.status == XpcReply::Status::Interrupted; });
    ASSERT_EQ(::kill(pid_t(pid), SIGKILL), 0);
    ASSERT_TRUE(waitUntil([&] { return interrupted == 3; }));
    EXPECT_GT(askPid(client), 0);
}

TEST(XpcServiceClient, WatchdogRestartsAServiceStuckOnOneJob)
{
    XpcServiceClient client(kEcho);
    const qint64 first = askPid(client); // started: a slow start is no stall
    client.setStuckTimeout(300);
    XpcReply::Status status = XpcReply::Status::Reply;
    bool done = false;
    client.sendRequest(op("hang"), [&](const XpcReply& r) {
        status = r.status;
        done = true;
    });
    ASSERT_TRUE(waitUntil([&] { return done; }));
    EXPECT_EQ(status, XpcReply::Status::Interrupted);
    client.setStuckTimeout(XpcServiceClient::kDefaultStuckTimeoutMs);
    EXPECT_NE(askPid(client), first);
}

TEST(XpcServiceClient, ARequestPastItsTimeLimitIsGivenUpAloneAndAnUnansweringServiceRestarted)
{
    XpcServiceClient client(kEcho);
    const qint64 first = askPid(client);
    std::vector<XpcReply::Status> answers;
    client.sendRequest(op("hang"), [&](const XpcReply& r) { answers.push_back(r.status); }, 100);
    // A slower request without a limit, sent after it, still gets its reply.
    client.sendRequest(op("sleep", {{"ms", 300}}), [&](const XpcReply& r) { answers.push_back(r.status); });
    ASSERT_TRUE(waitUntil([&] { return answers.size() == 2; }));
    EXPECT_EQ(answers, (std::vector<XpcReply::Status>{XpcReply::Status::TimedOut, XpcReply::Status::Reply}));
    EXPECT_EQ(client.servicePid(), first);

    // Given up on with nothing answered after it: the service is restarted though nothing waits.
    client.setStuckTimeout(600);
    bool givenUp = false;
    client.sendRequest(op("hang"), [&](const XpcReply& r) { givenUp = r.status == XpcReply::Status::TimedOut; }, 100);
    ASSERT_TRUE(waitUntil([&] { return givenUp; }));
    ASSERT_TRUE(waitUntil([&] { return client.servicePid() == 0; }));
    client.setStuckTimeout(XpcServiceClient::kDefaultStuckTimeoutMs); // a slow start is no stall
    EXPECT_NE(askPid(client), first);
}

TEST(XpcServiceClient, ServiceThatExitsOnItsOwnIsRestarted)
{
    XpcServiceClient client(kEcho);
    QStringList ended;
    QObject::connect(&client, &XpcServiceClient::serviceEnded, [&](const QString& reason) { ended << reason; });
    bool done = false;
    client.sendRequest(op("exit", {{"code", 3}}), [&](const XpcReply& r) {
        EXPECT_EQ(r.status, XpcReply::Status::Interrupted);
        done = true;
    });
    ASSERT_TRUE(waitUntil([&] { return done; }));
    ASSERT_EQ(ended.size(), 1);
    EXPECT_GT(askPid(client), 0);
}

TEST(XpcServiceClient, MissingProgramAnswersInvalidLater)
{
    XpcServiceClient client(QDir::tempPath() + QStringLiteral("/no-such-service-program"));
    bool done = false;
    client.sendRequest(op("echo"), [&](const XpcReply& r) {
        EXPECT_EQ(r.status, XpcReply::Status::Invalid);
        done = true;
    });
    EXPECT_FALSE(done);
    ASSERT_TRUE(waitUntil([&] { return done; }));
    // Pointed at a real program, the same client works.
    client.setProgramPath(kEcho);
    EXPECT_GT(askPid(client), 0);
}

TEST(XpcServiceClient, OversizeRequestFailsAloneAndDestroyedClientAnswersTheRest)
{
    std::vector<XpcReply::Status> statuses;
    {
        XpcServiceClient client(kEcho);
        QCborMap huge = op("echo");
        huge.insert(QStringLiteral("data"), QByteArray(int(platform::kXpcMaxFrameSize), 'x'));
        client.sendRequest(huge, [&](const XpcReply& r) { statuses.push_back(r.status); });
        ASSERT_TRUE(waitUntil([&] { return statuses.size() == 1; }));
        EXPECT_EQ(statuses[0], XpcReply::Status::Invalid);
        EXPECT_GT(askPid(client), 0); // the connection lives on
        client.sendRequest(op("hang"), [&](const XpcReply& r) { statuses.push_back(r.status); });
    }
    ASSERT_TRUE(waitUntil([&] { return statuses.size() == 2; }));
    EXPECT_EQ(statuses[1], XpcReply::Status::Invalid);
}
