// The program's command-line arguments as UTF-8 text, like every other name in the program.
// On Windows the `argv` of main is in the ANSI code page, which cannot hold every file name (a
// folder with Greek or Japanese letters turns into question marks); the wide command line can.
#pragma once

#include <string>
#include <vector>

namespace kestrel::platform {

class Utf8Arguments {
 public:
  // `argc` and `argv` as main received them; on Linux they are taken as they are.
  Utf8Arguments(int argc, char** argv);
  Utf8Arguments(const Utf8Arguments&) = delete;
  Utf8Arguments& operator=(const Utf8Arguments&) = delete;

  // The same arguments in main's form, valid while this object lives.
  int Count() const { return static_cast<int>(args_.size()); }
  char** Values() { return pointers_.data(); }

 private:
  std::vector<std::string> args_;
  std::vector<char*> pointers_;
};

}  // namespace kestrel::platform
