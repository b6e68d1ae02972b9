// Turns the bytes of an FTP LIST reply into entries: name, kind and modification time.
//
// Two listing styles are read:
//  - Unix: a ten-character permission string whose first character is d (directory), l (link)
//    or - (file), optionally followed by one of + . @ (ACL and context marks), then link count,
//    owner, group (may be missing), size, and the date as "Mon DD HH:MM" or "Mon DD YYYY", or
//    in the ISO styles of ls, "YYYY-MM-DD HH:MM" (long-iso) and
//    "YYYY-MM-DD HH:MM:SS.fraction +ZZZZ" (full-iso, seconds and zone dropped). The
//    name is everything after the single blank that follows the date, so names keep their
//    blanks, leading ones included. For a link, the text after the first " -> " is its target.
//  - MS-DOS: "MM-DD-YY" or "MM-DD-YYYY", a 12-hour time "hh:mmAM"/"hh:mmPM" (or 24-hour
//    "hh:mm"), then "<DIR>" or the size, then the name. After "<DIR>" the server pads the name
//    column with ten blanks; after a size it puts one.
//
// Lines: when the reply holds CR LF, lines end at CR LF and only there, so a name holding a lone
// CR or LF (which servers send raw) comes out whole. A reply without CR LF is split at LF; a name
// holding LF then splits into two pieces, of which the first reads as an entry with the part of
// the name before the LF and the second cannot be read.
//
// A line that cannot be read (the "total" line, blank lines, headers, the second piece of a split
// name, other kinds of entry such as devices or pipes, impossible dates) is skipped; it never
// turns into an entry. But a line that reads like a line of a server's reply (three digits, then
// a blank, a dash or nothing) right after a file or directory is the rest of its name, which held
// a line end (as a name does that is made to end a listing sent as a reply early, "x\r\n213 End"):
// it is appended to that name with the line end. Nothing here throws; any bytes are safe input.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/LocaleTime.h"

namespace kestrel {

enum class FtpEntryKind { Directory, File, Link };

struct FtpListEntry {
  std::string name;
  FtpEntryKind kind = FtpEntryKind::File;
  platform::CalendarTime modified;  // as the server shows it; seconds are 0
  std::int64_t size = -1;           // -1 when the listing gives none (MS-DOS directories)
  std::string linkTarget;           // links only
  // The modification time to the second in UTC, "YYYYMMDDHHMMSS", where the listing gives it
  // exactly (a machine listing, MLSD); empty otherwise.
  std::string modifiedUtc;
};

// Every entry of `reply` in the order the server sent them. Unix dates that show a time instead
// of a year get the year that puts them nearest to `now` (within half a year either way), which
// is how servers decide between the two forms; so a file dated next month by a server whose
// clock runs ahead is read as next month, not as eleven months ago.
// When `firstUnreadable` is given, it receives the first line (its first 200 bytes) that could
// not be read, blank lines and the "total" line aside; it stays empty when there is none.
std::vector<FtpListEntry> ParseFtpListing(std::string_view reply,
                                          const platform::CalendarTime& now,
                                          std::string* firstUnreadable = nullptr);

// One line without its line end. False (and `entry` untouched) when it cannot be read.
bool ParseFtpListLine(std::string_view line, const platform::CalendarTime& now,
                      FtpListEntry& entry);

// A machine listing (the data of MLSD): lines of facts "type=file;size=5;modify=YYYYMMDDHHMMSS;"
// (names of facts in any letter case, any order, others ignored), one blank, then the name,
// which is taken whole. Lines end as in ParseFtpListing. Types file, dir and OS.unix=symlink (or
// slink) become files, directories and links; "cdir" and "pdir" (the directory itself and its
// parent) and other types are left out, as are lines without a type. `modified` and
// `modifiedUtc` come from the modify fact (UTC), `size` from the size fact. The rest of a name
// after a line end, and `firstUnreadable`, as for ParseFtpListing.
std::vector<FtpListEntry> ParseMachineListing(std::string_view reply,
                                              std::string* firstUnreadable = nullptr);

// Seconds since 1970 in UTC as "YYYYMMDDHHMMSS", and back (the first 14 digits of `stamp` are
// read, a fraction after them is ignored); false when `stamp` is no valid time.
std::string UtcStamp(long long seconds);
bool ParseUtcStamp(std::string_view stamp, long long& seconds);

}  // namespace kestrel
