// deploy FOLDER: makes the player's play lists match a local folder, with the plan printed
// first, then the zones told to reload.
#include <atomic>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "cli/CliOutput.h"
#include "cli/CliPaths.h"
#include "cli/CliProgress.h"
#include "cli/CliServer.h"
#include "cli/CliStation.h"
#include "core/TextEscape.h"
#include "playlists/DeployPlan.h"
#include "playlists/PlayListOperations.h"
#include "playlists/UploadSongs.h"

namespace kestrel::cli {

namespace {

struct DeployArgs {
  std::string folder;
  bool withDeletions = false;
  bool dryRun = false;
};

// The player's play lists that the folder also has, with their songs and sizes; the others
// only by name (they are deleted whole or left alone).
int ReadPlayer(CliServer& server, const std::vector<DeployPlayList>& local, std::vector<DeployPlayList>& player) {
  PlayListStore& store = server.Store();
  for (int row = 0; row < store.Count(); ++row) {
    TPlayListObj& playList = *store.At(row);
    DeployPlayList list{playList.Name, {}};
    bool wanted = false;
    for (const DeployPlayList& l : local) wanted = wanted || l.name == playList.Name;
    if (wanted) {
      if (const int status = server.LoadSongs(playList); status != kOk) return status;
      for (const TSongObj* song : playList.VisibleSongs()) list.songs.push_back({song->Name, song->Size, {}});
    }
    player.push_back(std::move(list));
  }
  return kOk;
}

void PrintPlan(const Options& options, const DeployPlan& plan) {
  if (options.json) {
    nlohmann::json uploads = nlohmann::json::array();
    for (const DeployPlan::Upload& u : plan.uploads)
      uploads.push_back({{"playList", u.playList}, {"song", u.song.name}, {"size", u.song.size}, {"replaces", u.replaces}});
    nlohmann::json deletions = nlohmann::json::array();
    for (const DeployPlan::Removal& d : plan.deleteSongs) deletions.push_back({{"playList", d.playList}, {"song", d.song}});
    PrintJson({{"createPlayLists", plan.createPlayLists},
               {"uploads", uploads},
               {"deleteSongs", deletions},
               {"deletePlayLists", plan.deletePlayLists}});
    return;
  }
  for (const std::string& name : plan.createPlayLists) std::printf("create\t%s\n", EscapeControls(name).c_str());
  for (const DeployPlan::Upload& u : plan.uploads)
    std::printf("%s\t%s\t%s\t%lld\n", u.replaces ? "replace" : "upload", EscapeControls(u.playList).c_str(),
                EscapeControls(u.song.name).c_str(), static_cast<long long>(u.song.size));
  for (const DeployPlan::Removal& d : plan.deleteSongs)
    std::printf("delete\t%s\t%s\n", EscapeControls(d.playList).c_str(), EscapeControls(d.song).c_str());
  for (const std::string& name : plan.deletePlayLists) std::printf("delete-playlist\t%s\n", EscapeControls(name).c_str());
  std::fflush(stdout);
}

// The worst that happened decides the exit status: the connection, then a refusal, then files
// not transferred.
void Note(int& status, int what) {
  if (status == kOk || (what != kOk && what < status)) status = what;
}

class Deployment {
 public:
  Deployment(CliPrompts& prompts, CliServer& server)
      : prompts_(prompts), server_(server), ops_(server.Client(), prompts, changed_) {}

  int Carry(const DeployPlan& plan) {
    std::map<std::string, bool> created;
    for (const std::string& name : plan.createPlayLists) {
      TPlayListObj playList;
      playList.Name = name;
      if (!IsPlainPlayListName(name)) {
        Complain("folder \"" + name + "\" can not be a play list: its name holds \"\\\" or a line break");
        created[name] = false;
        Note(status_, kRefused);
        continue;
      }
      created[name] = ops_.CreateOnServer(playList);
      if (!created[name]) Note(status_, server_.FailedStatus());
    }
    Upload(plan, created);
    DeleteSongs(plan);
    for (const std::string& name : plan.deletePlayLists) {
      TPlayListObj* playList = server_.Find(name);
      if (playList != nullptr && ops_.DeletePlayList(*playList) == DeleteOutcome::Deleted)
        ++listsDeleted_;
      else
        Note(status_, server_.FailedStatus());
    }
    return status_;
  }

  bool Changed() const { return changed_ || storedAny_; }
  const CliProgress& Progress() const { return progress_; }
  int Failures() const { return failures_; }
  int SongsDeleted() const { return songsDeleted_; }
  int ListsDeleted() const { return listsDeleted_; }

