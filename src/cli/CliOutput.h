// How the command line writes what it prints: one record a line, fields separated by a tab.
#pragma once

#include <string>

#include "core/Prompts.h"

namespace kestrel::cli {

// Messages go to standard error, CR LF line ends as plain LF; questions are answered No.
class CliPrompts : public Prompts {
 public:
  void Show(PromptKind kind, const std::string& text) override;
  bool Confirm(const std::string& text) override;
};

}  // namespace kestrel::cli
