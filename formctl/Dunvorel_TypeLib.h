#pragma once

#include <QtGlobal>

// The type library of the form-behaviour control Dunvorel: what a host needs to create the
// control and reach it late-bound, and nothing else. The identifiers are fixed: never renumber
// them.
namespace Dunvorel_TypeLib {

inline constexpr char ProgID[] = "Hobrand_Dunvorel.Dunvorel";
inline constexpr char ClassID[] = "{B37B156F-28DD-4F26-A36D-C51A63018D05}";

// Dispatch identifiers, in interface order: properties 0x6803nnnn, methods 0x6003nnnn.
namespace DispId {
enum : qint32 {
    SetMinButton = 0x68030000,       // Boolean
    SetFocusCtrl = 0x68030001,       // control, assign only
    TextBoxClearAll = 0x68030002,    // Boolean
    ShowMenuLine = 0x68030003,       // Boolean
    SetCurrentDir = 0x68030004,      // Boolean, assign only
    IsRunMode = 0x68030005,          // Boolean, read only
    PositionScreen = 0x68030006,     // enmFormPos
    CaptionIsAppTitle = 0x68030007,  // Boolean
    FormulatedCmdLine = 0x68030008,  // string, read only
    IsWinNT = 0x68030009,            // Boolean, read only
    IsHavingFocus = 0x6803000A,      // Boolean, read only
    AppPrevInstance = 0x6803000B,    // Boolean
    SetMostTop = 0x6803000C,         // Boolean
    hWnd = 0x6803000D,               // 32-bit, read only
    Parent = 0x6803000E,             // object, read only
    ScreenMouse = 0x6803000F,        // 32-bit pointer code
    BlinkMe = 0x68030010,            // Boolean
    CustomMouseIcon = 0x68030011,    // Boolean
    PositionResume = 0x68030012,     // Boolean

    OnlyOneCtrl = 0x60030000,              // (Control, optional lngPitch = 0)
    Resize = 0x60030001,                   // ()
    SelectText = 0x60030002,               // ()
    ControlEnabledWithColor = 0x60030003,  // (Control, blnEnabled)
    IsSystemUnload = 0x60030004,           // (UnloadMode) -> Boolean
    PostionRegistery = 0x60030005,         // ()
    Instr2 = 0x60030006,                   // (strData, strChar) -> 32-bit
    Unload2 = 0x60030007,                  // ()
};
}  // namespace DispId

// Event identifiers.
namespace EventId {
enum : int {
    AfterFormPosition = 1,  // ()
    LinkExecute = 2,        // (CmdStr): a second instance handed over its command line
};
}  // namespace EventId

enum enmFormPos {
    FormPos_Default = 0,
    FormPos_CenterMiddle = 1,
    FormPos_RightBottom = 2,
    FormPos_RightTop = 3,
    FormPos_LeftBottom = 4,
    FormPos_LeftTop = 5,
};

enum enmPostionResume {
    nResume = 0,
    nRegister = 1,
};

// The host form's link mode, a property of the form named kLinkModeProperty: a form that is a
// link source receives the command lines of later instances (LinkExecute).
enum enmLinkMode {
    LinkMode_None = 0,
    LinkMode_Source = 1,
};
inline constexpr char kLinkModeProperty[] = "LinkMode";

}  // namespace Dunvorel_TypeLib
