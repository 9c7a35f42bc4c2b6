#pragma once

#include "shell/framework/AfxRes.h"

// The program's own resource identifiers (the framework's standard ones are in AfxRes.h).
inline constexpr UINT IDD_VERSION = 100;   // the version box
inline constexpr UINT IDR_MAINFRAME = 128; // menu, accelerators, icon and document string
inline constexpr UINT IDI_ALTERNATE = 129; // a second icon; nothing shows it
inline constexpr UINT IDS_LOADING = 130;   // the status bar's text while a long load runs
