#include "cli/CliOutput.h"

#include <cstdio>

#include "core/TextEscape.h"

namespace kestrel::cli {

namespace {

// The message with CR LF as LF; any other control character a message still holds is escaped,
// so nothing the server sent can steer the terminal.
std::string ForTerminal(const std::string& text) {
  std::string out;
  std::size_t from = 0;
  while (from <= text.size()) {
    std::size_t end = text.find('\n', from);
    if (end == std::string::npos) end = text.size();
    std::size_t stop = end;
    if (stop > from && text[stop - 1] == '\r') --stop;
    out += EscapeControls(std::string_view(text).substr(from, stop - from));
    if (end < text.size()) out += '\n';
    from = end + 1;
  }
  return out;
}

}  // namespace

void CliPrompts::Show(PromptKind kind, const std::string& text) {
  const bool error = kind == PromptKind::ErrorOk || kind == PromptKind::ErrorYes;
  std::fprintf(stderr, "%s%s\n", error ? "error: " : "", ForTerminal(text).c_str());
}

bool CliPrompts::Confirm(const std::string& text) {
  std::fprintf(stderr, "%s (answered No)\n", ForTerminal(text).c_str());
  return false;
}

}  // namespace kestrel::cli
