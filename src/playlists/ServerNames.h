// Names on the player's FTP server: which names of a listing the program may send back, which
// names it may give to the server, and the temporary names of its own transfers.
//
// A name from a listing is sent back in a command only when it names one entry of that very
// directory: "." and "..", and names holding "/" or "\" (a path, which a hostile or broken server
// could use to steer a deletion into another directory) never are. ReadServerListing is the one
// place where a listing is sorted out; every operation takes its entries from there.
//
// Numbering: the player counts every file of a play list's directory. So every file entry takes
// its number in listing order, also one the program does not show (a name holding "\", which
// the program will not send back, or an unfinished transfer); the songs after it keep the numbers
// the player gives them. An entry whose name holds "/" can be no file of the directory and takes
// no number. A directory whose name is not usable is no play list: nothing is done inside it. But
// the player numbers every folder of the root that holds a file, so a folder whose name holds "\"
// keeps its place in the play lists' numbering (PlayListStore reads its listing for that alone).
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/AppContext.h"
#include "playlists/FtpListParser.h"

namespace kestrel {

// True for a name of a listing that may be sent back: not empty, not "." or "..", holding
// neither "/" nor "\" nor CR LF (which only a name that broke its listing's lines can hold, see
// ParseFtpListing). (A name holding a lone CR or LF is kept, but the FTP client never sends it.)
bool IsUsableServerName(std::string_view name);

// Why `name` (of a local file or folder, or typed by the user) cannot be given to the server as
// the name of a song or play list; empty when it can (an empty name is the caller's to judge).
// Names holding "/", "\", CR or LF, "." and "..", and names that are not valid UTF-8 are refused:
// servers store them mangled, and the mangled name never matches the local one again. So are
// names of the form of TransferName, which listings hide and remove.
std::string NewServerNameProblem(std::string_view name);

struct ServerListing {
  struct Entry {
    FtpListEntry entry;
    std::int32_t fileNumber = 0;  // files: the number the player gives it (1, 2 ...); else 0
  };
  std::vector<Entry> entries;        // usable entries in listing order
  std::vector<std::string> unusable;  // names that are never sent back ("." and ".." aside)
  std::int32_t files = 0;             // the files as the player counts them
};

// Sorts out one directory's listing as described above.
ServerListing ReadServerListing(std::vector<FtpListEntry> entries);

// The message telling that `where` (a directory) lists names that are left alone; empty when
// there are none.
std::string UnusableNamesText(const std::string& where, const std::vector<std::string>& names);

// The temporary name a transfer stores its bytes under until they are complete:
// "kestrel-IIIIIIII-PPPPPPPP-TTTTTTTT-RRRRRRRR.part" with this installation (InstallationId),
// this process, the start time (seconds since 1970 by this computer's clock) and a random number,
// each as eight lower-case hex digits. Always 48 bytes, whatever the song's name. Names that
// earlier versions made, with a hash of the computer's name in place of the installation, have
// the same form and are read as names of another installation.
class TransferName {
 public:
  static constexpr std::size_t kLength = 48;
  // After this long, an unfinished transfer of another installation is taken to be abandoned.
  static constexpr std::int64_t kAbandonedAfterSeconds = 60 * 60;

  // A name for a transfer of this process of the installation `installation`.
  static std::string New(std::uint32_t installation);
  // True for a name of the form above.
  static bool Is(std::string_view name);
  // True when the transfer that stored `name` no longer runs. A transfer of this installation
  // (`installation`) was made by this process (which runs no transfer while it reads listings)
  // or by a process of this computer that has ended. A transfer of another installation (of
  // another computer, or of a copy of the program with Settings of its own) started more than
  // kAbandonedAfterSeconds before `now`, and its file has not been written to for that long
  // either: `lastWritten` gives the file's modification time by the server's clock (seconds
  // since 1970, UTC; -1 when not known) and is asked only then. So a computer whose clock is
  // behind does not lose its running upload to another, as long as the player's clock is right.
  static bool Abandoned(std::string_view name, std::time_t now, std::uint32_t installation,
                        const std::function<std::int64_t()>& lastWritten = {});
};

// This installation's identity for the names of its transfers: a random number made once and
// kept in the Settings folder (kInstallationIdName, eight hex digits). Computers cloned from one
// disk image share their host name and machine id, but each installation has its own Settings.
// Read once in the context's run; when the file can be neither read nor written, a number made
// for this run alone (the program's other runs then take its transfers for another
// installation's, and leave them alone for longer).
inline constexpr const char* kInstallationIdName = "installation.id";
std::uint32_t InstallationId(AppContext& context);

}  // namespace kestrel
