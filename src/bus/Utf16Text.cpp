#include "bus/Utf16Text.h"

namespace kestrel {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

void AppendUtf16Be(std::vector<std::uint8_t>& out, char32_t c) {
  auto unit = [&](char32_t u) {
    out.push_back(static_cast<std::uint8_t>(u >> 8));
    out.push_back(static_cast<std::uint8_t>(u & 0xFF));
  };
  if (c < 0x10000) {
    unit(c);
  } else {
    c -= 0x10000;
    unit(0xD800 + (c >> 10));
    unit(0xDC00 + (c & 0x3FF));
  }
}

bool IsHigh(char32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLow(char32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// The character that starts at text[i] and the number of bytes it takes; one byte of U+FFFD
// for anything that is not well-formed UTF-8 (overlong forms and encoded surrogates included).
char32_t NextUtf8(const std::string& text, std::size_t i, std::size_t& length) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char b0 = byte(i);
  length = 1;
  if (b0 < 0x80) return b0;
  std::size_t extra;
  char32_t c;
  char32_t minimum;
  if ((b0 & 0xE0) == 0xC0) {
    extra = 1, c = b0 & 0x1F, minimum = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    extra = 2, c = b0 & 0x0F, minimum = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    extra = 3, c = b0 & 0x07, minimum = 0x10000;
  } else {
    return kReplacement;
  }
  if (i + extra >= text.size()) return kReplacement;
  for (std::size_t k = 1; k <= extra; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return kReplacement;
    c = (c << 6) | (byte(i + k) & 0x3F);
  }
  if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return kReplacement;
  length = extra + 1;
  return c;
}

}  // namespace

std::string Utf16BeToUtf8(const std::uint8_t* bytes, std::size_t units) {
  std::string out;
  out.reserve(units);
  for (std::size_t i = 0; i < units; ++i) {
    const char32_t u = char32_t{bytes[2 * i]} << 8 | bytes[2 * i + 1];
    if (IsHigh(u) && i + 1 < units) {
      const char32_t next = char32_t{bytes[2 * i + 2]} << 8 | bytes[2 * i + 3];
      if (IsLow(next)) {
        AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (next - 0xDC00));
        ++i;
        continue;
      }
    }
    AppendUtf8(out, IsHigh(u) || IsLow(u) ? kReplacement : u);
  }
  return out;
}

std::vector<std::uint8_t> Utf8ToUtf16Be(const std::string& text) {
  std::vector<std::uint8_t> out;
  out.reserve(text.size() * 2);
  for (std::size_t i = 0; i < text.size();) {
    std::size_t length = 1;
    AppendUtf16Be(out, NextUtf8(text, i, length));
    i += length;
  }
  return out;
}

}  // namespace kestrel
