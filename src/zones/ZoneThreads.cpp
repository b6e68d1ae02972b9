#include "zones/ZoneThreads.h"

#include <chrono>

#include "zones/ZoneCommands.h"
#include "platform/ThreadName.h"

namespace kestrel {

void StoppableThread::Start() {
  if (thread_.joinable()) return;
  stop_ = false;
  alive_ = true;
  thread_ = std::thread([this] {
    platform::SetCurrentThreadName(Name());
    try {
      Execute();
    } catch (...) {
      // A failure ends the thread silently.
    }
    alive_ = false;
  });
}

void StoppableThread::RequestStop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  WakeForStop();
}

void StoppableThread::Stop() {
  RequestStop();
  Join();
}

void StoppableThread::Join() {
  if (thread_.joinable()) thread_.join();
}

bool StoppableThread::Pause(int ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  return !wake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stop_.load(); });
}

TQueryThread::TQueryThread(const BusLink& bus, PollState& poll, ZoneTable& zones, const SharedState& state)
    : bus_(bus), poll_(poll), zones_(zones), state_(state) {}

void TQueryThread::Execute() {
  while (!StopRequested()) {
    // Polling pauses while a zone reloads.
    state_.ZoneUpdating.Wait([this] { return !state_.ZoneUpdating.load() || StopRequested(); });
    if (StopRequested()) break;
    QueryZones();
    if (!Pause(zones_.Count() == 0 ? kZonePauseMs : kPassPauseMs)) break;
  }
}

void TQueryThread::QueryZones() {
  const Payload status = StatusQuery();
  const Payload playMode = PlayModeQuery();
  const std::size_t count = zones_.Count();
  for (std::size_t row = 0; row < count; ++row) {
    if (StopRequested()) return;
    {
      // Looked at under the lock: a reload wait that raised the flag and took the polled
      // address before us keeps it.
      std::lock_guard<std::mutex> lock(poll_.PollLock);
      if (state_.ZoneUpdating) return;
      if (polledRow_) zones_.PollEnded(*polledRow_);
      polledRow_ = row;
      const std::uint8_t subnet = zones_.SubnetID(row);
      const std::uint8_t device = zones_.DeviceID(row);
      poll_.PolledSubnetID = subnet;
      poll_.PolledDeviceID = device;
      bus_.pblSendBUF(status, kOpTextCommand, subnet, device);
      bus_.pblSendBUF(playMode, kOpTextCommand, subnet, device);
    }
    if (!Pause(kZonePauseMs)) return;
  }
}

TProgressThread::TProgressThread(const SharedState& state, std::function<void()> showUpdateProgress)
    : state_(state), showUpdateProgress_(std::move(showUpdateProgress)) {}

void TProgressThread::Execute() {
  while (!StopRequested()) {
    state_.ZoneUpdating.Wait([this] { return state_.ZoneUpdating.load() || StopRequested(); });
    if (StopRequested()) break;
    showUpdateProgress_();
    if (!Pause(kLookMs)) break;
  }
}

}  // namespace kestrel
