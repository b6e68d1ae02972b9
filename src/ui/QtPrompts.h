// Messages and questions of the library shown as modal message boxes captioned with the
// application title.
#pragma once

#include "core/Prompts.h"

namespace kestrel::ui {

class QtPrompts : public Prompts {
 public:
  void Show(PromptKind kind, const std::string& text) override;
  bool Confirm(const std::string& text) override;
};

}  // namespace kestrel::ui
