#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP into a clean QCoreApplication::quit() on the main thread.
// The signal handler only writes one byte to a socket pair; the notifier does the rest.
class SignalQuitter : public QObject {
    Q_OBJECT
public:
    explicit SignalQuitter(QObject* parent = nullptr);
    ~SignalQuitter() override;

private:
    static void handle(int signal);
    void readSignal();

    QSocketNotifier* notifier_ = nullptr;
};
