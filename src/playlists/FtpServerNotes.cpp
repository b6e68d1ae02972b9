#include "playlists/FtpServerNotes.h"

#include <cstdint>
#include <cstdio>

#include "core/AppContext.h"
#include "platform/ProfileIni.h"
#include "playlists/FtpExtrasProbe.h"

namespace kestrel {

namespace {

// A server's greeting and login reply, as a short fixed-width text for the file.
std::string Fingerprint(const std::string& identity) {
  std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (const unsigned char c : identity) hash = (hash ^ c) * 1099511628211ull;
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

// The features FEAT offered, as the file holds them ("MDTM MFMT MLST").
std::string FeaturesText(const FtpFeatures& features) {
  std::string text;
  for (const auto& [on, name] : {std::pair{features.mdtm, "MDTM"}, std::pair{features.mfmt, "MFMT"},
                                 std::pair{features.machineListing, "MLST"}})
    if (on) text += text.empty() ? name : std::string(" ") + name;
  return text;
}

// The part of a note kept between runs: what the probe and the listings found.
std::string KeptText(const FtpServerNote& note) {
  return FeaturesText(note.features) + "|" + std::to_string(note.pipelineBytes) + "|" +
         (note.statListing ? "1" : "0") + "|" + std::to_string(static_cast<int>(note.listingWay));
}

bool ReadNumber(const std::string& text, long long low, long long high, long long& value) {
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  value = std::stoll(text);
  return value >= low && value <= high;
}

}  // namespace

void FtpServerNotes::Change(const std::string& server, const std::function<void(FtpServerNote&)>& change) {
  std::lock_guard<std::mutex> lock(mutex_);
  FtpServerNote& note = notes_[server];
  change(note);
  if (note.probed) Keep(server, note);
}

void FtpServerNotes::KeepIn(const std::string& file) {
  std::lock_guard<std::mutex> lock(mutex_);
  file_ = file;
}

void FtpServerNotes::LoggedIn(const std::string& server, const std::string& identity) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (file_.empty()) return;
  identities_.emplace(server, identity);
  FtpServerNote& note = notes_[server];
  if (note.probed || forgotten_.count(server) != 0) return;
  const platform::ProfileIndex ini(file_);
  if (ini.Read(server, "Identity", "") != Fingerprint(identity)) return;
  long long bytes = 0, stat = 0, way = 0;
  if (!ReadNumber(ini.Read(server, "PipelineBytes", ""), 0, static_cast<long long>(FtpExtrasProbe::kBytes), bytes) ||
      !ReadNumber(ini.Read(server, "StatListing", ""), 0, 1, stat) ||
      !ReadNumber(ini.Read(server, "ListingWay", ""), 0, static_cast<int>(FtpListingWay::DataConnection), way))
    return;
  const std::string features = " " + ini.Read(server, "Features", "") + " ";
  note.probed = true;
  note.features.mdtm = features.find(" MDTM ") != std::string::npos;
  note.features.mfmt = features.find(" MFMT ") != std::string::npos;
  note.features.machineListing = features.find(" MLST ") != std::string::npos;
  note.pipelineBytes = static_cast<std::size_t>(bytes);
  note.statListing = stat == 1;
  note.listingWay = static_cast<FtpListingWay>(way);
  kept_[server] = KeptText(note);
}

void FtpServerNotes::Forget(const std::string& server) {
  std::lock_guard<std::mutex> lock(mutex_);
  notes_[server] = FtpServerNote{};
  forgotten_.insert(server);
  kept_.erase(server);
}

void FtpServerNotes::Keep(const std::string& server, const FtpServerNote& note) {
  const auto identity = identities_.find(server);
  const std::string text = KeptText(note);
  if (file_.empty() || identity == identities_.end() || kept_[server] == text) return;
  kept_[server] = text;
  std::string error;  // not written: the next run probes again
  platform::WriteProfileEntries(file_,
                                {{server, "Identity", Fingerprint(identity->second)},
                                 {server, "Features", FeaturesText(note.features)},
                                 {server, "PipelineBytes", std::to_string(note.pipelineBytes)},
                                 {server, "StatListing", note.statListing ? "1" : "0"},
                                 {server, "ListingWay", std::to_string(static_cast<int>(note.listingWay))}},
                                platform::kSettingsFileMode, error);
}

FtpServerNotes& ServerNotes(AppContext& context) {
  FtpServerNotes& notes = context.RunState<FtpServerNotes>();
  notes.KeepIn(context.SettingsFile(kServerNotesFile));
  return notes;
}

}  // namespace kestrel
