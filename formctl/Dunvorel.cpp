#include "Dunvorel.h"

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QRadioButton>
#include <QTimer>

#include "API_SendPostMSG.h"
#include "ComponentInterface.h"
#include "ComponentServer.h"
#include "Dunvorel_TypeLib.h"
#include "Fun_AppPrevInstanceOperate.h"
#include "Fun_CheckUnloadMode.h"
#include "Fun_HostProcess.h"
#include "Fun_OnlyOneControl.h"
#include "Fun_SelText.h"
#include "Fun_SystemMetrics.h"
#include "LinkSource.h"
#include "PropertyBag.h"
#include "clsMainFunc.h"

using namespace Dunvorel_TypeLib;

namespace {

QMargins FrameOf(const QWidget* form) {
    const QRect outer = form->frameGeometry();
    const QRect inside = form->geometry();
    return {inside.left() - outer.left(), inside.top() - outer.top(),
            outer.right() - inside.right(), outer.bottom() - inside.bottom()};
}

constexpr int kFlashIntervalMs = 500;
constexpr int kDesignSize = 32;
constexpr int kCustomPointer = 99;

// The screen pointer of each code; code 99 is the form's icon and 0 the normal pointer.
std::optional<Qt::CursorShape> CursorOf(int code) {
    static const Qt::CursorShape shapes[] = {
        Qt::ArrowCursor,     Qt::ArrowCursor,   Qt::CrossCursor,     Qt::IBeamCursor,
        Qt::ArrowCursor,     Qt::SizeAllCursor, Qt::SizeBDiagCursor, Qt::SizeVerCursor,
        Qt::SizeFDiagCursor, Qt::SizeHorCursor, Qt::UpArrowCursor,   Qt::WaitCursor,
        Qt::ForbiddenCursor, Qt::BusyCursor,    Qt::WhatsThisCursor, Qt::SizeAllCursor,
    };
    if (code < 0 || code >= int(std::size(shapes)))
        return std::nullopt;
    return shapes[code];
}

void ChdirToLibrary() {
    QDir::setCurrent(QFileInfo(ComponentServer::LibraryPath()).path());
}

// Stored names, in the order they are read and written.
const QString kShowMenuLine = QStringLiteral("ShowMenuLine");
const QString kCaptionIsAppTitle = QStringLiteral("CaptionIsAppTitle");
const QString kAppPrevInstance = QStringLiteral("AppPrevInstance");
const QString kSetMinButton = QStringLiteral("SetMinButton");
const QString kPositionScreen = QStringLiteral("PositionScreen");
const QString kPostionResume = QStringLiteral("PostionResume");
const QString kSetMostTop = QStringLiteral("SetMostTop");
const QString kTextBoxClearAll = QStringLiteral("TextBoxClearAll");
const QString kScreenMouse = QStringLiteral("ScreenMouse");
const QString kBlinkMe = QStringLiteral("BlinkMe");
const QString kCustomMouseIcon = QStringLiteral("CustomMouseIcon");
const QString kPositionResume = QStringLiteral("PositionResume");

}  // namespace

Dunvorel::Dunvorel(QWidget* form) : QWidget(form), tmrFlash(new QTimer(this)) {
    tmrFlash->setObjectName(QStringLiteral("tmrFlash"));
    tmrFlash->setInterval(kFlashIntervalMs);
    connect(tmrFlash, &QTimer::timeout, this, &Dunvorel::Flash);
    setGeometry(0, 0, kDesignSize, kDesignSize);
    Watch();
}

Dunvorel::~Dunvorel() {
    if (m_pointerOverridden)
        QApplication::restoreOverrideCursor();
}

clsMainFunc& Dunvorel::Main() {
    if (!m_main)
        m_main = std::make_unique<clsMainFunc>();
    return *m_main;
}

const clsMainFunc& Dunvorel::Main() const {
    if (!m_main)
        m_main = std::make_unique<clsMainFunc>();
    return *m_main;
}

