// The machine's ANSI code page is Windows-1252. All program texts are byte
// strings in it; the hive files and ICINFO hold UTF-16, the JSON output UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace tarnel::platform {

std::u16string AnsiToUtf16(std::string_view ansi);
// Characters without a Windows-1252 form become their best-fit byte (A for
// A-macron) where the code page has one and '?' otherwise, as
// WideCharToMultiByte does.
std::string Utf16ToAnsi(std::u16string_view wide);
std::string AnsiToUtf8(std::string_view ansi);
std::string Utf8ToAnsi(std::string_view utf8);
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view wide);

// ASCII-only case folding, the program's rule for FOURCCs and names, and
// the registry's for key and value names. The one place that says it.
inline char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
inline char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }
std::string AsciiLowerCase(std::string_view s);
std::string AsciiUpperCase(std::string_view s);
bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view s, std::string_view prefix);

}  // namespace tarnel::platform
