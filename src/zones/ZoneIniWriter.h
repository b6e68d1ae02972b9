// Changing Zone.ini: the zones as a list to add to, remove from, rename and reorder, written back
// so that the program reads exactly that list and everything else in the file stays as it was.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/FileLock.h"
#include "platform/IniDocument.h"
#include "zones/ZoneIni.h"

namespace kestrel {

// Loading reads the zones exactly as the program reads them (ReadZoneIni). Writing keeps the
// comments, blank lines, other sections and keys, the letter case of names, the line ends and a
// leading byte order mark, and gives the numbering the program relies on: the zones in list
// order in the sections Zone1 to ZoneN, and TotalZones set to N.
//
// A zone's section lines (its own comments and further keys) go with the zone when it moves.
// The zone sections stay where they stand in the file, so a zone moved to row 2 takes the place
// of [Zone2]; new zones come after the last zone's section. A section "ZoneN" that the program
// does not read now (it lies beyond the end of the list) but would read after the change is
// turned into comment lines: nothing in it is lost, and nothing in it is taken for a zone.
class ZoneIniWriter {
 public:
  // Reads the file at `path`; a missing file gives an empty list. A file the program can not
  // read in full (an ID that is not a number, or one outside 0..255) throws EConvertError with
  // the loading's message: what the program can not read is not changed here. Save takes the
  // file's lock and refuses when the file changed since it was read.
  explicit ZoneIniWriter(std::string path);

  // As the constructor, but holding the file's lock (FileLock) from before the reading until the
  // writer is gone, so that no other writer changes the file in between and Save always finds
  // it as it was read. Null, with why in `error`, when the lock was not had.
  static std::unique_ptr<ZoneIniWriter> OpenLocked(std::string path, std::string& error);

  const std::vector<ZoneDefinition>& Zones() const { return zones_; }
  // The row of the zone named `name` (exact), or -1.
  int Find(const std::string& name) const;

  // Each gives an empty text when done, else why it was refused; the list is then unchanged.
  // Names lose their surrounding blanks; an empty name, a line break in it, and a name another
  // zone has are refused. Several zones may share an address.
  std::string Add(const ZoneDefinition& zone);  // as the last zone
  std::string Remove(std::size_t row);
  std::string Rename(std::size_t row, const std::string& name);
  std::string Move(std::size_t row, std::size_t to);  // `to`: its row afterwards

  // The file's text with the changes made.
  std::string Text() const;

  // Under the file's lock: writes Text() in place of the file, in one step, after reading what
  // was written back as the program reads it. With `backup`, the file as it was is first kept as
  // BackupPath(), also in one step. Refuses when the file was changed by someone else since it
  // was read. False, with the reason in `error`, when the file was not written.
  bool Save(bool backup, std::string& error) const;
  std::string BackupPath() const { return path_ + ".bak"; }

 private:
  struct Zone {
    ZoneDefinition definition;
    std::vector<std::string> lines;  // the section's lines after its header, less trailing blanks
  };
  // A stretch of the file in order.
  struct Piece {
    enum Kind {
      Plain,  // lines written as they are
      Count,  // the line of the key TotalZones
      Slot,   // the section of the zone numbered `number`, then `lines`: blank lines after it
      Stale,  // a section named "Zone<number>" that the program does not read: `lines`
    } kind = Plain;
    std::vector<std::string> lines;
    std::string header;  // Slot: the header line as written; Count: the key as written
    std::size_t number = 0;
  };
  // A section of the file: its lines [begin, end).
  struct Range {
    std::size_t begin, end;
    std::string name;
  };

  ZoneIniWriter(std::string path, platform::FileLock lock);
  void Read();
  std::string CheckName(const std::string& name, std::size_t except) const;
  void Parse();
  void AddPlain(std::size_t from, std::size_t to);
  void AddCount(const std::string& key);
  void AddTotalSection(const Range& section);
  void AddZoneSection(const Range& section, std::size_t number);
  void Sync();  // zones_ from rows_
  bool SaveLocked(bool backup, std::string& error) const;

  std::string path_;
  platform::FileLock lock_;  // held from reading to the end (OpenLocked), else not
  std::string original_;     // the file's bytes when read (empty: no file)
  bool existed_ = false;
  platform::IniDocument doc_;  // the file as read; its form (line ends, byte order mark) is kept
  bool endsBlank_ = false;     // the file ended with a blank line
  bool separated_ = true;      // sections are set apart by a blank line
  std::size_t slots_ = 0;      // zone sections the program reads now
  std::vector<Piece> pieces_;
  std::vector<Zone> rows_;
  std::vector<ZoneDefinition> zones_;  // the definitions of rows_
};

}  // namespace kestrel
