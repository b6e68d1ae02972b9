// Writing whole settings files without ever leaving half a file, and the folders they live in.
// Every function that can fail says why in `error` (the system's own words).
#pragma once

#include <functional>
#include <string>

namespace kestrel::platform {

// (Not named ReplaceFile: windows.h makes that name a macro.)
// Replaces the file at `path` with `data`: the data goes to a temporary file beside it, which
// then takes the file's place in one rename, keeping the mode of the file it replaces. When
// `check` is given it is handed the temporary file's path first and may refuse it; the old file
// is then left as it was. Missing folders are made (see MakeFolders).
bool ReplaceWholeFile(const std::string& path, const std::string& data, std::string& error,
                      const std::function<bool(const std::string& written)>& check = {});

// Copies the file `from` over `to`.
bool CopyFileOver(const std::string& from, const std::string& to, std::string& error);

// Makes `dir` and the folders above it that are missing; the folders made here are readable by
// their owner only (they may come to hold a password).
bool MakeFolders(const std::string& dir, std::string& error);

// Creates `path` empty, readable and writable by its owner only, unless it exists already.
bool CreatePrivateFile(const std::string& path, std::string& error);

// Whether files can be written in `dir`: tried in `dir`, or when it does not exist yet in the
// nearest folder above it that does (where it would be made). Nothing is left behind.
bool CanWriteIn(const std::string& dir, std::string& error);

bool IsFolder(const std::string& path);
bool IsFile(const std::string& path);

// The line end of a text file this program creates: CR LF on Windows, LF elsewhere.
const char* NewFileLineEnd();

}  // namespace kestrel::platform
