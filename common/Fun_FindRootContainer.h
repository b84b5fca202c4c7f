#pragma once

class QObject;

// Finding the form a control sits on.
namespace Fun_FindRootContainer {

// Walks up the parents of control. With stopAtForm the first window (the control itself when it
// is one) is returned; otherwise the topmost object reached.
QObject* FindRootContainer(QObject* control, bool stopAtForm);

}  // namespace Fun_FindRootContainer