// Once: the control takes its settings object and finds the form it sits on.
void Dunvorel::Attach() {
    clsMainFunc& main = Main();
    if (main.csUc)
        return;
    main.csUc = this;
    main.RootContainer = main.FindParent();
}

// The form's showing and size changes are the control's: it follows the form it sits on.
void Dunvorel::Watch() {
    QWidget* form = parentWidget() ? parentWidget()->window() : nullptr;
    if (form == m_watched)
        return;
    if (m_watched)
        m_watched->removeEventFilter(this);
    m_watched = form;
    if (form)
        form->installEventFilter(this);
}

bool Dunvorel::event(QEvent* event) {
    if (event->type() == QEvent::ParentChange)
        Watch();
    return QWidget::event(event);
}

bool Dunvorel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_watched) {
        // A window restored from minimized is shown by the window system: that is no showing.
        if (event->type() == QEvent::Show && !event->spontaneous() && !Main().blnReshowing)
            UserControl_Show();
        else if (event->type() == QEvent::Resize)
            UserControl_Resize();
        else if (event->type() == QEvent::Paint && m_placement.pending)
            RefinePlacement();
    }
    return QWidget::eventFilter(watched, event);
}

void Dunvorel::UserControl_Show() {
    clsMainFunc& main = Main();
    main.blnUserMode = Fun_HostProcess::IsRuntime();
    Attach();
    if (!main.blnUserMode) {
        TakeContainerBackground();
        return;
    }
    m_designPicture = false;
    OperateAppPrevInstance();
    main.TextBoxClearAll();
    if (m_positionResume) {
        main.PostionResume(nResume);
    } else {
        main.PositionScreen();
        // The host's handler runs once the form is shown, not in the middle of its showing.
        QMetaObject::invokeMethod(this, &Dunvorel::AfterFormPosition, Qt::QueuedConnection);
    }
    if (main.RootContainer)
        m_placement = {true, main.RootContainer->geometry(), FrameOf(main.RootContainer)};
    main.SetMostTop();
    main.CaptionIsAppTitle();
    main.SetMinButton();
    main.ShowMenuLine();
    UserControl_Resize();
}

// A form placed before its frame was known is placed again, once, with the frame it has: so a
// centred form is centred with its title bar, and a remembered one does not creep by the frame's
// size each time. A form the user has moved or sized meanwhile is left alone.
void Dunvorel::RefinePlacement() {
    m_placement.pending = false;
    clsMainFunc& main = Main();
    QWidget* form = main.RootContainer;
    if (!form || FrameOf(form) == m_placement.frame || form->geometry() != m_placement.inside)
        return;
    if (m_positionResume)
        main.PostionResume(nResume);
    else
        main.PositionScreen();
}

void Dunvorel::UserControl_Resize() {
    clsMainFunc& main = Main();
    main.blnUserMode = Fun_HostProcess::IsRuntime();
    Attach();
    if (!main.blnUserMode) {
        TakeContainerBackground();
        resize(kDesignSize, kDesignSize);
        return;
    }
    QWidget* container = parentWidget();
    if (!main.blnShowMenuLine || !container)
        return;
    // The menu bar may have grown or shrunk with the form: the line stays right under it.
    setGeometry(0, Fun_SystemMetrics::MenuHeight(container), container->width(), 2);
}

void Dunvorel::TakeContainerBackground() {
    if (!parentWidget())
        return;
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, parentWidget()->palette().color(QPalette::Window));
    setPalette(palette);
    setAutoFillBackground(true);
}

void Dunvorel::PlaceMenuLine(bool shown) {
    if (!shown) {
        hide();
        return;
    }
    m_lineShown = true;
    const int top = parentWidget() ? Fun_SystemMetrics::MenuHeight(parentWidget()) : 0;
    setGeometry(0, top, width(), 2);
    raise();
    show();
    update();
}

