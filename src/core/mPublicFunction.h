// Small shared helpers.
#pragma once

#include <stdexcept>
#include <string>

#include "platform/Text.h"

namespace kestrel {

// A text that should have been a number (or a number within a range). Its message is the one
// the user sees: "'<text>' is not a valid integer value", or for a number out of its range a
// text of the same form naming the value and the range.
class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// `text` read as a 32-bit decimal integer (optional sign, blanks around it allowed); throws
// EConvertError for anything else, including an empty text and a number out of range.
int StrToInt(const std::string& text);

// As StrToInt, but `fallback` instead of the error.
int StrToIntDef(const std::string& text, int fallback);

// The n-th field (n from 1) of `text` split at `delimiter`, blanks around it removed; empty
// when the text has fewer than n fields. The last field runs to the end of the text.
std::string ExtractField(const std::string& text, int n, char delimiter);

// `text` without leading and trailing blanks and control characters.
using platform::TrimText;

}  // namespace kestrel
