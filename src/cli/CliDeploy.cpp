// deploy FOLDER: makes the player's play lists match a local folder, with the plan printed
// first, then the zones told to reload.
#include <chrono>
#include <cmath>
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
#include "cli/CliOps.h"
#include "cli/CliOutput.h"
#include "cli/CliPaths.h"
#include "cli/CliProgress.h"
#include "cli/CliServer.h"
#include "cli/CliSongCheck.h"
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
    if (mine == nullptr || !IsSendableName(list.name)) continue;
    for (DeploySong& song : list.songs)
      for (const DeploySong& m : mine->songs)
        if (m.name == song.name && m.size == song.size && IsSendableName(song.name)) {
          asks.push_back({"MDTM", SongPath(list.name, song.name)});
          askedFor.push_back(&song);
        }
  }
  try {
    const std::vector<FtpReply> replies = client.Pipeline(asks);
    for (std::size_t i = 0; i < replies.size(); ++i)
      if (const std::string time = TimeOfReply(replies[i]); !time.empty()) askedFor[i]->modified = time;
  } catch (const FtpError& e) {
    Complain("can not read the songs' times: " + std::string(e.what()));
    return server.FailedStatus();
  }
  return kOk;
}

// Whether the player keeps the time MFMT gives the song of `trial` (whose time is trial.listed):
// another time is set, read back and the old one put back. The other time is never trial.local
// (the folder's time of the song), so that a song left with it is still sent. Empty when the
// time held; else why not.
std::string TimeHoldProblem(FtpClient& client, const DeployTimeTrial& trial) {
  const std::string path = SongPath(trial.playList, trial.song);
  const long long other = trial.listed + 2 == trial.local ? trial.listed - 2 : trial.listed + 2;
  long long back = -1;
  if (client.ServerNote().features.mdtm) {
    // Set, read back and set back in one go (one round trip where the server takes that): the
    // old time goes back whatever the first two answered.
    const std::vector<FtpReply> replies = client.Pipeline({{"MFMT", UtcStamp(other) + " " + path},
                                                           {"MDTM", path},
                                                           {"MFMT", UtcStamp(trial.listed) + " " + path}});
    if (replies[0].code != 213) return "MFMT answered \"" + EscapeControls(replies[0].text) + "\"";
    if (!ParseUtcStamp(TimeOfReply(replies[1]), back)) back = -1;
  } else {
    std::string reply;
    if (client.SetModificationTime(path, other, reply) != 213) return "MFMT answered \"" + EscapeControls(reply) + "\"";
    for (const FtpListEntry& entry : client.ListDirExact(PlayListDir(trial.playList)))
      if (entry.name == trial.song && !ParseUtcStamp(entry.modifiedUtc, back)) back = -1;
    client.SetModificationTime(path, trial.listed, reply);
  }
  return back == other ? std::string() : "a time set with MFMT did not hold";
}

// What the server offers for telling changed songs apart.
DeployServerOffer OfferOf(FtpClient& client) {
  const FtpServerNote& note = client.ServerNote();
  DeployServerOffer offer;
  offer.mfmt = note.features.mfmt;
  offer.setsTimes = note.SetsTimes();
  offer.exactListing = client.ListsExactly();
  offer.mdtm = note.features.mdtm;
  offer.timesNotKept = note.timesNotKept;
  return offer;
}

// The player's play lists and songs into context.player, and the comparison the plan makes, as
// the plan's rules choose it from what the server offers and what the player's times show. A
// player that does not keep times is noted for the rest of the run: uploads give none either.
int ReadAndChoose(CliServer& server, const std::vector<DeployPlayList>& local, const DeployArgs& args,
                  DeployContext& context, DeployComparison& comparison) {
  FtpClient& client = server.Client();
  const DeployServerOffer offer = OfferOf(client);
  if (const int status = ReadPlayer(server, local, ReadsTimes(offer), context.player); status != kOk) return status;
  std::string problem;
  if (ReadsTimes(offer)) {
    try {
      std::optional<DeployTimeTrial> trial;
      problem = TimesProblem(local, context.player, static_cast<long long>(std::time(nullptr)), trial);
      if (problem.empty() && trial) problem = TimeHoldProblem(client, *trial);
    } catch (const FtpError& e) {
      Complain("can not read the songs' times: " + std::string(e.what()));
      return server.FailedStatus();
    }
    if (!problem.empty()) client.NoteTimesNotKept(problem);
  }
  comparison = ChooseComparison(offer, problem, context.player, args.withDeletions, args.checksum);
  context.comparison = comparison.described;
  if (!comparison.times)
    context.notes.push_back("the player does not keep the songs' modification times (" + comparison.noTimes +
                            "): songs are compared by name and size only, so a song changed without a change of "
                            "size is not found. --checksum reads the player's copies back and compares their bytes.");
  return kOk;
}

