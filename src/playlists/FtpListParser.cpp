#include "playlists/FtpListParser.h"

#include <cstdio>
#include <cstdlib>
#include <limits>

#include "platform/Text.h"

namespace kestrel {

namespace {

using platform::CalendarTime;

// How much of an unreadable line a message quotes.
constexpr std::size_t kQuotedLineMax = 200;

struct Span {
  std::size_t begin;
  std::size_t end;  // one past the last character
};

using platform::EqualNoCase;
using platform::IsBlank;
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool AllDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (!IsDigit(c)) return false;
  return true;
}

// Decimal digits to a number; false when empty, not all digits, or too large for 63 bits.
bool ToNumber(std::string_view s, std::int64_t& value) {
  if (!AllDigits(s)) return false;
  std::int64_t v = 0;
  for (char c : s) {
    const int d = c - '0';
    if (v > (std::numeric_limits<std::int64_t>::max() - d) / 10) return false;
    v = v * 10 + d;
  }
  value = v;
  return true;
}

bool ToSmall(std::string_view s, std::size_t maxDigits, int& value) {
  std::int64_t v = 0;
  if (s.size() > maxDigits || !ToNumber(s, v)) return false;
  value = static_cast<int>(v);
  return true;
}

int MonthFromName(std::string_view s) {
  static const char* const kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                        "jul", "aug", "sep", "oct", "nov", "dec"};
  if (s.size() != 3) return 0;
  for (int m = 0; m < 12; ++m)
    if (EqualNoCase(s, kMonths[m])) return m + 1;
  return 0;
}

// "HH:MM" or "H:MM".
bool ParseClock(std::string_view s, int& hour, int& minute) {
  const std::size_t colon = s.find(':');
  if (colon == std::string_view::npos || colon == 0 || colon > 2 || s.size() != colon + 3)
    return false;
  return ToSmall(s.substr(0, colon), 2, hour) && ToSmall(s.substr(colon + 1), 2, minute) &&
         hour <= 23 && minute <= 59;
}

// "YYYY-MM-DD".
bool ParseIsoDate(std::string_view s, CalendarTime& t) {
  return s.size() == 10 && s[4] == '-' && s[7] == '-' && ToSmall(s.substr(0, 4), 4, t.year) &&
         ToSmall(s.substr(5, 2), 2, t.month) && ToSmall(s.substr(8, 2), 2, t.day);
}

// "HH:MM:SS" with an optional fraction of a second, which is dropped with the seconds.
bool ParseFullClock(std::string_view s, int& hour, int& minute) {
  int second = 0;
  if (s.size() < 8 || s[5] != ':' || !ToSmall(s.substr(6, 2), 2, second) || second > 60)
    return false;
  if (s.size() > 8 && (s[8] != '.' || !AllDigits(s.substr(9)))) return false;
  return ParseClock(s.substr(0, 5), hour, minute);
}

// "+HHMM" or "-HHMM".
bool IsZone(std::string_view s) {
  return s.size() == 5 && (s[0] == '+' || s[0] == '-') && AllDigits(s.substr(1));
}

// The year that puts month/day/time nearest to `now`; ties go to the past.
bool NearestYear(CalendarTime& t, const CalendarTime& now) {
  const long long nowSeconds = platform::SecondsSinceEpoch(now);
  bool found = false;
  long long best = 0;
  int bestYear = 0;
  for (int year = now.year - 1; year <= now.year + 1; ++year) {
    CalendarTime candidate = t;
    candidate.year = year;
    if (!platform::IsValidCalendarTime(candidate)) continue;
    long long distance = platform::SecondsSinceEpoch(candidate) - nowSeconds;
    if (distance < 0) distance = -distance;
    if (!found || distance < best) {
      found = true;
      best = distance;
      bestYear = year;
    }
  }
  if (found) t.year = bestYear;
  return found;
}

std::vector<Span> Tokens(std::string_view line, std::size_t from) {
  std::vector<Span> tokens;
  std::size_t i = from;
  while (i < line.size()) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i >= line.size()) break;
    const std::size_t b = i;
    while (i < line.size() && !IsBlank(line[i])) ++i;
    tokens.push_back({b, i});
  }
  return tokens;
}

