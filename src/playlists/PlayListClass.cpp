#include "playlists/PlayListClass.h"

namespace kestrel {

std::vector<TSongObj*> TPlayListObj::VisibleSongs() const {
  std::vector<TSongObj*> songs;
  songs.reserve(SongList.size());
  for (const auto& song : SongList)
    if (!song->Deleted) songs.push_back(song.get());
  return songs;
}

int TPlayListObj::CheckedSongCount() const {
  int count = 0;
  for (const auto& song : SongList)
    if (song->Checked && !song->Deleted) ++count;
  return count;
}

int FindSongRowByName(const std::vector<TSongObj*>& rows, const std::string& name) {
  if (name.empty()) return -1;
  for (std::size_t i = 0; i < rows.size(); ++i)
    if (rows[i]->Name == name) return static_cast<int>(i);
  return -1;
}

int FindSongRowBySeq(const std::vector<TSongObj*>& rows, std::int32_t seq) {
  for (std::size_t i = 0; i < rows.size(); ++i)
    if (rows[i]->Seq == seq) return static_cast<int>(i);
  return -1;
}

std::string PlayListDir(const std::string& playList) { return kPlayListRoot + playList; }

std::string SongPath(const std::string& playList, const std::string& song) { return PlayListDir(playList) + "/" + song; }

}  // namespace kestrel
