// deploy FOLDER: makes the player's play lists match a local folder, with the plan printed
// first, then the zones told to reload.
#include <chrono>
#include <cstring>
#include <ctime>
#include <fstream>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "cli/CliDeployPlan.h"
#include "cli/CliOutput.h"
#include "cli/CliPaths.h"
#include "cli/CliProgress.h"
#include "cli/CliServer.h"
#include "cli/CliStation.h"
#include "core/TextEscape.h"
#include "platform/Utf8Path.h"
#include "playlists/DeployPlan.h"
#include "playlists/PlayListOperations.h"
#include "playlists/UploadSongs.h"

namespace kestrel::cli {

namespace {

struct DeployArgs {
  std::string folder;
  bool withDeletions = false;
  bool dryRun = false;
  bool checksum = false;
  bool yes = false;  // accepted for consistency: --delete is the consent to deletions
};

const DeployPlayList* FindLocal(const std::vector<DeployPlayList>& local, const std::string& name) {
  for (const DeployPlayList& l : local)
    if (l.name == name) return &l;
  return nullptr;
}

// The player's play lists with their songs, sizes and (where the listing gives them) times, as
// the listing of the play lists read them. Where the times must come from MDTM, it is asked for
// the songs that the folder has with the same size, all at once.
int ReadPlayer(CliServer& server, const std::vector<DeployPlayList>& local, bool times,
               std::vector<DeployPlayList>& player) {
  PlayListStore& store = server.Store();
  FtpClient& client = server.Client();
  std::vector<FtpCommand> asks;
  std::vector<DeploySong*> askedFor;
  for (int row = 0; row < store.Count(); ++row) {
    TPlayListObj& playList = *store.At(row);
    DeployPlayList list{playList.Name, {}};
    // The listing read every play list it could enter; one the folder has is read again here.
    if (!playList.GotSong && FindLocal(local, playList.Name) == nullptr) {
      player.push_back(std::move(list));
      continue;
    }
    if (const int status = server.LoadSongs(playList); status != kOk) return status;
    for (const TSongObj* song : playList.VisibleSongs()) list.songs.push_back({song->Name, song->Size, {}, song->ModTimeUtc});
    player.push_back(std::move(list));
  }
  if (!times || client.ListsExactly()) return kOk;
  for (DeployPlayList& list : player) {
    const DeployPlayList* mine = FindLocal(local, list.name);
    if (mine == nullptr || !FtpClient::IsSendableName(list.name)) continue;
    for (DeploySong& song : list.songs)
      for (const DeploySong& m : mine->songs)
        if (m.name == song.name && m.size == song.size && FtpClient::IsSendableName(song.name)) {
          asks.push_back({"MDTM", client.RootDir() + list.name + "/" + song.name});
          askedFor.push_back(&song);
        }
  }
  try {
    const std::vector<FtpReply> replies = client.Pipeline(asks);
    for (std::size_t i = 0; i < replies.size(); ++i)
      if (replies[i].code == 213 && replies[i].text.size() > 4) askedFor[i]->modified = replies[i].text.substr(4);
  } catch (const FtpError& e) {
    Complain("can not read the songs' times: " + std::string(e.what()));
    return server.FailedStatus();
  }
  return kOk;
}

// Whether the player keeps the time MFMT gives `path` (whose time is `listed`): another time is
// set, read back and the old one put back. The other time is never `local` (the folder's time of
// the song), so that a song left with it is still sent. Empty when the time held; else why not.
std::string TimeHoldProblem(FtpClient& client, const std::string& dir, const std::string& name, long long listed,
                            long long local) {
  const std::string path = dir + "/" + name;
  const long long trial = listed + 2 == local ? listed - 2 : listed + 2;
  std::string reply;
  if (client.SetModificationTime(path, trial, reply) != 213) return "MFMT answered \"" + EscapeControls(reply) + "\"";
  long long back = -1;
  if (client.Features().mdtm) {
    if (!ParseUtcStamp(client.ModificationTime(path), back)) back = -1;
  } else {
    for (const FtpListEntry& entry : client.ListDirExact(dir))
      if (entry.name == name && !ParseUtcStamp(entry.modifiedUtc, back)) back = -1;
  }
  client.SetModificationTime(path, listed, reply);
  return back == trial ? std::string() : "a time set with MFMT did not hold";
}

// "YYYY-MM-DD HH:MM:SS" of a time "YYYYMMDDHHMMSS".
std::string StampText(const std::string& stamp) {
  return stamp.substr(0, 4) + "-" + stamp.substr(4, 2) + "-" + stamp.substr(6, 2) + " " + stamp.substr(8, 2) + ":" +
         stamp.substr(10, 2) + ":" + stamp.substr(12, 2);
}

// Why the player's modification times cannot tell which songs changed; empty when they can.
// Looked at are the songs the folder has with the same size (only there a time decides): each
// must have a time, one that can be right (from 1980 to a day ahead) unless it is the folder's;
// and where one differs from the folder's, the first such song must keep a time MFMT sets.
std::string TimesProblem(FtpClient& client, const std::vector<DeployPlayList>& local,
                         const std::vector<DeployPlayList>& player) {
  constexpr long long k1980 = 315532800;
  const long long now = static_cast<long long>(std::time(nullptr));
  struct Differing {
    std::string dir, name;
    long long listed = 0, local = 0;
  };
  std::vector<Differing> differing;
  for (const DeployPlayList& list : player) {
    const DeployPlayList* mine = FindLocal(local, list.name);
    if (mine == nullptr || !FtpClient::IsSendableName(list.name)) continue;
    for (const DeploySong& song : list.songs)
      for (const DeploySong& m : mine->songs) {
        long long theirs = 0, ours = 0;
        if (m.name != song.name || m.size != song.size || !ParseUtcStamp(m.modified, ours)) continue;
        const std::string shown = QuotedName(list.name + "/" + song.name);
        if (!ParseUtcStamp(song.modified, theirs)) return "it gives no modification time for " + shown;
        if (theirs == ours) continue;
        if (theirs < k1980 || theirs > now + 24 * 3600)
          return "it dates " + shown + " " + StampText(song.modified) + " UTC, which cannot be right";
        if (theirs - ours > 1 || ours - theirs > 1)
          differing.push_back({client.RootDir() + list.name, song.name, theirs, ours});
      }
  }
  for (const Differing& d : differing)
    if (FtpClient::IsSendableName(d.name)) return TimeHoldProblem(client, d.dir, d.name, d.listed, d.local);
  return {};
}

// True when the player's copy of `song` in `playList` holds other bytes than the local file.
bool ContentDiffers(FtpClient& client, const std::string& playList, const DeploySong& song) {
  std::ifstream in(platform::PathFromUtf8(song.path), std::ios::binary);
  if (!in) return true;
  bool differs = false;
  std::vector<char> mine;
  std::int64_t seen = 0;
  client.Retrieve(client.RootDir() + playList + "/" + song.name, [&](const char* data, std::size_t n) {
    mine.resize(n);
    in.read(mine.data(), static_cast<std::streamsize>(n));
    differs = static_cast<std::size_t>(in.gcount()) != n || std::memcmp(mine.data(), data, n) != 0;
    seen += static_cast<std::int64_t>(n);
    return !differs;
  });
  return differs || seen != song.size;
}

// The link's transfer speed: the largest song on the player read back for up to a megabyte (or
// a second), timed from its first bytes on so that opening the transfer does not count. 0 when
// the player holds no song long enough to arrive in more than one piece.
double MeasureSpeed(FtpClient& client, const std::vector<DeployPlayList>& player) {
  const DeploySong* largest = nullptr;
  const DeployPlayList* in = nullptr;
  for (const DeployPlayList& list : player)
    for (const DeploySong& song : list.songs)
      if ((largest == nullptr || song.size > largest->size) && FtpClient::IsSendableName(list.name + song.name)) {
        largest = &song;
        in = &list;
      }
  if (largest == nullptr || largest->size <= 0) return 0;
  using Clock = std::chrono::steady_clock;
  Clock::time_point start;
  bool started = false;
  std::int64_t bytes = 0;  // after the first piece
  const auto elapsed = [&start] { return std::chrono::duration<double>(Clock::now() - start).count(); };
  try {
    client.Retrieve(client.RootDir() + in->name + "/" + largest->name, [&](const char*, std::size_t n) {
      if (!started) {
        started = true;
        start = Clock::now();
        return true;
      }
      bytes += static_cast<std::int64_t>(n);
      return bytes < 1024 * 1024 && elapsed() < 1.0;
    });
  } catch (const FtpError&) {
    return 0;
  }
  const double seconds = started ? elapsed() : 0;
  return seconds > 0 && bytes > 0 ? static_cast<double>(bytes) / seconds : 0;
}

// The worst that happened decides the exit status: the connection, then a refusal, then files
// not transferred.
void Note(int& status, int what) {
  if (status == kOk || (what != kOk && what < status)) status = what;
}

int Worse(int status, int what) {
  Note(status, what);
  return status;
}

class Deployment {
 public:
  // Works on `server`'s connection; its questions go to the command's prompts.
  explicit Deployment(CliServer& server) : server_(server), ops_(server.Ops()) {}

