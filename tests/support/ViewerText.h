#pragma once

#include <string>

// What the viewer shows the user in its own words: the main window's caption, and the
// status bar's prompt while nothing is highlighted.
inline const std::string kCaption = "ソラニカの波動";
inline const std::string kIdleText = "ソラニカ";
