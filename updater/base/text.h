// Conversions between the updater's wide strings and its narrow text.
//
// Narrow text (the update list's fields, paths at the OS boundary, zip entry
// names) is UTF-8 on this platform; wide strings hold one code point per
// wchar_t.
#pragma once

#include <string>
#include <string_view>

// Decodes UTF-8. Malformed sequences become U+FFFD; never fails.
std::wstring AnsiToWide(std::string_view text);

// Encodes as UTF-8. Returns false (out cleared) when the text holds a value that
// is no Unicode scalar value (a surrogate, or above U+10FFFF).
bool WideToAnsi(std::wstring_view text, std::string& out);

// WideToAnsi for callers that have no use for the failure: invalid values
// become U+FFFD.
std::string WideToAnsiLossy(std::wstring_view text);
