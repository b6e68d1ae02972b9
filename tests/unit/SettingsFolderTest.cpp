// Where the settings are kept: the rule on given facts, the user's own folder as it is made, and
// what the user is told about a data connection that never came.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "core/AppSettings.h"
#include "platform/ExePath.h"
#include "platform/FirewallHint.h"
#include "platform/Utf8Path.h"
#include "support/TempDir.h"

#ifdef _WIN32
#include <windows.h>
// (after windows.h, which they need)
#include <aclapi.h>
#include <sddl.h>
#else
#include <sys/stat.h>
#endif

using namespace kestrel;
namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
const char kUserFolder[] = "H\\Kestrel\\Settings";

bool UnderWine() {
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::string SidText(PSID sid) {
  LPSTR text = nullptr;
  if (!ConvertSidToStringSidA(sid, &text)) return "?";
  std::string result = text;
  LocalFree(text);
  return result;
}

std::string CurrentUserSid() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return "?";
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<unsigned char> user(size);
  const bool got = size > 0 && GetTokenInformation(token, TokenUser, user.data(), size, &size);
  CloseHandle(token);
  return got ? SidText(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid) : "?";
}

// Who may do what with `path`: "protected" when its list takes nothing from the folder above,
// then one "SID:mask" per entry that allows access ("denies" for one that denies).
std::vector<std::string> AccessList(const std::string& path) {
  PSECURITY_DESCRIPTOR sd = nullptr;
  PACL dacl = nullptr;
  std::vector<std::string> entries;
  if (GetNamedSecurityInfoW(platform::WideFromUtf8(path).c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, &dacl, nullptr, &sd) != ERROR_SUCCESS)
    return {"unreadable"};
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  if (GetSecurityDescriptorControl(sd, &control, &revision) && (control & SE_DACL_PROTECTED))
    entries.push_back("protected");
  for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
    ACE_HEADER* header = nullptr;
    if (!GetAce(dacl, i, reinterpret_cast<void**>(&header))) continue;
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) {
      entries.push_back("denies");
      continue;
    }
    auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
    entries.push_back(SidText(&ace->SidStart) + ":" + std::to_string(ace->Mask & FILE_ALL_ACCESS));
  }
  LocalFree(sd);
  return entries;
}
#else
const char kUserFolder[] = "H/kestrel/Settings";

unsigned Mode(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777u : 0u;
}
#endif

}  // namespace

TEST(SettingsFolder, GivenFirstThenAUsableFolderBesideTheProgramThenTheUsersOwnWhichSaysWhy) {
  const std::string beside = platform::JoinPath("P", "Settings");
  const struct {
    const char* what;
    const char* given;
    BesideFolder state;
    const char* configHome;
    std::string dir;
    SettingsPlace place;
    const char* why;  // a part of the reason given for the user's folder
  } rows[] = {
      {"given", "G", BesideFolder::Usable, "H", "G", SettingsPlace::Given, ""},
      {"beside, usable", "", BesideFolder::Usable, "H", beside, SettingsPlace::BesideProgram, ""},
      {"none beside", "", BesideFolder::Missing, "H", kUserFolder, SettingsPlace::UserConfig, "no Settings folder"},
      {"beside, not writable", "", BesideFolder::NotWritable, "H", kUserFolder, SettingsPlace::UserConfig,
       "can not be written"},
      {"not writable, no user folder", "", BesideFolder::NotWritable, "", beside, SettingsPlace::BesideProgram, ""},
      {"none beside, no user folder", "", BesideFolder::Missing, "", beside, SettingsPlace::BesideProgram, ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const SettingsFolder folder = ChooseSettingsFolder(row.given, "P", row.configHome, row.state);
    EXPECT_EQ(folder.dir, row.dir);
    EXPECT_EQ(folder.place, row.place);
    if (*row.why == '\0') {
      EXPECT_EQ(folder.why, "");
    } else {
      EXPECT_NE(folder.why.find(row.why), std::string::npos) << folder.why;
      EXPECT_NE(folder.why.find("P"), std::string::npos) << folder.why;
    }
  }
}

// Made with its folders above it, the user's alone, holding the INI files of the folder it stands
// in for (only those) and after that leaving everything as it is.
TEST(SettingsFolder, TheUsersFolderIsMadeForThatUserOnlyWithTheIniFilesOfTheFolderItReplaces) {
  test::TempDir place;
  const std::string old = place.file("program/Settings");
  place.write("program/Settings/Zone.ini", "[TotalZones]\r\nTotalZones=0\r\n");
  place.write("program/Settings/localIP.INI", "[SoftWareIP]\r\n");
  place.write("program/Settings/notes.txt", "not a setting");
  fs::create_directories(place.path() / "program/Settings/more.ini");
  const std::string app = place.file("appdata/Kestrel");
  const std::string dir = place.file("appdata/Kestrel/Settings");

  std::string error;
  ASSERT_TRUE(MakeUserSettingsFolder(dir, old, error)) << error;
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(platform::PathFromUtf8(dir)))
    names.push_back(platform::Utf8FromPath(entry.path().filename()));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Zone.ini", "localIP.INI"}));
  EXPECT_EQ(place.read("appdata/Kestrel/Settings/Zone.ini"), place.read("program/Settings/Zone.ini"));

#ifdef _WIN32
  const std::string userOnly = CurrentUserSid() + ":" + std::to_string(FILE_ALL_ACCESS);
  if (UnderWine()) {
    // Wine keeps no access lists: it turns the one given into the folder's Unix mode and makes
    // up a list from that mode when asked. What shows is that nobody else may read the folder.
    for (const std::string& folder : {app, dir}) {
      const std::vector<std::string> list = AccessList(folder);
      EXPECT_NE(std::find(list.begin(), list.end(), userOnly), list.end()) << folder;
      EXPECT_EQ(std::count_if(list.begin(), list.end(), [](const std::string& e) { return e.rfind("S-1-1-0:", 0) == 0; }), 0)
          << folder;
    }
  } else {
    EXPECT_EQ(AccessList(app), (std::vector<std::string>{"protected", userOnly}));
    EXPECT_EQ(AccessList(dir), (std::vector<std::string>{"protected", userOnly}));
    // A file made in it takes the folder's list over.
    EXPECT_EQ(AccessList(dir + "\\Zone.ini"), (std::vector<std::string>{userOnly}));
  }
#else
  EXPECT_EQ(Mode(app), 0700u);
  EXPECT_EQ(Mode(dir), 0700u);
#endif

  // An existing folder is left as it is, with what the user keeps in it.
  place.write("appdata/Kestrel/Settings/Zone.ini", "mine");
  ASSERT_TRUE(MakeUserSettingsFolder(dir, old, error)) << error;
  EXPECT_EQ(place.read("appdata/Kestrel/Settings/Zone.ini"), "mine");

  // A folder that can not be made is reported with its name.
  place.write("file", "");
  EXPECT_FALSE(MakeUserSettingsFolder(place.file("file/Settings"), "", error));
  EXPECT_NE(error.find("Settings"), std::string::npos) << error;
}

TEST(FirewallHint, OnWindowsSaysWhatToAllowForTheRunningProgramAndElsewhereNothing) {
  const std::string hint = platform::DataConnectionHint();
#ifdef _WIN32
  EXPECT_NE(hint.find("unit_tests.exe"), std::string::npos) << hint;
  EXPECT_NE(hint.find("inbound TCP"), std::string::npos) << hint;
  EXPECT_NE(hint.find("subnet"), std::string::npos) << hint;
#else
  EXPECT_EQ(hint, "");
#endif
}