// True when the player's copy of `song` in `playList` holds other bytes than a deploy would
// send: the local file, or with a loudness target its changed copy.
bool ContentDiffers(FtpClient& client, const std::string& playList, const DeploySong& song, double target) {
  std::unique_ptr<songs::SongSource> in;
  try {
    if (std::isnan(target)) {
      in = std::make_unique<songs::SongSource>(song.path, nullptr);
    } else {
      const songs::ScreenedSong checked = songs::ScreenSong(song.path, target);
      if (!checked.check.Sendable()) return true;
      in = std::make_unique<songs::SongSource>(song.path, &checked);
    }
  } catch (const std::runtime_error&) {
    return true;
  }
  bool differs = false;
  std::vector<char> mine;
  std::int64_t seen = 0;
  client.Retrieve(SongPath(playList, song.name), [&](const char* data, std::size_t n) {
    mine.resize(n);
    std::size_t got = 0;
    try {
      for (std::size_t r; got < n && (r = in->Read(mine.data() + got, n - got)) > 0;) got += r;
    } catch (const std::runtime_error&) {
      got = 0;
    }
    differs = got != n || std::memcmp(mine.data(), data, n) != 0;
    seen += static_cast<std::int64_t>(n);
    return !differs;
  });
  return differs || seen != song.size;
}

// With --normalize, the player's copies of the folder's songs are to carry the time a changed
// copy is given (NormalizedTimeShift): songs stored without it, or for another target, differ.
void ShiftTimesForTarget(std::vector<DeployPlayList>& local, double target) {
  if (std::isnan(target)) return;
  const long long shift = songs::NormalizedTimeShift(target);
  for (DeployPlayList& list : local)
    for (DeploySong& song : list.songs) {
      long long seconds = 0;
      if (ParseUtcStamp(song.modified, seconds)) song.modified = UtcStamp(seconds + shift);
    }
}

