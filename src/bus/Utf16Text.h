// UTF-16 text as the players' display lines carry it (16-bit units, high byte first) and the
// program's own UTF-8 strings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kestrel {

// Decodes `units` code units (2 * units bytes) of UTF-16BE. Surrogate pairs give one
// character; a surrogate without its partner gives U+FFFD.
std::string Utf16BeToUtf8(const std::uint8_t* bytes, std::size_t units);

// Encodes UTF-8 text as UTF-16BE; each byte that is not part of well-formed UTF-8 gives U+FFFD.
std::vector<std::uint8_t> Utf8ToUtf16Be(const std::string& text);

}  // namespace kestrel
