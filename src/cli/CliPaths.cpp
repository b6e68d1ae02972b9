#include "cli/CliPaths.h"

#include <filesystem>
#include <system_error>

#include "platform/Utf8Path.h"

namespace kestrel::cli {

namespace {

std::filesystem::file_status StatusOf(const std::string& name) {
  std::error_code ec;
  return std::filesystem::status(platform::PathFromUtf8(name), ec);
}

}  // namespace

CLI::Validator ExistingFile() {
  return CLI::Validator(
      [](std::string& name) -> std::string {
        const auto status = StatusOf(name);
        if (!std::filesystem::exists(status)) return "File does not exist: " + name;
        if (std::filesystem::is_directory(status)) return "File is actually a directory: " + name;
        return {};
      },
      "FILE");
}

CLI::Validator ExistingFolder() {
  return CLI::Validator(
      [](std::string& name) -> std::string {
        const auto status = StatusOf(name);
        if (!std::filesystem::exists(status)) return "Directory does not exist: " + name;
        if (!std::filesystem::is_directory(status)) return "Directory is actually a file: " + name;
        return {};
      },
      "DIR");
}

}  // namespace kestrel::cli
