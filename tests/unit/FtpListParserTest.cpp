// The listing parser on LIST replies captured byte for byte from vsftpd, ProFTPD, Pure-FTPd and
// pyftpdlib, on a hand-written MS-DOS style sample, and on the odd lines those do not show.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "playlists/FtpListParser.h"
#include "playlists/FtpReply.h"
#include "support/TempDir.h"

using namespace kestrel;
using platform::CalendarTime;

namespace {

// The captures were taken on 2026-12-07.
const CalendarTime kCaptureDay{2026, 12, 7, 12, 0, 0};

std::string Listing(const std::string& name) {
  const std::string bytes = test::TempDir::ReadFile(std::string(KESTREL_LISTINGS_DIR) + "/" + name);
  EXPECT_FALSE(bytes.empty()) << name;
  return bytes;
}

std::vector<std::string> Names(const std::vector<FtpListEntry>& entries) {
  std::vector<std::string> names;
  for (const auto& e : entries) names.push_back(e.name);
  return names;
}

const FtpListEntry* Find(const std::vector<FtpListEntry>& entries, const std::string& name) {
  for (const auto& e : entries)
    if (e.name == name) return &e;
  return nullptr;
}

CalendarTime At(int y, int mo, int d, int h = 0, int mi = 0) { return {y, mo, d, h, mi, 0}; }

std::vector<FtpListEntry> Parse(const std::string& text, CalendarTime now = kCaptureDay) {
  return ParseFtpListing(text, now);
}

// Sections of the hand-written MS-DOS sample, split at its "# " header lines.
std::vector<std::string> MsdosSections() {
  const std::string all = Listing("msdos-iis-style.txt");
  std::vector<std::string> sections;
  std::size_t pos = 0;
  while ((pos = all.find("# ", pos)) != std::string::npos) {
    const std::size_t body = all.find("\r\n", pos) + 2;
    const std::size_t next = all.find("# ", body);
    sections.push_back(all.substr(body, (next == std::string::npos ? all.size() : next) - body));
    pos = body;
  }
  return sections;
}

}  // namespace

TEST(FtpListParser, PlayListDirectoryOfEveryCapturedServer) {
  const std::vector<std::string> all = {"01 Intro.mp3", "02  Two  Spaces.mp3", "big.mp3",
                                        "carriage\rreturn.mp3", "future.mp3", "link.mp3",
                                        "new\nline.mp3", "notes.txt", "old.mp3",
                                        "\xC3\x9Cn\xC3\xAF" "c\xC3\xB6" "d\xC3\xA9.mp3"};
  // Pure-FTPd leaves the names with CR or LF out of its listings.
  std::vector<std::string> pure = all;
  pure.erase(pure.begin() + 6);
  pure.erase(pure.begin() + 3);

  for (const std::string file : {"vsftpd-lobby.txt", "proftpd-lobby.txt", "pure-ftpd-lobby.txt",
                                 "pyftpdlib-lobby.txt", "pyftpdlib-lobby-a.txt"}) {
    SCOPED_TRACE(file);
    const auto entries = Parse(Listing(file));
    EXPECT_EQ(Names(entries), file.rfind("pure", 0) == 0 ? pure : all);

    const FtpListEntry* intro = Find(entries, "01 Intro.mp3");
    ASSERT_NE(intro, nullptr);
    EXPECT_EQ(intro->kind, FtpEntryKind::File);
    EXPECT_EQ(intro->modified, At(2026, 12, 1, 10, 2));
    EXPECT_EQ(intro->size, 1234);

    const FtpListEntry* big = Find(entries, "big.mp3");
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(big->size, 5000000000LL);
    EXPECT_EQ(big->modified, At(2026, 12, 1, 10, 2));

    const FtpListEntry* link = Find(entries, "link.mp3");
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->kind, FtpEntryKind::Link);
    EXPECT_EQ(link->linkTarget, "01 Intro.mp3");

    EXPECT_EQ(Find(entries, "notes.txt")->modified, At(2026, 3, 10));
    EXPECT_EQ(Find(entries, "old.mp3")->modified, At(2019, 3, 4));
    // Next month: vsftpd shows the year, the others a time, which must not read as last January.
    const bool yearShown = file.rfind("vsftpd", 0) == 0;
    EXPECT_EQ(Find(entries, "future.mp3")->modified,
              yearShown ? At(2027, 1, 15) : At(2027, 1, 15, 12, 0));
  }
}

