#pragma once

#include <memory>

#include <QPointer>
#include <QString>
#include <QVariantMap>
#include <QWidget>

class LinkSource;
class QTimer;
class clsMainFunc;

// The form-behaviour control. Placed once on a top-level form, it gives the form, each time the
// form is shown, its single-instance handling, emptied text boxes, its screen or remembered
// position, topmost, the application title as caption, a minimize button and an etched line
// under the menu bar; and it offers the host small form utilities. It draws nothing but that
// line. Its dispatch interface is the type library Dunvorel_TypeLib.h.
class Dunvorel : public QWidget {
    Q_OBJECT
    Q_CLASSINFO("dispid:68030000", "SetMinButton")
    Q_CLASSINFO("dispid:68030001", "SetFocusCtrl")
    Q_CLASSINFO("dispid:68030002", "TextBoxClearAll")
    Q_CLASSINFO("dispid:68030003", "ShowMenuLine")
    Q_CLASSINFO("dispid:68030004", "SetCurrentDir")
    Q_CLASSINFO("dispid:68030005", "IsRunMode")
    Q_CLASSINFO("dispid:68030006", "PositionScreen")
    Q_CLASSINFO("dispid:68030007", "CaptionIsAppTitle")
    Q_CLASSINFO("dispid:68030008", "FormulatedCmdLine")
    Q_CLASSINFO("dispid:68030009", "IsWinNT")
    Q_CLASSINFO("dispid:6803000A", "IsHavingFocus")
    Q_CLASSINFO("dispid:6803000B", "AppPrevInstance")
    Q_CLASSINFO("description:6803000B",
                "AppPrevのとｌき終わらすのためのもの。\r\nPrevにDDEをSENDする。")
    Q_CLASSINFO("dispid:6803000C", "SetMostTop")
    Q_CLASSINFO("dispid:6803000D", "hWnd")
    Q_CLASSINFO("dispid:6803000E", "Parent")
    Q_CLASSINFO("dispid:6803000F", "ScreenMouse")
    Q_CLASSINFO("dispid:68030010", "BlinkMe")
    Q_CLASSINFO("dispid:68030011", "CustomMouseIcon")
    Q_CLASSINFO("dispid:68030012", "PositionResume")
    Q_CLASSINFO("dispid:60030000", "OnlyOneCtrl")
    Q_CLASSINFO("dispid:60030001", "Resize")
    Q_CLASSINFO("dispid:60030002", "SelectText")
    Q_CLASSINFO("dispid:60030003", "ControlEnabledWithColor")
    Q_CLASSINFO("dispid:60030004", "IsSystemUnload")
    Q_CLASSINFO("dispid:60030005", "PostionRegistery")
    Q_CLASSINFO("dispid:60030006", "Instr2")
    Q_CLASSINFO("dispid:60030007", "Unload2")
    Q_CLASSINFO("event:1", "AfterFormPosition")
    Q_CLASSINFO("event:2", "LinkExecute")

    Q_PROPERTY(bool SetMinButton READ SetMinButton WRITE setSetMinButton)
    Q_PROPERTY(bool TextBoxClearAll READ TextBoxClearAll WRITE setTextBoxClearAll)
    Q_PROPERTY(bool ShowMenuLine READ ShowMenuLine WRITE setShowMenuLine)
    Q_PROPERTY(bool IsRunMode READ IsRunMode)
    Q_PROPERTY(int PositionScreen READ PositionScreen WRITE setPositionScreen)
    Q_PROPERTY(bool CaptionIsAppTitle READ CaptionIsAppTitle WRITE setCaptionIsAppTitle)
    Q_PROPERTY(QString FormulatedCmdLine READ FormulatedCmdLine)
    Q_PROPERTY(bool IsWinNT READ IsWinNT)
    Q_PROPERTY(bool IsHavingFocus READ IsHavingFocus)
    Q_PROPERTY(bool AppPrevInstance READ AppPrevInstance WRITE setAppPrevInstance)
    Q_PROPERTY(bool SetMostTop READ SetMostTop WRITE setSetMostTop)
    Q_PROPERTY(qint32 hWnd READ hWnd)
    Q_PROPERTY(QObject* Parent READ Parent)
    Q_PROPERTY(qint32 ScreenMouse READ ScreenMouse WRITE setScreenMouse)
    Q_PROPERTY(bool BlinkMe READ BlinkMe WRITE setBlinkMe)
    Q_PROPERTY(bool CustomMouseIcon READ CustomMouseIcon WRITE setCustomMouseIcon)
    Q_PROPERTY(bool PositionResume READ PositionResume WRITE setPositionResume)

public:
    explicit Dunvorel(QWidget* form);
    ~Dunvorel() override;