  int Carry(const DeployPlan& plan) {
    std::map<std::string, bool> created;
    for (const std::string& name : plan.createPlayLists) {
      TPlayListObj playList;
      playList.Name = name;
      created[name] = ops_.CreateOnServer(playList);
      if (!created[name]) Note(status_, server_.FailedStatus());
    }
    Upload(plan, created);
    DeleteSongs(plan);
    for (const std::string& name : plan.deletePlayLists) {
      TPlayListObj* playList = server_.Find(name);
      const DeleteResult deleted = playList != nullptr ? ops_.DeletePlayList(*playList) : DeleteResult{};
      server_.NotePlayListsChanged(deleted.playListsChanged);
      if (deleted.outcome == DeleteOutcome::Deleted)
        ++listsDeleted_;
      else
        Note(status_, server_.FailedStatus());
    }
    return status_;
  }

  bool Changed() const {
    return server_.PlayListsChanged() || storedAny_ || songsDeleted_ > 0 || server_.LeftoversRemoved() > 0;
  }
  const CliProgress& Progress() const { return progress_; }
  int Failures() const { return failures_; }
  int SongsDeleted() const { return songsDeleted_; }
  int ListsDeleted() const { return listsDeleted_; }

 private:
  // The play list named `name` as the listing found it, or nullptr (nothing is said).
  TPlayListObj* Listed(const std::string& name) const { return server_.Store().At(server_.Store().FindPlayListRow(name, 0)); }

