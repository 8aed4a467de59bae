#include "tests/e2e/support/KalvantoProcess.h"

#include "app/document/KLVDocumentClasses.h"
#include "app/document/KLVPlaylist.h"
#include "platform/decklink/virtual/FrameLog.h"
#include "shell/KLVDataFile.h"
#include "tests/support/Instrumented.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <thread>

extern char** environ;

namespace e2e {

namespace {

QString devicesXml(const QStringList& devices)
{
    QString xml = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<devices>\n");
    for (const QString& d : devices)
        xml += d;
    return xml + QStringLiteral("</devices>\n");
}

QString deviceOpening(const QString& label, int channel)
{
    // The ID only needs to be unique within the file.
    static int serial = 0;
    return QStringLiteral("  <device deviceLabel=\"%1\" deviceID=\"00000000-0000-0000-0000-%2\" reconnect=\"1\" "
                          "klvChannel=\"%3\">\n")
        .arg(label)
        .arg(++serial, 12, 10, QChar(u'0'))
        .arg(channel);
}

} // namespace

QString tcpDevice(const QString& label, int channel, const QString& parserClass, uint16_t port,
                  const QString& parserAttributes)
{
    return deviceOpening(label, channel)
        + QStringLiteral("    <%1 %2>\n      <QMTCPNetworkHardwareCommunicator interface=\"lo\" port=\"%3\" mode=\"2\"/>\n"
                         "    </%1>\n  </device>\n")
              .arg(parserClass, parserAttributes.isEmpty() ? QStringLiteral("behavior=\"4\"") : parserAttributes)
              .arg(port);
}

QString serialDevice(const QString& label, int channel, const QString& parserClass, const QString& path,
                     const QString& parserAttributes)
{
    return deviceOpening(label, channel)
        + QStringLiteral("    <%1 %2>\n      <QMSerialHardwareCommunicator interface=\"%3\" speed=\"38400\" "
                         "dataBits=\"8\" parity=\"2\" stopBits=\"1\"/>\n    </%1>\n  </device>\n")
              .arg(parserClass, parserAttributes.isEmpty() ? QStringLiteral("behavior=\"4\"") : parserAttributes,
                   path);
}

QString cardJson(const QString& name, int width, int height, int fps)
{
    return QStringLiteral("{\"name\": \"%1\", \"modes\": [{\"name\": \"Test %2x%3p%4\", \"width\": %2, "
                          "\"height\": %3, \"frameDuration\": 1, \"timeScale\": %4}]}")
        .arg(name)
        .arg(width)
        .arg(height)
        .arg(fps);
}

QString KalvantoProcess::builtProgram()
{
    return QString::fromLocal8Bit(qgetenv("KLV_BINARY_DIR")) + QStringLiteral("/bin/Kalvanto");
}

KalvantoProcess::KalvantoProcess(const Scene& setup)
    : program_(setup.program.isEmpty() ? builtProgram() : setup.program), fileSizeLimit_(setup.fileSizeLimit)
{
    const QString root = home_.path();
    home_.writeFile(QStringLiteral(".local/share/Quenmark/Kalvanto/commModuleDevices.xml"),
                    devicesXml(setup.devices).toUtf8());

    KLVDocumentClasses::registerClasses();
    auto playlist = KLVPlaylist::createForNumberOfOutputs(int(std::max<size_t>(setup.channels.size(), 1)));
    for (size_t c = 0; c < setup.channels.size(); ++c) {
        KLVChannel::NodeList items;
        for (const Cue& cue : setup.channels[c]) {
            auto node = KLVPlaylistNode::create();
            node->setPlnName(cue.name);
            node->setPlnSourcePath(cue.path);
            node->setFps(cue.fps);
            if (cue.duration > 0) {
                node->setDuration(cue.duration);
                node->setOutPoint(cue.duration);
            }
            node->setPlaybackBehavior(cue.playbackBehavior);
            if (cue.inPoint >= 0)
                node->setInPoint(cue.inPoint);
            if (cue.outPoint >= 0)
                node->setOutPoint(cue.outPoint);
            items.push_back(node);
        }
        const auto channel = playlist->channelForChannelNumber(int64_t(c + 1), true);
        channel->setPlaylistItems(items);
        if (c < setup.linkedTo.size() && setup.linkedTo[c] > 0)
            channel->setLinkedChannelNumber(setup.linkedTo[c]);
        if (c < setup.smartDirectories.size() && !setup.smartDirectories[c].isEmpty()) {
            channel->setType(1);
            channel->setSmartDirectory(setup.smartDirectories[c]);
        }
    }
    document_ = home_.filePath(QStringLiteral("Shows/show.klv3"));
    QDir().mkpath(QFileInfo(document_).absolutePath());
    KLVDataFile::serialize(*playlist, document_);

    QString defaults = QStringLiteral("[General]\n");
    for (const QString& line : setup.defaults)
        defaults += line + QLatin1Char('\n');
    home_.writeFile(QStringLiteral(".config/Quenmark/Kalvanto.conf"), defaults.toUtf8());

    const QString cards = home_.writeFile(QStringLiteral("cards.json"),
                                          (QStringLiteral("{\"cards\": [") + setup.cardsJson + QStringLiteral("]}"))
                                              .toUtf8());
    logPrefix_ = home_.filePath(QStringLiteral("frames"));
    outputPath_ = home_.filePath(QStringLiteral("output.log"));

    for (char** e = environ; *e; ++e) {
        const std::string entry(*e);
        if (entry.rfind("HOME=", 0) && entry.rfind("XDG_", 0) && entry.rfind("QT_QPA_PLATFORM=", 0)
            && entry.rfind("KLV_DECKLINK", 0))
            environment_.push_back(entry);
    }
    const std::string r = root.toStdString();
    environment_.push_back("HOME=" + r);
    environment_.push_back("XDG_CONFIG_HOME=" + r + "/.config");
    environment_.push_back("XDG_DATA_HOME=" + r + "/.local/share");
    environment_.push_back("XDG_CACHE_HOME=" + r + "/.cache");
    environment_.push_back("XDG_RUNTIME_DIR=" + r);
    environment_.push_back("QT_QPA_PLATFORM=xcb");
    environment_.push_back("KLV_DISABLE_PRIVILEGED_HELPER=1");
    environment_.push_back("KLV_NO_RT=1");
    environment_.push_back("KLV_LOG_SINK=stderr");
    const QString plugin = setup.cardPlugin.isEmpty()
        ? qEnvironmentVariable("KLV_BINARY_DIR") + QStringLiteral("/lib/klv-decklink-virtual.so")
        : setup.cardPlugin;
    environment_.push_back("KLV_DECKLINK_PLUGIN=" + plugin.toStdString());
    environment_.push_back("KLV_DECKLINK_VIRTUAL_CONFIG=" + cards.toStdString());
    environment_.push_back(std::string(platform::decklink::kFrameLogEnvironmentVariable) + "="
                           + logPrefix_.toStdString());
    for (const QString& e : setup.extraEnvironment)
        environment_.push_back(e.toStdString());
}

KalvantoProcess::~KalvantoProcess()
{
    if (pid_ > 0)
        kill9();
}

QString KalvantoProcess::unavailableReason()
{
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display)
        return QStringLiteral("needs an X display");
    if (!QFileInfo(builtProgram()).isExecutable())
        return QStringLiteral("Kalvanto is not built");
    return {};
}

