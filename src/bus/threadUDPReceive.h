// The receive side of the bus: unpacking a received datagram into its frame data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace kestrel {

struct UnpackedFrame {
  std::vector<std::uint8_t> data;  // frame data: length byte .. CRC (or the announced extent)
  bool isLong = false;
};

// Applies the acceptance rules to one received datagram: at least 27 bytes, lead code AA AA or
// AA 55, and for a normal frame a CRC over its actual bytes. A long frame (length byte 0xFF)
// takes its extent, m + 11 bytes, from the two bytes after the target address; bytes of that
// extent beyond the datagram read as 0, and its CRC is not checked. Nothing outside
// [datagram, datagram + size) is ever read.
std::optional<UnpackedFrame> pblUnpackFrame(const std::uint8_t* datagram, std::size_t size);

}  // namespace kestrel
