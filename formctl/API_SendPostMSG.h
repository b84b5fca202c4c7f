#pragma once

class QWidget;

// Asking a form to close, as the platform's window messages did.
namespace API_SendPostMSG {

// Posted: the form is asked to close after the current event has been handled, so its own
// closing code runs normally.
void PostClose(QWidget* form);

// Sent: the form is asked to close at once, as the user's close command does; false when it
// refused.
bool SendClose(QWidget* form);

}  // namespace API_SendPostMSG
