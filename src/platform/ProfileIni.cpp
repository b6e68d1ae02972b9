#include "platform/ProfileIni.h"
#include "platform/TextCompare.h"
#include "platform/Utf8Path.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#ifdef _WIN32
#include <windows.h>
// windows.h maps this name onto the system's own routine of that name.
#undef WriteProfileString
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kestrel::platform {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && (IsBlank(s[e - 1]) || s[e - 1] == '\r')) --e;
  return s.substr(b, e - b);
}

std::string TrimRight(const std::string& s) {
  size_t e = s.size();
  while (e > 0 && IsBlank(s[e - 1])) --e;
  return s.substr(0, e);
}

// One line of the file as read, without its line end.
struct Line {
  std::string raw;
  enum Kind { Other, Section, Entry } kind = Other;
  std::string name;   // section name or key, trimmed
  std::string value;  // entry value, trimmed
};

struct Document {
  std::vector<Line> lines;
  bool crlf = false;
  bool bom = false;
  bool finalNewline = true;
};

Line ParseLine(const std::string& raw) {
  Line line;
  line.raw = raw;
  const std::string t = Trim(raw);
  if (t.empty() || t[0] == ';') return line;
  if (t[0] == '[') {
    const auto close = t.find(']');
    if (close != std::string::npos) {
      line.kind = Line::Section;
      line.name = Trim(t.substr(1, close - 1));
    }
    return line;
  }
  const auto eq = t.find('=');
  if (eq == std::string::npos) return line;
  line.kind = Line::Entry;
  line.name = Trim(t.substr(0, eq));
  line.value = Trim(t.substr(eq + 1));
  return line;
}

bool Load(const std::string& path, Document& doc) {
  std::ifstream in(PathFromUtf8(path), std::ios::binary);
  if (!in) return false;
  std::stringstream ss;
  ss << in.rdbuf();
  std::string text = ss.str();
  if (text.size() >= 3 && text.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    doc.bom = true;
    text.erase(0, 3);
  }
  doc.crlf = text.find("\r\n") != std::string::npos;
  doc.finalNewline = text.empty() || text.back() == '\n';
  size_t start = 0;
  while (start < text.size()) {
    size_t nl = text.find('\n', start);
    const size_t end = nl == std::string::npos ? text.size() : nl;
    std::string raw = text.substr(start, end - start);
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    doc.lines.push_back(ParseLine(raw));
    if (nl == std::string::npos) break;
    start = nl + 1;
  }
  return true;
}

std::string Unquote(const std::string& v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    return v.substr(1, v.size() - 2);
  return v;
}

bool HasLineBreak(const std::string& s) { return s.find_first_of("\r\n") != std::string::npos; }

bool WriteAll(const std::string& path, const std::string& data) {
  std::error_code ec;
  const std::filesystem::path target = PathFromUtf8(path);
  if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path(), ec);
  std::filesystem::path tmp = target;
  tmp += ".tmp~";
  const auto discard = [&] {
    std::filesystem::remove(tmp, ec);
    return false;
  };
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    out.flush();
    if (!out) return discard();
  }
#ifdef _WIN32
  if (!MoveFileExW(tmp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) return discard();
#else
  struct stat st {};
  if (stat(target.c_str(), &st) == 0) chmod(tmp.c_str(), st.st_mode & 07777);
  if (std::rename(tmp.c_str(), target.c_str()) != 0) return discard();
#endif
  return true;
}

}  // namespace

ProfileIndex::ProfileIndex(const std::string& path) {
  Document doc;
  if (!Load(path, doc)) return;
  Keys* current = nullptr;  // the keys of the section being read, when it is the first of its name
  for (const Line& line : doc.lines) {
    if (line.kind == Line::Section) {
      // The first section of a name counts; a later one of the same name is ignored.
      const auto added = sections_.emplace(FoldCase(line.name), Keys{});
      current = added.second ? &added.first->second : nullptr;
    } else if (current != nullptr && line.kind == Line::Entry) {
      // The first of two equal keys counts: emplace keeps what is there.
      current->emplace(FoldCase(line.name), Unquote(line.value));
    }
  }
}

std::string ProfileIndex::Read(const std::string& section, const std::string& key,
                               const std::string& defaultValue) const {
  const auto s = sections_.find(FoldCase(Trim(section)));
  if (s != sections_.end()) {
    const auto k = s->second.find(FoldCase(Trim(key)));
    if (k != s->second.end()) return k->second;
  }
  return TrimRight(defaultValue);
}

std::string ReadProfileString(const std::string& path, const std::string& section,
                              const std::string& key, const std::string& defaultValue) {
  return ProfileIndex(path).Read(section, key, defaultValue);
}

bool WriteProfileString(const std::string& path, const std::string& section,
                        const std::string& key, const std::string& value) {
  const std::string wantSection = Trim(section), wantKey = Trim(key);
  if (wantSection.empty() || wantKey.empty() || HasLineBreak(section) || HasLineBreak(key) ||
      HasLineBreak(value) || wantKey.find('=') != std::string::npos ||
      wantSection.find(']') != std::string::npos || wantKey[0] == '[' || wantKey[0] == ';')
    return false;

  Document doc;
  const bool existed = Load(path, doc);
#ifdef _WIN32
  if (!existed) doc.crlf = true;
#endif

  const std::string entry = wantKey + "=" + value;
  size_t sectionAt = doc.lines.size();
  for (size_t i = 0; i < doc.lines.size(); ++i) {
    if (doc.lines[i].kind == Line::Section && EqualNoCase(doc.lines[i].name, wantSection)) {
      sectionAt = i;
      break;
    }
  }

  if (sectionAt == doc.lines.size()) {
    if (!doc.lines.empty() && !Trim(doc.lines.back().raw).empty()) doc.lines.push_back(ParseLine(""));
    doc.lines.push_back(ParseLine("[" + wantSection + "]"));
    doc.lines.push_back(ParseLine(entry));
  } else {
    size_t lastEntry = sectionAt;  // insert after the section's last entry when the key is new
    bool replaced = false;
    for (size_t i = sectionAt + 1; i < doc.lines.size(); ++i) {
      Line& line = doc.lines[i];
      if (line.kind == Line::Section) break;
      if (line.kind != Line::Entry) continue;
      if (EqualNoCase(line.name, wantKey)) {
        line = ParseLine(line.name + "=" + value);
        replaced = true;
        break;
      }
      lastEntry = i;
    }
    if (!replaced)
      doc.lines.insert(doc.lines.begin() + static_cast<std::ptrdiff_t>(lastEntry + 1), ParseLine(entry));
  }

  const char* eol = doc.crlf ? "\r\n" : "\n";
  std::string out = doc.bom ? "\xEF\xBB\xBF" : "";
  for (size_t i = 0; i < doc.lines.size(); ++i) {
    out += doc.lines[i].raw;
    if (i + 1 < doc.lines.size() || doc.finalNewline || !existed) out += eol;
  }
  return WriteAll(path, out);
}

bool FlushProfile(const std::string& path) {
#ifdef _WIN32
  const HANDLE file = CreateFileW(PathFromUtf8(path).c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool ok = FlushFileBuffers(file) != 0;
  CloseHandle(file);
  return ok;
#else
  const int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return false;
  const bool ok = fsync(fd) == 0;
  close(fd);
  return ok;
#endif
}

}  // namespace kestrel::platform