    bool SetMinButton() const;
    void setSetMinButton(bool on);
    bool TextBoxClearAll() const;
    void setTextBoxClearAll(bool on);
    bool ShowMenuLine() const;
    void setShowMenuLine(bool on);
    // False in a form designer, whose folder then becomes this library's.
    bool IsRunMode() const;
    int PositionScreen() const;
    void setPositionScreen(int position);
    bool CaptionIsAppTitle() const;
    void setCaptionIsAppTitle(bool on);
    QString FormulatedCmdLine() const;
    bool IsWinNT() const { return false; }
    bool IsHavingFocus();
    bool AppPrevInstance() const;
    void setAppPrevInstance(bool on);
    bool SetMostTop() const;
    void setSetMostTop(bool on);
    qint32 hWnd() const;
    QObject* Parent() const { return parentWidget(); }
    qint32 ScreenMouse() const { return m_screenMouse; }
    void setScreenMouse(qint32 code);
    bool BlinkMe() const { return m_blinkMe; }
    void setBlinkMe(bool on);
    bool CustomMouseIcon() const { return m_customMouseIcon; }
    void setCustomMouseIcon(bool on);
    bool PositionResume() const { return m_positionResume; }
    void setPositionResume(bool on);

    // Properties that can only be assigned.
    Q_INVOKABLE void SetFocusCtrl(QWidget* control);
    Q_INVOKABLE void SetCurrentDir(bool set);

    Q_INVOKABLE void OnlyOneCtrl(QWidget* Control, qint32 lngPitch = 0);
    Q_INVOKABLE void Resize();
    Q_INVOKABLE void SelectText();
    Q_INVOKABLE void ControlEnabledWithColor(QWidget* Control, bool blnEnabled);
    Q_INVOKABLE bool IsSystemUnload(qint16 UnloadMode) const;
    Q_INVOKABLE void PostionRegistery();
    Q_INVOKABLE qint32 Instr2(const QString& strData, const QString& strChar) const;
    Q_INVOKABLE void Unload2();

    // The persisted properties, by their stored names; reading them runs no action.
    Q_INVOKABLE void ReadProperties(const QVariantMap& bag);
    Q_INVOKABLE QVariantMap WriteProperties() const;

    // Shows the etched line at the top of the form's client area, or hides the control.
    void PlaceMenuLine(bool shown);

signals:
    // The form has been placed at its screen position.
    void AfterFormPosition();
    // A later instance of the program handed over its command line.
    void LinkExecute(const QString& CmdStr);
    // A persisted property was assigned, by its stored name.
    void PropertyChanged(const QString& name);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    clsMainFunc& Main();
    const clsMainFunc& Main() const;
    void Attach();
    void Watch();
    void UserControl_Show();
    void UserControl_Resize();
    void TakeContainerBackground();
    void OperateAppPrevInstance();
    void RefinePlacement();
    bool SetScreenPointer(int code);
    void Flash();
    QWidget* RequireForm();

    mutable std::unique_ptr<clsMainFunc> m_main;
    bool m_positionResume = false;
    bool m_customMouseIcon = false;
    bool m_blinkMe = false;
    qint32 m_screenMouse = 0;
    QTimer* tmrFlash;
    bool m_lineShown = false;     // the two lines of LineMenu
    bool m_designPicture = true;  // the picture shown in a form designer
    bool m_pointerOverridden = false;
    LinkSource* m_link = nullptr;
    QPointer<QWidget> m_watched;
    // Where the form was put while it was being shown, before the window manager had told the
    // size of its frame; the first paint places it again if that frame turned out to differ.
    struct Placement {
        bool pending = false;
        QRect inside;
        QMargins frame;
    } m_placement;
};
