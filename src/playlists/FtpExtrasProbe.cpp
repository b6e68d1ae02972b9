#include "playlists/FtpExtrasProbe.h"

#include <Poco/Exception.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "platform/Text.h"
#include "playlists/FtpControlSession.h"

namespace kestrel {

namespace {

// Whether the MLST facts of a FEAT line offer `fact` ("type*;size*;modify*;...").
bool FactOn(const std::string& facts, const std::string& fact) {
  return platform::UpperCase(";" + facts).find(";" + platform::UpperCase(fact) + "*;") != std::string::npos;
}

// The features the lines of a FEAT reply offer.
FtpFeatures FeaturesOf(const std::string& body) {
  FtpFeatures features;
  std::size_t pos = 0;
  while (pos < body.size()) {
    std::size_t end = body.find('\n', pos);
    if (end == std::string::npos) end = body.size();
    const std::string line = platform::TrimChars(std::string_view(body).substr(pos, end - pos), " ", "\r ");
    pos = end + 1;
    if (line.empty()) continue;
    const std::size_t blank = line.find(' ');
    const std::string name = platform::UpperCase(line.substr(0, blank));
    if (name == "MDTM") features.mdtm = true;
    if (name == "MFMT") features.mfmt = true;
    if (name == "MLST" && blank != std::string::npos) {
      const std::string facts = line.substr(blank + 1);
      features.machineListing = FactOn(facts, "type") && FactOn(facts, "size") && FactOn(facts, "modify");
    }
  }
  return features;
}

}  // namespace

FtpServerNote FtpExtrasProbe::Run(FtpConnection& first) {
  FtpConnection* connection = &first;
  FtpFeatures features;
  const bool featClear = ReadFeatures(*connection, features);
  if (!featClear) {
    features = {};
    connection = &relogin_();
  }
  const bool pipelining = ProbePipelining(*connection);
  if (!pipelining) {
    connection = &relogin_();
    // Whether FEAT left a line behind that upset the probe: asked again, with SYST after it.
    if (featClear && (features.mdtm || features.mfmt || features.machineListing)) {
      if (!ReadFeatures(*connection, features) || !SystAgain(*connection)) {
        features = {};
        relogin_();
      }
    }
  }
  FtpServerNote found;
  found.features = features;
  found.pipelineBytes = pipelining ? kBytes : 0;
  return found;
}

bool FtpExtrasProbe::ReadFeatures(FtpConnection& connection, FtpFeatures& features) {
  features = {};
  std::string reply, body;
  int code = 0;
  try {
    code = connection.Session("features").CommandWithBody("FEAT", "", reply, body, connection.QuickReplyTime());
  } catch (const Poco::Exception&) {
    return false;  // no complete reply in time, a hang-up, too much, or more than the reply
  }
  if (code == 211) features = FeaturesOf(body);
  return true;  // a server without FEAT offers nothing beyond RFC 959
}

bool FtpExtrasProbe::SystAgain(FtpConnection& connection) {
  std::string reply;
  try {
    FtpControlSession& session = connection.Session("system type");
    session.SendLines({"SYST"});
    const FtpReply& atLogin = connection.Login().syst;
    return session.ReadReply(reply, connection.QuickReplyTime()) == atLogin.code && reply == atLogin.text;
  } catch (const Poco::Exception&) {
    return false;
  }
}

bool FtpExtrasProbe::ProbePipelining(FtpConnection& connection) {
  std::vector<std::string> lines(kNoops, "NOOP");
  lines.push_back("SYST");
  const auto start = std::chrono::steady_clock::now();
  const auto deadline = start + std::chrono::microseconds(connection.QuickReplyTime().totalMicroseconds());
  const auto left = [&deadline] {
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(deadline - std::chrono::steady_clock::now());
    return Poco::Timespan(std::max<Poco::Timespan::TimeDiff>(us.count(), 1));
  };
  try {
    FtpControlSession& session = connection.Session("commands");
    session.SendLines(lines);
    std::string reply;
    for (std::size_t i = 0; i < kNoops; ++i)
      if (session.ReadReply(reply, left()) / 100 != 2) return false;
    const FtpReply& atLogin = connection.Login().syst;
    if (session.ReadReply(reply, left()) != atLogin.code || reply != atLogin.text) return false;
  } catch (const Poco::Exception&) {
    return false;  // a reply missing, or one that cannot be read
  }
  connection.NoteReplyTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  return true;
}

}  // namespace kestrel
