#include "playlists/FtpListingGroup.h"

#include <Poco/Exception.h>
#include <Poco/Timespan.h>

#include <chrono>

#include "playlists/FtpControlSession.h"
#include "playlists/FtpReply.h"

namespace kestrel {

namespace {

constexpr const char* kListWhat = "list directory";
constexpr std::size_t kSystBytes = 6;  // "SYST\r\n"

// What a reply to "STAT path" gives, or nothing when it does not fit.
std::optional<FtpDirListing> ListingOf(int code, const std::string& reply, const std::string& body) {
  FtpDirListing listing;
  if (code >= 211 && code <= 213) {
    try {
      listing.entries = ReadListingText(body);
    } catch (const FtpError& e) {
      listing.error = e;
    }
    return listing;
  }
  // STAT with a path was answered with a listing before: "unknown" now means a lost line.
  const bool refusal = (code / 100 == 4 || code / 100 == 5) && code != 500 && code != 502;
  if (!refusal) return std::nullopt;
  listing.error = FtpError(FtpError::Kind::Reply, kListWhat, code, reply);
  return listing;
}

}  // namespace

std::size_t FtpListingGroup::End(const FtpListingChoice& choice, const std::vector<std::string>& paths,
                                 std::size_t from, std::size_t maxBytes) {
  std::size_t bytes = kSystBytes, to = from;
  for (; to < paths.size() && to - from + 1 < kMaxCommands; ++to) {
    if (!IsSendableName(paths[to]) || !choice.TriesStat(paths[to])) break;
    bytes += 5 + paths[to].size() + 2;  // "STAT " path CR LF
    if (bytes > maxBytes) break;
  }
  return to;
}

bool FtpListingGroup::Read(FtpConnection& connection, const std::vector<std::string>& paths, std::size_t from,
                           std::size_t to, std::vector<FtpDirListing>& listed) {
  std::vector<std::string> lines;
  for (std::size_t i = from; i < to; ++i) lines.push_back("STAT " + paths[i]);
  lines.push_back("SYST");
  std::vector<FtpDirListing> got;
  const auto start = std::chrono::steady_clock::now();
  try {
    FtpControlSession& session = connection.Session(kListWhat);
    session.SendLines(lines);
    const Poco::Timespan first(static_cast<Poco::Timespan::TimeDiff>(connection.Timeouts().replyMs) * 1000);
    std::string reply, body;
    for (std::size_t i = from; i < to; ++i) {
      // Once the first reply is there, the others follow at once.
      const int code = session.ReadReplyWithBody(reply, body, i == from ? first : connection.QuickReplyTime());
      std::optional<FtpDirListing> listing = ListingOf(code, reply, body);
      if (!listing) return false;
      got.push_back(std::move(*listing));
    }
    const FtpReply& atLogin = connection.Login().syst;
    if (session.ReadReplyWithBody(reply, body, connection.QuickReplyTime()) != atLogin.code || !body.empty() ||
        reply != atLogin.text || session.MoreThanReplies())
      return false;
  } catch (const FtpReplyTooLarge&) {
    connection.Fail(true, kListWhat, FtpConnection::TooLargeText("listing"));
  } catch (const Poco::Exception&) {
    return false;
  }
  connection.NoteReplyTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  for (FtpDirListing& l : got) listed.push_back(std::move(l));
  return true;
}

}  // namespace kestrel