// The link's transfer speed: the largest song on the player read back for up to a megabyte (or
// a second), timed from its first bytes on so that opening the transfer does not count. 0 when
// the player holds no song long enough to arrive in more than one piece.
double MeasureSpeed(FtpClient& client, const std::vector<DeployPlayList>& player) {
  const DeploySong* largest = nullptr;
  const DeployPlayList* in = nullptr;
  for (const DeployPlayList& list : player)
    for (const DeploySong& song : list.songs)
      if ((largest == nullptr || song.size > largest->size) && IsSendableName(list.name + song.name)) {
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
    client.Retrieve(SongPath(in->name, largest->name), [&](const char*, std::size_t n) {
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
  // `findings`: the songs are checked as they are sent and the checks added there; nullptr: sent
  // as they are.
  Deployment(CliServer& server, int connections, songs::SongScreening* findings)
      : server_(server), ops_(server.Ops()), connections_(connections), findings_(findings) {}

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
  const std::vector<UploadFailure>& Failed() const { return failed_; }
  int SongsDeleted() const { return songsDeleted_; }
  int ListsDeleted() const { return listsDeleted_; }

 private:
  // The play list named `name` as the listing found it, or nullptr (nothing is said).
  TPlayListObj* Listed(const std::string& name) const { return server_.Store().At(server_.Store().FindPlayListRow(name, 0)); }

  void Upload(const DeployPlan& plan, const std::map<std::string, bool>& created) {
    FtpConnectionPool* pool = plan.uploads.size() > 1 ? server_.SharedPool(connections_) : nullptr;
    SongUploader uploader = server_.Uploader(&progress_, pool);
    if (findings_ != nullptr) uploader.CheckAsSent(findings_);
    std::vector<SongUploader::PlayListUpload> uploads;
    std::vector<std::unique_ptr<TPlayListObj>> targets;  // one for each play list of the plan, in order
    std::vector<std::string> names;
    for (std::size_t i = 0; i < plan.uploads.size();) {
      const std::string& name = plan.uploads[i].playList;
      SongUploader::PlayListUpload upload;
      for (; i < plan.uploads.size() && plan.uploads[i].playList == name; ++i)
        upload.paths.push_back(plan.uploads[i].song.path);
      const auto made = created.find(name);
      if (made != created.end() && !made->second) {
        failures_ += static_cast<int>(upload.paths.size());
        continue;
      }
      // What the listing found in the play list: nothing in one just created.
      upload.listed.emplace();
      if (TPlayListObj* there = made == created.end() ? Listed(name) : nullptr)
        for (const TSongObj* song : there->VisibleSongs()) (*upload.listed)[song->Name] = {song->Size, song->ModTimeUtc};
      for (const std::string& path : upload.paths) names.push_back(ServerFileName(path));
      targets.push_back(std::make_unique<TPlayListObj>());
      targets.back()->Name = name;
      upload.target = targets.back().get();
      uploads.push_back(std::move(upload));
    }
    progress_.SetBatch(names, 0, static_cast<int>(names.size()));
    uploader.UploadPlayLists(uploads);
    for (const SongUploader::PlayListUpload& upload : uploads) {
      storedAny_ = storedAny_ || upload.result.uploaded;
      failures_ += static_cast<int>(upload.result.failures.size());
      failed_.insert(failed_.end(), upload.result.failures.begin(), upload.result.failures.end());
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
  int connections_;
  songs::SongScreening* findings_;
  bool storedAny_ = false;
  int failures_ = 0;
  std::vector<UploadFailure> failed_;  // the songs the uploads did not store, with why
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

// The plan of `local` against context.player with `comparison`; with --checksum the songs judged
// the same are read back. kOk, or kNoConnection when a read-back lost the connection.
int Plan(FtpClient& client, const std::vector<DeployPlayList>& local, bool checksum, double target,
         DeployComparison& comparison, DeployContext& context, DeployPlan& plan) {
  int readBack = 0;
  bool readFailed = false;
  if (checksum) {
    comparison.contentDiffers = [&](const std::string& playList, const DeploySong& song) {
      ++readBack;
      try {
        return ContentDiffers(client, playList, song, target);
      } catch (const FtpError& e) {
        Complain("can not read back song " + QuotedName(song.name) + " of play list " + QuotedName(playList) + ": " +
                 e.what());
        readFailed = true;
        return true;  // sent again rather than taken as the same
      }
    };
  }
  plan = PlanDeploy(local, context.player, comparison);
  if (checksum)
    context.notes.push_back(std::to_string(readBack) + " song(s) of the same size read back and compared byte for byte.");
  return readFailed && !client.Connected() ? kNoConnection : kOk;
}

// Prints the plan with how long it should take (measured on a dry run) and the names left out;
// kOk, or kNotTransferred when names were left out.
int Print(FtpClient& client, const Options& options, bool dryRun, const DeployPlan& plan, const DeployContext& context) {
  DeployEstimate estimate;
  estimate.secondsPerCommand = client.FastestReplySeconds();
  estimate.pipelining = client.ServerNote().Pipelining();
  estimate.exactListing = client.ListsExactly();
  if (dryRun && plan.UploadBytes() > 0) {
    estimate.bytesPerSecond = MeasureSpeed(client, context.player);
    if (estimate.bytesPerSecond <= 0) estimate.unmeasured = "no time estimate: the player holds no song large enough to measure the link's speed with";
  }
  if (!plan.Empty()) PrintDeployPlan(options.json, plan, context, estimate);
  // Names the server cannot be given are left out; the rest goes on.
  int status = kOk;
  for (const DeployPlan::Refusal& r : plan.refused) {
    Complain((r.song.empty() ? "folder " + QuotedName(r.playList) : "file " + QuotedName(r.playList + "/" + r.song)) +
             " left out: " + r.reason);
    status = kNotTransferred;
  }
  if (plan.Empty()) {
    for (const std::string& note : context.notes) std::fprintf(stderr, "Note: %s\n", note.c_str());
    std::fprintf(stderr, "The player's play lists match the folder: nothing to do.\n");
  }
  return status;
}

// Carries out `plan` (the plan is the answer: a song of another size is replaced, and with
// --delete what the folder does not have goes), then has the zones reload.
int CarryOut(CliContext& cli, CliServer& server, const DeployPlan& plan, const Options& options) {
  cli.prompts.SetAnswer(Answer::Yes, "the plan");
  songs::SongScreening findings = FindingsFor(options);
  Deployment deployment(server, options.connections, options.noCheck ? nullptr : &findings);
  int status = deployment.Carry(plan);
  const CliProgress& progress = deployment.Progress();
  std::fprintf(stderr,
               "%zu play list(s) to create; %d of %zu song(s) stored (%s in %.1f s); %d of %zu song(s) and %d of %zu "
               "play list(s) deleted.\n",
               plan.createPlayLists.size(), static_cast<int>(plan.uploads.size()) - deployment.Failures(),
               plan.uploads.size(), ByteText(progress.BytesStored()).c_str(), progress.Seconds(),
               deployment.SongsDeleted(), plan.deleteSongs.size(), deployment.ListsDeleted(),
               plan.deletePlayLists.size());
  TellCheckFindings(findings, deployment.Failed());
  if (deployment.Changed()) Note(status, Reload(cli.app));
  return status;
}

int RunDeploy(CliContext& cli, const Options& options, const DeployArgs& args) {
  std::vector<DeployPlayList> local;
  std::string error;
  if (!ReadDeployFolder(args.folder, local, error)) {
    Complain("can not read the folder: " + error);
    return kUsage;
  }
  ShiftTimesForTarget(local, NormalizeTarget(options));
  CliServer server(cli);
  server.Store().SetLeftoverRemoval(!args.dryRun);  // a dry run changes nothing
  // One listing a play list serves the plan; the play lists are read over the connections that
  // then send the songs.
  server.Store().SetKeepSongs(true, [&server, &options] { return server.SharedPool(options.connections); });
  if (const int status = server.List(); status != kOk) return status;
  DeployContext context;
  DeployComparison comparison;
  if (const int status = ReadAndChoose(server, local, args, context, comparison); status != kOk) return status;
  DeployPlan plan;
  if (const int status = Plan(server.Client(), local, args.checksum, NormalizeTarget(options), comparison, context, plan);
      status != kOk)
    return status;
  // A dry run checks the songs to send for the plan's figures; a deploy checks each as it sends it.
  songs::SongScreening screening;
  if (args.dryRun && !options.noCheck) {
    std::vector<std::string> paths;
    for (const DeployPlan::Upload& u : plan.uploads) paths.push_back(u.song.path);
    screening = CheckForSending(options, paths);
    context.screening = &screening;
  }
  int printed = Print(server.Client(), options, args.dryRun, plan, context);
  if (!screening.NotSent().empty()) Note(printed, kNotTransferred);
  if (plan.Empty()) return server.LeftoversRemoved() > 0 ? Worse(printed, Reload(cli.app)) : printed;
  if (args.dryRun) return printed;
  return Worse(CarryOut(cli, server, plan, options), printed);
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
  AddConnections(deploy, options);
  AddNormalize(deploy, options);
  deploy->footer(
      "Creates missing play lists and sends every song that may differ from the player's copy:\n"
      "new, of another size, of another modification time (uploads give the player's copy the\n"
      "local file's time where its server allows that), or, with --checksum, of other bytes.\n"
      "Then tells every zone of Zone.ini to reload and waits for each. The plan comes first: a\n"
      "line per play list (what is created, sent with the reason, deleted, unchanged), the songs\n"
      "to send and to delete under it, and a total with the bytes and the time it should take\n"
      "(--json gives the same as data). Hidden files and deeper folders are left out. A second\n"
      "run finds nothing to do and transfers nothing. The songs go over up to --connections\n"
      "connections at once; each is put in place under its name one at a time, in the order\n"
      "of the plan, so the player numbers them as when they are sent one after the other.\n"
      "A dry run's plan shows each song's loudness and each play list's range. With --checksum and\n"
      "--normalize the player's copies are compared with the changed copies that would be sent.\n" +
      std::string(kSongCheckFooter));
}

}  // namespace kestrel::cli
