#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

class Dunvorel;

// The settings of one form-behaviour control and the actions that apply them to its host form.
// Every action does nothing until the control has found its form, and nothing in a form designer.
class clsMainFunc {
public:
    Dunvorel* csUc = nullptr;           // the control that owns this object
    bool blnUserMode = false;           // the host runs (not a form designer)
    QPointer<QWidget> RootContainer;    // the host form
    bool blnSetMinButton = false;       // give the form a minimize button
    bool blnOnlyOneCtrl = false;        // a single control fills the form
    int lngOnlyOneCtrlPitch = 0;        // extra pixels for that control
    bool blnPositionRegister = false;   // position memory is on
    QPointer<QWidget> objOnlyOneCtrl;   // the single control
    bool blnShowMenuLine = true;        // draw the etched line under the menu bar
    bool blnCaptionIsAppTitle = false;  // caption = application title
    bool blnAppPrevInstance = false;    // previous-instance handling on
    QString strCommandLine;             // command line handed to a previous instance
    bool blnSetMostTop = false;         // always on top
    bool blnTextBoxClear = false;       // empty every text box when shown
    int lngPositionScreen = 0;          // enmFormPos

    // The host form is the active window.
    bool IsHavingFocus() const;
    // Empties every text box of the form, leaving the widgets of hosted controls alone.
    void TextBoxClearAll();
    // The form the control sits on.
    QWidget* FindParent() const;
    // On top of other windows, or back among them.
    void SetMostTop();
    // Saves (nRegister) or restores (nResume) the form's position when position memory is on.
    // False with the reason when the position could not be saved.
    bool PostionResume(int mode, QString* error = nullptr);
    // Hands the command line to a running instance and closes the form (when switched on).
    // True when another instance was running.
    bool AppPrevInstance();
    void CaptionIsAppTitle();
    void PositionScreen();
    // Shows or hides the etched line at the top of the form's client area.
    void ShowMenuLine();
    void SetMinButton();

    // Set while the form is shown again for a changed window flag, which is no new showing.
    bool blnReshowing = false;

private:
    bool Acts() const { return blnUserMode && RootContainer; }
    // Changes one window flag of the form and shows the form again so that it takes effect.
    void SetWindowFlag(Qt::WindowType flag, bool on);
};
