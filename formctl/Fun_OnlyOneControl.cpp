#include "Fun_OnlyOneControl.h"

#include <QCoreApplication>
#include <QLabel>
#include <QWidget>

#include "Fun_SystemMetrics.h"

namespace {

// Set while the form is being sized around its control, whose resize events must not stretch
// the control back.
bool g_fitting = false;

}  // namespace

namespace Fun_OnlyOneControl {

int HeightOverhead(const QWidget* form) {
    return Fun_SystemMetrics::MenuHeight(form) + Fun_SystemMetrics::StatusBarHeight(form);
}

void OnlyOneCtrl(QWidget* control) {
    QWidget* form = control->parentWidget();
    if (!form || g_fitting)
        return;
    g_fitting = true;
    QCoreApplication::processEvents();
    control->move(0, Fun_SystemMetrics::MenuHeight(form));
    form->resize(control->width(), control->height() + HeightOverhead(form));
    QCoreApplication::processEvents();
    g_fitting = false;
}

void Resize(QWidget* control, int pitch) {
    QWidget* form = control->parentWidget();
    if (!form || g_fitting)
        return;
    const int overhead = HeightOverhead(form);
    control->resize(form->width() + pitch, form->height() - overhead + pitch);
    // A label keeps the height its text needs at that width, and the form follows it.
    if (auto* label = qobject_cast<QLabel*>(control)) {
        label->resize(label->width(), label->hasHeightForWidth()
                                          ? label->heightForWidth(label->width())
                                          : label->sizeHint().height());
        form->resize(form->width(), label->height() + overhead);
    }
}

}  // namespace Fun_OnlyOneControl
