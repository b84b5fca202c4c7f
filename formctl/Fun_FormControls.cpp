#include "Fun_FormControls.h"

#include <QAbstractSpinBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QWidget>

#include "ComponentInterface.h"

namespace {

bool InsideHostedControl(const QWidget* widget, const QWidget* form) {
    for (const QWidget* up = widget->parentWidget(); up && up != form; up = up->parentWidget()) {
        if (up->property(ComponentInterface::kProgIdProperty).isValid())
            return true;
    }
    return false;
}

}  // namespace

namespace Fun_FormControls {

QList<QWidget*> FormControls(QWidget* form) {
    QList<QWidget*> controls;
    for (QWidget* widget : form->findChildren<QWidget*>()) {
        if (widget->window() == form && !InsideHostedControl(widget, form))
            controls.append(widget);
    }
    return controls;
}

bool IsTextBox(const QWidget* widget) {
    if (qobject_cast<const QLineEdit*>(widget))
        return !qobject_cast<const QAbstractSpinBox*>(widget->parentWidget()) &&
               !qobject_cast<const QComboBox*>(widget->parentWidget());
    if (const auto* combo = qobject_cast<const QComboBox*>(widget))
        return combo->isEditable();
    return qobject_cast<const QTextEdit*>(widget) || qobject_cast<const QPlainTextEdit*>(widget);
}

void ClearText(QWidget* widget) {
    if (!IsTextBox(widget))
        return;
    if (auto* line = qobject_cast<QLineEdit*>(widget))
        line->clear();
    else if (auto* combo = qobject_cast<QComboBox*>(widget))
        combo->clearEditText();
    else if (auto* text = qobject_cast<QTextEdit*>(widget))
        text->clear();
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(widget))
        plain->clear();
}

}  // namespace Fun_FormControls
