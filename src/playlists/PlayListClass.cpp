#include "playlists/PlayListClass.h"

#include <set>

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

std::string SongsStamp(const TPlayListObj& playList) {
  std::string stamp;
  for (const auto& song : playList.SongList) {
    for (const std::string* text : {&song->Name, &song->ModTimeUtc, &song->DateTime})
      stamp += std::to_string(text->size()) + ":" + *text;
    stamp += std::to_string(song->Seq) + "/" + std::to_string(song->Size) + (song->Deleted ? "-" : "+");
  }
  return stamp;
}

bool TakeSongsReadAgain(TPlayListObj& target, TPlayListObj& read, const std::string& before) {
  if (!read.GotSong || !target.GotSong || SongsStamp(target) != before || SongsStamp(read) == before) return false;
  std::set<std::string> checked;
  for (const TSongObj* song : target.VisibleSongs())
    if (song->Checked) checked.insert(song->Name);
  for (const auto& song : read.SongList) song->Checked = checked.count(song->Name) > 0;
  target.SongList = std::move(read.SongList);
  read.SongList.clear();
  return true;
}

std::string PlayListDir(const std::string& playList) { return kPlayListRoot + playList; }

std::string SongPath(const std::string& playList, const std::string& song) { return PlayListDir(playList) + "/" + song; }

}  // namespace kestrel
