// What the FTP tests share: a served folder, prompts that record what the user would see, and
// an ftpServer.ini in a Settings folder of the test's own, both in the test's own context.
#pragma once

#include <gtest/gtest.h>
#include <sys/time.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "core/AppContext.h"
#include "playlists/FtpClient.h"
#include "support/FtpTestServer.h"
#include "support/RecordingPrompts.h"
#include "support/TempDir.h"

namespace kestrel::test {

// 2019-03-04 12:00 UTC: old enough for every server to list it with its year.
inline constexpr long long kMarch4th2019Noon = 1551700800;

inline void SetModified(const std::filesystem::path& path, long long unixSeconds) {
  const timeval times[2] = {{static_cast<time_t>(unixSeconds), 0},
                            {static_cast<time_t>(unixSeconds), 0}};
  ASSERT_EQ(utimes(path.c_str(), times), 0);
}

// The commands without the PORT lines, whose numbers change from run to run.
inline std::vector<std::string> WithoutPort(const std::vector<std::string>& commands) {
  std::vector<std::string> out;
  for (const auto& c : commands)
    if (c.rfind("PORT ", 0) != 0) out.push_back(c);
  return out;
}

// As WithoutPort, with a run of one command line given once as "LINE xN" (the NOOP lines of the
// probe at the first login to a server).
inline std::vector<std::string> Folded(const std::vector<std::string>& commands) {
  std::vector<std::string> out;
  const std::vector<std::string> lines = WithoutPort(commands);
  for (std::size_t i = 0; i < lines.size();) {
    std::size_t j = i;
    while (j < lines.size() && lines[j] == lines[i]) ++j;
    out.push_back(j - i > 1 ? lines[i] + " x" + std::to_string(j - i) : lines[i]);
    i = j;
  }
  return out;
}

class FtpFixture : public ::testing::Test {
 protected:
  // Writes Settings/ftpServer.ini; an empty port text leaves the key out.
  void WriteIni(const std::string& ip, const std::string& port,
                const std::string& user = FtpTestServer::kUser,
                const std::string& password = FtpTestServer::kPassword) {
    std::string text = "[ftpServer]\r\nIP=" + ip + "\r\n";
    if (!port.empty()) text += "Port=" + port + "\r\n";
    text += "UserName=" + user + "\r\nPassword=" + password + "\r\n";
    settings.write("ftpServer.ini", text);
  }
  void WriteIniFor(const FtpTestServer& server) {
    WriteIni("127.0.0.1", std::to_string(server.port()));
  }

  // Points `client` at `server` without the settings file.
  static void Aim(FtpClient& client, const FtpTestServer& server) {
    client.SetAccount({"127.0.0.1", static_cast<std::uint16_t>(server.port()), FtpTestServer::kUser,
                       FtpTestServer::kPassword});
  }

  // The commands of `server`'s log from `from` on.
  static std::vector<std::string> CommandsSince(const FtpTestServer& server, std::size_t from) {
    auto all = server.Commands();
    return std::vector<std::string>(all.begin() + static_cast<long>(std::min(from, all.size())),
                                    all.end());
  }

  RecordingPrompts prompts;
  TempDir tree;      // what the server serves
  TempDir settings;  // the Settings folder
  AppContext context{settings.str(), &prompts};
};

}  // namespace kestrel::test
