#include "zones/ZoneIniWriter.h"

#include <algorithm>
#include <exception>
#include <fstream>
#include <sstream>
#include <utility>

#include "core/mPublicFunction.h"
#include "platform/FileWrite.h"
#include "platform/Text.h"
#include "platform/Utf8Path.h"

namespace kestrel {

namespace {

const char kBom[] = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trim(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && (IsBlank(s[e - 1]) || s[e - 1] == '\r')) --e;
  return s.substr(b, e - b);
}

bool IsBlankLine(const std::string& raw) { return Trim(raw).empty(); }

// A line as the profile routines see it: a section header, an entry, or neither.
struct LineInfo {
  enum Kind { Other, Section, Entry } kind = Other;
  std::string name;  // section name or key, trimmed
};

LineInfo Classify(const std::string& raw) {
  LineInfo info;
  const std::string t = Trim(raw);
  if (t.empty() || t[0] == ';') return info;
  if (t[0] == '[') {
    const auto close = t.find(']');
    if (close != std::string::npos) {
      info.kind = LineInfo::Section;
      info.name = Trim(t.substr(1, close - 1));
    }
    return info;
  }
  const auto eq = t.find('=');
  if (eq == std::string::npos) return info;
  info.kind = LineInfo::Entry;
  info.name = Trim(t.substr(0, eq));
  return info;
}

// The zone number of a section named "Zone<n>" (n as the program writes it: no sign, no leading
// zero), or 0.
std::size_t ZoneNumber(const std::string& section) {
  if (section.size() < 5 || section.size() > 13 || !platform::EqualNoCase(section.substr(0, 4), "Zone")) return 0;
  const std::string digits = section.substr(4);
  if (digits[0] == '0' || digits.find_first_not_of("0123456789") != std::string::npos) return 0;
  return static_cast<std::size_t>(std::stoull(digits));
}

std::string SectionName(std::size_t number) { return "Zone" + std::to_string(number); }

// A value the reader gives back unchanged: it drops one pair of matching quotes around a value,
// so a name that has them is wrapped in one more pair.
std::string ValueText(const std::string& value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
    return "\"" + value + "\"";
  return value;
}

std::vector<std::string> NewZoneLines(const ZoneDefinition& zone) {
  return {"ZoneName=" + ValueText(zone.name), "SubnetIDOfVeltra=" + std::to_string(zone.subnetID),
          "DeviceIDOfVeltra=" + std::to_string(zone.deviceID)};
}

bool ReadBytes(const std::string& path, std::string& bytes) {
  std::ifstream in(platform::PathFromUtf8(path), std::ios::binary);
  if (!in) return false;
  std::stringstream ss;
  ss << in.rdbuf();
  bytes = ss.str();
  return true;
}

// The zones as the program reads them; a zone it would leave out is a fault here.
std::vector<ZoneDefinition> ReadZones(const std::string& path) {
  std::vector<ZoneDefinition> zones;
  ReadZoneIni(
      path, [&zones](const ZoneDefinition& zone) { zones.push_back(zone); },
      [](const std::string& why) { throw EConvertError(why); });
  return zones;
}

bool SameZones(const std::vector<ZoneDefinition>& a, const std::vector<ZoneDefinition>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const ZoneDefinition& x, const ZoneDefinition& y) {
    return x.name == y.name && x.subnetID == y.subnetID && x.deviceID == y.deviceID;
  });
}

}  // namespace

ZoneIniWriter::ZoneIniWriter(std::string path) : path_(std::move(path)), eol_(platform::NewFileLineEnd()) {
  existed_ = ReadBytes(path_, original_);
  const std::vector<ZoneDefinition> zones = existed_ ? ReadZones(path_) : std::vector<ZoneDefinition>{};
  for (const ZoneDefinition& zone : zones) rows_.push_back({zone, {}});
  Parse(original_);
  Sync();
}

void ZoneIniWriter::Sync() {
  zones_.clear();
  for (const Zone& row : rows_) zones_.push_back(row.definition);
}

