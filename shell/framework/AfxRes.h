#pragma once

#include <cstdint>

// The framework's basic types and its standard identifiers, with the values the classic
// Windows framework gives them, so that the program's resource tables and handlers read
// as they always have.

using BOOL = int;
using UINT = unsigned int;
using DWORD = std::uint32_t;

inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;

// Results of modal dialogs and message boxes.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

// Message box types.
inline constexpr UINT MB_OK = 0x00000000;

// Window messages that appear in message tables.
inline constexpr UINT WM_CREATE = 0x0001;
inline constexpr UINT WM_COMMAND = 0x0111;

// ShowWindow commands.
inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOW = 5;
inline constexpr int SW_MINIMIZE = 6;
inline constexpr int SW_RESTORE = 9;

// Window style bits.
inline constexpr DWORD WS_OVERLAPPED = 0x00000000;
inline constexpr DWORD WS_POPUP = 0x80000000;
inline constexpr DWORD WS_CHILD = 0x40000000;
inline constexpr DWORD WS_VISIBLE = 0x10000000;
inline constexpr DWORD WS_CAPTION = 0x00C00000;    // a title bar and a border
inline constexpr DWORD WS_SYSMENU = 0x00080000;    // the window menu and the close box
inline constexpr DWORD WS_THICKFRAME = 0x00040000; // a border the user can drag to resize
inline constexpr DWORD WS_GROUP = 0x00020000;
inline constexpr DWORD WS_TABSTOP = 0x00010000;
inline constexpr DWORD WS_MINIMIZEBOX = 0x00020000;
inline constexpr DWORD WS_MAXIMIZEBOX = 0x00010000;
inline constexpr DWORD WS_OVERLAPPEDWINDOW =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;

// Control bar styles.
inline constexpr DWORD CBRS_BOTTOM = 0x00008200; // CBRS_ALIGN_BOTTOM | CBRS_BORDER_TOP

// Dialog template styles.
inline constexpr DWORD DS_SETFONT = 0x00000040;
inline constexpr DWORD DS_MODALFRAME = 0x00000080;

// Static control and button styles.
inline constexpr DWORD SS_ICON = 0x00000003;
inline constexpr DWORD SS_NOPREFIX = 0x00000080;
inline constexpr DWORD SS_TYPEMASK = 0x0000001F;
inline constexpr DWORD BS_DEFPUSHBUTTON = 0x00000001;

// Open-dialog flags.
inline constexpr DWORD OFN_OVERWRITEPROMPT = 0x00000002;
inline constexpr DWORD OFN_HIDEREADONLY = 0x00000004;
inline constexpr DWORD OFN_FILEMUSTEXIST = 0x00001000;

// Accelerator flags.
inline constexpr std::uint8_t FVIRTKEY = 0x01;
inline constexpr std::uint8_t FNOINVERT = 0x02;
inline constexpr std::uint8_t FCONTROL = 0x08;

// Standard command identifiers.
inline constexpr UINT ID_SEPARATOR = 0;
inline constexpr UINT ID_FILE_NEW = 0xE100;
inline constexpr UINT ID_FILE_OPEN = 0xE101;
inline constexpr UINT ID_APP_ABOUT = 0xE140;
inline constexpr UINT ID_APP_EXIT = 0xE141;
inline constexpr UINT ID_VIEW_STATUS_BAR = 0xE801;

// Status bar indicators.
inline constexpr UINT ID_INDICATOR_CAPS = 0xE701;
inline constexpr UINT ID_INDICATOR_NUM = 0xE702;
inline constexpr UINT ID_INDICATOR_SCRL = 0xE703;
inline constexpr UINT ID_INDICATOR_KANA = 0xE706;

// Standard strings.
inline constexpr UINT AFX_IDS_APP_TITLE = 0xE000;
inline constexpr UINT AFX_IDS_IDLEMESSAGE = 0xE001;

// Control identifiers of the frame's parts.
inline constexpr UINT AFX_IDW_STATUS_BAR = 0xE801;

// "Let the system choose" for a window's position or size.
inline constexpr int CW_USEDEFAULT = static_cast<int>(0x80000000);
