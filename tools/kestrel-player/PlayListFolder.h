// The play lists of the stand-in: the sub-folders of one folder (the folder a test FTP server
// serves), numbered the way the program numbers the server's listing. Names are taken in byte
// order, which for UTF-8 names is the code point order in which the FTP server lists them.
//   play list Seq:          every sub-folder whose name holds no "\", from 1 (else 0: the
//                           program shows no row for it)
//   play list SeqInVeltra:  the sub-folders holding at least one regular file, whatever their
//                           names, from 1 (else 0)
//   song Seq:               the regular files of a play list, from 1 (every one, also those the
//                           program does not show: unfinished uploads, names holding "\")
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace kestrel::player {

struct SongFile {
  std::string name;
  std::uintmax_t size = 0;
};

struct PlayListDir {
  int seq = 0;
  int seqInVeltra = 0;
  std::string name;
  std::vector<SongFile> songs;
};

class PlayListFolder {
 public:
  explicit PlayListFolder(std::string root) : root_(std::move(root)) {}

  // Reads the folder again; false with a reason when it cannot be read (the old numbering
  // stays).
  bool Rescan(std::string* error);

  const std::vector<PlayListDir>& Lists() const { return lists_; }
  // The play list with this device number, or nullptr.
  const PlayListDir* ByDeviceNumber(int seqInVeltra) const;
  const PlayListDir* ByName(const std::string& name) const;
  // How many play lists have a device number.
  int DeviceListCount() const;

  // One line per play list ("list", Seq, SeqInVeltra, name) followed by one per song ("song",
  // SeqInVeltra, Seq, name), tab-separated.
  void PrintNumbering(std::ostream& out) const;

 private:
  std::string root_;
  std::vector<PlayListDir> lists_;
};

// The playing time the stand-in gives a song file: its size at 128 kbit/s, at least a second.
std::int64_t SongDurationMs(std::uintmax_t fileSize);

}  // namespace kestrel::player
