#include "Fun_FormPosRegistResume.h"

#include <array>
#include <cmath>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QStandardPaths>
#include <QWidget>

#include "API_IniFileAccess.h"
#include "Fun_FormPosition.h"
#include "Fun_SystemMetrics.h"

namespace {

const QString kWindowState = QStringLiteral("WindowState");
const QString kTop = QStringLiteral("Top");
const QString kLeft = QStringLiteral("Left");
const QString kHeight = QStringLiteral("Height");
const QString kWidth = QStringLiteral("Width");

int StateCode(Qt::WindowStates states) {
    if (states & Qt::WindowMinimized)
        return 1;
    return states & (Qt::WindowMaximized | Qt::WindowFullScreen) ? 2 : 0;
}

Qt::WindowStates StatesOf(int code) {
    switch (code) {
        case 1:
            return Qt::WindowMinimized;
        case 2:
            return Qt::WindowMaximized;
        default:
            return Qt::WindowNoState;
    }
}

bool Write(const QString& section, const QString& key, double value, QString* error) {
    const QString path = Fun_FormPosRegistResume::PositionIniPath();
    if (!QDir().mkpath(QFileInfo(path).path())) {
        if (error)
            *error = QStringLiteral("cannot create the folder of %1").arg(path);
        return false;
    }
    QString reason;
    if (API_IniFileAccess::IniWrite(section, QString::number(std::lround(value)), key, path, false,
                                    &reason) ||
        reason.isEmpty())
        return true;
    if (error)
        *error = QStringLiteral("%1: %2").arg(path, reason);
    return false;
}

}  // namespace

namespace Fun_FormPosRegistResume {

QString PositionIniPath() {
    const QString name = QCoreApplication::applicationName();
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + u'/' + name +
           u'/' + name + QStringLiteral(".ini");
}

QString SectionName(const QWidget* form) {
    return QStringLiteral("Position_") + form->objectName();
}

bool SavePosition(QWidget* form, QString* error) {
    const int state = StateCode(form->windowState());
    if (state == 1)
        return true;
    const QString section = SectionName(form);
    if (!Write(section, kWindowState, state, error))
        return false;
    if (state != 0)
        return true;
    const QScreen* screen = Fun_SystemMetrics::ScreenOf(form);
    const double x = Fun_SystemMetrics::TwipsPerPixelX(screen);
    const double y = Fun_SystemMetrics::TwipsPerPixelY(screen);
    const QRect frame = form->frameGeometry();
    return Write(section, kTop, frame.y() * y, error) &&
           Write(section, kLeft, frame.x() * x, error) &&
           Write(section, kHeight, frame.height() * y, error) &&
           Write(section, kWidth, frame.width() * x, error);
}

Restore RestorePosition(QWidget* form) {
    const QString section = SectionName(form);
    std::array<double, 5> values{};
    const std::array<QString, 5> keys{kWindowState, kTop, kLeft, kHeight, kWidth};
    for (size_t i = 0; i < keys.size(); ++i) {
        QString text;
        if (!API_IniFileAccess::IniRead(section, text, keys[i], PositionIniPath()))
            return Restore::NothingStored;
        bool ok = false;
        values[i] = text.trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(values[i]))
            return Restore::NotNumeric;
    }
    auto [state, top, left, height, width] = values;

    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return Restore::NothingStored;
    const double x = Fun_SystemMetrics::TwipsPerPixelX(screen);
    const double y = Fun_SystemMetrics::TwipsPerPixelY(screen);
    const double screenHeight = screen->geometry().height() * y;
    const double screenWidth = screen->geometry().width() * x;
    if (height > screenHeight)
        height = screenHeight - Fun_SystemMetrics::TaskBarSize(screen) * y;
    if (width > screenWidth)
        width = screenWidth;
    if (top > screenHeight || top < 0)
        top = 0;
    if (left > screenWidth || left < 0)
        left = 0;

    // The stored size is the outer one; the form is sized by its inside.
    const QSize frameExtra = form->frameGeometry().size() - form->size();
    if (Fun_FormPosition::CanPlaceWindows())
        form->move(screen->geometry().topLeft() +
                   QPoint(int(std::lround(left / x)), int(std::lround(top / y))));
    form->resize(int(std::lround(width / x)) - frameExtra.width(),
                 int(std::lround(height / y)) - frameExtra.height());
    form->setWindowState(StatesOf(int(state)));
    return Restore::Restored;
}

}  // namespace Fun_FormPosRegistResume