TEST(FtpListParser, RootDirectoryKeepsBlanksAndTellsDirectoriesFromLinksByTypeOnly) {
  const std::vector<std::string> names = {"  leading blanks", "Caf\xC3\xA9 \xCE\xA9", "Empty",
                                          "Lobby Music", "Only Sub", "dash-name -> not a link",
                                          "lobby music", "stray.mp3", "x"};
  for (const std::string file :
       {"vsftpd-root.txt", "proftpd-root.txt", "pure-ftpd-root.txt", "pyftpdlib-root.txt"}) {
    SCOPED_TRACE(file);
    const auto entries = Parse(Listing(file));
    EXPECT_EQ(Names(entries), names);
    for (const auto& e : entries) {
      EXPECT_EQ(e.kind, e.name == "stray.mp3" ? FtpEntryKind::File : FtpEntryKind::Directory)
          << e.name;
      EXPECT_TRUE(e.linkTarget.empty());
    }
    EXPECT_EQ(Find(entries, "stray.mp3")->modified, At(2026, 11, 20, 14, 30));
  }
}

TEST(FtpListParser, DotEntriesOfListAllAreDirectoriesTheCallerSkips) {
  for (const std::string file : {"vsftpd-lobby-a.txt", "proftpd-lobby-a.txt", "pure-ftpd-lobby-a.txt"}) {
    SCOPED_TRACE(file);
    const auto entries = Parse(Listing(file));
    ASSERT_GE(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, ".");
    EXPECT_EQ(entries[1].name, "..");
    EXPECT_EQ(entries[1].kind, FtpEntryKind::Directory);
  }
}

TEST(FtpListParser, MsdosStyleWithTwoAndFourDigitYears) {
  const auto sections = MsdosSections();
  ASSERT_EQ(sections.size(), 4u);
  for (int longYears = 0; longYears < 2; ++longYears) {
    SCOPED_TRACE(longYears ? "4-digit years" : "2-digit years");
    const auto root = Parse(sections[2 * longYears]);
    EXPECT_EQ(Names(root), (std::vector<std::string>{"  leading blanks", "Caf\xC3\xA9 \xCE\xA9",
                                                     "Empty", "Lobby Music", "lobby music",
                                                     "Only Sub", "stray.mp3", "x"}));
    EXPECT_EQ(Find(root, "Empty")->kind, FtpEntryKind::Directory);
    EXPECT_EQ(Find(root, "Empty")->modified, At(2026, 11, 20, 14, 30));
    EXPECT_EQ(Find(root, "stray.mp3")->kind, FtpEntryKind::File);
    EXPECT_EQ(Find(root, "stray.mp3")->size, 777);

    const auto lobby = Parse(sections[2 * longYears + 1]);
    EXPECT_EQ(lobby.size(), 7u);
    EXPECT_EQ(Find(lobby, "02  Two  Spaces.mp3")->size, 2048);
    EXPECT_EQ(Find(lobby, "big.mp3")->size, 5000000000LL);
    EXPECT_EQ(Find(lobby, "future.mp3")->modified, At(2027, 1, 15, 12, 0));  // 12:00PM is noon
    EXPECT_EQ(Find(lobby, "old.mp3")->modified, At(2019, 3, 4, 0, 0));       // 12:00AM, midnight
    EXPECT_EQ(Find(lobby, "notes.txt")->modified, At(2026, 3, 10, 9, 15));
  }
}

TEST(FtpListParser, TotalLineBlankLinesAndJunkAddNoEntries) {
  const std::string plain = Listing("proftpd-root.txt");
  const std::size_t secondLine = plain.find("\r\n") + 2;
  const std::string decorated = "total 36\r\n\r\n" + plain.substr(0, secondLine) + "\r\n" +
                                plain.substr(secondLine) + "   \r\nls: cannot open 'y'\r\n";
  EXPECT_EQ(Names(Parse(decorated)), Names(Parse(plain)));
  EXPECT_TRUE(Parse("").empty());
  EXPECT_TRUE(Parse("total 0\r\n").empty());
}

TEST(FtpListParser, NameWithLineFeedInAListingWithoutCrLf) {
  // Servers end lines with CR LF, which keeps the raw LF inside its name. A server ending lines
  // with LF alone splits the name: the first piece reads as an entry for that file, under the
  // part of its name before the LF; the second piece cannot be read and is skipped.
  std::string lfOnly;
  for (char c : Listing("vsftpd-lobby.txt"))
    if (c != '\r') lfOnly += c;
  const auto names = Names(Parse(lfOnly));
  EXPECT_EQ(names.size(), 10u);
  EXPECT_EQ(names[6], "new");
  EXPECT_EQ(names[7], "notes.txt");
  EXPECT_EQ(names[3], "carriagereturn.mp3");  // the CR was dropped with the others above
}

