#pragma once

#include <QList>

class QWidget;

// The controls of a form as the form-behaviour actions see them.
namespace Fun_FormControls {

// The widgets on the form, in the order they were made: not those of other windows, and not
// the widgets inside a hosted control, which are that control's own.
QList<QWidget*> FormControls(QWidget* form);

// A field that holds text the user types: a line edit (not the one inside a spin box or combo
// box), a text edit, a plain text edit or an editable combo box.
bool IsTextBox(const QWidget* widget);

// Empties a text box; other widgets are left alone.
void ClearText(QWidget* widget);

}  // namespace Fun_FormControls
