#pragma once
// Identifiers of the main window, its menu and its dialogs, shared by the windowed and the
// headless process.

#include <string_view>

namespace orva::process {

inline constexpr std::string_view kMainWindowClass = "OrvaOPCServer";

// Messages the communication thread sends to the main window.
inline constexpr unsigned kWmUser = 0x0400;
inline constexpr unsigned WM_PLC_STATUS = kWmUser + 1;  // code of the last transport operation, the PLC
inline constexpr unsigned WM_NO_PLC = kWmUser + 2;      // the PLC list is empty

// Menu commands.
inline constexpr int kCommandExit = 40001;
inline constexpr int kCommandAbout = 40002;
inline constexpr int kCommandCommStatus = 40003;

// Resources.
inline constexpr int kAboutDialogId = 100;
inline constexpr int kIconId = 103;
inline constexpr int kMenuId = 104;
inline constexpr int kCommStatusDialogId = 105;

// Controls of the communication-status dialog.
inline constexpr int kOkButtonId = 1;
inline constexpr int kTagListId = 1002;
inline constexpr int kStatusTreeId = 1003;
inline constexpr int kRefreshButtonId = 1004;

// Main window geometry and status text.
inline constexpr int kMainWindowWidth = 506;
inline constexpr int kMainWindowHeight = 100;
inline constexpr int kStatusFontHeight = 16;
inline constexpr std::string_view kStatusFontFace = "Arial";
inline constexpr int kStatusTextTopOffset = 10;

}  // namespace orva::process
