#include "core/mPublicFunction.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace kestrel {

namespace {
bool TryStrToInt(const std::string& text, int& out) {
  const std::string t = TrimText(text);
  const size_t digits = (!t.empty() && (t[0] == '+' || t[0] == '-')) ? 1 : 0;
  if (t.size() == digits) return false;
  for (size_t k = digits; k < t.size(); ++k)
    if (t[k] < '0' || t[k] > '9') return false;
  errno = 0;
  const long long v = std::strtoll(t.c_str(), nullptr, 10);
  if (errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;
  out = static_cast<int>(v);
  return true;
}
}  // namespace

int StrToIntDef(const std::string& text, int fallback) {
  int v = 0;
  return TryStrToInt(text, v) ? v : fallback;
}

int StrToInt(const std::string& text) {
  int v = 0;
  if (!TryStrToInt(text, v)) throw EConvertError("'" + text + "' is not a valid integer value");
  return v;
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

}  // namespace kestrel
