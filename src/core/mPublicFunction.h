// Small shared helpers.
#pragma once

#include <string>

namespace kestrel {

// The n-th field (n from 1) of `text` split at `delimiter`, blanks around it removed; empty
// when the text has fewer than n fields. The last field runs to the end of the text.
std::string ExtractField(const std::string& text, int n, char delimiter);

// `text` without leading and trailing blanks and control characters.
std::string TrimText(const std::string& text);

// True when one of the program's open windows has exactly this component name (see
// FormRegistry); false when the lookup fails. Safe on any thread.
bool FormExists(const std::string& name);

}  // namespace kestrel
