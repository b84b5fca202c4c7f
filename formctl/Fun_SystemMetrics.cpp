#include "Fun_SystemMetrics.h"

#include <QGuiApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>

namespace {

constexpr double kTwipsPerInch = 1440.0;

// A bar counts when it is shown (or will be when the form is).
int BarHeight(const QWidget* form, const QWidget* bar) {
    return bar && !bar->isHidden() && bar->parentWidget() == form ? bar->height() : 0;
}

}  // namespace

namespace Fun_SystemMetrics {

QScreen* ScreenOf(const QWidget* form) {
    QScreen* screen = form ? form->screen() : nullptr;
    return screen ? screen : QGuiApplication::primaryScreen();
}

int BottomStrip(const QScreen* screen) {
    return screen ? screen->geometry().bottom() - screen->availableGeometry().bottom() : 0;
}

int TaskBarSize(const QScreen* screen) {
    return screen ? screen->geometry().height() - screen->availableGeometry().height() : 0;
}

double TwipsPerPixelX(const QScreen* screen) {
    return kTwipsPerInch / (screen ? screen->logicalDotsPerInchX() : 96.0);
}

double TwipsPerPixelY(const QScreen* screen) {
    return kTwipsPerInch / (screen ? screen->logicalDotsPerInchY() : 96.0);
}

int MenuHeight(const QWidget* form) {
    if (const auto* main = qobject_cast<const QMainWindow*>(form))
        return BarHeight(form, main->menuWidget());
    return BarHeight(form, form->findChild<QMenuBar*>(QString(), Qt::FindDirectChildrenOnly));
}

int StatusBarHeight(const QWidget* form) {
    return BarHeight(form, form->findChild<QStatusBar*>(QString(), Qt::FindDirectChildrenOnly));
}

}  // namespace Fun_SystemMetrics
