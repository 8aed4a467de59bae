#pragma once
// The real Kalvanto program started as a child process on the X display, in a temporary home
// with a prepared document and device file, the virtual cards (each writing a frame log) and the
// privileged helper off. Tests then speak to it only over its wire interfaces.

#include "app/document/KLVPlaylistNode.h"
#include "tests/support/TempFolder.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

namespace e2e {

// A cue of the prepared document.
struct Cue {
    QString name;
    QString path;
    double fps = 25;
    double duration = 0; // seconds, as the media helper would have measured it
    double inPoint = -1; // seconds; < 0 for none
    int playbackBehavior = 0; // 0 stop at the end, 1 loop, 2 next cue
    double outPoint = -1; // seconds; < 0: the duration
};

struct Scene {
    // Channels of the document (1-based) and their cues.
    std::vector<std::vector<Cue>> channels;
    // For each channel (same order), the master it is linked to (0: none).
    std::vector<int> linkedTo;
    // For each channel (same order), the folder it is a smart channel of (empty: an ordinary one).
    std::vector<QString> smartDirectories;
    // The inner XML of each <device> of commModuleDevices.xml, with its attributes
    // (deviceLabel, klvChannel, ...) given as the element's opening tag text.
    QStringList devices;
    // The virtual cards' JSON ("cards": [...]).
    QString cardsJson;
    // Extra "Key=value" lines for the [General] section of the user defaults.
    QStringList defaults;
    QStringList extraEnvironment;
    // > 0: no file the program writes may grow past this many bytes (a write beyond fails as on
    // a full disk).
    long long fileSizeLimit = 0;
    // Another copy of the program (an installed tree) and its card plugin; empty: the build's.
    QString program;
    QString cardPlugin;
};

// The device file entry for a listening TCP port on loopback for `parserClass`.
QString tcpDevice(const QString& label, int channel, const QString& parserClass, uint16_t port,
                  const QString& parserAttributes = {});
// The same for a serial line (a pseudo-terminal's slave path).
QString serialDevice(const QString& label, int channel, const QString& parserClass, const QString& path,
                     const QString& parserAttributes = {});
// One card with one small progressive test mode.
QString cardJson(const QString& name, int width, int height, int fps);

class KalvantoProcess {
public:
    // Prepares the home; start() runs the program.
    explicit KalvantoProcess(const Scene& scene);
    ~KalvantoProcess(); // SIGKILL if still running

    // Empty when the test cannot run here (no display, no program), with the reason.
    static QString unavailableReason();
    // The build tree's program.
    static QString builtProgram();

    bool start();
    pid_t pid() const { return pid_; }
    bool running();
    // SIGTERM and wait: the program's exit status, or -1 when it did not end in time (then killed).
    int terminate(std::chrono::seconds limit = std::chrono::seconds(30));
    void kill9();

    // Runs another start of the same program in the same home with these arguments and waits
    // for it to end: its exit status (-1 when it did not end in time and was killed) and output.
    int runAnother(const QStringList& arguments, QByteArray* output,
                   std::chrono::seconds limit = std::chrono::seconds(30)) const;

    testsupport::TempFolder& home() { return home_; }
    QString documentPath() const { return document_; }
    // Card N's frame log.
    QString frameLogPath(int card) const;
    // What the program wrote to stdout and stderr so far.
    QByteArray output() const;
    // The Clipwright processes that are children of the program.
    std::vector<pid_t> helperChildren() const;
    // Whether the program has a file-system watch (inotify) on the folder: a smart folder follows
    // changes from then on.
    bool watchesFolder(const QString& path) const;

private:
    testsupport::TempFolder home_;
    QString document_;
    QString logPrefix_;
    QString outputPath_;
    QString program_;
    std::vector<std::string> environment_;
    long long fileSizeLimit_ = 0;
    pid_t pid_ = -1;
};

// Runs until `ready` is true or `limitMs` passes; false on timeout.
bool waitFor(const std::function<bool()>& ready, int limitMs);

} // namespace e2e