  void Upload(const DeployPlan& plan, const std::map<std::string, bool>& created) {
    const int total = static_cast<int>(plan.uploads.size());
    SongUploader uploader = server_.Uploader(&progress_);
    for (std::size_t i = 0; i < plan.uploads.size();) {
      TPlayListObj target;
      target.Name = plan.uploads[i].playList;
      std::vector<std::string> paths, names;
      const int first = static_cast<int>(i);
      for (; i < plan.uploads.size() && plan.uploads[i].playList == target.Name; ++i) {
        paths.push_back(plan.uploads[i].song.path);
        names.push_back(plan.uploads[i].song.name);
      }
      const auto made = created.find(target.Name);
      if (made != created.end() && !made->second) {
        failures_ += static_cast<int>(paths.size());
        continue;
      }
      progress_.SetBatch(names, first, total);
      // What the listing found in the play list: nothing in one just created.
      SongUploader::Listed listed;
      if (TPlayListObj* there = made == created.end() ? Listed(target.Name) : nullptr) {
        for (const TSongObj* song : there->VisibleSongs()) listed[song->Name] = {song->Size, song->ModTimeUtc};
      }
      try {
        const UploadResult result = uploader.UploadSongs(target, paths, &listed);
        storedAny_ = storedAny_ || result.uploaded;
        failures_ += static_cast<int>(result.failures.size());
      } catch (const FtpError& e) {
        failures_ += static_cast<int>(paths.size());
        Note(status_, server_.EnterFailed(target.Name, e));
      }
    }
    if (failures_ > 0) Note(status_, kNotTransferred);
  }

