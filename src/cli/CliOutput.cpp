#include "cli/CliOutput.h"

#include <cstdio>

namespace kestrel::cli {

std::string EscapeField(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      default:
        if (u < 0x20 || u == 0x7f) {
          char hex[8];
          std::snprintf(hex, sizeof hex, "\\x%02X", u);
          out += hex;
        } else {
          out += c;
        }
    }
  }
  return out;
}

void CliPrompts::Show(PromptKind kind, const std::string& text) {
  std::string plain;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    plain += text[i];
  }
  const bool error = kind == PromptKind::ErrorOk || kind == PromptKind::ErrorYes;
  std::fprintf(stderr, "%s%s\n", error ? "error: " : "", plain.c_str());
}

bool CliPrompts::Confirm(const std::string& text) {
  std::fprintf(stderr, "%s (answered No)\n", text.c_str());
  return false;
}

}  // namespace kestrel::cli
