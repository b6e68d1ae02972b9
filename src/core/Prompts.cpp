#include "core/Prompts.h"

#include <cstdio>

namespace kestrel {

namespace {
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

}  // namespace kestrel
