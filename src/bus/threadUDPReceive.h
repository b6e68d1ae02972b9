// The receive side of the bus: unpacking a received datagram into its frame data, and the
// receive thread that reads the endpoint, keeps the text replies of the polled zone and hands
// them to the reply decoders (StatusDecoders.h) and from there to a ZoneStatusSink.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "bus/StatusDecoders.h"
#include "bus/ZoneStatusSink.h"
#include "bus/mSocket.h"
#include "core/SharedState.h"

namespace kestrel {

struct UnpackedFrame {
  std::vector<std::uint8_t> data;  // frame data: length byte .. CRC (or the announced extent)
  bool isLong = false;
};

// Applies the acceptance rules to one received datagram: at least 27 bytes, lead code AA AA or
// AA 55, and for a normal frame a CRC over its actual bytes. A long frame (length byte 0xFF)
// takes its extent, m + 11 bytes, from the two bytes after the target address; bytes of that
// extent beyond the datagram read as 0, and its CRC is not checked. Nothing outside
// [datagram, datagram + size) is ever read.
std::optional<UnpackedFrame> pblUnpackFrame(const std::uint8_t* datagram, std::size_t size);

// What the receive thread has done so far (for diagnostics and the benchmarks).
struct ReceiveCounters {
  std::atomic<std::uint64_t> datagrams{0};   // read from the endpoint
  std::atomic<std::uint64_t> oversize{0};    // longer than 1,350 bytes, dropped
  std::atomic<std::uint64_t> rejected{0};    // refused by pblUnpackFrame
  std::atomic<std::uint64_t> dispatched{0};  // replies of the polled zone offered to the decoders
  std::atomic<std::uint64_t> recognised{0};  // of those, recognised and handed on
  std::atomic<std::uint64_t> failed{0};      // dropped by a failure while decoding
};

class BusEndpoint;

// Offers one reply payload to the decoders in their fixed order and hands the value of the one
// that recognises it to `sink` (nullptr: decode only). Play list reload reports set and clear
// the reload flags of `state`; without a state they are recognised and ignored. True when a
// decoder recognised the payload. A display line number that is no integer throws
// BadReplyNumber.
bool DecodeStatusReply(const std::vector<std::uint8_t>& payload, ZoneStatusSink* sink, SharedState* state);

// Sees every accepted text reply on the bus, whoever sent it and whichever zone is polled; the
// zone scan listens this way beside the polling, which it leaves alone. Called on the receive
// thread with the frame data (length byte .. CRC) of an op code 0x192F frame.
class ReplyListener {
 public:
  virtual ~ReplyListener() = default;
  virtual void OnReply(const std::vector<std::uint8_t>& frameData) = 0;
};

// The receive thread. Start() runs the loop on a thread of its own: read one datagram without
// blocking and process it; when nothing is waiting, sleep until a datagram comes or a stop
// request wakes it (so the endpoint is opened before Start). Stop() and the destructor ask the
// loop to end and join it, so nothing the loop uses may be released before either has
// returned. The thread is named "kestrel-recv" (debuggers, process listings, the flood
// benchmark's CPU figure).
class TthreadRecLigth {
 public:
  // `sink` receives the decoded values of the polled zone (nullptr: decode, hand nothing on).
  // Everything given must outlive the thread: the endpoint it reads, the poll lock with the
  // polled address, and the state whose reload flags the update replies set.
  TthreadRecLigth(ZoneStatusSink* sink, BusEndpoint& endpoint, PollState& poll, SharedState& state);
  ~TthreadRecLigth();
  TthreadRecLigth(const TthreadRecLigth&) = delete;
  TthreadRecLigth& operator=(const TthreadRecLigth&) = delete;

  void Start();
  void Stop();
  bool Running() const { return thread_.joinable(); }

  // One pass: reads at most one datagram and processes it. Returns whether one was read.
  // Datagrams over 1,350 bytes, rejected datagrams and failures inside the pass are dropped.
  bool ReceiveDatagram();

  // Whether the main window exists: the owner says so while its front end is there to show
  // what the replies say (the window's session from the start of the threads until it closes,
  // the command line while its station runs). False until then, so that frames arriving before
  // the main window exists or after it is gone are dropped. Safe on any thread.
  void SetMainFormExists(bool exists) { mainFormExists_ = exists; }

  // Installs the listener that sees every text reply (nullptr removes it). Once this returns,
  // the listener before is not called any more, so its owner may then release it.
  void SetReplyListener(ReplyListener* listener);

  // The dispatch rules for one accepted frame: the main window exists, the op code is 0x192F,
  // and, under PollLock, its source or target address is the polled address; then the payload
  // goes to the decoders in their fixed order until one recognises it, and the recognised value
  // to the sink. Everything else is dropped silently.
  void DispatchFrame(const std::vector<std::uint8_t>& frameData, bool isLong);

  const ReceiveCounters& Counters() const { return counters_; }

 private:
  void Execute();
  ZoneStatusSink* sink_;
  BusEndpoint& endpoint_;
  PollState& poll_;
  SharedState& state_;
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> mainFormExists_{false};
  std::mutex listenerMutex_;
  ReplyListener* listener_ = nullptr;
  std::thread thread_;
  ReceiveCounters counters_;
  // One more byte than the largest datagram taken, so a longer one shows as cut off.
  std::array<std::uint8_t, kReceiveBufferSize + 1> buffer_{};
};

}  // namespace kestrel