void Dunvorel::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    if (m_designPicture) {
        // In a form designer: a small picture of what the control gives the form.
        painter.setPen(palette().color(QPalette::Dark));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
        painter.fillRect(4, 8, width() - 8, 1, palette().color(QPalette::Dark));
        painter.fillRect(4, 9, width() - 8, 1, palette().color(QPalette::Light));
        return;
    }
    if (!m_lineShown)
        return;
    painter.fillRect(0, 0, width(), 1, palette().color(QPalette::Dark));
    painter.fillRect(0, 1, width(), 1, palette().color(QPalette::Light));
}

// The first instance's form receives the command lines of later instances; a later instance
// hands its own over and closes.
void Dunvorel::OperateAppPrevInstance() {
    clsMainFunc& main = Main();
    if (main.AppPrevInstance() || !main.blnAppPrevInstance || !main.blnUserMode ||
        !main.RootContainer ||
        main.RootContainer->property(kLinkModeProperty).toInt() != LinkMode_Source)
        return;
    if (!m_link) {
        m_link = new LinkSource(this);
        connect(m_link, &LinkSource::Execute, this, &Dunvorel::LinkExecute);
    }
    m_link->Listen(Fun_AppPrevInstanceOperate::FormLinkServerName(main.RootContainer));
}

// ---- properties ----

bool Dunvorel::SetMinButton() const {
    return Main().blnSetMinButton;
}

void Dunvorel::setSetMinButton(bool on) {
    Main().blnSetMinButton = on;
    emit PropertyChanged(kSetMinButton);
    Main().SetMinButton();
}

bool Dunvorel::TextBoxClearAll() const {
    return Main().blnTextBoxClear;
}

void Dunvorel::setTextBoxClearAll(bool on) {
    Main().blnTextBoxClear = on;
    emit PropertyChanged(kTextBoxClearAll);
}

bool Dunvorel::ShowMenuLine() const {
    return Main().blnShowMenuLine;
}

void Dunvorel::setShowMenuLine(bool on) {
    Main().blnShowMenuLine = on;
    emit PropertyChanged(kShowMenuLine);
}

bool Dunvorel::IsRunMode() const {
    const bool runtime = Fun_HostProcess::IsRuntime();
    if (!runtime)
        ChdirToLibrary();
    return runtime;
}

int Dunvorel::PositionScreen() const {
    return Main().lngPositionScreen;
}

void Dunvorel::setPositionScreen(int position) {
    Main().lngPositionScreen = position;
    emit PropertyChanged(kPositionScreen);
    Main().PositionScreen();
    emit AfterFormPosition();
}

bool Dunvorel::CaptionIsAppTitle() const {
    return Main().blnCaptionIsAppTitle;
}

void Dunvorel::setCaptionIsAppTitle(bool on) {
    Main().blnCaptionIsAppTitle = on;
    emit PropertyChanged(kCaptionIsAppTitle);
    Main().CaptionIsAppTitle();
}

QString Dunvorel::FormulatedCmdLine() const {
    return Fun_HostProcess::FormulateCmdLine(
        Fun_HostProcess::JoinCommandLine(Fun_HostProcess::ProcessArguments()));
}

bool Dunvorel::IsHavingFocus() {
    Attach();
    return Main().IsHavingFocus();
}

bool Dunvorel::AppPrevInstance() const {
    return Main().blnAppPrevInstance;
}

void Dunvorel::setAppPrevInstance(bool on) {
    Main().blnAppPrevInstance = on;
    emit PropertyChanged(kAppPrevInstance);
    OperateAppPrevInstance();
}

bool Dunvorel::SetMostTop() const {
    return Main().blnSetMostTop;
}

void Dunvorel::setSetMostTop(bool on) {
    Main().blnSetMostTop = on;
    emit PropertyChanged(kSetMostTop);
    Main().SetMostTop();
}

qint32 Dunvorel::hWnd() const {
    // effectiveWinId does not turn the control into a native window of its own, as winId would.
    return qint32(quint32(effectiveWinId()));
}

void Dunvorel::setScreenMouse(qint32 code) {
    if (!SetScreenPointer(code))
        return;
    m_screenMouse = code;
    emit PropertyChanged(kScreenMouse);
}

