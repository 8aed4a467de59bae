#pragma once
// Screen changes (a screen added or removed, a geometry or primary change) reported once per
// turn of the event loop however many arrive together. GUI thread.

#include <QObject>

class QScreen;

class KLVScreenWatcher : public QObject {
    Q_OBJECT
public:
    explicit KLVScreenWatcher(QObject* parent = nullptr);

signals:
    void screensChanged();

private:
    void watch(QScreen* screen);
    void schedule();

    bool pending_ = false;
};
