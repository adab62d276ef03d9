// UTF-8 at the program's interfaces, UTF-16 for the wide-character Windows API.
#pragma once

#include <string>
#include <string_view>

namespace valumat::win32 {

// Invalid sequences become U+FFFD.
std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view utf16);

} // namespace valumat::win32