void Dunvorel::setBlinkMe(bool on) {
    m_blinkMe = on;
    emit PropertyChanged(kBlinkMe);
    if (!Fun_HostProcess::IsRuntime())
        return;
    // Each tick marks the caption for a little less than the interval, so it blinks, and it
    // comes back to its normal look at the latest one tick after blinking stops.
    if (on)
        tmrFlash->start();
    else
        tmrFlash->stop();
}

void Dunvorel::Flash() {
    Attach();
    if (Main().RootContainer)
        QApplication::alert(Main().RootContainer, kFlashIntervalMs * 4 / 5);
}

void Dunvorel::setCustomMouseIcon(bool on) {
    if (!SetScreenPointer(on ? kCustomPointer : 0))
        return;
    m_customMouseIcon = on;
    emit PropertyChanged(kCustomMouseIcon);
}

void Dunvorel::setPositionResume(bool on) {
    m_positionResume = on;
    Main().blnPositionRegister = on;
    emit PropertyChanged(kPositionResume);
    emit PropertyChanged(kPostionResume);
}

// The application-wide pointer: 0 gives back the normal one. False (and the error raised to the
// host) for a code that is no pointer, or 99 without a form whose icon could be the pointer.
bool Dunvorel::SetScreenPointer(int code) {
    if (code == 0) {
        if (m_pointerOverridden)
            QApplication::restoreOverrideCursor();
        m_pointerOverridden = false;
        return true;
    }
    QCursor cursor;
    if (code == kCustomPointer) {
        QWidget* form = RequireForm();
        if (!form)
            return false;
        cursor = QCursor(form->windowIcon().pixmap(kDesignSize));
    } else if (const std::optional<Qt::CursorShape> shape = CursorOf(code)) {
        cursor = QCursor(*shape);
    } else {
        ComponentInterface::RaiseError(this, QStringLiteral("invalid property value: %1 is no "
                                                            "mouse pointer code")
                                                 .arg(code));
        return false;
    }
    if (m_pointerOverridden)
        QApplication::changeOverrideCursor(cursor);
    else
        QApplication::setOverrideCursor(cursor);
    m_pointerOverridden = true;
    return true;
}

QWidget* Dunvorel::RequireForm() {
    Attach();
    if (!Main().RootContainer)
        ComponentInterface::RaiseError(this, QStringLiteral("the control is not on a form"));
    return Main().RootContainer;
}

// ---- assign-only properties and methods ----

void Dunvorel::SetFocusCtrl(QWidget* control) {
    QCoreApplication::processEvents();
    if (control)
        control->setFocus(Qt::OtherFocusReason);
}

void Dunvorel::SetCurrentDir(bool set) {
    if (set)
        ChdirToLibrary();
}

void Dunvorel::OnlyOneCtrl(QWidget* Control, qint32 lngPitch) {
    clsMainFunc& main = Main();
    main.blnOnlyOneCtrl = true;
    main.objOnlyOneCtrl = Control;
    main.lngOnlyOneCtrlPitch = lngPitch;
    if (Control)
        Fun_OnlyOneControl::OnlyOneCtrl(Control);
}

void Dunvorel::Resize() {
    UserControl_Resize();
    const clsMainFunc& main = Main();
    if (main.blnOnlyOneCtrl && main.objOnlyOneCtrl)
        Fun_OnlyOneControl::Resize(main.objOnlyOneCtrl, main.lngOnlyOneCtrlPitch);
}

void Dunvorel::SelectText() {
    Fun_SelText::SelectAllText();
}

