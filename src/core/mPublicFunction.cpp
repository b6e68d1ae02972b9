#include "core/mPublicFunction.h"

#include "core/FormRegistry.h"

namespace kestrel {

std::string TrimText(const std::string& text) {
  auto isSpace = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  size_t b = 0, e = text.size();
  while (b < e && isSpace(text[b])) ++b;
  while (e > b && isSpace(text[e - 1])) --e;
  return text.substr(b, e - b);
}

std::string ExtractField(const std::string& text, int n, char delimiter) {
  std::string rest = text;
  std::string result;
  for (int i = 1; i <= n; ++i) {
    const auto p = rest.find(delimiter);
    if (p != std::string::npos) {
      result = TrimText(rest.substr(0, p));
      rest = TrimText(rest.substr(p + 1));
    } else if (i == n) {
      result = TrimText(rest);
    } else {
      return {};
    }
  }
  return result;
}

bool FormExists(const std::string& name) {
  try {
    return FormRegistry::Contains(name);
  } catch (...) {
    return false;
  }
}

}  // namespace kestrel
