// Kalvanto: the playback server's desktop application.
#include "shell/main/SignalQuitter.h"
#include "app/moviecontroller/KLVDecoderEngine.h"
#include "shell/KLVAppDelegate.h"
#include "shell/KLVDataFile.h"
#include "shell/KLVInstanceGuard.h"
#include "shell/KLVLocalized.h"
#include "shell/KLVStartup.h"
#include "app/gl/SharedContext.h"
#include "platform/gl/ssGLContext.h"
#include "platform/sanitizer/LeakCheck.h"
#include "app/ports/KLVTimerSource.h"
#include "ui/widgets/ports/KLVFileDialogPicker.h"
#include "ui/widgets/ports/KLVMessageBoxPrompter.h"

#include <QApplication>
#include <QFileInfo>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Output windows are placed over their screens and kept above everything, which only X11 lets
// an application do: with a display at hand, Qt runs on it even inside a Wayland session.
void chooseWindowSystem()
{
    const char* display = std::getenv("DISPLAY");
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (display && *display && (!platform || !*platform || std::strncmp(platform, "wayland", 7) == 0))
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
}

} // namespace

int main(int argc, char** argv)
{
    chooseWindowSystem();
    QApplication::setOrganizationName(QStringLiteral("Quenmark"));
    QApplication::setApplicationName(QStringLiteral("Kalvanto"));
    // Engine contexts, the preview and the output windows share textures.
    SharedContext::configureBeforeApplication();
    QApplication app(argc, argv);
    KLVLocalized::install();

    // Before any card is enumerated or any engine thread starts.
    KLVStartup::registerDefaults();
    KLVStartup::configureCardBackend();
    // SIGTERM, SIGINT and SIGHUP end the event loop: the document is saved on the way out.
    SignalQuitter quitter;

    QStringList documents;
    for (const QString& argument : app.arguments().mid(1))
        if (QFileInfo(argument).suffix() == QLatin1String("klv3"))
            documents.append(QFileInfo(argument).absoluteFilePath());
    // Never two writers of one document: a program already on this data file gets the documents.
    KLVInstanceGuard instanceGuard;
    const QString dataFile = KLVDataFile::dataFilePath();
    switch (instanceGuard.claim(dataFile, documents)) {
    case KLVInstanceGuard::Claim::Held:
        break;
    case KLVInstanceGuard::Claim::HandedOver:
        std::fprintf(stderr, "Kalvanto is already running with %s; the documents were handed to it.\n",
                     qPrintable(dataFile));
        return 0;
    case KLVInstanceGuard::Claim::Busy:
        std::fprintf(stderr, "Kalvanto is already running with %s and does not answer; this one quits.\n",
                     qPrintable(dataFile));
        return 1;
    }

    KLVMessageBoxPrompter prompter;
    KLVFileDialogPicker picker;
    // Without usable OpenGL this tells the user and ends the program.
    SharedContext::setPrompter(&prompter);
    SharedContext* shared = SharedContext::instance();
    KLVAppDelegate::Services services;
    services.prompter = &prompter;
    services.filePicker = &picker;
    services.timers = &KLVTimerSource::mainLoop();
    services.instanceGuard = &instanceGuard;
    services.shareContext = shared ? shared->context() : nullptr;
    services.updateFeedUrl = KLVAppDelegate::configuredUpdateFeedUrl();
    const std::string resources = KLVDecoderEngine::defaultResourceBase();
    // Each engine renders in its own context of the shared object space, made here on the GUI thread.
    services.engineFactory = [resources, shared](long tag) {
        return std::make_unique<KLVDecoderEngine>(resources, shared ? shared->createEngineContext() : nullptr,
                                                  KLVDecoderEngine::logNameOf(tag));
    };

    int status = 0;
    {
        KLVAppDelegate delegate(std::move(services));
        delegate.applicationWillFinishLaunching();
        QObject::connect(&instanceGuard, &KLVInstanceGuard::documentsReceived, &delegate,
                         [&delegate](const QStringList& handed) { delegate.openDocumentsHandedOver(handed); });
        // A server restarted unattended goes back on air whatever it has to tell the user: what
        // start-up has to say (a save that failed, a helper that is missing, a device in use) is
        // shown once the channels and their outputs are up, and waits for nobody.
        prompter.holdNotices();
        QTimer::singleShot(0, &delegate, [&delegate, &prompter, documents] {
            // A document named at start is the document the channels start with: opened before
            // they are made, each channel with an output cues its first cue from it, as from the
            // data file. Opened after, the channels would list its cues with none of them cued.
            for (const QString& document : documents)
                delegate.openFileAtURL(document);
            delegate.applicationDidFinishLaunching();
            prompter.releaseNotices();
        });
        status = app.exec();
    }
    platform::checkLeaksBeforeTeardown();
    return status;
}
