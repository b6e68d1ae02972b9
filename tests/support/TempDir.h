// A temporary folder for one test, removed with everything in it when the test ends.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>

namespace kestrel::test {

class TempDir {
 public:
  // `prefix` is UTF-8 and may hold any letters (to try names outside the ANSI code page).
  explicit TempDir(const std::string& prefix = "kestrel-test-") {
    std::random_device random;
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      const auto candidate = std::filesystem::temp_directory_path() /
                             std::filesystem::u8path(prefix + std::to_string(random()));
      std::error_code ec;
      if (std::filesystem::create_directory(candidate, ec)) path_ = candidate;
    }
    if (path_.empty()) throw std::runtime_error("cannot create a temporary folder");
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // Paths as UTF-8 text, the form the program passes them in.
  std::string str() const { return path_.u8string(); }
  std::string file(const std::string& name) const { return (path_ / std::filesystem::u8path(name)).u8string(); }

  // Writes `content` byte for byte to `name` (folders created as needed); returns the path.
  std::string write(const std::string& name, const std::string& content) const {
    const auto p = path_ / std::filesystem::u8path(name);
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << content;
    return p.u8string();
  }

  std::string read(const std::string& name) const { return ReadFile(file(name)); }

  static std::string ReadFile(const std::string& path) {
    std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }

 private:
  std::filesystem::path path_;
};

}  // namespace kestrel::test
