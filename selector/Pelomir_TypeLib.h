#pragma once

#include <QtGlobal>

// The type library of the target selector control Pelomir: what a host needs to create the
// control and reach it late-bound, and nothing else. The identifiers are fixed: never renumber
// them.
namespace Pelomir_TypeLib {

inline constexpr char ProgID[] = "Hobrand_Pelomir.Pelomir";
inline constexpr char ClassID[] = "{57ED29AB-2D5F-4895-B9B8-B3B20E116EF6}";

// Dispatch identifiers of the interface _Pelomir: properties 0x6803nnnn, methods 0x6003nnnn.
namespace DispId {
enum : qint32 {
    Style = 0x68030008,            // enmStStyle
    Target = 0x68030007,           // string, read only
    InitDir = 0x68030006,          // string
    Filter = 0x68030005,           // string: description|pattern|description|pattern...
    DefaultFileName = 0x68030004,  // string
    Title = 0x68030003,            // string: the dialog's title
    ENABLED = 0x68030002,          // Boolean
    Root = 0x68030001,             // enmSTROOT
    hWnd = 0x68030000,             // 32-bit, read only

    ShowDialog = 0x60030016,            // () -> Boolean
    IsAllowOverWrite = 0x60030017,      // () -> Boolean
    IsAllowCreateNewFile = 0x60030018,  // () -> Boolean
    IsAllowAppTerminate = 0x60030019,   // () -> Boolean
};
}  // namespace DispId

// Event identifiers of the interface __Pelomir.
namespace EventId {
enum : int {
    OnBeforeShowDialog = 1,  // (Cancel: Boolean, by reference): true stops the dialog
    OnPelomir = 2,           // (Target: string, by reference): a new path was chosen
};
}  // namespace EventId

enum enmStStyle {
    ST_Folder = 0,
    ST_FileOpen = 1,
    ST_FileSave = 2,
};

// The folder at the root of the folder dialog, by special-folder identifier.
enum enmSTROOT {
    ST_DESKTOP = 0,
    ST_PROGRAMS = 2,
    ST_CONTROLS = 3,
    ST_PRINTERS = 4,
    ST_PERSONAL = 5,
    ST_FAVORITES = 6,
    ST_STARTUP = 7,
    ST_RECENT = 8,
    ST_SENDTO = 9,
    ST_BITBUCKET = 10,
    ST_STARTMENU = 11,
    ST_DESKTOPDIRECTORY = 16,
    ST_DRIVES = 17,
    ST_NETWORK = 18,
    ST_NETHOOD = 19,
    ST_FONTS = 20,
    ST_TEMPLATES = 21,
};

}  // namespace Pelomir_TypeLib
