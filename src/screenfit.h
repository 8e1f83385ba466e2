#pragma once

#include <QObject>
#include <QRect>
#include <QSize>

class QWidget;

// Windows that fit the screen they open on: the main window on its first start on a screen
// smaller than its form, and every dialog, whose size or content may ask for more than a small
// screen has. The room a window manager's frame takes is kept free.
namespace ScreenFit {

// The room a frame (title bar and borders) takes around a window's own area.
constexpr int FrameWidth = 8;
constexpr int FrameHeight = 40;

// wanted, shrunk to fit available with a frame around it, but not below minimum.
QSize fittedSize(const QSize& wanted, const QSize& minimum, const QRect& available);

// Resizes window to fit its screen's available area, and moves it inside that area.
void fit(QWidget* window);

// Fits every dialog to its screen as it is shown; installed once on the application.
void fitDialogs();

} // namespace ScreenFit
