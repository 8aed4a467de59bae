// Clipwright reads media metadata and draws thumbnails and slates for Kalvanto, in a process of
// its own so that a file that crashes FFmpeg cannot take the show down. Kalvanto starts it with
// the connection on fd 3; it exits when Kalvanto closes the connection or dies.

#include "mediahelper/service/ClipwrightService.h"
#include "mediahelper/service/JobLanes.h"
#include "platform/xpc/XpcConnection.h"
#include "platform/xpc/XpcServiceHost.h"
#include "platform/xpc/XpcSpawn.h"

#include <QGuiApplication>

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include <sys/prctl.h>

int main(int argc, char** argv)
{
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    platform::ignoreSigpipe();
    if (!platform::XpcServiceHost::descriptorIsConnection(platform::kXpcServiceFd)) {
        std::fputs("Clipwright is started by Kalvanto and has no command line.\n", stderr);
        return 2;
    }
    // No screens here: images are drawn offscreen whatever the session offers.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    clipwright::JobLanes lanes; // after app: jobs draw text, so they end before it goes
    clipwright::ClipwrightService service(lanes);
    platform::XpcServiceHost host(platform::kXpcServiceFd,
                                  [&service](const platform::XpcEvent& event) { service.Clipwright_peer_event_handler(event); });
    QObject::connect(&host, &platform::XpcServiceHost::ended, &app, &QCoreApplication::quit);
    const int code = app.exec();
    if (lanes.stalled() > 0) {
        // A job still stuck (in a read that never returns) would use the service and the
        // application objects after they are gone: leave without tearing them down.
        std::fflush(nullptr);
        std::_Exit(code);
    }
    return code;
}
