#include "app/about/WindowPlacement.h"

#include "platform/foundation/UserDefaults.h"

#include <QApplication>
#include <QScreen>
#include <QWidget>

namespace WindowPlacement {

namespace {

QWidget* mainWindow()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == QLatin1String("KLVMainWindow") && widget->isVisible())
            return widget;
    return nullptr;
}

} // namespace

void centerWeightedOverWindow(QWidget& window, const QWidget& other)
{
    const QRect frame = window.frameGeometry();
    const QPoint centre = other.frameGeometry().center();
    // 40 % up from the bottom is 60 % down from the top.
    const int x = centre.x() - frame.width() / 2;
    const int y = centre.y() - int(frame.height() * 0.6);
    window.move(std::max(x, frame.x()), std::max(y, frame.y()));
}

void centerWeightedOverMainWindow(QWidget& window)
{
    if (!window.testAttribute(Qt::WA_Resized))
        window.adjustSize();
    if (QWidget* main = mainWindow(); main && main != &window) {
        centerWeightedOverWindow(window, *main);
        return;
    }
    if (QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen()) {
        QRect frame = window.frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        window.move(frame.topLeft());
    }
}

void centerOverMainWindow(QWidget& window)
{
    centerWeightedOverMainWindow(window);
}

QString autosaveUserDefaultsKeyFor(const QString& name)
{
    return QStringLiteral("NSWindow Frame ") + name;
}

bool savedFrame(const QString& name, QRect* frame)
{
    const QString text = platform::UserDefaults::sharedDefaults().stringForKey(autosaveUserDefaultsKeyFor(name));
    const QStringList parts = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (parts.size() != 4)
        return false;
    int values[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        values[i] = parts[i].toInt(&ok);
        if (!ok)
            return false;
    }
    if (values[2] <= 0 || values[3] <= 0)
        return false;
    *frame = QRect(values[0], values[1], values[2], values[3]);
    return true;
}

void saveFrame(const QString& name, const QRect& frame)
{
    platform::UserDefaults::sharedDefaults().setObject(
        QStringLiteral("%1 %2 %3 %4").arg(frame.x()).arg(frame.y()).arg(frame.width()).arg(frame.height()),
        autosaveUserDefaultsKeyFor(name));
}

void openWindowAndCenterIfNeeded(QWidget& window, const QString& name, const QRect& frame)
{
    QRect saved;
    if (savedFrame(name, &saved)) {
        window.setGeometry(saved);
    } else {
        if (!frame.isNull())
            window.setGeometry(frame);
        centerOverMainWindow(window);
    }
    window.show();
    window.raise();
    window.activateWindow();
}

} // namespace WindowPlacement