void ZoneIniWriter::Parse(const std::string& bytes) {
  std::string text = bytes;
  if (text.compare(0, 3, kBom) == 0) {
    bom_ = true;
    text.erase(0, 3);
  }
  if (existed_) eol_ = text.find("\r\n") != std::string::npos ? "\r\n" : "\n";
  finalNewline_ = text.empty() || text.back() == '\n';

  std::vector<std::string> lines;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t nl = text.find('\n', start);
    const std::size_t end = nl == std::string::npos ? text.size() : nl;
    std::string raw = text.substr(start, end - start);
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    lines.push_back(raw);
    if (nl == std::string::npos) break;
    start = nl + 1;
  }
  endsBlank_ = !lines.empty() && IsBlankLine(lines.back());

  // The sections as [first line, end) ranges, and what the program reads in them.
  struct Range {
    std::size_t begin, end;
    std::string name;
  };
  std::vector<Range> sections;
  std::size_t firstSection = lines.size();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const LineInfo info = Classify(lines[i]);
    if (info.kind != LineInfo::Section) continue;
    if (sections.empty()) firstSection = i;
    if (!sections.empty()) sections.back().end = i;
    sections.push_back({i, lines.size(), info.name});
  }
  if (sections.size() >= 2) {
    separated_ = false;
    for (std::size_t s = 0; s + 1 < sections.size(); ++s)
      separated_ = separated_ || IsBlankLine(lines[sections[s].end - 1]);
  }

  slots_ = rows_.size();
  auto firstNamed = [&](const std::string& name) {
    for (std::size_t s = 0; s < sections.size(); ++s)
      if (platform::EqualNoCase(sections[s].name, name)) return s;
    return sections.size();
  };
  const std::size_t totalSection = firstNamed("TotalZones");
  std::vector<std::size_t> slotOf(sections.size(), 0);
  for (std::size_t n = 1; n <= slots_; ++n) slotOf[firstNamed(SectionName(n))] = n;

  auto plain = [&](std::size_t from, std::size_t to) {
    Piece piece;
    piece.lines.assign(lines.begin() + static_cast<std::ptrdiff_t>(from), lines.begin() + static_cast<std::ptrdiff_t>(to));
    if (!piece.lines.empty()) pieces_.push_back(std::move(piece));
  };
  auto count = [&](const std::string& key) {
    Piece piece;
    piece.kind = Piece::Count;
    piece.header = key;
    pieces_.push_back(std::move(piece));
  };

  plain(0, firstSection);
  if (totalSection == sections.size()) {
    // No count yet (and so no zone): it goes first, as the program's own files have it.
    pieces_.push_back({Piece::Plain, {"[TotalZones]"}, "", 0});
    count("TotalZones");
    if (!sections.empty() && separated_) pieces_.push_back({Piece::Plain, {""}, "", 0});
  }
  for (std::size_t s = 0; s < sections.size(); ++s) {
    const Range& r = sections[s];
    if (s == totalSection) {
      std::size_t key = r.begin + 1;
      while (key < r.end && !(Classify(lines[key]).kind == LineInfo::Entry &&
                              platform::EqualNoCase(Classify(lines[key]).name, "TotalZones")))
        ++key;
      if (key < r.end) {
        plain(r.begin, key);
        count(Classify(lines[key]).name);
        plain(key + 1, r.end);
      } else {
        plain(r.begin, r.begin + 1);
        count("TotalZones");
        plain(r.begin + 1, r.end);
      }
    } else if (slotOf[s] != 0) {
      std::size_t bodyEnd = r.end;
      while (bodyEnd > r.begin + 1 && IsBlankLine(lines[bodyEnd - 1])) --bodyEnd;
      Zone& zone = rows_[slotOf[s] - 1];
      zone.lines.assign(lines.begin() + static_cast<std::ptrdiff_t>(r.begin + 1), lines.begin() + static_cast<std::ptrdiff_t>(bodyEnd));
      Piece piece;
      piece.kind = Piece::Slot;
      piece.number = slotOf[s];
      piece.header = lines[r.begin];
      piece.lines.assign(lines.begin() + static_cast<std::ptrdiff_t>(bodyEnd), lines.begin() + static_cast<std::ptrdiff_t>(r.end));
      pieces_.push_back(std::move(piece));
    } else if (const std::size_t number = ZoneNumber(r.name); number != 0) {
      Piece piece;
      piece.kind = Piece::Stale;
      piece.number = number;
      piece.lines.assign(lines.begin() + static_cast<std::ptrdiff_t>(r.begin), lines.begin() + static_cast<std::ptrdiff_t>(r.end));
      pieces_.push_back(std::move(piece));
    } else {
      plain(r.begin, r.end);
    }
  }
}

int ZoneIniWriter::Find(const std::string& name) const {
  for (std::size_t row = 0; row < rows_.size(); ++row)
    if (rows_[row].definition.name == name) return static_cast<int>(row);
  return -1;
}

std::string ZoneIniWriter::CheckName(const std::string& name, std::size_t except) const {
  if (name.empty()) return "a zone needs a name";
  if (name.find_first_of("\r\n") != std::string::npos) return "a zone name can not hold a line break";
  const int row = Find(name);
  if (row >= 0 && static_cast<std::size_t>(row) != except) return "there is a zone named \"" + name + "\" already";
  return {};
}

