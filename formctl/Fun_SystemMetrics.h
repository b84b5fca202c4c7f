#pragma once

class QScreen;
class QWidget;

// The sizes the form arithmetic needs from the desktop and the form, in pixels unless said.
namespace Fun_SystemMetrics {

// The screen a form is on (the primary screen when it has none yet).
QScreen* ScreenOf(const QWidget* form);

// B: the strip the desktop reserves at the bottom of the screen (a panel docked there).
int BottomStrip(const QScreen* screen);
// T: the height the desktop's panels reserve, at the top and the bottom together.
int TaskBarSize(const QScreen* screen);

// Twips per pixel (1440 / the screen's logical DPI), horizontally and vertically.
double TwipsPerPixelX(const QScreen* screen);
double TwipsPerPixelY(const QScreen* screen);

// The height of the form's menu bar (0 without one): where the form's client area begins.
int MenuHeight(const QWidget* form);
// The height of the form's status bar (0 without one).
int StatusBarHeight(const QWidget* form);

}  // namespace Fun_SystemMetrics
