#include "Fun_FontSize.h"

#include <QFontMetrics>
#include <QWidget>

namespace Fun_FontSize {

QSize TextSize(const QWidget* target, const QString& text, const QString& fontName,
               qreal fontSize) {
    QFont font = target->font();
    if (!fontName.isEmpty())
        font.setFamily(fontName);
    if (fontSize > 0)
        font.setPointSizeF(fontSize);
    return QFontMetrics(font).size(0, text);
}

}  // namespace Fun_FontSize
