#pragma once

#include <optional>

#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

// Placing a form at one of the five screen positions of enmFormPos.
namespace Fun_FormPosition {

// False where a client cannot place its own windows (Wayland): positions then place nothing.
bool CanPlaceWindows();

// The top-left corner of a form of outer size `outer` at position code on `screen`, with the
// strip B the desktop reserves at the bottom; nothing for FormPos_Default and unknown codes.
std::optional<QPoint> ScreenPosition(int code, const QSize& outer, const QRect& screen,
                                     int bottomStrip);

// Moves the form (its frame) to the position code on its screen.
void PositionScreen(QWidget* form, int code);

}  // namespace Fun_FormPosition
