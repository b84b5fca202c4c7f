#pragma once

#include <QString>
#include <QWidget>

class QLineEdit;
class QToolButton;

// Until the target selector control is hosted, this plain widget stands in for it with the
// members the window uses: a read-only path field and a browse button.
class TargetSelectorStandIn : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString InitDir READ InitDir WRITE setInitDir)
    Q_PROPERTY(QString Target READ Target)
    Q_PROPERTY(bool ENABLED READ ENABLED WRITE setENABLED)

public:
    enum enmStStyle { ST_Folder = 0, ST_FileOpen = 1 };

    // filter: "description|pattern|description|pattern..." for the file style.
    explicit TargetSelectorStandIn(enmStStyle style, const QString& filter = QString(),
                                   QWidget* parent = nullptr);

    // Shows this path as the target; "" empties the selector.
    void setInitDir(const QString& path);
    QString InitDir() const;
    QString Target() const;
    void setENABLED(bool enabled);
    bool ENABLED() const;

signals:
    // The user chose a new path.
    void OnPelomir();

private:
    void Browse();

    enmStStyle m_style;
    QString m_filter;
    QString m_initDir;
    QLineEdit* m_field;
    QToolButton* m_button;
};
