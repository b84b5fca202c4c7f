#pragma once

#include <QObject>

class QWidget;

// Until the form-behaviour control is hosted, this object stands in for it with the members the
// window uses: when the form is first shown it is centred on its screen, its text boxes are
// emptied, and AfterFormPosition follows.
class FormBehaviourStandIn : public QObject {
    Q_OBJECT
    Q_PROPERTY(int PositionScreen READ PositionScreen WRITE setPositionScreen)
    Q_PROPERTY(bool TextBoxClearAll READ TextBoxClearAll WRITE setTextBoxClearAll)

public:
    enum enmFormPos { FormPos_None = 0, FormPos_CenterMiddle = 1 };

    explicit FormBehaviourStandIn(QWidget* form);

    int PositionScreen() const { return m_position; }
    void setPositionScreen(int position) { m_position = position; }
    bool TextBoxClearAll() const { return m_clearAll; }
    void setTextBoxClearAll(bool clear) { m_clearAll = clear; }

signals:
    // The form has been placed; raised after the form's first show event.
    void AfterFormPosition();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void PlaceForm();

    QWidget* m_form;
    int m_position = FormPos_None;
    bool m_clearAll = false;
    bool m_placed = false;
};