// The kind of a Unix line's entry from its permission string, and where the fields after it
// begin; false for a line that has none.
bool UnixKind(std::string_view line, FtpEntryKind& kind, std::size_t& pos) {
  if (line.size() < 11) return false;
  switch (line[0]) {
    case 'd': kind = FtpEntryKind::Directory; break;
    case 'l': kind = FtpEntryKind::Link; break;
    case '-': kind = FtpEntryKind::File; break;
    default: return false;
  }
  for (std::size_t i = 1; i < 10; ++i)
    if (std::string_view("-rwxsStTlL").find(line[i]) == std::string_view::npos) return false;
  pos = 10;
  if (line[pos] == '+' || line[pos] == '.' || line[pos] == '@') ++pos;
  return pos < line.size() && IsBlank(line[pos]);
}

// The date whose first token is `i`: "Mon DD HH:MM" or "Mon DD YYYY", or the ISO styles
// "YYYY-MM-DD HH:MM" and "YYYY-MM-DD HH:MM:SS.fraction +ZZZZ"; `dateEnd` gets the index of its
// last token. False when no date starts there.
bool UnixDate(const std::vector<std::string_view>& tokens, std::size_t i, const CalendarTime& now, CalendarTime& t,
              std::size_t& dateEnd) {
  if (ParseIsoDate(tokens[i], t)) {
    dateEnd = i + 1;
    if (!ParseClock(tokens[i + 1], t.hour, t.minute)) {
      if (i + 2 >= tokens.size() || !ParseFullClock(tokens[i + 1], t.hour, t.minute) || !IsZone(tokens[i + 2]))
        return false;
      dateEnd = i + 2;
    }
    return platform::IsValidCalendarTime(t);
  }
  const int month = MonthFromName(tokens[i]);
  int day = 0;
  if (month == 0 || i + 2 >= tokens.size() || !ToSmall(tokens[i + 1], 2, day)) return false;
  t.month = month;
  t.day = day;
  dateEnd = i + 2;
  const std::string_view last = tokens[i + 2];
  if (last.find(':') != std::string_view::npos) return ParseClock(last, t.hour, t.minute) && NearestYear(t, now);
  return last.size() == 4 && ToSmall(last, 4, t.year) && platform::IsValidCalendarTime(t);
}

bool ParseUnix(std::string_view line, const CalendarTime& now, FtpListEntry& entry) {
  FtpEntryKind kind;
  std::size_t pos = 0;
  if (!UnixKind(line, kind, pos)) return false;
  const std::vector<Span> spans = Tokens(line, pos);
  std::vector<std::string_view> tokens;
  for (const Span& span : spans) tokens.push_back(line.substr(span.begin, span.end - span.begin));
  // Find the size, then the date; at least one field (links or owner) before the size, and
  // something after the date for the name.
  for (std::size_t i = 2; i + 1 < tokens.size(); ++i) {
    std::int64_t size = 0;
    CalendarTime t;
    std::size_t dateEnd = 0;  // index of the date's last token
    if (!ToNumber(tokens[i - 1], size) || !UnixDate(tokens, i, now, t, dateEnd)) continue;
    const std::size_t nameBegin = spans[dateEnd].end + 1;
    if (nameBegin >= line.size()) return false;
    std::string_view name = line.substr(nameBegin);
    std::string_view target;
    if (kind == FtpEntryKind::Link) {
      const std::size_t arrow = name.find(" -> ");
      if (arrow != std::string_view::npos) {
        target = name.substr(arrow + 4);
        name = name.substr(0, arrow);
      }
    }
    if (name.empty()) return false;
    entry.name.assign(name);
    entry.kind = kind;
    entry.modified = t;
    entry.size = size;
    entry.linkTarget.assign(target);
    return true;
  }
  return false;
}

