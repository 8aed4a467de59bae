#pragma once
// Sleep and wake of the machine, from logind on the system bus: PrepareForSleep(true) before
// suspending, PrepareForSleep(false) after resuming. A delay inhibitor is held while awake so
// that the application gets to stop its channels before the machine goes down; it is given back
// once willSleep has been handled and taken again on wake. Without a system bus (containers,
// tests) nothing is reported. Main thread.

#include <QDBusUnixFileDescriptor>
#include <QObject>

class KLVSleepWatcher : public QObject {
    Q_OBJECT
public:
    explicit KLVSleepWatcher(QObject* parent = nullptr);
    ~KLVSleepWatcher() override;

    // Connects to logind; false when there is no system bus or no logind.
    bool start();
    bool holdsInhibitor() const { return inhibitor_.isValid(); }

signals:
    void willSleep();
    void didWake();

public slots:
    // logind's signal (also the way tests drive the watcher).
    void prepareForSleep(bool start);

private:
    void takeInhibitor();
    void releaseInhibitor();

    bool connected_ = false;
    QDBusUnixFileDescriptor inhibitor_;
};
