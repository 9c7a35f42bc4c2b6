#pragma once

#include <string>

// Window captions as X11 clients write them in WM_NAME and WM_ICON_NAME, read back as UTF-8
// and written from it.

// The text of an X11 COMPOUND_TEXT property as UTF-8, for the ASCII, Latin-1 and JIS X 0208
// sets and embedded UTF-8; empty when it holds anything else.
std::string CompoundTextToUtf8(const std::string& compoundText);
// Latin-1 text (an X11 STRING property) as UTF-8.
std::string Latin1ToUtf8(const std::string& latin1);
// UTF-8 text as COMPOUND_TEXT, as Xlib writes a caption: ASCII as it is, Latin-1 in the
// right half, JIS X 0208 in the left half, and any other character as embedded UTF-8.
// Text that only ASCII and Latin-1 spell comes out as the STRING of those characters.
std::string Utf8ToCompoundText(const std::string& utf8);
