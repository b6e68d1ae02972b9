// Messages and questions of the library shown as modal message boxes captioned with the
// application title. From another thread they are shown on the window thread through `gate`;
// once the gate has closed (shutdown), a message is dropped and a question answered No.
#pragma once

#include <QString>

#include "core/Prompts.h"
#include "ui/WindowThreadGate.h"

namespace kestrel::ui {

class QtPrompts : public Prompts {
 public:
  // Message boxes are captioned with `title`.
  QtPrompts(WindowThreadGate& gate, QString title) : gate_(gate), title_(std::move(title)) {}
  void Show(PromptKind kind, const std::string& text) override;
  bool Confirm(const std::string& text) override;

 private:
  WindowThreadGate& gate_;
  QString title_;
};

}  // namespace kestrel::ui
