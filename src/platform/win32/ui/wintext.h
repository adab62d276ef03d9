// Texts between the models (UTF-8) and the Windows API (UTF-16).
#pragma once

#include "platform/win32/wide.h"

#include <windows.h>

#include <string>

namespace valumat::win32ui {

using win32::narrow;
using win32::widen;

// The text of a window (a control's contents, a window's caption).
std::wstring windowText(HWND window);

} // namespace valumat::win32ui
