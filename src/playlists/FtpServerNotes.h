// What a program finds out about the FTP servers it talks to and keeps for the rest of its run:
// which extras a server handles (FEAT, commands sent at once) once they have been tried, the
// commands it has carried out, and the fallbacks a server forced (listings over a data
// connection, modification times it does not keep). Every connection of every client given the
// same notes starts from them (a program keeps one FtpServerNotes in its AppContext, see
// AppContext::RunState), so a probe is paid once a server and a fallback holds from the moment
// it was found. Safe on any thread.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "playlists/FtpListingChoice.h"

namespace kestrel {

class AppContext;

// The file in the Settings folder that keeps what probes found of the servers met.
inline constexpr const char* kServerNotesFile = "ftpServerNotes.ini";

// What the server offers beyond RFC 959, from its FEAT reply.
struct FtpFeatures {
  bool mdtm = false;            // MDTM: a file's modification time
  bool mfmt = false;            // MFMT: sets a file's modification time
  bool machineListing = false;  // MLSD with the type, size and modify facts given
};

struct FtpServerNote {
  bool probed = false;            // FEAT and sending commands at once have been tried
  FtpFeatures features;           // what FEAT offered; nothing when FEAT was refused or mishandled
  std::size_t pipelineBytes = 0;  // the most bytes one group of commands sent at once may hold
                                  // (what the probe showed the server takes); 0: one at a time
  bool statListing = true;        // false: a listing sent as the reply to STAT could not be read
  FtpListingWay listingWay = FtpListingWay::Undecided;  // the way to list, once a connection decided it
  std::string timesNotKept;       // why the server does not keep the times MFMT sets; empty when
                                  // nothing has shown that
  std::vector<std::string> answered;  // commands (upper case) the server has answered with 2xx
  int connectionLimit = 0;        // the most connections at once the server took when it
                                  // refused another login (FtpConnectionPool); 0: none refused

  // Whether commands go out several at once.
  bool Pipelining() const { return pipelineBytes > 0; }
  // Whether the server is taken to keep the modification times MFMT sets: it offers MFMT, and
  // nothing in this program's run has shown otherwise.
  bool SetsTimes() const { return features.mfmt && timesNotKept.empty(); }
};

class FtpServerNotes {
 public:
  // The note of `server` ("host:port"); a fresh one for a server not met yet.
  FtpServerNote Get(const std::string& server) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = notes_.find(server);
    return it == notes_.end() ? FtpServerNote{} : it->second;
  }
  // Changes the note of `server` in place; what a probe found is kept in the file (KeepIn).
  void Change(const std::string& server, const std::function<void(FtpServerNote&)>& change);

  // What probes find is kept in `file` (an INI file) for the program's next runs: a server met
  // again, with the same greeting and login reply, is then not probed again, and what its
  // connections found out since (a fallback) is kept too. A file that cannot be written only
  // costs the next run its probe.
  void KeepIn(const std::string& file);
  // Told at each login, before anything beyond the login is sent: `identity` is the server's
  // greeting and login reply. When nothing is known yet of `server` in this run and the file
  // holds a note kept with the same identity, that note is taken.
  void LoggedIn(const std::string& server, const std::string& identity);
  // The note of `server` taken from the file did not hold: it is dropped, and the file is not
  // asked again in this run (the server is probed afresh, and what that finds is kept).
  void Forget(const std::string& server);

 private:
  void Keep(const std::string& server, const FtpServerNote& note);

  mutable std::mutex mutex_;
  std::map<std::string, FtpServerNote> notes_;
  std::string file_;
  std::map<std::string, std::string> identities_;  // of each server logged in to
  std::map<std::string, std::string> kept_;        // what the file holds of each server, as written
  std::set<std::string> forgotten_;                // servers whose kept note did not hold
};

// The program's notes (AppContext::RunState), kept in kServerNotesFile of its Settings folder.
FtpServerNotes& ServerNotes(AppContext& context);

}  // namespace kestrel