std::string ZoneIniWriter::Add(const ZoneDefinition& zone) {
  ZoneDefinition added = zone;
  added.name = Trim(zone.name);
  if (std::string why = CheckName(added.name, rows_.size()); !why.empty()) return why;
  rows_.push_back({added, NewZoneLines(added)});
  Sync();
  return {};
}

std::string ZoneIniWriter::Remove(std::size_t row) {
  if (row >= rows_.size()) return "there is no zone " + std::to_string(row + 1);
  rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(row));
  Sync();
  return {};
}

std::string ZoneIniWriter::Rename(std::size_t row, const std::string& name) {
  if (row >= rows_.size()) return "there is no zone " + std::to_string(row + 1);
  const std::string trimmed = Trim(name);
  if (std::string why = CheckName(trimmed, row); !why.empty()) return why;
  Zone& zone = rows_[row];
  for (std::string& line : zone.lines) {
    const LineInfo info = Classify(line);
    if (info.kind == LineInfo::Entry && platform::EqualNoCase(info.name, "ZoneName")) {
      line = info.name + "=" + ValueText(trimmed);
      break;
    }
  }
  zone.definition.name = trimmed;
  Sync();
  return {};
}

std::string ZoneIniWriter::Move(std::size_t row, std::size_t to) {
  if (row >= rows_.size()) return "there is no zone " + std::to_string(row + 1);
  if (to >= rows_.size()) return "a zone can go to rows 1 to " + std::to_string(rows_.size());
  const auto at = rows_.begin();
  if (row < to)
    std::rotate(at + static_cast<std::ptrdiff_t>(row), at + static_cast<std::ptrdiff_t>(row + 1), at + static_cast<std::ptrdiff_t>(to + 1));
  else
    std::rotate(at + static_cast<std::ptrdiff_t>(to), at + static_cast<std::ptrdiff_t>(row), at + static_cast<std::ptrdiff_t>(row + 1));
  Sync();
  return {};
}

std::string ZoneIniWriter::Text() const {
  const std::size_t total = rows_.size();
  std::vector<std::string> out;
  auto emit = [&out](const std::vector<std::string>& lines) { out.insert(out.end(), lines.begin(), lines.end()); };
  // The zones numbered beyond the sections there are, each set apart as the file's sections are.
  auto emitNew = [&] {
    for (std::size_t n = slots_ + 1; n <= total; ++n) {
      if (separated_ && !out.empty() && !IsBlankLine(out.back())) out.emplace_back();
      out.push_back("[" + SectionName(n) + "]");
      emit(rows_[n - 1].lines);
    }
  };
  for (const Piece& piece : pieces_) {
    switch (piece.kind) {
      case Piece::Plain:
        emit(piece.lines);
        break;
      case Piece::Count:
        out.push_back(piece.header + "=" + std::to_string(total));
        break;
      case Piece::Slot:
        if (piece.number > total) break;  // a zone less: the last section goes
        out.push_back(piece.header);
        emit(rows_[piece.number - 1].lines);
        if (piece.number == slots_) emitNew();
        emit(piece.lines);
        break;
      case Piece::Stale:
        for (const std::string& line : piece.lines)
          out.push_back(piece.number > slots_ && piece.number <= total && !IsBlankLine(line) ? "; " + line : line);
        break;
    }
  }
  if (slots_ == 0) {
    emitNew();
    if (separated_ && endsBlank_ && total > 0) out.emplace_back();
  }
  if (!endsBlank_)
    while (!out.empty() && IsBlankLine(out.back())) out.pop_back();

  std::string text = bom_ ? kBom : "";
  for (std::size_t i = 0; i < out.size(); ++i) {
    text += out[i];
    if (i + 1 < out.size() || finalNewline_) text += eol_;
  }
  return text;
}

bool ZoneIniWriter::Save(bool backup, std::string& error) const {
  std::string now;
  const bool exists = ReadBytes(path_, now);
  if (exists != existed_ || now != original_) {
    error = path_ + ": changed by someone else since it was read; nothing was written";
    return false;
  }
  if (backup && exists && !platform::CopyFileOver(path_, BackupPath(), error)) return false;
  const std::vector<ZoneDefinition> wanted = zones_;
  return platform::ReplaceWholeFile(path_, Text(), error, [&wanted](const std::string& written) {
    try {
      return SameZones(ReadZones(written), wanted);
    } catch (const std::exception&) {
      return false;
    }
  });
}

}  // namespace kestrel
