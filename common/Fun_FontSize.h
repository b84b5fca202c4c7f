#pragma once

#include <QSize>
#include <QString>

class QWidget;

// Text measurement with a widget's font.
namespace Fun_FontSize {

// Width and height in pixels of text in the target's font, with another family ("" keeps the
// target's) and point size (-1 keeps it). The target's own font is left as it is.
QSize TextSize(const QWidget* target, const QString& text, const QString& fontName = QString(),
               qreal fontSize = -1);

}  // namespace Fun_FontSize