// A name holding CR LF breaks its line; a piece after it that reads like a line of a reply (as a
// name made to end a STAT listing early has) is the rest of the name, in both kinds of listing.
TEST(FtpListParser, NameBrokenByCrLfBeforeAReplyLineIsJoinedAgain) {
  const auto listed = Parse(
      "-rw-r--r-- 1 ftp ftp 10 Dec 01 10:02 a.mp3\r\n"
      "-rw-r--r-- 1 ftp ftp 10 Dec 01 10:02 b\r\n213 End\r\n"
      "-rw-r--r-- 1 ftp ftp 10 Dec 01 10:02 c.mp3\r\n");
  EXPECT_EQ(Names(listed), (std::vector<std::string>{"a.mp3", "b\r\n213 End", "c.mp3"}));
  const auto machine = ParseMachineListing("type=file;size=1; b\r\n213 End\r\ntype=file;size=1; c.mp3\r\n");
  EXPECT_EQ(Names(machine), (std::vector<std::string>{"b\r\n213 End", "c.mp3"}));
}

TEST(FtpListParser, UnixLinesTheCapturesDoNotShow) {
  const auto entries = Parse(
      "-rw-r--r--+ 1 ftp ftp 10 Dec 01 10:02 acl mark.mp3\r\n"
      "-rw-r--r-- 1 ftp 20 Dec  1  2025 no group.mp3\r\n"
      "crw-rw-rw- 1 root root 1, 3 Dec 01 10:02 null\r\n"          // a device: no entry
      "prw-r--r-- 1 root root 0 Dec 01 10:02 fifo\r\n"             // a pipe: no entry
      "-rw-r--r-- 1 ftp ftp 10 Feb 30 10:02 no such day.mp3\r\n"   // impossible date
      "-rw-r--r-- 1 ftp ftp 10 Dec 01 25:02 no such hour.mp3\r\n"
      "-rw-r--r-- 1 ftp ftp 99999999999999999999 Dec 01 10:02 too big.mp3\r\n"
      "-rw-r--r-- 1 ftp ftp 10 Dec 01 10:02 \r\n"                  // no name
      "lrwxrwxrwx 1 ftp ftp 5 Dec 01 10:02 dangling\r\n"
      "drwxr-xr-x 2 Jan ftp 4096 Nov 20 14:30 owner named Jan\r\n");
  EXPECT_EQ(Names(entries), (std::vector<std::string>{"acl mark.mp3", "no group.mp3", "dangling",
                                                      "owner named Jan"}));
  EXPECT_EQ(entries[1].modified, At(2025, 12, 1));
  EXPECT_EQ(entries[2].kind, FtpEntryKind::Link);
  EXPECT_TRUE(entries[2].linkTarget.empty());
  EXPECT_EQ(entries[3].kind, FtpEntryKind::Directory);
}

TEST(FtpListParser, TimeWithoutYearTakesTheNearestYear) {
  const std::string dec30 = "-rw-r--r-- 1 ftp ftp 1 Dec 30 23:00 a\r\n";
  const std::string jan02 = "-rw-r--r-- 1 ftp ftp 1 Jan 02 08:00 a\r\n";
  const std::string feb29 = "-rw-r--r-- 1 ftp ftp 1 Feb 29 08:00 a\r\n";
  // Just after new year, December is last year; just before it, January is next year.
  EXPECT_EQ(Parse(dec30, At(2027, 1, 3))[0].modified.year, 2026);
  EXPECT_EQ(Parse(jan02, At(2026, 12, 28))[0].modified.year, 2027);
  EXPECT_EQ(Parse(jan02, At(2026, 1, 3))[0].modified.year, 2026);
  // Five and a half months back beats six and a half ahead.
  EXPECT_EQ(Parse(dec30, At(2026, 6, 15))[0].modified.year, 2025);
  // 29 February only exists in a leap year.
  EXPECT_EQ(Parse(feb29, At(2025, 3, 1))[0].modified.year, 2024);
}

TEST(FtpListParser, MsdosLinesTheSampleDoesNotShow) {
  const auto entries = Parse(
      "12-01-26  10:02                  10 24-hour clock.mp3\r\n"
      "12-01-26  00:30AM                10 no hour zero in 12-hour time\r\n"
      "13-01-26  10:02AM                10 month 13\r\n"
      "12-01-26  10:02AM       <DIR>    narrow padding\r\n"
      "12-01-26  10:02AM          1O bad size\r\n"
      "12-01-26  10:02PM                10 \r\n");
  EXPECT_EQ(Names(entries), (std::vector<std::string>{"24-hour clock.mp3", "narrow padding"}));
  EXPECT_EQ(entries[0].modified, At(2026, 12, 1, 10, 2));
}

