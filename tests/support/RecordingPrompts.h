// Prompts that record what the library shows and answer questions from a script. A test gives
// them to its own context (AppContext) or straight to the operation it drives.
#pragma once

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "core/Prompts.h"

namespace kestrel::test {

class RecordingPrompts : public Prompts {
 public:
  RecordingPrompts() = default;
  RecordingPrompts(const RecordingPrompts&) = delete;
  RecordingPrompts& operator=(const RecordingPrompts&) = delete;

  void Show(PromptKind kind, const std::string& text) override {
    std::lock_guard<std::mutex> lock(mutex_);
    shown_.emplace_back(kind, text);
  }
  bool Confirm(const std::string& text) override {
    std::lock_guard<std::mutex> lock(mutex_);
    asked_.push_back(text);
    return answer_;
  }
  void AnswerYes(bool yes) { answer_ = yes; }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    shown_.clear();
    asked_.clear();
  }

  std::vector<std::string> Asked() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return asked_;
  }
  std::vector<std::pair<PromptKind, std::string>> Shown() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return shown_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::pair<PromptKind, std::string>> shown_;
  std::vector<std::string> asked_;
  bool answer_ = false;
};

}  // namespace kestrel::test
