#include "cli/CliOutput.h"

#include <cstdio>
#include <iostream>

#include "core/TextEscape.h"
#include "platform/Terminal.h"

namespace kestrel::cli {

namespace {

// A line of a message with the control characters it still holds escaped. Names and server
// texts in messages are escaped already (QuotedName, EscapeControls), so a backslash stays.
std::string SafeLine(std::string_view line) {
  std::string out;
  for (std::size_t at = 0; at < line.size();) {
    const std::size_t end = line.find('\\', at);
    out += EscapeControls(line.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at));
    if (end == std::string_view::npos) break;
    out += '\\';
    at = end + 1;
  }
  return out;
}

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
    out += SafeLine(std::string_view(text).substr(from, stop - from));
    if (end < text.size()) out += '\n';
    from = end + 1;
  }
  return out;
}

bool CanAskOnTerminal() { return platform::StdinIsTerminal() && platform::StderrIsTerminal(); }

}  // namespace

void PrintJson(const nlohmann::json& value) {
  std::fputs(value.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str(), stdout);
  std::fputc('\n', stdout);
}

void Complain(const std::string& text) { std::fprintf(stderr, "kestrel-cli: %s\n", ForTerminal(text).c_str()); }

void CliPrompts::Show(PromptKind kind, const std::string& text) {
  const bool error = kind == PromptKind::ErrorOk || kind == PromptKind::ErrorYes;
  if (error) ++errors_;
  std::fprintf(stderr, "%s%s\n", error ? "error: " : "", ForTerminal(text).c_str());
}

void CliPrompts::SetAnswer(Answer answer, const std::string& flags) {
  answer_ = answer;
  flags_ = flags;
}

bool CliPrompts::CanAnswer(const std::string& what) {
  if (answer_ != Answer::Ask || CanAskOnTerminal()) return true;
  refused_ = true;
  Complain(what + " asks questions and there is no terminal to ask on: give " + flags_);
  return false;
}

bool CliPrompts::Confirm(const std::string& text) {
  const std::string question = ForTerminal(text);
  switch (answer_) {
    case Answer::Yes:
      std::fprintf(stderr, "%s Yes (%s)\n", question.c_str(), flags_.c_str());
      return true;
    case Answer::No:
      std::fprintf(stderr, "%s No\n", question.c_str());
      return false;
    case Answer::Ask:
      break;
  }
  if (!CanAskOnTerminal()) {
    refused_ = true;
    std::fprintf(stderr, "%s No: there is no terminal to ask on; give %s\n", question.c_str(), flags_.c_str());
    return false;
  }
  std::fprintf(stderr, "%s [y/N] ", question.c_str());
  std::fflush(stderr);
  std::string line;
  if (!std::getline(std::cin, line)) return false;
  return line == "y" || line == "Y" || line == "yes" || line == "Yes";
}

}  // namespace kestrel::cli
