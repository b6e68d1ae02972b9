// Comparing names the way the settings files and the user's typing expect.
#pragma once

#include <string>

namespace kestrel::platform {

// True when `a` and `b` are equal but for the letter case of A to Z.
inline bool EqualNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::string::size_type i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// `s` with A to Z made lower case: equal for two names exactly when EqualNoCase holds.
inline std::string FoldCase(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

}  // namespace kestrel::platform
