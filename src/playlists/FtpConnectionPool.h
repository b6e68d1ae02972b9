// Several logged-in connections to one FTP server, for work that goes faster side by side on a
// distant link (songs sent, play lists read): up to a limit of FtpClient instances, the first
// of them the caller's own client, the others made here with its account and time-outs. They
// all share the caller's FtpServerNotes, so the extras tried at the first login are not tried
// again, and a fallback one connection finds holds for all.
//
// The work runs on worker threads, each with a client of its own: RunWorkers starts them and
// the caller's function takes its work from a queue of its own; ForEach hands out numbered items
// in order. The first worker runs at once on the calling thread with the first client, so that
// no work waits for the other logins; the other workers join as their logins succeed. The
// clients stay logged in between calls, until the pool goes (then they QUIT; the first client
// stays as the caller left it).
//
// A server that refuses another login (an answer such as 421 or 530, a connection closed or
// not answered in time) lowers the limit to the connections that are logged in, for the rest
// of the run: it is kept in the server notes (FtpServerNote::connectionLimit), so later pools
// on those notes start from it. Nothing fails for it: the work goes on over the connections
// there are. A worker whose connection is lost calls Reconnect; when the server will not take
// it back, the limit goes down the same way and the worker ends, leaving its work to the others.
//
// Each client is used by one thread at a time: by its worker while RunWorkers runs, by the
// caller otherwise. The pool itself is used from the thread that made it.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "playlists/FtpClient.h"
#include "playlists/FtpServerNotes.h"

namespace kestrel {

class FtpConnectionPool {
 public:
  static constexpr int kDefaultConnections = 3;
  static constexpr int kMaxConnections = 16;

  // Up to `connections` connections (at least 1, at most kMaxConnections, and no more than the
  // notes allow for this server), the first of them `first`, whose account the others use.
  // Both outlive the pool; the notes are those `first` was made with.
  FtpConnectionPool(FtpClient& first, FtpServerNotes& notes, int connections);
  ~FtpConnectionPool();
  FtpConnectionPool(const FtpConnectionPool&) = delete;
  FtpConnectionPool& operator=(const FtpConnectionPool&) = delete;

  FtpClient& First() { return first_; }
  // The connections the work may use now: the number asked for, lowered by refusals.
  int Limit() const;
  // The connections asked for: workers are numbered below it.
  int Size() const { return static_cast<int>(extras_.size()) + 1; }
  // Why the limit was lowered last (the server's reply or the network's word); empty if never.
  std::string LoweredBecause() const;

  // Worker `worker` (0 .. Limit()-1) with its logged-in client; it returns when there is no
  // more work for it.
  using Worker = std::function<void(FtpClient& client, int worker)>;
  // Runs `work` on up to Limit() workers at once (and no more than `most`), and returns when all
  // have returned. Worker 0 runs on the calling thread with the first client as the caller left
  // it (connected or not), unless the server would not take that one back (then one more of the
  // others runs instead); each other worker runs on a thread of its own once its client is
  // logged in (a login that fails lowers the limit, and that worker does not run). A worker's
  // number is its client's place in the pool (0 .. Size()-1), the same on every call. An exception that escapes a worker
  // is thrown again here, once every worker has returned (the first of them, if several).
  void RunWorkers(const Worker& work, int most = kMaxConnections);

  // Runs item(client, i) for i = 0 .. count-1 over the workers of RunWorkers, the items handed
  // out in order, each to the next worker free. An exception that escapes an item stops the
  // handing out; it is thrown again once every worker has returned.
  void ForEach(std::size_t count, const std::function<void(FtpClient& client, std::size_t item)>& item);

  // Starts logging in, in the background, the connections RunWorkers would start, so that they
  // are ready when the work comes; the first call of RunWorkers waits for them. For a caller who
  // knows that work for several connections follows (its server notes hold what the first
  // login learnt of the server, which the others take at their login).
  void LoginAhead();

  // Connects `client` (one of the pool's, used by the calling worker) again after its
  // connection was lost. False when the server does not take it: the limit is then lowered as
  // for a refused login. Safe on any worker's thread.
  bool Reconnect(FtpClient& client);

  // A client of the pool whose connection is open, the first client first; nullptr when none
  // is. For the caller's thread, between calls of RunWorkers.
  FtpClient* OpenClient();

 private:
  enum class Slot { Unused, Open, Refused };
  // Logs in the extra client of slot `slot` unless it is; false when refused (limit lowered).
  bool Login(std::size_t slot);
  // Connects `client`, the one of `slot`; a refusal lowers the number of connections.
  bool Connect(FtpClient& client, std::size_t slot);
  void Opened(std::size_t slot);
  void Refused(std::size_t slot, const std::string& why);
  std::size_t SlotOf(const FtpClient& client) const;

  FtpClient& first_;
  FtpServerNotes& notes_;
  std::string server_;  // "host:port", the notes' key
  std::vector<std::unique_ptr<FtpClient>> extras_;  // slot i + 1
  std::vector<std::thread> ahead_;                  // slot i + 1's login under way (LoginAhead)
  mutable std::mutex mutex_;
  std::vector<Slot> slots_;  // guarded by mutex_
  int limit_;                // guarded by mutex_
  std::string lowered_;      // guarded by mutex_
};

}  // namespace kestrel
