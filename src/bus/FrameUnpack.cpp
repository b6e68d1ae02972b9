// Unpacking of received datagrams (declared in threadUDPReceive.h).
#include <algorithm>

#include "bus/mSocket.h"
#include "bus/threadUDPReceive.h"

namespace kestrel {

std::optional<UnpackedFrame> pblUnpackFrame(const std::uint8_t* datagram, std::size_t size) {
  if (datagram == nullptr || size < kFrameOverhead) return std::nullopt;
  if (datagram[14] != 0xAA || (datagram[15] != 0xAA && datagram[15] != 0x55)) return std::nullopt;

  const std::uint8_t* frame = datagram + kFrameDataOffset;
  const std::size_t available = size - kFrameDataOffset;
  UnpackedFrame out;
  if (frame[0] == kLongFrameMark) {
    // Offsets 9 and 10 exist: a datagram of at least 27 bytes holds 11 bytes of frame data.
    const std::size_t m = std::size_t{frame[9]} << 8 | frame[10];
    out.isLong = true;
    out.data.assign(m + 11, 0);
    std::copy_n(frame, std::min(available, out.data.size()), out.data.begin());
    return out;
  }
  if (!pblCheckCRC(frame, available - 2)) return std::nullopt;
  out.data.assign(frame, frame + available);
  return out;
}

}  // namespace kestrel
