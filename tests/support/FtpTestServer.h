// A real FTP server (pyftpdlib, tests/support/ftp_test_server.py run by /usr/bin/python3) for
// one test or benchmark: started on a free loopback port, stopped when the object goes. It
// also stops by itself when the process that started it dies (its standard input closes).
#pragma once

#include <Poco/Pipe.h>
#include <Poco/PipeStream.h>
#include <Poco/Process.h>

#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/TempDir.h"

namespace kestrel::test {

class FtpTestServer {
 public:
  static constexpr const char* kUser = "kestrel";
  static constexpr const char* kPassword = "secret";

  // Serves `root`. `options` go to the script as they are (--no-size, --msdos, --silent,
  // --no-data-connection, --deny-cwd DIR, --port N, --host A).
  explicit FtpTestServer(const std::string& root, const std::vector<std::string>& options = {}) {
    std::vector<std::string> args = {KESTREL_FTP_SERVER_SCRIPT, "--root", root,
                                     "--log", logDir_.file("commands.log"), "--exit-with-stdin"};
    args.insert(args.end(), options.begin(), options.end());
    handle_ = std::make_unique<Poco::ProcessHandle>(
        Poco::Process::launch(KESTREL_SYSTEM_PYTHON, args, &in_, &out_, nullptr));
    Poco::PipeInputStream out(out_);
    std::string line;
    while (std::getline(out, line)) {
      if (line.rfind("PORT ", 0) == 0) {
        port_ = std::stoi(line.substr(5));
        return;
      }
    }
    Stop();
    throw std::runtime_error("the FTP test server did not start (is python3-pyftpdlib installed?)");
  }

  ~FtpTestServer() { Stop(); }
  FtpTestServer(const FtpTestServer&) = delete;
  FtpTestServer& operator=(const FtpTestServer&) = delete;

  int port() const { return port_; }

  // Every command line the server has received so far, in order (CR and LF shown as \r, \n).
  std::vector<std::string> Commands() const {
    std::istringstream log(TempDir::ReadFile(logDir_.file("commands.log")));
    std::vector<std::string> lines;
    for (std::string line; std::getline(log, line);) lines.push_back(line);
    return lines;
  }

  // The log text as one string, for searching.
  std::string Log() const { return TempDir::ReadFile(logDir_.file("commands.log")); }

  void Stop() {
    if (!handle_) return;
    try {
      Poco::Process::kill(*handle_);
      handle_->wait();
    } catch (...) {
    }
    handle_.reset();
    in_.close();
    out_.close();
  }

 private:
  TempDir logDir_;
  Poco::Pipe in_;
  Poco::Pipe out_;
  std::unique_ptr<Poco::ProcessHandle> handle_;
  int port_ = 0;
};

}  // namespace kestrel::test