bool ParseMsdos(std::string_view line, FtpListEntry& entry) {
  // Date: MM-DD-YY or MM-DD-YYYY.
  if (line.size() < 8 || line[2] != '-' || line[5] != '-') return false;
  CalendarTime t;
  std::size_t pos = 6;
  while (pos < line.size() && IsDigit(line[pos])) ++pos;
  const std::size_t yearDigits = pos - 6;
  if (!ToSmall(line.substr(0, 2), 2, t.month) || !ToSmall(line.substr(3, 2), 2, t.day) ||
      (yearDigits != 2 && yearDigits != 4) || !ToSmall(line.substr(6, yearDigits), 4, t.year))
    return false;
  if (yearDigits == 2) t.year += t.year < 70 ? 2000 : 1900;

  // Time: hh:mm with an optional AM or PM.
  std::size_t b = pos;
  while (pos < line.size() && IsBlank(line[pos])) ++pos;
  if (pos == b) return false;
  b = pos;
  while (pos < line.size() && !IsBlank(line[pos])) ++pos;
  std::string_view clock = line.substr(b, pos - b);
  int half = 0;  // 1: AM, 2: PM
  if (clock.size() > 2) {
    const std::string_view suffix = clock.substr(clock.size() - 2);
    if (suffix == "AM" || suffix == "am") half = 1;
    if (suffix == "PM" || suffix == "pm") half = 2;
    if (half != 0) clock.remove_suffix(2);
  }
  if (!ParseClock(clock, t.hour, t.minute)) return false;
  if (half != 0) {
    if (t.hour < 1 || t.hour > 12) return false;
    t.hour = (t.hour % 12) + (half == 2 ? 12 : 0);
  }
  if (!platform::IsValidCalendarTime(t)) return false;

  // <DIR> or the size, then the name.
  b = pos;
  while (pos < line.size() && IsBlank(line[pos])) ++pos;
  if (pos == b) return false;
  b = pos;
  while (pos < line.size() && !IsBlank(line[pos])) ++pos;
  const std::string_view field = line.substr(b, pos - b);
  std::int64_t size = -1;
  std::size_t nameBegin;
  if (field == "<DIR>") {
    std::size_t blanks = 0;
    while (pos + blanks < line.size() && IsBlank(line[pos + blanks])) ++blanks;
    nameBegin = pos + (blanks >= 10 ? 10 : blanks);
  } else {
    if (!ToNumber(field, size) || pos >= line.size()) return false;
    nameBegin = pos + 1;
  }
  if (nameBegin >= line.size()) return false;
  entry.name.assign(line.substr(nameBegin));
  entry.kind = field == "<DIR>" ? FtpEntryKind::Directory : FtpEntryKind::File;
  entry.modified = t;
  entry.size = size;
  entry.linkTarget.clear();
  return true;
}

// Lines that hold no entry in any listing: blank ones and the "total" line.
bool IsFillerLine(std::string_view line) {
  std::size_t i = 0;
  while (i < line.size() && IsBlank(line[i])) ++i;
  if (i == line.size()) return true;
  const std::string_view rest = line.substr(i);
  return rest.size() > 6 && rest.substr(0, 6) == "total " && AllDigits(rest.substr(6));
}

// Splits `reply` into lines as ParseFtpListing does and hands each to `read`.
template <typename Read>
void ForEachLine(std::string_view reply, Read read) {
  const bool crlf = reply.find("\r\n") != std::string_view::npos;
  const std::string_view separator = crlf ? std::string_view("\r\n") : std::string_view("\n");
  std::size_t pos = 0;
  while (pos < reply.size()) {
    std::size_t end = reply.find(separator, pos);
    if (end == std::string_view::npos) end = reply.size();
    read(reply.substr(pos, end - pos));
    pos = end + separator.size();
  }
}

bool ParseMachineLine(std::string_view line, FtpListEntry& entry) {
  const std::size_t blank = line.find(' ');
  if (blank == std::string_view::npos || blank + 1 >= line.size()) return false;
  std::string_view facts = line.substr(0, blank);
  FtpListEntry e;
  e.name = std::string(line.substr(blank + 1));
  bool typed = false;
  while (!facts.empty()) {
    const std::size_t semi = facts.find(';');
    const std::string_view fact = facts.substr(0, semi);
    facts = semi == std::string_view::npos ? std::string_view() : facts.substr(semi + 1);
    const std::size_t eq = fact.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string_view key = fact.substr(0, eq), value = fact.substr(eq + 1);
    if (EqualNoCase(key, "type")) {
      if (EqualNoCase(value, "file"))
        e.kind = FtpEntryKind::File;
      else if (EqualNoCase(value, "dir"))
        e.kind = FtpEntryKind::Directory;
      else if (EqualNoCase(value, "OS.unix=symlink") || EqualNoCase(value, "OS.unix=slink"))
        e.kind = FtpEntryKind::Link;
      else
        return false;  // cdir, pdir, devices
      typed = true;
    } else if (EqualNoCase(key, "size")) {
      std::int64_t size = 0;
      if (ToNumber(value, size)) e.size = size;
    } else if (EqualNoCase(key, "modify")) {
      long long seconds = 0;
      if (ParseUtcStamp(value, seconds)) {
        e.modifiedUtc = UtcStamp(seconds);
        e.modified = platform::CalendarFromSeconds(seconds);
      }
    }
  }
  if (!typed) return false;
  entry = std::move(e);
  return true;
}

}  // namespace

