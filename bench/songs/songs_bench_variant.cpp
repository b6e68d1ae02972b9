// songs_bench_variant SOURCE STEPS TARGET: TARGET := SOURCE with every global gain moved by
// STEPS (1.5 dB each), as an upload that evens out loudness would store it.
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "songs/AdjustedSong.h"
#include "songs/SongCheck.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: songs_bench_variant SOURCE STEPS TARGET\n");
    return 1;
  }
  using namespace kestrel::songs;
  const SongCheck check = CheckSong(argv[1]);
  if (!check.Sendable()) {
    std::fprintf(stderr, "%s: %s\n", argv[1], check.reason.c_str());
    return 1;
  }
  try {
    AdjustedSongReader reader(check, std::atoi(argv[2]));
    std::ofstream out(argv[3], std::ios::binary);
    char buffer[64 * 1024];
    for (std::size_t n; (n = reader.Read(buffer, sizeof buffer)) > 0;) out.write(buffer, static_cast<std::streamsize>(n));
    return out ? 0 : 1;
  } catch (const SongError& e) {
    std::fprintf(stderr, "%s: %s\n", argv[1], e.what());
    return 1;
  }
}
