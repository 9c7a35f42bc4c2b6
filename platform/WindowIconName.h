#pragma once

#include <string>

#include "platform/WindowActivation.h"

// Gives a window of this program its ICCCM icon name (WM_ICON_NAME), which taskbars and
// pagers that label windows by their icon names read where they do not read
// _NET_WM_ICON_NAME. Qt writes only the latter. The name (UTF-8) is written as Xlib writes
// WM_NAME: COMPOUND_TEXT, or STRING for a name that Latin-1 spells. Does nothing where the
// program does not run on Qt's xcb platform.
void WriteWindowIconName(WindowId window, const std::string& name);
