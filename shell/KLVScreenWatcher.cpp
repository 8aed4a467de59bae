#include "shell/KLVScreenWatcher.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

KLVScreenWatcher::KLVScreenWatcher(QObject* parent) : QObject(parent)
{
    auto* app = qGuiApp;
    if (!app)
        return;
    for (QScreen* screen : QGuiApplication::screens())
        watch(screen);
    connect(app, &QGuiApplication::screenAdded, this, [this](QScreen* screen) {
        watch(screen);
        schedule();
    });
    connect(app, &QGuiApplication::screenRemoved, this, [this](QScreen*) { schedule(); });
    connect(app, &QGuiApplication::primaryScreenChanged, this, [this](QScreen*) { schedule(); });
}

void KLVScreenWatcher::watch(QScreen* screen)
{
    connect(screen, &QScreen::geometryChanged, this, [this](const QRect&) { schedule(); });
}

void KLVScreenWatcher::schedule()
{
    if (pending_)
        return;
    pending_ = true;
    QTimer::singleShot(0, this, [this] {
        pending_ = false;
        emit screensChanged();
    });
}
