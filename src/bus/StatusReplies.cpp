#include "bus/StatusReplies.h"

#include <cstdio>

#include "bus/Utf16Text.h"
#include "bus/BusText.h"

namespace kestrel {

namespace {

std::string Source() { return std::string("#S") + kSourceChar; }

std::string Digits(std::uint32_t value, int width) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%0*u", width, static_cast<unsigned>(value));
  return buf;
}

}  // namespace

ReplyPayload DispInfoReply(std::uint32_t durationTenths, std::uint32_t positionTenths, char status) {
  return TextWithCR(Source() + "DISPINFO,DUR" + Digits(durationTenths, 4) + ",POS" + Digits(positionTenths, 4) +
              ",STATUS" + status);
}

ReplyPayload VolumeReply(char zoneChar, unsigned attenuation) {
  return TextWithCR(std::string("#Z") + zoneChar + ",ON,SRC" + kSourceChar + ",VOL" + Digits(attenuation, 1));
}

ReplyPayload DispModeReply(unsigned mode) { return TextWithCR(Source() + "DISPMODE,STATUS" + Digits(mode, 1)); }

ReplyPayload DisplayLineReply(char line, const std::string& text) {
  const std::string head = Source() + "DISPLINE" + line + ",";
  ReplyPayload p(head.begin(), head.end());
  p.push_back(0x02);
  const auto units = Utf8ToUtf16Be(text);
  p.insert(p.end(), units.begin(), units.end());
  p.push_back(0x00);
  p.push_back(0x03);
  p.push_back(kCR);
  return p;
}

ReplyPayload DispUpdateReply(bool updating) {
  return TextWithCR(Source() + "DISPUPDATE,STATUS" + (updating ? "1" : "0"));
}

}  // namespace kestrel
