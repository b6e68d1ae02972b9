// upload and copy-songs: the upload loop the window runs, with a progress line on a terminal
// and the summary at the end.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/CliOps.h"
#include "cli/CliPaths.h"
#include "cli/CliProgress.h"
#include "cli/CliSongCheck.h"
#include "playlists/UploadSongs.h"

namespace kestrel::cli {

namespace {

// The end of an upload or copy loop: the summary, and the exit status.
int Summary(const Options& options, const UploadResult& result, const CliProgress& progress, int files,
            const songs::SongScreening* screening = nullptr) {
  const int failed = static_cast<int>(result.failures.size());
  if (options.json) {
    nlohmann::json failures = nlohmann::json::array();
    for (const UploadFailure& f : result.failures) failures.push_back({{"file", f.file}, {"reason", f.reason}});
    nlohmann::json summary = {{"files", files}, {"bytesStored", progress.BytesStored()},
                              {"seconds", progress.Seconds()}, {"failures", failures}};
    if (screening != nullptr) summary["songCheck"] = CheckFindingsJson(*screening, result.failures);
    PrintJson(summary);
  } else {
    if (screening != nullptr) TellCheckFindings(*screening, result.failures);
    std::printf("%d file(s), %d not stored by a failure; %s stored in %.1f s\n", files, failed,
                ByteText(progress.BytesStored()).c_str(), progress.Seconds());
  }
  return failed > 0 ? kNotTransferred : kOk;
}

int RunUpload(CliContext& cli, const Options& options, const OpArgs& a) {
  CliPrompts& prompts = cli.prompts;
  if (!SetReplaceAnswer(prompts, options, "upload")) return kUsage;
  // Only the play list written to is listed: what it holds is what the upload needs to know.
  CliServer server(cli);
  TPlayListObj target;
  target.Name = a.name;
  SongUploader::Listed listed;
  if (const int status = server.ListOne(target, listed); status != kOk) return status;
  std::vector<std::string> names;
  for (const std::string& path : a.items) names.push_back(ServerFileName(path));
  CliProgress progress;
  progress.SetBatch(names, 0, static_cast<int>(names.size()));
  songs::SongScreening findings = FindingsFor(options);
  const std::unique_ptr<FtpConnectionPool> pool = server.Pool(options.connections);
  SongUploader uploader = server.Uploader(&progress, pool.get());
  if (!options.noCheck) uploader.CheckAsSent(&findings);
  UploadResult result;
  try {
    result = uploader.UploadSongs(target, a.items, &listed);
  } catch (const FtpError& e) {
    return server.EnterFailed(a.name, e);
  }
  if (prompts.Refused()) return kUsage;
  return Summary(options, result, progress, static_cast<int>(a.items.size()), options.noCheck ? nullptr : &findings);
}

int RunCopy(CliContext& cli, const Options& options, const OpArgs& a) {
  CliServer server(cli);
  const CliServer::Opened from = OpenSongsOp(server, cli.prompts, options, a, "copy-songs");
  if (from.status != kOk) return from.status;
  const std::vector<const TSongObj*> songs(from.songs.begin(), from.songs.end());
  CliProgress progress;
  progress.SetBatch(a.items, 0, static_cast<int>(a.items.size()));
  const std::unique_ptr<FtpConnectionPool> pool = server.Pool(options.connections);
  SongUploader uploader = server.Uploader(&progress, pool.get());
  UploadResult result;
  try {
    result = uploader.CopySongs(*from.target, songs);
  } catch (const FtpError& e) {
    return server.EnterFailed(a.other, e);
  }
  if (cli.prompts.Refused()) return kUsage;
  return Summary(options, result, progress, static_cast<int>(songs.size()));
}

}  // namespace

void AddConnections(CLI::App* sub, Options& options) {
  sub->add_option("--connections", options.connections,
                  "how many connections to the player send songs at once (default 3; fewer when the player "
                  "takes fewer)")
      ->check(CLI::Range(1, FtpConnectionPool::kMaxConnections));
}

void AddTransferCommands(Registry& r) {
  Options& o = r.options;
  auto a = std::make_shared<OpArgs>();
  CLI::App* upload = AddOp(r, "upload", "uploads local files into a play list", RunUpload, a);
  upload->add_option("PLAYLIST", a->name, "the play list")->required();
  upload->add_option("FILE", a->items, "the files")->required()->check(ExistingFile());
  AddReplace(upload, o);
  AddNormalize(upload, o);

  CLI::App* copy = AddSongsOp(r, "copy-songs", "copies songs into another play list", RunCopy,
                              "the play list they are copied to");

  for (CLI::App* sub : {upload, copy}) AddConnections(sub, o);
  for (CLI::App* sub : {upload, copy})
    sub->footer(std::string(kReplaceFooter) +
                "\nOn a terminal a progress line shows file i of m, bytes, speed and time left.");
  upload->footer(upload->get_footer() + "\n" + kSongCheckFooter);
}

}  // namespace kestrel::cli
