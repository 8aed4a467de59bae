#pragma once
// Placing windows: centring over the main window, and reopening a window at the frame it had when
// it was last closed (kept in the user defaults under "NSWindow Frame <name>").

#include <QRect>
#include <QString>

class QWidget;

namespace WindowPlacement {

// The window's point (horizontal middle, 40 % of its height up from its bottom) goes onto the
// other window's centre; each coordinate of the new origin is taken only when it is greater than
// the current one.
void centerWeightedOverWindow(QWidget& window, const QWidget& other);
// Over the application's main window (the active top-level one, else the first visible
// "KLVMainWindow"), or centred on the screen when there is none.
void centerWeightedOverMainWindow(QWidget& window);
void centerOverMainWindow(QWidget& window);

QString autosaveUserDefaultsKeyFor(const QString& name);
// The saved frame, if any.
bool savedFrame(const QString& name, QRect* frame);
void saveFrame(const QString& name, const QRect& frame);

// A saved frame under the name wins; otherwise a non-empty frame is taken and the window is
// centred over the main window. Then it is shown, raised and activated.
void openWindowAndCenterIfNeeded(QWidget& window, const QString& name, const QRect& frame);

} // namespace WindowPlacement
