#include "zones/ZoneIniWriter.h"

#include <algorithm>
#include <exception>
#include <unordered_map>
#include <utility>

#include "core/mPublicFunction.h"
#include "platform/FileWrite.h"
#include "platform/Text.h"

namespace kestrel {

namespace {

using platform::IniDocument;
using Line = IniDocument::Line;

bool IsBlankLine(const std::string& raw) { return IniDocument::IsBlankLine(raw); }

// A name as typed, without the blanks around it.
std::string TrimName(const std::string& name) { return platform::TrimChars(name, platform::kBlanks, " \t\r"); }

// The zone number of a section named "Zone<n>" (n as the program writes it: no sign, no leading
// zero), or 0.
std::size_t ZoneNumber(const std::string& section) {
  if (section.size() < 5 || section.size() > 13 || !platform::EqualNoCase(section.substr(0, 4), "Zone")) return 0;
  const std::string digits = section.substr(4);
  if (digits[0] == '0' || digits.find_first_not_of("0123456789") != std::string::npos) return 0;
  return static_cast<std::size_t>(std::stoull(digits));
}

std::string SectionName(std::size_t number) { return "Zone" + std::to_string(number); }

std::vector<std::string> NewZoneLines(const ZoneDefinition& zone) {
  return {"ZoneName=" + IniDocument::WriteValue(zone.name), "SubnetIDOfVeltra=" + std::to_string(zone.subnetID),
          "DeviceIDOfVeltra=" + std::to_string(zone.deviceID)};
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

std::vector<std::string> RawLines(const std::vector<Line>& lines, std::size_t from, std::size_t to) {
  std::vector<std::string> raws;
  for (std::size_t i = from; i < to; ++i) raws.push_back(lines[i].raw);
  return raws;
}

}  // namespace

ZoneIniWriter::ZoneIniWriter(std::string path) : path_(std::move(path)) { Read(); }

ZoneIniWriter::ZoneIniWriter(std::string path, platform::FileLock lock)
    : path_(std::move(path)), lock_(std::move(lock)) {
  Read();
}

std::unique_ptr<ZoneIniWriter> ZoneIniWriter::OpenLocked(std::string path, std::string& error) {
  platform::FileLock lock;
  if (!lock.Lock(path, platform::kSettingsFileMode, error)) return nullptr;
  return std::unique_ptr<ZoneIniWriter>(new ZoneIniWriter(std::move(path), std::move(lock)));
}

void ZoneIniWriter::Read() {
  existed_ = platform::ReadWholeFile(path_, original_);
  if (existed_) {
    for (const ZoneDefinition& zone : ReadZones(path_)) rows_.push_back({zone, {}});
    doc_ = IniDocument::Parse(original_);
  }
  Parse();
  Sync();
}

void ZoneIniWriter::Sync() {
  zones_.clear();
  for (const Zone& row : rows_) zones_.push_back(row.definition);
}

void ZoneIniWriter::AddPlain(std::size_t from, std::size_t to) {
  Piece piece;
  piece.lines = RawLines(doc_.Lines(), from, to);
  if (!piece.lines.empty()) pieces_.push_back(std::move(piece));
}

void ZoneIniWriter::AddCount(const std::string& key) {
  Piece piece;
  piece.kind = Piece::Count;
  piece.header = key;
  pieces_.push_back(std::move(piece));
}

// [TotalZones]: its TotalZones line becomes the count; without one, the count comes first.
void ZoneIniWriter::AddTotalSection(const Range& section) {
  const std::size_t key = doc_.FindKey(section.begin, "TotalZones");
  if (key != IniDocument::npos) {
    AddPlain(section.begin, key);
    AddCount(doc_.Lines()[key].name);
    AddPlain(key + 1, section.end);
  } else {
    AddPlain(section.begin, section.begin + 1);
    AddCount("TotalZones");
    AddPlain(section.begin + 1, section.end);
  }
}

// The section of the zone numbered `number`: its lines go with the zone, the blank lines after
// them stay in place.
void ZoneIniWriter::AddZoneSection(const Range& section, std::size_t number) {
  const std::vector<Line>& lines = doc_.Lines();
  std::size_t bodyEnd = section.end;
  while (bodyEnd > section.begin + 1 && IsBlankLine(lines[bodyEnd - 1].raw)) --bodyEnd;
  rows_[number - 1].lines = RawLines(lines, section.begin + 1, bodyEnd);
  Piece piece;
  piece.kind = Piece::Slot;
  piece.number = number;
  piece.header = lines[section.begin].raw;
  piece.lines = RawLines(lines, bodyEnd, section.end);
  pieces_.push_back(std::move(piece));
}

void ZoneIniWriter::Parse() {
  const std::vector<Line>& lines = doc_.Lines();
  endsBlank_ = !lines.empty() && IsBlankLine(lines.back().raw);
  std::vector<Range> sections;
  for (std::size_t i = 0; i < lines.size(); ++i)
    if (lines[i].kind == Line::Section) sections.push_back({i, doc_.SectionEnd(i), lines[i].name});
  if (sections.size() >= 2) {
    separated_ = false;
    for (std::size_t s = 0; s + 1 < sections.size(); ++s) separated_ = separated_ || IsBlankLine(lines[sections[s].end - 1].raw);
  }
  slots_ = rows_.size();
  // The first section of each name is the one the program reads.
  std::unordered_map<std::string, std::size_t> firstOf;  // folded name -> header line
  for (const Range& r : sections) firstOf.emplace(platform::LowerCase(r.name), r.begin);
  const std::size_t totalSection = doc_.FindSection("TotalZones");
  std::vector<std::size_t> slotAt(lines.size(), 0);  // header line -> zone number
  for (std::size_t n = 1; n <= slots_; ++n) slotAt[firstOf.at(platform::LowerCase(SectionName(n)))] = n;

  AddPlain(0, sections.empty() ? lines.size() : sections.front().begin);
  if (totalSection == IniDocument::npos) {
    // No count yet (and so no zone): it goes first, as the program's own files have it.
    pieces_.push_back({Piece::Plain, {"[TotalZones]"}, "", 0});
    AddCount("TotalZones");
    if (!sections.empty() && separated_) pieces_.push_back({Piece::Plain, {""}, "", 0});
  }
  for (const Range& r : sections) {
    if (r.begin == totalSection) {
      AddTotalSection(r);
    } else if (slotAt[r.begin] != 0) {
      AddZoneSection(r, slotAt[r.begin]);
    } else if (const std::size_t number = ZoneNumber(r.name); number != 0) {
      pieces_.push_back({Piece::Stale, RawLines(lines, r.begin, r.end), "", number});
    } else {
      AddPlain(r.begin, r.end);
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
  added.name = TrimName(zone.name);
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
  const std::string trimmed = TrimName(name);
  if (std::string why = CheckName(trimmed, row); !why.empty()) return why;
  Zone& zone = rows_[row];
  for (std::string& line : zone.lines) {
    const Line info = IniDocument::ParseLine(line);
    if (info.kind == Line::Entry && platform::EqualNoCase(info.name, "ZoneName")) {
      line = info.name + "=" + IniDocument::WriteValue(trimmed);
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

  return doc_.TextOf(out);
}

bool ZoneIniWriter::Save(bool backup, std::string& error) const {
  if (lock_.Locked()) return SaveLocked(backup, error);
  platform::FileLock lock;
  if (!lock.Lock(path_, platform::kSettingsFileMode, error)) return false;
  return SaveLocked(backup, error);
}

bool ZoneIniWriter::SaveLocked(bool backup, std::string& error) const {
  std::string now;
  const bool exists = platform::ReadWholeFile(path_, now);
  if (exists != existed_ || now != original_) {
    error = path_ + ": changed by someone else since it was read; nothing was written";
    return false;
  }
  // The copy is made in one step as well: a full disk leaves the copy there was as it was.
  if (backup && exists &&
      !platform::ReplaceWholeFile(BackupPath(), original_, error, {}, platform::FileMode(path_, platform::kSettingsFileMode)))
    return false;
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
