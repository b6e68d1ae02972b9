#include "platform/PrivateFolder.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/Utf8Path.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#endif

namespace kestrel::platform {

namespace {

namespace fs = std::filesystem;

#ifdef _WIN32

std::string LastError() { return std::system_category().message(static_cast<int>(GetLastError())); }

// What a new folder is made with: the user as owner, one entry in its access list (the user,
// full control, taken over by what is made inside), and no entries taken from above.
class UserOnlySecurity {
 public:
  bool Build(std::string& why) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return Failed(why);
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    user_.resize(size);
    const bool gotUser = size > 0 && GetTokenInformation(token, TokenUser, user_.data(), size, &size);
    CloseHandle(token);
    if (!gotUser) return Failed(why);
    PSID sid = reinterpret_cast<TOKEN_USER*>(user_.data())->User.Sid;
    acl_.resize(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(sid));
    PACL acl = reinterpret_cast<PACL>(acl_.data());
    if (!InitializeAcl(acl, static_cast<DWORD>(acl_.size()), ACL_REVISION) ||
        !AddAccessAllowedAceEx(acl, ACL_REVISION, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, FILE_ALL_ACCESS, sid) ||
        !InitializeSecurityDescriptor(&sd_, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorOwner(&sd_, sid, FALSE) || !SetSecurityDescriptorDacl(&sd_, TRUE, acl, FALSE) ||
        !SetSecurityDescriptorControl(&sd_, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
      return Failed(why);
    attributes_ = {sizeof(SECURITY_ATTRIBUTES), &sd_, FALSE};
    return true;
  }
  SECURITY_ATTRIBUTES* Attributes() { return &attributes_; }

 private:
  static bool Failed(std::string& why) {
    why = "its access list can not be made: " + LastError();
    return false;
  }
  std::vector<unsigned char> user_;  // TOKEN_USER; the SID lies inside it
  std::vector<unsigned char> acl_;
  SECURITY_DESCRIPTOR sd_{};
  SECURITY_ATTRIBUTES attributes_{};
};

bool MakeOne(const fs::path& folder, UserOnlySecurity& security, std::string& why) {
  if (CreateDirectoryW(folder.c_str(), security.Attributes()) || GetLastError() == ERROR_ALREADY_EXISTS) return true;
  why = LastError();
  return false;
}

#else

struct UserOnlySecurity {
  bool Build(std::string&) { return true; }
};

bool MakeOne(const fs::path& folder, UserOnlySecurity&, std::string& why) {
  if (mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST) return true;
  why = std::strerror(errno);
  return false;
}

#endif

}  // namespace

bool MakePrivateFolders(const std::string& dir, std::string& error) {
  const fs::path target = PathFromUtf8(dir);
  std::error_code ec;
  // The folders to make, the uppermost last.
  std::vector<fs::path> missing;
  for (fs::path at = target; !fs::is_directory(at, ec); at = at.parent_path()) {
    missing.push_back(at);
    if (!at.has_parent_path() || at.parent_path() == at) break;
  }
  if (missing.empty()) return true;
  UserOnlySecurity security;
  std::string why;
  if (!security.Build(why)) {
    error = dir + ": " + why;
    return false;
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (!MakeOne(*it, security, why)) {
      error = Utf8FromPath(*it) + ": " + why;
      return false;
    }
  }
  if (!fs::is_directory(target, ec)) {
    error = dir + ": not a folder";
    return false;
  }
  return true;
}

}  // namespace kestrel::platform
