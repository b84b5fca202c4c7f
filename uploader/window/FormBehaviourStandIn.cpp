#include "FormBehaviourStandIn.h"

#include <QEvent>
#include <QLineEdit>
#include <QScreen>
#include <QWidget>

FormBehaviourStandIn::FormBehaviourStandIn(QWidget* form) : QObject(form), m_form(form) {
    form->installEventFilter(this);
}

bool FormBehaviourStandIn::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_form && event->type() == QEvent::Show && !m_placed) {
        m_placed = true;
        PlaceForm();
        QMetaObject::invokeMethod(this, &FormBehaviourStandIn::AfterFormPosition,
                                  Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
}

void FormBehaviourStandIn::PlaceForm() {
    if (m_position == FormPos_CenterMiddle && m_form->screen()) {
        const QRect area = m_form->screen()->availableGeometry();
        m_form->move(area.center() - m_form->rect().center());
    }
    if (!m_clearAll)
        return;
    // The form's own text boxes; the read-only fields inside hosted controls are theirs.
    for (QLineEdit* box : m_form->findChildren<QLineEdit*>()) {
        if (!box->isReadOnly() && !box->text().isEmpty())
            box->clear();
    }
}
