// Test service: answers by the body's "op": "echo" (the body back), "pid", "sleep" (answer after
// "ms" from another thread), "hang" (never), "exit" (with "code"), "abort" (crash).
#include "platform/xpc/XpcConnection.h"
#include "platform/xpc/XpcServiceHost.h"
#include "platform/xpc/XpcSpawn.h"

#include <QCborValue>
#include <QCoreApplication>

#include <chrono>
#include <cstdlib>
#include <thread>

#include <unistd.h>

int main(int argc, char** argv)
{
    platform::ignoreSigpipe();
    if (!platform::XpcServiceHost::descriptorIsConnection(platform::kXpcServiceFd))
        return 2;
    QCoreApplication app(argc, argv);
    platform::XpcServiceHost host(platform::kXpcServiceFd, [](const platform::XpcEvent& event) {
        const QString op = event.body.value(QStringLiteral("op")).toString();
        if (op == QLatin1String("echo")) {
            if (event.reply)
                event.reply->send(event.body);
        } else if (op == QLatin1String("pid")) {
            QCborMap reply;
            reply.insert(QStringLiteral("pid"), qint64(::getpid()));
            if (event.reply)
                event.reply->send(reply);
        } else if (op == QLatin1String("sleep")) {
            const auto ms = event.body.value(QStringLiteral("ms")).toInteger();
            std::thread([reply = event.reply, body = event.body, ms] {
                std::this_thread::sleep_for(std::chrono::milliseconds(ms));
                if (reply)
                    reply->send(body);
            }).detach();
        } else if (op == QLatin1String("exit")) {
            ::_exit(int(event.body.value(QStringLiteral("code")).toInteger()));
        } else if (op == QLatin1String("abort")) {
            std::abort();
        }
        // "hang": nothing
    });
    QObject::connect(&host, &platform::XpcServiceHost::ended, &app, &QCoreApplication::quit);
    return app.exec();
}
