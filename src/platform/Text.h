// Blanks, letter case and numbers as text: the text helpers of the whole program. Letter case is that of A to Z
// only, as the settings files and the servers' replies use it; other bytes (UTF-8 among them)
// are compared as they are.
#pragma once

#include <string>
#include <string_view>

namespace kestrel::platform {

// The blanks of a line: space and tab.
inline constexpr std::string_view kBlanks = " \t";

inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// `s` without the characters of `atStart` at its start and those of `atEnd` at its end.
std::string TrimChars(std::string_view s, std::string_view atStart, std::string_view atEnd);

// `s` without blanks at either end.
inline std::string TrimBlanks(std::string_view s) { return TrimChars(s, kBlanks, kBlanks); }

// `text` without leading and trailing blanks and control characters (every byte up to the space).
std::string TrimText(std::string_view text);

inline char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
inline char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// `s` with A to Z made lower case: equal for two texts exactly when EqualNoCase holds.
std::string LowerCase(std::string s);
// `s` with a to z made upper case.
std::string UpperCase(std::string s);

// True when `a` and `b` are equal but for the letter case of A to Z.
bool EqualNoCase(std::string_view a, std::string_view b);

// `value` with `decimals` digits after the point ("-23.4"), with "+" before a value above 0
// when `sign`; "inf" or "-inf" for an infinity, on every C runtime.
std::string DecimalText(double value, int decimals, bool sign = false);

}  // namespace kestrel::platform
