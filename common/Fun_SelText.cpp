#include "Fun_SelText.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace Fun_SelText {

void SelectAllText(QWidget* control) {
    QWidget* target = control ? control : QApplication::focusWidget();
    if (auto* combo = qobject_cast<QComboBox*>(target))
        target = combo->lineEdit();
    if (auto* line = qobject_cast<QLineEdit*>(target))
        line->selectAll();
    else if (auto* text = qobject_cast<QTextEdit*>(target))
        text->selectAll();
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(target))
        plain->selectAll();
    else if (auto* spin = qobject_cast<QAbstractSpinBox*>(target))
        spin->selectAll();
}

}  // namespace Fun_SelText
