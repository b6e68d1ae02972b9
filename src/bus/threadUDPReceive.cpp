#include "bus/threadUDPReceive.h"

#include <mutex>

#include "bus/BusEndpoint.h"
#include "platform/ThreadName.h"

namespace kestrel {

namespace {
// The idle loop sleeps until a datagram comes or Stop wakes it.
constexpr int kNoTimeOut = -1;
}  // namespace

TthreadRecLigth::TthreadRecLigth(ZoneStatusSink* sink, BusEndpoint& endpoint, PollState& poll, SharedState& state)
    : sink_(sink), endpoint_(endpoint), poll_(poll), state_(state) {}

TthreadRecLigth::~TthreadRecLigth() { Stop(); }

void TthreadRecLigth::Start() {
  if (thread_.joinable()) return;
  stopRequested_ = false;
  thread_ = std::thread([this] { Execute(); });
}

void TthreadRecLigth::Stop() {
  stopRequested_ = true;
  endpoint_.Wake();
  if (thread_.joinable()) thread_.join();
}

void TthreadRecLigth::Execute() {
  platform::SetCurrentThreadName("kestrel-recv");
  while (!stopRequested_) {
    if (!ReceiveDatagram()) endpoint_.WaitReadable(kNoTimeOut);
  }
}

bool TthreadRecLigth::ReceiveDatagram() {
  std::size_t size = 0;
  try {
    size = endpoint_.Receive(buffer_.data(), buffer_.size());
    if (size == 0) return false;
    ++counters_.datagrams;
    if (size > kReceiveBufferSize) {
      ++counters_.oversize;
      return true;
    }
    const auto frame = pblUnpackFrame(buffer_.data(), size);
    if (!frame) {
      ++counters_.rejected;
      return true;
    }
    if (!endpoint_.IsOpen()) return true;
    DispatchFrame(frame->data, frame->isLong);
  } catch (...) {
    ++counters_.failed;
  }
  return size != 0;
}

void TthreadRecLigth::SetReplyListener(ReplyListener* listener) {
  std::lock_guard<std::mutex> lock(listenerMutex_);
  listener_ = listener;
}

void TthreadRecLigth::DispatchFrame(const std::vector<std::uint8_t>& frameData, [[maybe_unused]] bool isLong) {
  if (frameData.size() < kFrameDataOverhead) return;
  const std::uint16_t opCode =
      static_cast<std::uint16_t>(frameData[kOpCodeOffset] << 8 | frameData[kOpCodeOffset + 1]);
  if (opCode != kOpTextReply) return;
  {
    std::lock_guard<std::mutex> lock(listenerMutex_);
    if (listener_ != nullptr) listener_->OnReply(frameData);
  }
  if (!mainFormExists_) return;

  std::lock_guard<std::mutex> lock(poll_.PollLock);
  const std::uint8_t subnet = poll_.PolledSubnetID;
  const std::uint8_t device = poll_.PolledDeviceID;
  const bool fromPolled = frameData[kSourceSubnetOffset] == subnet && frameData[kSourceDeviceOffset] == device;
  const bool toPolled = frameData[kTargetSubnetOffset] == subnet && frameData[kTargetDeviceOffset] == device;
  if (!fromPolled && !toPolled) return;

  // A long frame's payload starts with its two length bytes and, like a normal one, leaves
  // out the last two bytes of the frame data.
  const std::vector<std::uint8_t> payload(frameData.begin() + kPayloadOffset, frameData.end() - 2);
  ++counters_.dispatched;
  try {
    if (DecodeStatusReply(payload, sink_, &state_)) ++counters_.recognised;
  } catch (const std::exception&) {
    ++counters_.failed;  // a display line number that is no integer: the frame is dropped
  }
}

bool DecodeStatusReply(const std::vector<std::uint8_t>& payload, ZoneStatusSink* sink, SharedState* state) {
  const std::uint8_t* p = payload.data();
  const std::size_t n = payload.size();
  std::int32_t a = 0;
  std::int32_t b = 0;
  char status = 0;
  std::uint8_t byte = 0;
  std::string name;

  if (ParseDispInfo(p, n, a, b, status)) {
    if (sink != nullptr) sink->SetZoneTimes(a, b);
  } else if (ParseVolume(p, n, byte)) {
    if (sink != nullptr) sink->SetZoneVolume(VolumeFromAttenuation(byte));
  } else if (ParseDispMode(p, n, byte)) {
    if (sink != nullptr) sink->SetZonePlayMode(byte);
  } else if (ParseSongName(p, n, name)) {
    if (sink != nullptr) sink->SetZoneSong(name, -1);
  } else if (ParseSongNo(p, n, a)) {
    if (sink != nullptr) sink->SetZoneSong(std::string(), a);
  } else if (ParseListNo(p, n, a)) {
    if (sink != nullptr) sink->SetZoneListNo(a);
  } else {
    if (state == nullptr) return false;
    return ParseDispUpdate(p, n, *state);
  }
  return true;
}

}  // namespace kestrel
