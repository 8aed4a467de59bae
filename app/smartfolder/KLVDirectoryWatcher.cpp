#include "app/smartfolder/KLVDirectoryWatcher.h"

#include "app/util/KLVDirectoryWalk.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFileInfo>
#include <QSocketNotifier>

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>

namespace {

constexpr uint32_t kWatchMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE
                                | IN_DELETE_SELF | IN_MOVE_SELF | IN_ATTRIB;

// Names, sizes and modification times of everything below path.
QByteArray treeSignature(const QString& path)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    QDirIterator it(path, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        hash.addData(info.filePath().toUtf8());
        hash.addData(QByteArray::number(info.size()));
        hash.addData(QByteArray::number(info.lastModified().toMSecsSinceEpoch()));
    }
    return hash.result();
}

} // namespace

KLVDirectoryWatcher::KLVDirectoryWatcher(QObject* parent) : QObject(parent)
{
    latency_.setSingleShot(true);
    connect(&latency_, &QTimer::timeout, this, &KLVDirectoryWatcher::changed);
}

KLVDirectoryWatcher::~KLVDirectoryWatcher()
{
    stop();
}

void KLVDirectoryWatcher::start(const QString& path, int latencyMs, bool forcePolling)
{
    stop();
    path_ = path;
    latency_.setInterval(latencyMs);
    if (forcePolling || !startInotify())
        startPolling();
}

void KLVDirectoryWatcher::stop()
{
    stopPolling();
    delete notifier_;
    notifier_ = nullptr;
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    watches_.clear();
    latency_.stop();
    path_.clear();
}

void KLVDirectoryWatcher::noteChange()
{
    // Not restarted by later events: a steady trickle of writes still gives a notice per latency.
    if (!latency_.isActive())
        latency_.start();
}

bool KLVDirectoryWatcher::startInotify()
{
    fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0)
        return false;
    if (!addTree(path_)) {
        ::close(fd_);
        fd_ = -1;
        watches_.clear();
        return false;
    }
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &KLVDirectoryWatcher::readEvents);
    return true;
}

// False when the kernel refuses a watch for want of resources (the caller falls back to
// polling); folders that vanish or cannot be read on the way are simply not watched.
bool KLVDirectoryWatcher::addTree(const QString& dir)
{
    KLVDirectoryWalk walk;
    std::vector<QString> pending{dir};
    while (!pending.empty()) {
        const QString folder = pending.back();
        pending.pop_back();
        if (!walk.enter(folder))
            continue;
        const int wd = ::inotify_add_watch(fd_, QFile::encodeName(folder).constData(), kWatchMask);
        if (wd < 0) {
            if (errno == ENOSPC || errno == ENOMEM)
                return false;
            continue;
        }
        watches_[wd] = folder;
        for (const QString& name : KLVDirectoryWalk::entryNames(folder)) {
            const QString child = KLVDirectoryWalk::join(folder, name);
            if (KLVDirectoryWalk::isDirectory(child))
                pending.push_back(child);
        }
    }
    return true;
}

void KLVDirectoryWatcher::readEvents()
{
    alignas(inotify_event) char buffer[16384];
    bool any = false;
    bool exhausted = false;
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n <= 0)
            break;
        any = true;
        for (ssize_t at = 0; at + ssize_t(sizeof(inotify_event)) <= n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += ssize_t(sizeof(inotify_event)) + event->len;
            if (event->mask & IN_IGNORED) {
                watches_.erase(event->wd);
                continue;
            }
            const auto it = watches_.find(event->wd);
            if (it == watches_.end() || event->len == 0)
                continue;
            if ((event->mask & IN_ISDIR) && (event->mask & (IN_CREATE | IN_MOVED_TO))) {
                const QString child = KLVDirectoryWalk::join(it->second, QFile::decodeName(event->name));
                if (!addTree(child))
                    exhausted = true;
            }
        }
    }
    if (any)
        noteChange();
    if (exhausted) {
        // Out of watches: the rest of this tree is polled instead.
        const QString path = path_;
        const int latency = latency_.interval();
        start(path, latency, true);
        noteChange();
    }
}

void KLVDirectoryWatcher::startPolling()
{
    pollStop_ = false;
    const QString path = path_;
    // The first picture of the tree is taken here, not on the poller: a change made just after
    // start() returns must differ from it, however late the poller thread gets to run.
    poller_ = std::thread([this, path, last = treeSignature(path)]() mutable {
        std::unique_lock lock(pollMutex_);
        while (!pollWake_.wait_for(lock, std::chrono::milliseconds(kPollIntervalMs), [this] { return pollStop_; })) {
            lock.unlock();
            const QByteArray now = treeSignature(path);
            lock.lock();
            if (now != last && !pollStop_) {
                last = now;
                QMetaObject::invokeMethod(this, [this] { noteChange(); }, Qt::QueuedConnection);
            }
        }
    });
}

void KLVDirectoryWatcher::stopPolling()
{
    if (!poller_.joinable())
        return;
    {
        std::lock_guard lock(pollMutex_);
        pollStop_ = true;
    }
    pollWake_.notify_all();
    poller_.join();
}
