#include "playlists/FtpConnectionPool.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <thread>

namespace kestrel {

FtpConnectionPool::FtpConnectionPool(FtpClient& first, FtpServerNotes& notes, int connections)
    : first_(first), notes_(notes) {
  const FtpAccount& account = first.Account();
  server_ = account.host + ":" + std::to_string(account.port);
  const int most = std::clamp(connections, 1, kMaxConnections);
  slots_.assign(static_cast<std::size_t>(most), Slot::Unused);
  slots_[0] = Slot::Open;
  const int known = notes.Get(server_).connectionLimit;
  limit_ = known > 0 ? std::min(most, known) : most;
  for (int i = 1; i < most; ++i) {
    extras_.push_back(std::make_unique<FtpClient>(notes));  // not connected until a worker needs it
    extras_.back()->SetAccount(account);
    extras_.back()->SetTimeouts(first.Timeouts());
  }
  ahead_.resize(extras_.size());
}

FtpConnectionPool::~FtpConnectionPool() {
  for (std::thread& login : ahead_)
    if (login.joinable()) login.join();
  for (std::unique_ptr<FtpClient>& client : extras_) client->Quit();
}

int FtpConnectionPool::Limit() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return limit_;
}

std::string FtpConnectionPool::LoweredBecause() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lowered_;
}

void FtpConnectionPool::RunWorkers(const Worker& work, int most) {
  const int workers = std::max(1, std::min(Limit(), most));
  std::mutex failureMutex;
  std::exception_ptr failure;
  const auto guarded = [&](FtpClient& client, int worker) {
    try {
      work(client, worker);
    } catch (...) {
      std::lock_guard<std::mutex> lock(failureMutex);
      if (!failure) failure = std::current_exception();
    }
  };
  // The extra slots to run: those not refused, the open ones first.
  std::vector<std::size_t> slots;
  bool firstRuns = true;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    firstRuns = slots_[0] != Slot::Refused;
    for (const Slot wanted : {Slot::Open, Slot::Unused})
      for (std::size_t slot = 1; slot < slots_.size(); ++slot)
        if (slots_[slot] == wanted) slots.push_back(slot);
  }
  slots.resize(std::min(slots.size(), static_cast<std::size_t>(workers - (firstRuns ? 1 : 0))));
  std::vector<std::thread> threads;
  for (const std::size_t slot : slots)
    threads.emplace_back([this, &guarded, slot] {
      if (ahead_[slot - 1].joinable()) {
        ahead_[slot - 1].join();
        std::lock_guard<std::mutex> lock(mutex_);
        if (slots_[slot] == Slot::Refused) return;
      }
      if (Login(slot)) guarded(*extras_[slot - 1], static_cast<int>(slot));
    });
  if (firstRuns || slots.empty()) guarded(first_, 0);
  for (std::thread& thread : threads) thread.join();
  if (failure) std::rethrow_exception(failure);
}

void FtpConnectionPool::ForEach(std::size_t count, const std::function<void(FtpClient&, std::size_t)>& item) {
  std::atomic<std::size_t> next{0};
  std::atomic<bool> stop{false};
  RunWorkers(
      [&](FtpClient& client, int) {
        for (std::size_t i = next++; i < count && !stop; i = next++) {
          try {
            item(client, i);
          } catch (...) {
            stop = true;
            throw;
          }
        }
      },
      static_cast<int>(std::min<std::size_t>(count, kMaxConnections)));
}

void FtpConnectionPool::LoginAhead() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (std::size_t slot = 1; slot < slots_.size() && static_cast<int>(slot) < limit_; ++slot)
    if (slots_[slot] == Slot::Unused && !ahead_[slot - 1].joinable())
      ahead_[slot - 1] = std::thread([this, slot] { Login(slot); });
}

bool FtpConnectionPool::Login(std::size_t slot) {
  FtpClient& client = *extras_[slot - 1];
  return client.Connected() || Connect(client, slot);
}

bool FtpConnectionPool::Reconnect(FtpClient& client) { return Connect(client, SlotOf(client)); }

bool FtpConnectionPool::Connect(FtpClient& client, std::size_t slot) {
  try {
    client.Connect();
  } catch (const FtpError& e) {
    Refused(slot, e.what());
    return false;
  }
  Opened(slot);
  return true;
}

FtpClient* FtpConnectionPool::OpenClient() {
  if (first_.Connected()) return &first_;
  for (const std::unique_ptr<FtpClient>& client : extras_)
    if (client->Connected()) return client.get();
  return nullptr;
}

std::size_t FtpConnectionPool::SlotOf(const FtpClient& client) const {
  for (std::size_t i = 0; i < extras_.size(); ++i)
    if (extras_[i].get() == &client) return i + 1;
  return 0;
}

void FtpConnectionPool::Opened(std::size_t slot) {
  std::lock_guard<std::mutex> lock(mutex_);
  slots_[slot] = Slot::Open;
  // After a refusal the limit is what the server took: a login that was under way still counts.
  if (lowered_.empty()) return;
  limit_ = std::max(limit_, static_cast<int>(std::count(slots_.begin(), slots_.end(), Slot::Open)));
  notes_.Change(server_, [this](FtpServerNote& note) { note.connectionLimit = limit_; });
}

void FtpConnectionPool::Refused(std::size_t slot, const std::string& why) {
  std::lock_guard<std::mutex> lock(mutex_);
  slots_[slot] = Slot::Refused;
  limit_ = std::max(1, static_cast<int>(std::count(slots_.begin(), slots_.end(), Slot::Open)));
  lowered_ = why.empty() ? "the server refused another connection" : why;
  notes_.Change(server_, [this](FtpServerNote& note) { note.connectionLimit = limit_; });
}

}  // namespace kestrel