 private:
  void Upload(const DeployPlan& plan, const std::map<std::string, bool>& created) {
    const int total = static_cast<int>(plan.uploads.size());
    SongUploader uploader(server_.Client(), prompts_, changed_, &progress_);
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
      try {
        const UploadResult result = uploader.UploadSongs(target, paths);
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
      TPlayListObj* playList = server_.Store().FindPlayListRow(removal.playList, 0) >= 0
                                   ? server_.Store().At(server_.Store().FindPlayListRow(removal.playList, 0))
                                   : nullptr;
      TSongObj* song = playList != nullptr ? server_.FindSong(*playList, removal.song) : nullptr;
      if (song != nullptr && ops_.DeleteSong(*playList, *song, false)) {
        changed_ = true;
        ++songsDeleted_;
        continue;
      }
      Complain("song \"" + removal.song + "\" of play list \"" + removal.playList + "\" was not deleted" +
               (ops_.LastError().empty() ? std::string() : ": " + ops_.LastError()));
      Note(status_, server_.FailedStatus());
    }
  }

  CliPrompts& prompts_;
  CliServer& server_;
  std::atomic<bool> changed_{false};
  PlayListOperations ops_;
  CliProgress progress_;
  bool storedAny_ = false;
  int failures_ = 0;
  int songsDeleted_ = 0;
  int listsDeleted_ = 0;
  int status_ = kOk;
};

// Tells every zone of Zone.ini to reload and waits for each; kOk also when there are no zones.
int Reload(CliPrompts& prompts) {
  std::vector<ZoneDefinition> zones;
  if (!ReadZones(zones)) return kUsage;
  if (zones.empty()) {
    std::fprintf(stderr, "No zones in Zone.ini: no reload sent.\n");
    return kOk;
  }
  CliStation station(prompts);
  if (const int status = station.Start(zones); status != kOk) return status;
  return station.Reload();
}

int RunDeploy(CliPrompts& prompts, const Options& options, const DeployArgs& args) {
  std::vector<DeployPlayList> local;
  std::string error;
  if (!ReadDeployFolder(args.folder, local, error)) {
    Complain("can not read the folder: " + error);
    return kUsage;
  }
  CliServer server;
  if (const int status = server.List(); status != kOk) return status;
  std::vector<DeployPlayList> player;
  if (const int status = ReadPlayer(server, local, player); status != kOk) return status;
  const DeployPlan plan = PlanDeploy(local, player, args.withDeletions);
  PrintPlan(options, plan);
  if (plan.Empty()) {
    std::fprintf(stderr, "The player's play lists match the folder: nothing to do.\n");
    return kOk;
  }
  if (args.dryRun) return kOk;

  // The plan is the answer: a song of another size is replaced, and with --delete what the
  // folder does not have goes.
  prompts.SetAnswer(Answer::Yes, "the plan");
  Deployment deployment(prompts, server);
  int status = deployment.Carry(plan);
  const CliProgress& progress = deployment.Progress();
  std::fprintf(stderr,
               "%zu play list(s) to create; %d of %zu song(s) stored (%s in %.1f s); %d of %zu song(s) and %d of %zu "
               "play list(s) deleted.\n",
               plan.createPlayLists.size(), static_cast<int>(plan.uploads.size()) - deployment.Failures(),
               plan.uploads.size(), ByteText(progress.BytesStored()).c_str(), progress.Seconds(),
               deployment.SongsDeleted(), plan.deleteSongs.size(), deployment.ListsDeleted(),
               plan.deletePlayLists.size());
  if (deployment.Changed()) Note(status, Reload(prompts));
  return status;
}

}  // namespace

void AddDeployCommand(Registry& r) {
  auto args = std::make_shared<DeployArgs>();
  Options& options = r.options;
  CLI::App* deploy = r.Add("deploy", "makes the player's play lists match a local folder",
                           [&options, args](CliPrompts& p) { return RunDeploy(p, options, *args); });
  deploy->add_option("FOLDER", args->folder, "a folder whose sub-folders are play lists")->required()->check(ExistingFolder());
  deploy->add_flag("--delete", args->withDeletions, "also delete songs and play lists the folder does not have");
  deploy->add_flag("--dry-run", args->dryRun, "print the plan and stop");
  deploy->footer(
      "Creates missing play lists and uploads the songs missing on the player or of another size,\n"
      "then tells every zone of Zone.ini to reload and waits for each. The plan comes first, a\n"
      "line per step: create NAME | upload LIST SONG SIZE | replace LIST SONG SIZE |\n"
      "delete LIST SONG | delete-playlist NAME. Hidden files and deeper folders are left out.\n"
      "A second run finds nothing to do and transfers nothing.");
}

}  // namespace kestrel::cli
