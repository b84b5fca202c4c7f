#include "TargetSelectorStandIn.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QStringList>
#include <QToolButton>

namespace {

// "desc|pattern|desc|pattern" to Qt's "desc;;desc": the descriptions name their patterns.
QString QtFilter(const QString& filter) {
    const QStringList parts = filter.split(u'|');
    QStringList descriptions;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        descriptions.append(parts.at(i).contains(u'(')
                                ? parts.at(i)
                                : parts.at(i) + QStringLiteral(" (") + parts.at(i + 1) + u')');
    return descriptions.join(QStringLiteral(";;"));
}

}  // namespace

TargetSelectorStandIn::TargetSelectorStandIn(enmStStyle style, const QString& filter,
                                             QWidget* parent)
    : QWidget(parent),
      m_style(style),
      m_filter(filter),
      m_field(new QLineEdit(this)),
      m_button(new QToolButton(this)) {
    m_field->setReadOnly(true);
    m_button->setText(QStringLiteral("..."));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(m_field, 1);
    layout->addWidget(m_button);
    setFocusPolicy(Qt::StrongFocus);
    setFocusProxy(m_button);
    m_button->setFocusPolicy(Qt::StrongFocus);
    connect(m_button, &QToolButton::clicked, this, &TargetSelectorStandIn::Browse);
}

void TargetSelectorStandIn::setInitDir(const QString& path) {
    m_initDir = path;
    m_field->setText(path);
}

QString TargetSelectorStandIn::InitDir() const {
    return m_initDir;
}

QString TargetSelectorStandIn::Target() const {
    return m_field->text();
}

void TargetSelectorStandIn::setENABLED(bool enabled) {
    setEnabled(enabled);
}

bool TargetSelectorStandIn::ENABLED() const {
    return isEnabled();
}

void TargetSelectorStandIn::Browse() {
    const QString start = Target().isEmpty() ? QString() : QFileInfo(Target()).absolutePath();
    const QString chosen =
        m_style == ST_Folder
            ? QFileDialog::getExistingDirectory(this, QString(), Target())
            : QFileDialog::getOpenFileName(this, QString(), start, QtFilter(m_filter));
    if (chosen.isEmpty())
        return;
    m_field->setText(chosen);
    emit OnPelomir();
}
