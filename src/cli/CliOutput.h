// How the command line talks: messages to standard error, questions answered by flags (or, on a
// terminal, by the user), data as tab-separated lines or JSON on standard output.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "core/Prompts.h"

namespace kestrel::cli {

// The answer a flag gives to the questions of one command.
enum class Answer {
  Ask,  // no flag: ask on a terminal, refuse otherwise
  Yes,
  No,
};

// Messages go to standard error, CR LF line ends as plain LF, control characters escaped.
// Questions take the answer set for the running command. With no answer set, they are asked on
// the terminal when standard input and standard error are one; otherwise the question is
// answered No, the flag that would answer it is named, and Refused() turns true.
class CliPrompts : public Prompts {
 public:
  void Show(PromptKind kind, const std::string& text) override;
  bool Confirm(const std::string& text) override;

  // The answer to every question from now on, and the flag(s) a script gives for it.
  void SetAnswer(Answer answer, const std::string& flags);
  // False when a question would have to be refused: no flag answers it and there is no
  // terminal to ask on. Says which flag to give.
  bool CanAnswer(const std::string& what);
  bool Refused() const { return refused_; }
  // Error messages shown so far.
  int Errors() const { return errors_; }

 private:
  Answer answer_ = Answer::No;
  std::string flags_;
  bool refused_ = false;
  int errors_ = 0;
};

// `value` on standard output, indented, invalid UTF-8 replaced.
void PrintJson(const nlohmann::json& value);

// A message on standard error, prefixed with the program's name, control characters escaped.
void Complain(const std::string& text);

}  // namespace kestrel::cli
