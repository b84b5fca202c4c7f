#include "Fun_FormPosition.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "Dunvorel_TypeLib.h"
#include "Fun_SystemMetrics.h"

using namespace Dunvorel_TypeLib;

namespace Fun_FormPosition {

bool CanPlaceWindows() {
    return !QGuiApplication::platformName().startsWith(QStringLiteral("wayland"));
}

// The centre ignores the desktop's panels; the bottom positions stand on the bottom strip.
std::optional<QPoint> ScreenPosition(int code, const QSize& outer, const QRect& screen,
                                     int bottomStrip) {
    const int sh = screen.height();
    const int sw = screen.width();
    const int h = outer.height();
    const int w = outer.width();
    switch (code) {
        case FormPos_CenterMiddle:
            return screen.topLeft() + QPoint((sw - w) / 2, (sh - h) / 2);
        case FormPos_RightBottom:
            return screen.topLeft() + QPoint(sw - w, sh - (h + bottomStrip));
        case FormPos_RightTop:
            return screen.topLeft() + QPoint(sw - w, 0);
        case FormPos_LeftBottom:
            return screen.topLeft() + QPoint(0, sh - (h + bottomStrip));
        case FormPos_LeftTop:
            return screen.topLeft();
        default:
            return std::nullopt;
    }
}

void PositionScreen(QWidget* form, int code) {
    const QScreen* screen = Fun_SystemMetrics::ScreenOf(form);
    if (!screen || !CanPlaceWindows())
        return;
    const std::optional<QPoint> place =
        ScreenPosition(code, form->frameGeometry().size(), screen->geometry(),
                       Fun_SystemMetrics::BottomStrip(screen));
    if (place)
        form->move(*place);
}

}  // namespace Fun_FormPosition
