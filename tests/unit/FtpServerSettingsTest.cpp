#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/fanotify.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "playlists/FtpServerSettings.h"
#include "support/TempDir.h"

using namespace kestrel;
using kestrel::test::TempDir;

namespace {

// What happens to the files of one folder: the mode of each file opened there, seen while the
// opener waits (a fanotify permission event), and the names made and renamed into it (inotify).
class FolderWatch {
 public:
  explicit FolderWatch(const std::string& dir) {
    fan_ = fanotify_init(FAN_CLASS_CONTENT | FAN_CLOEXEC, O_RDONLY | O_LARGEFILE);
    if (fan_ < 0 || fanotify_mark(fan_, FAN_MARK_ADD, FAN_OPEN_PERM | FAN_EVENT_ON_CHILD, AT_FDCWD, dir.c_str()) != 0) {
      why_ = std::strerror(errno);
      return;
    }
    names_ = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    inotify_add_watch(names_, dir.c_str(), IN_CREATE | IN_MOVED_TO);
    if (pipe(stop_) != 0) return;
    thread_ = std::thread([this] { Answer(); });
  }
  ~FolderWatch() {
    Stop();
    for (int fd : {fan_, names_, stop_[0], stop_[1]})
      if (fd >= 0) close(fd);
  }
  bool Watching() const { return thread_.joinable() || stopped_; }
  const std::string& Why() const { return why_; }

  void Stop() {
    if (!thread_.joinable()) return;
    if (write(stop_[1], "x", 1) != 1) return;
    thread_.join();
    stopped_ = true;
    // Opens are let through unasked from here on.
    close(std::exchange(fan_, -1));
    char buffer[4096] __attribute__((aligned(alignof(inotify_event))));
    for (ssize_t n; (n = read(names_, buffer, sizeof buffer)) > 0;) {
      for (char* at = buffer; at < buffer + n;) {
        const auto* event = reinterpret_cast<const inotify_event*>(at);
        const std::string name = event->len > 0 ? event->name : "";
        if (event->mask & IN_CREATE) made_.push_back(name);
        if (event->mask & IN_MOVED_TO) ++renamedTo_[name];
        at += sizeof(inotify_event) + event->len;
      }
    }
  }
  const std::vector<std::pair<std::string, unsigned>>& Opened() const { return opened_; }
  std::vector<std::string> Made() const { return made_; }
  int RenamedTo(const std::string& name) const { return renamedTo_.count(name) ? renamedTo_.at(name) : 0; }

