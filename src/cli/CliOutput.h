// How the command line writes what it prints: one record a line, fields separated by a tab.
#pragma once

#include <string>

#include "core/Prompts.h"

namespace kestrel::cli {

// `text` with backslash, tab, CR, LF and the other control characters written as \\, \t, \r,
// \n and \xHH, so that every name stays on its line and in its field.
std::string EscapeField(const std::string& text);

// Messages go to standard error, CR LF line ends as plain LF; questions are answered No.
class CliPrompts : public Prompts {
 public:
  void Show(PromptKind kind, const std::string& text) override;
  bool Confirm(const std::string& text) override;
};

}  // namespace kestrel::cli
