#include "core/TextEscape.h"

#include <cstdio>

namespace kestrel {

std::size_t Utf8SequenceLength(std::string_view text) {
  if (text.empty()) return 0;
  const auto b = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = b(0);
  if (lead < 0x80) return 1;
  std::size_t length;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
  } else {
    return 0;
  }
  if (text.size() < length || b(1) < low || b(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i)
    if (b(i) < 0x80 || b(i) > 0xBF) return 0;
  return length;
}

bool IsValidUtf8(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t n = Utf8SequenceLength(text.substr(at));
    if (n == 0) return false;
    at += n;
  }
  return true;
}

std::string EscapeControls(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  const auto hex = [&out](unsigned char u) {
    char code[8];
    std::snprintf(code, sizeof code, "\\x%02X", u);
    out += code;
  };
  for (std::size_t at = 0; at < text.size();) {
    const char c = text[at];
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x80) {
      const std::size_t n = Utf8SequenceLength(text.substr(at));
      if (n == 0) {
        hex(u);
        ++at;
      } else {
        out.append(text, at, n);
        at += n;
      }
      continue;
    }
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      default:
        if (u < 0x20 || u == 0x7f)
          hex(u);
        else
          out += c;
    }
    ++at;
  }
  return out;
}

std::string QuotedName(std::string_view name) { return "\"" + EscapeControls(name) + "\""; }

}  // namespace kestrel
