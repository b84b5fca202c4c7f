#pragma once

class QWidget;

// Selecting the whole text of an edit field.
namespace Fun_SelText {

// Selects all text of control (the focused widget when null). Widgets without text selection
// are left alone.
void SelectAllText(QWidget* control = nullptr);

}  // namespace Fun_SelText
