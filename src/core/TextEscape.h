// Text from a peer (an FTP server's replies and file names) made safe for a terminal or a
// message box: control characters cannot move the cursor, clear the screen or forge lines.
#pragma once

#include <string>
#include <string_view>

namespace kestrel {

// `text` with backslash, tab, CR, LF and the other control characters written as \\, \t, \r,
// \n and \xHH. Other bytes (UTF-8 letters included) stay as they are.
std::string EscapeControls(std::string_view text);

}  // namespace kestrel
