#pragma once

#include <string>

// Window captions as X11 clients write them in WM_NAME, read back as UTF-8.

// The text of an X11 COMPOUND_TEXT property as UTF-8, for the ASCII, Latin-1 and JIS X 0208
// sets and embedded UTF-8; empty when it holds anything else.
std::string CompoundTextToUtf8(const std::string& compoundText);
// Latin-1 text (an X11 STRING property) as UTF-8.
std::string Latin1ToUtf8(const std::string& latin1);
