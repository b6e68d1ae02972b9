// Any byte string as a received datagram: unpacking must never read outside it, and what it
// accepts must keep the shape the dispatcher relies on.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "bus/threadUDPReceive.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto frame = kestrel::pblUnpackFrame(data, size);
  if (!frame) return 0;
  if (frame->data.size() < 11) std::abort();
  if (frame->isLong != (frame->data[0] == 0xFF)) std::abort();
  if (!frame->isLong && frame->data.size() != size - 16) std::abort();
  return 0;
}