bool KalvantoProcess::start()
{
    std::vector<char*> envp;
    for (std::string& e : environment_)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string program = program_.toStdString();
    std::string document = document_.toStdString();
    char* argv[] = {program.data(), document.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string out = outputPath_.toStdString();
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    // The child inherits the limit, and SIGXFSZ ignored: a write past the limit fails with EFBIG
    // instead of killing the program.
    rlimit before {};
    struct sigaction ignore {}, handler {};
    ignore.sa_handler = SIG_IGN;
    if (fileSizeLimit_ > 0) {
        ::getrlimit(RLIMIT_FSIZE, &before);
        rlimit limited = before;
        limited.rlim_cur = rlim_t(fileSizeLimit_);
        ::sigaction(SIGXFSZ, &ignore, &handler);
        ::setrlimit(RLIMIT_FSIZE, &limited);
    }
    const int rc = ::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv, envp.data());
    if (fileSizeLimit_ > 0) {
        ::setrlimit(RLIMIT_FSIZE, &before);
        ::sigaction(SIGXFSZ, &handler, nullptr);
    }
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        pid_ = -1;
    return rc == 0;
}

int KalvantoProcess::runAnother(const QStringList& arguments, QByteArray* output, std::chrono::seconds limit) const
{
    std::vector<std::string> environment = environment_;
    std::vector<char*> envp;
    for (std::string& e : environment)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string program = program_.toStdString();
    std::vector<std::string> words{program};
    for (const QString& argument : arguments)
        words.push_back(argument.toStdString());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    const std::string out = home_.filePath(QStringLiteral("another-output.log")).toStdString();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return -1;
    int result = -1;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            result = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            break;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (output) {
        QFile file(QString::fromStdString(out));
        *output = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    return result;
}

bool KalvantoProcess::running()
{
    if (pid_ <= 0)
        return false;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return false;
    }
    return true;
}

int KalvantoProcess::terminate(std::chrono::seconds limit)
{
    if (pid_ <= 0)
        return -1;
    ::kill(pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill9();
    return -1;
}

void KalvantoProcess::kill9()
{
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

QString KalvantoProcess::frameLogPath(int card) const
{
    return logPrefix_ + QLatin1Char('.') + QString::number(card);
}

QByteArray KalvantoProcess::output() const
{
    QFile file(outputPath_);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::vector<pid_t> KalvantoProcess::helperChildren() const
{
    std::vector<pid_t> found;
    if (pid_ <= 0)
        return found;
    const QString children = QStringLiteral("/proc/%1/task/%1/children").arg(pid_);
    QFile file(children);
    if (!file.open(QIODevice::ReadOnly))
        return found;
    for (const QByteArray& id : file.readAll().split(' ')) {
        bool ok = false;
        const pid_t child = pid_t(id.trimmed().toInt(&ok));
        if (!ok)
            continue;
        QFile comm(QStringLiteral("/proc/%1/comm").arg(child));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "Clipwright")
            found.push_back(child);
    }
    return found;
}

bool KalvantoProcess::watchesFolder(const QString& path) const
{
    struct stat folder {};
    if (pid_ <= 0 || ::stat(QFile::encodeName(path).constData(), &folder) != 0)
        return false;
    const QByteArray inode = "ino:" + QByteArray::number(qulonglong(folder.st_ino), 16) + ' ';
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid_));
    for (const QString& fd : fds.entryList(QDir::Files | QDir::System)) {
        char target[64] = {};
        const ssize_t n = ::readlink(QFile::encodeName(fds.filePath(fd)).constData(), target, sizeof target - 1);
        if (n <= 0 || std::strcmp(target, "anon_inode:inotify") != 0)
            continue;
        QFile info(QStringLiteral("/proc/%1/fdinfo/%2").arg(pid_).arg(fd));
        if (info.open(QIODevice::ReadOnly) && info.readAll().contains(inode))
            return true;
    }
    return false;
}

bool waitFor(const std::function<bool()>& ready, int limitMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs) * testsupport::kSlowdown;
    while (!ready()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

} // namespace e2e
