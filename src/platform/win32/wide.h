// UTF-8 at the program's interfaces, UTF-16 for the wide-character Windows API.
#pragma once

#include <string>
#include <string_view>

namespace valumat::win32 {

// UTF-8 to UTF-16; invalid sequences become U+FFFD.
std::wstring widen(std::string_view utf8);
// UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
std::string narrow(std::wstring_view utf16);

} // namespace valumat::win32
