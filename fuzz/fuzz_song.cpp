// The song check and the gain change on any bytes: a verdict always, and a changed copy of
// exactly the input's size whenever the check would let the song be sent. The two read the
// bytes in pieces of other sizes: what they find must not depend on where a read ends.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "songs/AdjustedSong.h"
#include "songs/SongAnalyzer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kestrel::songs;
  SongAnalyzer analyzer;
  // In two pieces, so that frames and tags also straddle a boundary.
  const std::size_t half = size / 2;
  analyzer.Feed(data, half);
  analyzer.Feed(data + half, size - half);
  const SongCheck check = analyzer.Finish();
  if (!check.Sendable()) return 0;
  std::size_t out = 0;
  GainChanger changer(check, size % 2 ? 5 : -7, [&](const std::uint8_t*, std::size_t n) { out += n; });
  const std::size_t third = size / 3;
  changer.Feed(data, third);
  changer.Feed(data + third, third);
  changer.Feed(data + 2 * third, size - 2 * third);
  changer.Finish();
  if (out != size) std::abort();
  return 0;
}
