#include "core/Prompts.h"

#include <atomic>
#include <cstdio>

namespace kestrel {

namespace {
StderrPrompts g_default;
std::atomic<Prompts*> g_current{nullptr};

const char* KindName(PromptKind kind) {
  switch (kind) {
    case PromptKind::InfoOk:
    case PromptKind::InfoYes:
      return "info";
    case PromptKind::ErrorOk:
    case PromptKind::ErrorYes:
      return "error";
  }
  return "message";
}
}  // namespace

void StderrPrompts::Show(PromptKind kind, const std::string& text) {
  std::fprintf(stderr, "%s: %s\n", KindName(kind), text.c_str());
}

bool StderrPrompts::Confirm(const std::string& text) {
  std::fprintf(stderr, "question (answered No): %s\n", text.c_str());
  return false;
}

Prompts& CurrentPrompts() {
  Prompts* p = g_current.load();
  return p != nullptr ? *p : g_default;
}

void SetPrompts(Prompts* prompts) { g_current.store(prompts); }

}  // namespace kestrel
