#pragma once

#include <functional>
#include <string>

#include "shell/framework/AfxRes.h"

// A modal message box with one OK button, captioned with the application's name.
// Returns IDOK.
int AfxMessageBox(const char* lpszText, UINT nType = MB_OK, UINT nIDHelp = 0);

// For tests: while a hook is set, message boxes are not shown; the hook receives the
// text and caption and its result is returned instead. An empty function removes it.
using MessageBoxHook = std::function<int(const std::string& text, const std::string& caption)>;
void AfxSetMessageBoxHook(MessageBoxHook hook);