 private:
  // Notes the file of each open and lets the open go on, until Stop.
  void Answer() {
    pollfd fds[] = {{fan_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
    while (poll(fds, 2, -1) >= 0 && (fds[1].revents & POLLIN) == 0) {
      char buffer[4096] __attribute__((aligned(alignof(fanotify_event_metadata))));
      const ssize_t n = read(fan_, buffer, sizeof buffer);
      auto* event = reinterpret_cast<fanotify_event_metadata*>(buffer);
      for (ssize_t left = n; FAN_EVENT_OK(event, left); event = FAN_EVENT_NEXT(event, left)) {
        if (event->fd < 0) continue;
        struct stat st {};
        fstat(event->fd, &st);
        char name[PATH_MAX];
        const ssize_t length = readlink(("/proc/self/fd/" + std::to_string(event->fd)).c_str(), name, sizeof name);
        const std::string path = length > 0 ? std::string(name, static_cast<std::size_t>(length)) : "";
        opened_.emplace_back(path.substr(path.rfind('/') + 1), st.st_mode & 07777);
        const fanotify_response allow{event->fd, FAN_ALLOW};
        if (write(fan_, &allow, sizeof allow) != sizeof allow) ADD_FAILURE() << "an open was not let through";
        close(event->fd);
      }
    }
  }

  int fan_ = -1, names_ = -1, stop_[2] = {-1, -1};
  std::string why_;
  std::thread thread_;
  bool stopped_ = false;
  std::vector<std::pair<std::string, unsigned>> opened_;
  std::vector<std::string> made_;
  std::map<std::string, int> renamedTo_;
};

}  // namespace

TEST(FtpServerSettings, ReadsDefaultsAndParsesThePortStrictly) {
  TempDir dir;
  const FtpServerSettings none = ReadFtpServerSettings(dir.file("ftpServer.ini"));
  EXPECT_EQ(none.ip, "");
  EXPECT_EQ(none.port, "21");
  EXPECT_EQ(none.userName, "");

  FtpServerSettings written{"192.168.1.50", "2121", "coral", "tevka"};
  ASSERT_TRUE(WriteFtpServerSettings(dir.file("ftpServer.ini"), written));
  const FtpServerSettings back = ReadFtpServerSettings(dir.file("ftpServer.ini"));
  EXPECT_EQ(back.ip, "192.168.1.50");
  EXPECT_EQ(back.port, "2121");
  EXPECT_EQ(back.password, "tevka");
  written.password = "two\r\nlines";
  EXPECT_FALSE(WriteFtpServerSettings(dir.file("ftpServer.ini"), written));

  std::uint16_t port = 0;
  EXPECT_TRUE(ParseFtpPort("21", port));
  EXPECT_EQ(port, 21);
  EXPECT_TRUE(ParseFtpPort(" 65535 ", port));
  EXPECT_EQ(port, 65535);
  for (const char* bad : {"", "21a", "0", "65536", "-21", "0x15", "2 1", "999999"})
    EXPECT_FALSE(ParseFtpPort(bad, port)) << bad;
}

// Whatever the password, the file gives it back as it was typed: blanks at its ends and quotes
// around it are kept (quoted in the file), and so is everything between them.
TEST(FtpServerSettings, EveryPasswordReadsBackAsTyped) {
  TempDir dir;
  const std::string path = dir.file("ftpServer.ini");
  const char* const passwords[] = {
      " lead",  "trail ", "  both  ", "\ttab\t",  "\"both\"",   "'single'", "\"one end", "one end'", "in\"ne'r",
      "a=b==c", ";semi",  "x ; y = z", "\" q \"", " \"q\" ",    "\"",       "\"\"",      "   ",      "",
  };
  for (const char* password : passwords) {
    SCOPED_TRACE(std::string("[") + password + "]");
    const FtpServerSettings written{"10.0.0.2", "21", std::string(" ") + password, password};
    std::string error;
    ASSERT_TRUE(WriteFtpServerSettings(path, written, error)) << error;
    const FtpServerSettings back = ReadFtpServerSettings(path);
    EXPECT_EQ(back.password, written.password);
    EXPECT_EQ(back.userName, written.userName);
    EXPECT_EQ(back.ip, written.ip);
  }
}

// The file is replaced once for the four values, never through a file that others may read:
// every file the writer opens in the folder (the lock, the new file, the file read back) is
// looked at while the writer waits in its open (fanotify permission events), and every rename
// into the folder is counted (inotify).
TEST(FtpServerSettings, WrittenInOneReplacementOwnerOnlyThroughout) {
  TempDir dir;
  FolderWatch watch(dir.str());
  if (!watch.Watching()) GTEST_SKIP() << "fanotify needs root: " << watch.Why();
  const std::string path = dir.file("ftpServer.ini");
  ASSERT_TRUE(WriteFtpServerSettings(path, {"10.0.0.2", "21", "coral", "old"}));
  ASSERT_TRUE(WriteFtpServerSettings(path, {"10.0.0.3", "2121", "new user", "new password"}));
  watch.Stop();
  EXPECT_EQ(watch.RenamedTo("ftpServer.ini"), 2);
  ASSERT_FALSE(watch.Opened().empty());
  for (const auto& [name, mode] : watch.Opened()) EXPECT_EQ(mode, 0600u) << name << " had mode " << std::oct << mode;
  const std::vector<std::string> made = watch.Made();
  EXPECT_EQ(std::set<std::string>(made.begin(), made.end()).size(), made.size()) << "a name used twice";
  EXPECT_EQ(ReadFtpServerSettings(path).password, "new password");
}
