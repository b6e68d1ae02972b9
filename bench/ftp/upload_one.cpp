// Uploads one local file into a play list through the program's upload loop, as a process of its
// own, so that it can be timed from launch to exit exactly as curl is.
// Usage: upload_one HOST PORT USER PASSWORD PLAYLIST FILE
#include <cstdio>
#include <cstdlib>

#include "core/AppContext.h"
#include "playlists/FtpClient.h"
#include "playlists/ServerNames.h"
#include "playlists/UploadSongs.h"

using namespace kestrel;

int main(int argc, char** argv) {
  if (argc != 7) {
    std::fprintf(stderr, "usage: upload_one HOST PORT USER PASSWORD PLAYLIST FILE\n");
    return 2;
  }
  try {
    AppContext context;
    FtpClient client(context.RunState<FtpServerNotes>());
    client.SetAccount({argv[1], static_cast<std::uint16_t>(std::atoi(argv[2])), argv[3], argv[4]});
    client.Connect();
    StderrPrompts prompts;
    TPlayListObj target;
    target.Name = argv[5];
    const UploadResult result = SongUploader(client, prompts, InstallationId(context)).UploadSongs(target, {argv[6]});
    client.Quit();
    return result.uploaded ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "upload_one: %s\n", e.what());
    return 1;
  }
}
