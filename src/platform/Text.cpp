#include "platform/Text.h"

#include <cmath>
#include <cstdio>

namespace kestrel::platform {

std::string TrimChars(std::string_view s, std::string_view atStart, std::string_view atEnd) {
  std::size_t b = 0, e = s.size();
  while (b < e && atStart.find(s[b]) != std::string_view::npos) ++b;
  while (e > b && atEnd.find(s[e - 1]) != std::string_view::npos) --e;
  return std::string(s.substr(b, e - b));
}

std::string TrimText(std::string_view text) {
  const auto isSpace = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  std::size_t b = 0, e = text.size();
  while (b < e && isSpace(text[b])) ++b;
  while (e > b && isSpace(text[e - 1])) --e;
  return std::string(text.substr(b, e - b));
}

std::string LowerCase(std::string s) {
  for (char& c : s) c = LowerAscii(c);
  return s;
}

std::string UpperCase(std::string s) {
  for (char& c : s) c = UpperAscii(c);
  return s;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

std::string DecimalText(double value, int decimals, bool sign) {
  if (std::isinf(value)) return value < 0 ? "-inf" : (sign ? "+inf" : "inf");
  char text[48];
  std::snprintf(text, sizeof text, sign ? "%+.*f" : "%.*f", decimals, value);
  return text;
}

}  // namespace kestrel::platform