  void DeleteSongs(const DeployPlan& plan) {
    for (const DeployPlan::Removal& removal : plan.deleteSongs) {
      TPlayListObj* playList = Listed(removal.playList);
      TSongObj* song = playList != nullptr ? server_.FindSong(*playList, removal.song) : nullptr;
      if (song != nullptr && ops_.DeleteSong(*playList, *song, false)) {
        ++songsDeleted_;
        continue;
      }
      Complain("song " + QuotedName(removal.song) + " of play list " + QuotedName(removal.playList) + " was not deleted" +
               (ops_.LastError().empty() ? std::string() : ": " + ops_.LastError()));
      Note(status_, server_.FailedStatus());
    }
  }

  CliServer& server_;
  PlayListOperations ops_;
  CliProgress progress_;
  bool storedAny_ = false;
  int failures_ = 0;
  int songsDeleted_ = 0;
  int listsDeleted_ = 0;
  int status_ = kOk;
};

// Tells every zone of Zone.ini to reload and waits for each; kOk also when there are no zones.
int Reload(AppContext& context) {
  std::vector<ZoneDefinition> zones;
  if (!ReadZones(context, zones)) return kUsage;
  if (zones.empty()) {
    std::fprintf(stderr, "No zones in Zone.ini: no reload sent.\n");
    return kOk;
  }
  CliStation station(context);
  if (const int status = station.Start(zones); status != kOk) return status;
  return station.Reload();
}

int RunDeploy(CliContext& cli, const Options& options, const DeployArgs& args) {
  CliPrompts& prompts = cli.prompts;
  std::vector<DeployPlayList> local;
  std::string error;
  if (!ReadDeployFolder(args.folder, local, error)) {
    Complain("can not read the folder: " + error);
    return kUsage;
  }
  CliServer server(cli);
  server.Store().SetLeftoverRemoval(!args.dryRun);  // a dry run changes nothing
  server.Store().SetKeepSongs(true);                // one listing a play list serves the plan
  if (const int status = server.List(); status != kOk) return status;
  FtpClient& client = server.Client();
  const FtpFeatures& features = client.Features();
  DeployComparison comparison;
  comparison.withDeletions = args.withDeletions;
  comparison.times = client.SetsTimes() && (client.ListsExactly() || features.mdtm);
  std::string noTimes = features.mfmt ? client.TimesNotKept() : std::string();
  if (noTimes.empty()) noTimes = "its server offers no MFMT, or neither MDTM nor MLSD";
  DeployContext context;
  if (const int status = ReadPlayer(server, local, comparison.times, context.player); status != kOk) return status;
  if (comparison.times) {
    try {
      noTimes = TimesProblem(client, local, context.player);
    } catch (const FtpError& e) {
      Complain("can not read the songs' times: " + std::string(e.what()));
      return server.FailedStatus();
    }
    comparison.times = noTimes.empty();
    // Uploads give no times either from here on.
    if (!comparison.times) client.NoteTimesNotKept(noTimes);
  }
  context.comparison = comparison.times ? "size and time" : "size";
  // A player that shows no song at an odd second keeps times to two seconds.
  int timed = 0, odd = 0;
  for (const DeployPlayList& list : context.player)
    for (const DeploySong& song : list.songs)
      if (long long t = 0; ParseUtcStamp(song.modified, t)) {
        ++timed;
        odd += t % 2 != 0 ? 1 : 0;
      }
  comparison.twoSecondTimes = timed > 0 && odd == 0;
  int readBack = 0;
  bool readFailed = false;
  if (args.checksum) {
    context.comparison += " and bytes";
    comparison.contentDiffers = [&](const std::string& playList, const DeploySong& song) {
      ++readBack;
      try {
        return ContentDiffers(client, playList, song);
      } catch (const FtpError& e) {
        Complain("can not read back song " + QuotedName(song.name) + " of play list " + QuotedName(playList) + ": " +
                 e.what());
        readFailed = true;
        return true;  // sent again rather than taken as the same
      }
    };
  }
  if (!comparison.times)
    context.notes.push_back("the player does not keep the songs' modification times (" + noTimes +
                            "): songs are compared by name and size only, so a song changed without a change of "
                            "size is not found. --checksum reads the player's copies back and compares their bytes.");
  const DeployPlan plan = PlanDeploy(local, context.player, comparison);
  if (args.checksum)
    context.notes.push_back(std::to_string(readBack) + " song(s) of the same size read back and compared byte for byte.");
  if (readFailed && !client.Connected()) return kNoConnection;
  DeployEstimate estimate;
  estimate.secondsPerCommand = client.FastestReplySeconds();
  estimate.pipelining = client.Pipelining();
  estimate.exactListing = client.ListsExactly();
  if (args.dryRun && plan.UploadBytes() > 0) {
    estimate.bytesPerSecond = MeasureSpeed(client, context.player);
    if (estimate.bytesPerSecond <= 0) estimate.unmeasured = "no time estimate: the player holds no song large enough to measure the link's speed with";
  }
  if (!plan.Empty()) PrintDeployPlan(options.json, plan, context, estimate);
  // Names the server cannot be given are left out; the rest goes on.
  int refusedStatus = kOk;
  for (const DeployPlan::Refusal& r : plan.refused) {
    Complain((r.song.empty() ? "folder " + QuotedName(r.playList) : "file " + QuotedName(r.playList + "/" + r.song)) +
             " left out: " + r.reason);
    refusedStatus = kNotTransferred;
  }
  if (plan.Empty()) {
    for (const std::string& note : context.notes) std::fprintf(stderr, "Note: %s\n", note.c_str());
    std::fprintf(stderr, "The player's play lists match the folder: nothing to do.\n");
    return server.LeftoversRemoved() > 0 ? Worse(refusedStatus, Reload(cli.app)) : refusedStatus;
  }
  if (args.dryRun) return refusedStatus;

  // The plan is the answer: a song of another size is replaced, and with --delete what the
  // folder does not have goes.
  prompts.SetAnswer(Answer::Yes, "the plan");
  Deployment deployment(server);
  int status = deployment.Carry(plan);
  Note(status, refusedStatus);
  const CliProgress& progress = deployment.Progress();
  std::fprintf(stderr,
               "%zu play list(s) to create; %d of %zu song(s) stored (%s in %.1f s); %d of %zu song(s) and %d of %zu "
               "play list(s) deleted.\n",
               plan.createPlayLists.size(), static_cast<int>(plan.uploads.size()) - deployment.Failures(),
               plan.uploads.size(), ByteText(progress.BytesStored()).c_str(), progress.Seconds(),
               deployment.SongsDeleted(), plan.deleteSongs.size(), deployment.ListsDeleted(),
               plan.deletePlayLists.size());
  if (deployment.Changed()) Note(status, Reload(cli.app));
  return status;
}

}  // namespace

void AddDeployCommand(Registry& r) {
  auto args = std::make_shared<DeployArgs>();
  Options& options = r.options;
  CLI::App* deploy = r.Add("deploy", "makes the player's play lists match a local folder",
                           [&options, args](CliContext& cli) { return RunDeploy(cli, options, *args); });
  deploy->add_option("FOLDER", args->folder, "a folder whose sub-folders are play lists")->required()->check(ExistingFolder());
  deploy->add_flag("--delete", args->withDeletions, "also delete songs and play lists the folder does not have");
  deploy->add_flag("--dry-run", args->dryRun, "print the plan (with the time it would take) and stop");
  deploy->add_flag("--checksum", args->checksum,
                   "read back the player's copy of every song of the same size and compare the bytes");
  deploy->add_flag("--yes", args->yes, "accepted for consistency; --delete is the consent to deletions");
  deploy->footer(
      "Creates missing play lists and sends every song that may differ from the player's copy:\n"
      "new, of another size, of another modification time (uploads give the player's copy the\n"
      "local file's time where its server allows that), or, with --checksum, of other bytes.\n"
      "Then tells every zone of Zone.ini to reload and waits for each. The plan comes first: a\n"
      "line per play list (what is created, sent with the reason, deleted, unchanged), the songs\n"
      "to send and to delete under it, and a total with the bytes and the time it should take\n"
      "(--json gives the same as data). Hidden files and deeper folders are left out. A second\n"
      "run finds nothing to do and transfers nothing.");
}

}  // namespace kestrel::cli
