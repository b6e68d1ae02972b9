// Reading whole files, and writing whole settings files without ever leaving half a file, and
// the folders they live in.
// Every function that can fail says why in `error` (the system's own words).
#pragma once

#include <functional>
#include <string>

namespace kestrel::platform {

// The bytes of the file at `path`; false when it can not be read (or does not exist).
bool ReadWholeFile(const std::string& path, std::string& bytes);

// The permission bits of a settings file made here (less the umask), and of one that holds a
// password (ftpServer.ini).
inline constexpr unsigned kSettingsFileMode = 0666;
inline constexpr unsigned kPrivateFileMode = 0600;

// (Not named ReplaceFile: windows.h makes that name a macro.)
// Replaces the file at `path` with `data` in one step, so that it holds either all of the old
// bytes or all of the new ones, whenever the program or the machine stops: the data goes to a
// new file beside it under a name no other writer uses, made from the start with the mode of
// the file it replaces (`newFileMode` when there is none), and on the disk before it takes the
// file's place in one rename. When `check` is given it is handed the new file's path first and
// may refuse it; the old file is then left as it was. Missing folders are made (MakeFolders).
// The caller holds the file's lock (FileLock) when others may write it too.
bool ReplaceWholeFile(const std::string& path, const std::string& data, std::string& error,
                      const std::function<bool(const std::string& written)>& check = {},
                      unsigned newFileMode = kSettingsFileMode);

// The permission bits of the file at `path`, or `fallback` when it does not exist (or on a
// system without them).
unsigned FileMode(const std::string& path, unsigned fallback);

// Makes `dir` and the folders above it that are missing; the folders made here are readable by
// their owner only (they may come to hold a password).
bool MakeFolders(const std::string& dir, std::string& error);

// Whether files can be written in `dir`: tried in `dir`, or when it does not exist yet in the
// nearest folder above it that does (where it would be made). Nothing is left behind.
bool CanWriteIn(const std::string& dir, std::string& error);

bool IsFolder(const std::string& path);
bool IsFile(const std::string& path);

// The line end of a text file this program creates: CR LF on Windows, LF elsewhere.
const char* NewFileLineEnd();

}  // namespace kestrel::platform
