#pragma once

// The identifiers of the program's commands, strings and status-bar panes, with the values
// the program's resources have always given them. A command's prompt is the string with the
// command's identifier.
using ResourceId = unsigned int;

// The main window's menu, accelerator, icon and first caption.
inline constexpr ResourceId IDR_MAINFRAME = 128;

// Commands.
inline constexpr ResourceId ID_FILE_OPEN = 0xE101;
inline constexpr ResourceId ID_APP_ABOUT = 0xE140;
inline constexpr ResourceId ID_APP_EXIT = 0xE141;
inline constexpr ResourceId ID_VIEW_STATUS_BAR = 0xE801;

// The status bar's indicator panes, lit while their lock key is on.
inline constexpr ResourceId ID_INDICATOR_CAPS = 0xE701;
inline constexpr ResourceId ID_INDICATOR_NUM = 0xE702;
inline constexpr ResourceId ID_INDICATOR_SCRL = 0xE703;
inline constexpr ResourceId ID_INDICATOR_KANA = 0xE706;

// The application's name (the message boxes' caption) and the status bar's text while no
// menu item is highlighted.
inline constexpr ResourceId AFX_IDS_APP_TITLE = 0xE000;
inline constexpr ResourceId AFX_IDS_IDLEMESSAGE = 0xE001;