std::string UtcStamp(long long seconds) {
  const CalendarTime t = platform::CalendarFromSeconds(seconds);
  char text[32];
  std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
  return text;
}

bool ParseUtcStamp(std::string_view stamp, long long& seconds) {
  if (stamp.size() < 14 || !AllDigits(stamp.substr(0, 14))) return false;
  CalendarTime t;
  const auto field = [&stamp](std::size_t at, std::size_t n) {
    int v = 0;
    for (std::size_t i = at; i < at + n; ++i) v = v * 10 + (stamp[i] - '0');
    return v;
  };
  t.year = field(0, 4);
  t.month = field(4, 2);
  t.day = field(6, 2);
  t.hour = field(8, 2);
  t.minute = field(10, 2);
  t.second = field(12, 2);
  if (!platform::IsValidCalendarTime(t) || t.second > 59) return false;
  seconds = platform::SecondsSinceEpoch(t);
  return true;
}

// Three digits, then a blank, a dash or nothing: a line such as a server's reply has.
bool LooksLikeReplyLine(std::string_view line) {
  return line.size() >= 3 && IsDigit(line[0]) && IsDigit(line[1]) && IsDigit(line[2]) &&
         (line.size() == 3 || line[3] == ' ' || line[3] == '-');
}

// Appends `line` to the name of the entry read just before it when it is the rest of that name
// (see the header); true when it was.
bool ContinuesName(std::vector<FtpListEntry>& entries, bool afterEntry, std::string_view separator,
                   std::string_view line) {
  if (!afterEntry || entries.back().kind == FtpEntryKind::Link || !LooksLikeReplyLine(line)) return false;
  entries.back().name.append(separator).append(line);
  return true;
}

std::vector<FtpListEntry> ParseMachineListing(std::string_view reply, std::string* firstUnreadable) {
  std::vector<FtpListEntry> entries;
  const std::string_view separator =
      reply.find("\r\n") != std::string_view::npos ? std::string_view("\r\n") : std::string_view("\n");
  bool afterEntry = false;
  ForEachLine(reply, [&](std::string_view line) {
    FtpListEntry entry;
    const bool read = ParseMachineLine(line, entry);
    if (read)
      entries.push_back(std::move(entry));
    else if (ContinuesName(entries, afterEntry, separator, line))
      return;
    else if (firstUnreadable != nullptr && firstUnreadable->empty() && !IsFillerLine(line) &&
             line.find("type=") == std::string_view::npos && line.find("Type=") == std::string_view::npos)
      firstUnreadable->assign(line.substr(0, kQuotedLineMax));
    afterEntry = read;
  });
  return entries;
}

bool ParseFtpListLine(std::string_view line, const CalendarTime& now, FtpListEntry& entry) {
  if (line.empty()) return false;
  if (IsDigit(line[0])) return ParseMsdos(line, entry);
  return ParseUnix(line, now, entry);
}

std::vector<FtpListEntry> ParseFtpListing(std::string_view reply, const CalendarTime& now,
                                          std::string* firstUnreadable) {
  const bool crlf = reply.find("\r\n") != std::string_view::npos;
  const std::string_view separator = crlf ? std::string_view("\r\n") : std::string_view("\n");
  std::vector<FtpListEntry> entries;
  std::size_t pos = 0;
  bool afterEntry = false;
  while (pos < reply.size()) {
    std::size_t end = reply.find(separator, pos);
    if (end == std::string_view::npos) end = reply.size();
    FtpListEntry entry;
    const std::string_view line = reply.substr(pos, end - pos);
    pos = end + separator.size();
    const bool read = ParseFtpListLine(line, now, entry);
    if (read)
      entries.push_back(std::move(entry));
    else if (ContinuesName(entries, afterEntry, separator, line))
      continue;
    else if (firstUnreadable != nullptr && firstUnreadable->empty() && !IsFillerLine(line))
      firstUnreadable->assign(line.substr(0, kQuotedLineMax));
    afterEntry = read;
  }
  return entries;
}

}  // namespace kestrel
