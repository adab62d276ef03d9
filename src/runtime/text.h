// Small text helpers shared by the runtime, the store and the window logic. Texts in memory are UTF-8; the data
// files are Windows-1252.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace valumat {

// Windows-1252 bytes to UTF-8. Every byte maps to one character (the five unassigned bytes map to the C1 control
// characters of the same number), so the conversion is lossless.
std::string cp1252ToUtf8(std::string_view bytes);

// UTF-8 to Windows-1252. Characters the code page lacks (and malformed UTF-8) become '?'.
std::string utf8ToCp1252(std::string_view text);

// True when every character of the UTF-8 text exists in Windows-1252.
bool fitsCp1252(std::string_view text);

// Removes leading and trailing blanks (the space character only).
std::string trimSpaces(std::string_view text);

// Upper-cases ASCII letters only.
std::string upperAscii(std::string_view text);

// The Windows-1252 bytes of a text with ASCII and Latin-1 letters upper-cased: comparing these byte by byte is a
// case-insensitive comparison.
std::string foldNoCase(std::string_view text);

// Case-insensitive comparison in the order of the Windows-1252 letters (ASCII and Latin-1 letters folded).
int compareNoCase(std::string_view a, std::string_view b);

// Splits a file's bytes into lines: CR LF or a lone CR ends a line, a lone LF does not. A final line without a
// line end counts; a file ending in a line end has no empty last line.
std::vector<std::string> splitLines(std::string_view bytes);

// Number of characters (code points) of a UTF-8 text.
std::size_t utf8Length(std::string_view text);

// The first n characters of a UTF-8 text.
std::string utf8Left(std::string_view text, std::size_t n);

} // namespace valumat
