#pragma once
// Watches a folder and every folder below it and says changed() after a burst of changes has
// been gathered for the latency (at most once per latency, so a file being copied in gives one
// notice, not one per write). Uses inotify, with a watch added for each new subfolder; where
// inotify cannot be used (no instance or watch limit reached) it polls the tree once a second on
// a thread of its own. Lives on the main thread.

#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

class QSocketNotifier;

class KLVDirectoryWatcher : public QObject {
    Q_OBJECT
public:
    static constexpr int kDefaultLatencyMs = 3000;
    static constexpr int kPollIntervalMs = 1000;

    explicit KLVDirectoryWatcher(QObject* parent = nullptr);
    ~KLVDirectoryWatcher() override;

    // Starts watching path (already tilde-expanded). forcePolling skips inotify.
    void start(const QString& path, int latencyMs = kDefaultLatencyMs, bool forcePolling = false);
    void stop();
    bool isWatching() const { return !path_.isEmpty(); }
    bool isPolling() const { return poller_.joinable(); }
    QString path() const { return path_; }

signals:
    void changed();

private:
    void noteChange();
    bool startInotify();
    bool addTree(const QString& dir);
    void readEvents();
    void startPolling();
    void stopPolling();

    QString path_;
    QTimer latency_;
    int fd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    std::map<int, QString> watches_;

    std::thread poller_;
    std::mutex pollMutex_;
    std::condition_variable pollWake_;
    bool pollStop_ = false;
};