void Dunvorel::ControlEnabledWithColor(QWidget* Control, bool blnEnabled) {
    if (!Control)
        return;
    Control->setEnabled(blnEnabled);
    const QByteArray type = Control->metaObject()->className();
    if (qobject_cast<QGroupBox*>(Control) || qobject_cast<QCheckBox*>(Control) ||
        qobject_cast<QRadioButton*>(Control) || qobject_cast<QLabel*>(Control) || type == "xNum" ||
        type.startsWith("GF"))
        return;
    const QPalette system = QApplication::palette(Control);
    const QColor color = blnEnabled ? system.color(QPalette::Active, QPalette::Base)
                                    : system.color(QPalette::Button);
    const bool hasInputArea = Control->metaObject()->indexOfProperty("InputAreaColor") >= 0;
    if (hasInputArea && (!blnEnabled || type == "xDate"))
        Control->setProperty("InputAreaColor", color);
    if (!blnEnabled || type != "xDate") {
        QPalette palette = Control->palette();
        palette.setColor(QPalette::Base, color);
        Control->setPalette(palette);
    }
}

bool Dunvorel::IsSystemUnload(qint16 UnloadMode) const {
    return Fun_CheckUnloadMode::CheckUnloadMode(UnloadMode);
}

void Dunvorel::PostionRegistery() {
    Attach();
    QString error;
    if (!Main().PostionResume(nRegister, &error))
        ComponentInterface::RaiseError(this, error);
}

// The last position (from 1) at which strChar stands in strData; 0 when it does not.
qint32 Dunvorel::Instr2(const QString& strData, const QString& strChar) const {
    for (qsizetype p = strData.size() - strChar.size() + 1; p >= 1; --p) {
        if (QStringView(strData).mid(p - 1, strChar.size()) == strChar)
            return qint32(p);
    }
    return 0;
}

void Dunvorel::Unload2() {
    if (QWidget* form = RequireForm())
        API_SendPostMSG::SendClose(form);
}

// ---- persisted properties ----

void Dunvorel::ReadProperties(const QVariantMap& bag) {
    const PropertyBag props(bag);
    clsMainFunc& main = Main();
    main.blnShowMenuLine = props.ReadProperty(kShowMenuLine, true).toBool();
    main.blnCaptionIsAppTitle = props.ReadProperty(kCaptionIsAppTitle, false).toBool();
    main.blnAppPrevInstance = props.ReadProperty(kAppPrevInstance, false).toBool();
    main.blnSetMinButton = props.ReadProperty(kSetMinButton, false).toBool();
    main.lngPositionScreen = props.ReadProperty(kPositionScreen, 0).toInt();
    main.blnPositionRegister = props.ReadProperty(kPostionResume, false).toBool();
    main.blnSetMostTop = props.ReadProperty(kSetMostTop, false).toBool();
    main.blnTextBoxClear = props.ReadProperty(kTextBoxClearAll, false).toBool();
    m_screenMouse = props.ReadProperty(kScreenMouse, 0).toInt();
    m_blinkMe = props.ReadProperty(kBlinkMe, false).toBool();
    m_customMouseIcon = props.ReadProperty(kCustomMouseIcon, false).toBool();
    m_positionResume = props.ReadProperty(kPositionResume, false).toBool();
}

QVariantMap Dunvorel::WriteProperties() const {
    PropertyBag props;
    const clsMainFunc& main = Main();
    props.WriteProperty(kShowMenuLine, main.blnShowMenuLine, true);
    props.WriteProperty(kCaptionIsAppTitle, main.blnCaptionIsAppTitle, false);
    props.WriteProperty(kAppPrevInstance, main.blnAppPrevInstance, false);
    props.WriteProperty(kSetMinButton, main.blnSetMinButton, false);
    props.WriteProperty(kPositionScreen, main.lngPositionScreen, 0);
    props.WriteProperty(kPostionResume, main.blnPositionRegister, false);
    props.WriteProperty(kSetMostTop, main.blnSetMostTop, false);
    props.WriteProperty(kTextBoxClearAll, main.blnTextBoxClear, false);
    props.WriteProperty(kScreenMouse, m_screenMouse, 0);
    props.WriteProperty(kBlinkMe, m_blinkMe, false);
    props.WriteProperty(kCustomMouseIcon, m_customMouseIcon, false);
    props.WriteProperty(kPositionResume, m_positionResume, false);
    return props.Values();
}
