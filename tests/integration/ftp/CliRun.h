// Running kestrel-cli from a test, and looking at what a served folder holds afterwards.
#pragma once

#include <Poco/Pipe.h>
#include <Poco/PipeStream.h>
#include <Poco/Process.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace kestrel::test {

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
};

inline std::string ReadAll(Poco::Pipe& pipe) {
  Poco::PipeInputStream in(pipe);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// kestrel-cli started with `args`; Wait() collects what it printed and its exit status.
class CliProcess {
 public:
  explicit CliProcess(const std::vector<std::string>& args, const std::string& program = KESTREL_CLI_PATH)
      : handle_(Poco::Process::launch(program, args, nullptr, &out_, &err_)) {}
  CliRun Wait() {
    CliRun run;
    // stderr holds a few lines at most, so reading stdout first cannot block the program.
    run.out = ReadAll(out_);
    run.err = ReadAll(err_);
    run.status = handle_.wait();
    return run;
  }

 private:
  Poco::Pipe out_, err_;
  Poco::ProcessHandle handle_;
};

inline CliRun RunCli(const std::vector<std::string>& args, const std::string& program = KESTREL_CLI_PATH) {
  return CliProcess(args, program).Wait();
}

// "LIST/SONG SIZE" for every file below `root`, and "LIST/" for every play list, sorted.
inline std::string TreeText(const std::filesystem::path& root) {
  std::vector<std::string> lines;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    const std::string rel = std::filesystem::relative(entry.path(), root).string();
    lines.push_back(entry.is_directory() ? rel + "/" : rel + " " + std::to_string(entry.file_size()));
  }
  std::sort(lines.begin(), lines.end());
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

// How many of `commands` start with `prefix`.
inline int Count(const std::vector<std::string>& commands, const std::string& prefix) {
  return static_cast<int>(std::count_if(commands.begin(), commands.end(),
                                        [&](const std::string& c) { return c.rfind(prefix, 0) == 0; }));
}

}  // namespace kestrel::test
