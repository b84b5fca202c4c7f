#pragma once

class QWidget;

// Forms that consist of one main control: the form is sized around the control, and the control
// is stretched back over the form when the form changes size. "The form" is the control's
// container. Sizes are the form's inside: its menu bar and status bar are the room the control
// does not get.
namespace Fun_OnlyOneControl {

// The form's height beyond the control's: its menu bar and its status bar, each counted once.
int HeightOverhead(const QWidget* form);

// Moves the control to the top-left of the form's client area and sizes the form around it.
void OnlyOneCtrl(QWidget* control);

// Stretches the control over the form, pitch pixels larger each way (smaller when negative); a
// label keeps the height its text needs, and the form takes that height. Does nothing while
// OnlyOneCtrl is sizing the form.
void Resize(QWidget* control, int pitch);

}  // namespace Fun_OnlyOneControl
