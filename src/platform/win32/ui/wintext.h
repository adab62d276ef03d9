// Texts between the models (UTF-8) and the Windows API (UTF-16).
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace valumat::win32ui {

// UTF-8 to UTF-16; invalid sequences become U+FFFD.
std::wstring widen(std::string_view utf8);
// UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
std::string narrow(std::wstring_view utf16);

// The text of a window (a control's contents, a window's caption).
std::wstring windowText(HWND window);

} // namespace valumat::win32ui
