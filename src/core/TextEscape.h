// Text from a peer (an FTP server's replies and file names) made safe for a terminal or a
// message box: control characters cannot move the cursor, clear the screen or forge lines.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kestrel {

// `text` with backslash, tab, CR, LF and the other control characters written as \\, \t, \r,
// \n and \xHH, and every byte that is not part of a well-formed UTF-8 sequence as \xHH. Other
// bytes (UTF-8 letters included) stay as they are.
std::string EscapeControls(std::string_view text);

// `name` escaped and in double quotes, as messages name a file, a folder or a play list.
std::string QuotedName(std::string_view name);

// True when `text` is well-formed UTF-8 (no overlong forms, no surrogates, nothing above
// U+10FFFF).
bool IsValidUtf8(std::string_view text);

// The length of the well-formed UTF-8 sequence at the start of `text`, or 0 when there is none.
std::size_t Utf8SequenceLength(std::string_view text);

}  // namespace kestrel
