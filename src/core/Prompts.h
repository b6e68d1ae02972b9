// How the library asks the user something or tells them something. The window answers with
// message boxes, the tests with scripted answers, the command line with its flags and stderr.
#pragma once

#include <memory>
#include <string>

namespace kestrel {

enum class PromptKind {
  InfoOk,    // information box, OK button (start-up failures, bind failure)
  ErrorOk,   // error box, OK button (conversion errors, send failures)
  ErrorYes,  // error notice with a single Yes button (connection failure, listing refused)
  InfoYes,   // information notice with a single Yes button ("Updated!")
};

class Prompts {
 public:
  virtual ~Prompts() = default;
  // Shows a modal message and returns when the user has closed it.
  virtual void Show(PromptKind kind, const std::string& text) = 0;
  // Asks a Yes/No question; true only for Yes.
  virtual bool Confirm(const std::string& text) = 0;
};

// Writes messages to standard error and answers every question with No (the prompts of a
// context that was given none).
class StderrPrompts : public Prompts {
 public:
  void Show(PromptKind kind, const std::string& text) override;
  bool Confirm(const std::string& text) override;
};

}  // namespace kestrel
