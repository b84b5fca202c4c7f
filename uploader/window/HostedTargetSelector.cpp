#include "HostedTargetSelector.h"

#include <QLabel>
#include <QVariant>
#include <QWidget>

#include "ComponentControl.h"
#include "Pelomir_TypeLib.h"

using namespace Pelomir_TypeLib;

HostedTargetSelector::HostedTargetSelector(QWidget* form, const QString& name,
                                           const QVariantMap& bag)
    : QObject(form) {
    QString error;
    m_control = ComponentControl::Create(QString::fromLatin1(ProgID), form, bag, &error);
    if (m_control) {
        m_control->Widget()->setObjectName(name);
        return;
    }
    m_error = error;
    m_label = new QLabel(form);
    m_label->setObjectName(name);
    m_label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_label->setToolTip(error);
    // A long path must not widen the window.
    m_label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

QWidget* HostedTargetSelector::Widget() const {
    return m_control ? m_control->Widget() : m_label;
}

void HostedTargetSelector::Note(const QString& error) const {
    if (m_error.isEmpty())
        m_error = error;
}

void HostedTargetSelector::setInitDir(const QString& path) {
    QString error;
    if (!m_control)
        m_label->setText(path);
    else if (!m_control->SetProperty(DispId::InitDir, path, &error))
        Note(error);
}

QString HostedTargetSelector::Target() const {
    if (!m_control)
        return m_label->text();
    QVariant target;
    QString error;
    if (!m_control->GetProperty(DispId::Target, &target, &error))
        Note(error);
    return target.toString();
}

void HostedTargetSelector::setENABLED(bool enabled) {
    QString error;
    if (!m_control)
        m_label->setEnabled(enabled);
    else if (!m_control->SetProperty(DispId::ENABLED, enabled, &error))
        Note(error);
}

bool HostedTargetSelector::ENABLED() const {
    if (!m_control)
        return m_label->isEnabled();
    QVariant enabled;
    QString error;
    if (!m_control->GetProperty(DispId::ENABLED, &enabled, &error))
        Note(error);
    return enabled.toBool();
}

void HostedTargetSelector::OnPelomir(std::function<void()> handler) {
    QString error;
    if (m_control && !m_control->ConnectEvent(
                         EventId::OnPelomir, [handler](ComponentEvent&) { handler(); }, &error))
        Note(error);
}