TEST(FtpListParser, IsoDateStylesOfLs) {
  const auto entries = Parse(
      "drwxr-xr-x 2 ftp ftp 4096 2024-01-31 12:05 long iso dir\r\n"
      "-rw-r--r-- 1 ftp ftp 10 2024-02-29 23:59:59.123456789 +0100 full iso.mp3\r\n"
      "-rw-r--r-- 1 ftp ftp 10 2024-02-30 10:00 no such day.mp3\r\n"
      "-rw-r--r-- 1 ftp ftp 10 2024-01-01 10:00:00.5 0100 zone without sign.mp3\r\n"
      "-rw-r--r-- 1 ftp ftp 10 2024-01-01 10:00  leading blank.mp3\r\n");
  EXPECT_EQ(Names(entries), (std::vector<std::string>{"long iso dir", "full iso.mp3",
                                                      " leading blank.mp3"}));
  EXPECT_EQ(entries[0].kind, FtpEntryKind::Directory);
  EXPECT_EQ(entries[0].modified, At(2024, 1, 31, 12, 5));
  EXPECT_EQ(entries[1].modified, At(2024, 2, 29, 23, 59));
}

TEST(FtpListParser, FirstUnreadableLineIsReportedBesideTheEntries) {
  std::string unreadable;
  EXPECT_TRUE(ParseFtpListing("total 0\r\n\r\n", kCaptureDay, &unreadable).empty());
  EXPECT_EQ(unreadable, "");
  EXPECT_TRUE(
      ParseFtpListing("total 2\r\ntype=dir; A\r\ntype=file; b\r\n", kCaptureDay, &unreadable)
          .empty());
  EXPECT_EQ(unreadable, "type=dir; A");
  unreadable.clear();
  ParseFtpListing(std::string(500, 'x'), kCaptureDay, &unreadable);
  EXPECT_EQ(unreadable.size(), 200u);
}

// A machine listing (MLSD): facts in any order and letter case, names taken whole, the entries
// for the directory itself and its parent left out, times to the second in UTC.
TEST(FtpListParser, MachineListingGivesExactSizesAndTimes) {
  const std::string reply =
      "type=cdir;modify=20240101120000; /Jazz\r\n"
      "type=pdir;modify=20240101120000; /\r\n"
      "type=file;size=3000;modify=20190304120000.123;perm=r; a b;c.mp3\r\n"
      "Size=7;Type=File;Modify=20240229235959; song\r\n"
      "type=dir;modify=20240101120000; Live\r\n"
      "type=OS.unix=symlink;modify=20240101120000; link\r\n"
      "size=1; no type\r\n";
  std::string unreadable;
  const std::vector<FtpListEntry> entries = ParseMachineListing(reply, &unreadable);
  ASSERT_EQ(Names(entries), (std::vector<std::string>{"a b;c.mp3", "song", "Live", "link"}));
  EXPECT_EQ(entries[0].size, 3000);
  EXPECT_EQ(entries[0].modifiedUtc, "20190304120000");
  EXPECT_EQ(entries[1].modifiedUtc, "20240229235959");
  EXPECT_TRUE(entries[1].modified == (CalendarTime{2024, 2, 29, 23, 59, 59}));
  EXPECT_EQ(entries[2].kind, FtpEntryKind::Directory);
  EXPECT_EQ(entries[3].kind, FtpEntryKind::Link);
  EXPECT_EQ(unreadable, "size=1; no type");
  long long seconds = 0;
  ASSERT_TRUE(ParseUtcStamp(entries[0].modifiedUtc, seconds));
  EXPECT_EQ(seconds, 1551700800);
  EXPECT_EQ(UtcStamp(seconds), "20190304120000");
  EXPECT_FALSE(ParseUtcStamp("20190230120000", seconds));
}

TEST(FtpListParser, ReplyToMlstGivesItsOneEntry) {
  struct Case {
    FtpReply reply;
    bool read;
    std::int64_t size;  // -1: no entry
  };
  const Case cases[] = {
      {{250, "250-Listing a b.mp3\n type=file;size=7;modify=20240229235959; /Jazz/a b.mp3\n250 End."}, true, 7},
      {{250, "250-Start\n Type=dir;Modify=20240101120000; /Jazz\n250 End"}, true, -1},
      {{550, "550 No such file or directory."}, true, -1},
      {{500, "500 Command \"MLST\" not understood."}, false, -1},
      {{250, "250 Listed."}, false, -1},
      {{250, "250-Listing\n size=7; no type\n250 End."}, false, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reply.text);
    std::optional<FtpListEntry> entry;
    EXPECT_EQ(EntryOfReply(c.reply, entry), c.read);
    const bool file = entry && entry->kind == FtpEntryKind::File;
    EXPECT_EQ(file ? entry->size : -1, c.size);
    if (file) {
      EXPECT_EQ(entry->modifiedUtc, "20240229235959");
    }
  }
}
