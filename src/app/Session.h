// The running program: everything that runs and the order it is started and stopped in. The
// session owns the shared state, the poll lock, the bus endpoint, the zones, the FTP client
// with its store, the main window with its progress window, and the receive, progress and
// query threads, and hands each to those who use it, together with the program's context.
#pragma once

#include <QString>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "bus/mSocket.h"
#include "bus/threadUDPReceive.h"
#include "core/AppContext.h"
#include "core/SharedState.h"
#include "playlists/FtpClient.h"
#include "playlists/PlayListStore.h"
#include "zones/ZoneControl.h"
#include "zones/ZoneTable.h"
#include "zones/ZoneThreads.h"

namespace kestrel::ui {
class QtPrompts;
class TMainFrm;
class TfrmSinglePgBar;
class UpdateProgress;
}  // namespace kestrel::ui

namespace kestrel::app {

// The version shown in the caption and the application title.
constexpr const char* kVersionText = KESTREL_VERSION_TEXT;

class TSession {
 public:
  // Creates the main window (hidden) and the single progress bar window (hidden). Messages and
  // questions go to `prompts` when given (tests), otherwise to message boxes; the session puts
  // them into `context`, with the way to end the program, for as long as it lives. `context`
  // (the Settings folder, the debug flag) outlives the session.
  explicit TSession(AppContext& context, Prompts* prompts = nullptr);
  ~TSession();
  TSession(const TSession&) = delete;
  TSession& operator=(const TSession&) = delete;

  // The start-up sequence. False when the program must end (the user has been told why); true
  // otherwise, also when the zones could not be read and the window runs without the threads
  // (the error has been shown).
  bool Start();
  // The shutdown sequence: stops and joins the threads (and a running operation), then
  // releases the poll lock's users, the store, the zones and the FTP client. Never refuses;
  // safe to call more than once.
  void Stop();

  ui::TMainFrm& Window() { return *frm_; }
  ui::TfrmSinglePgBar& SinglePgBar() { return *singlePgBar_; }
  AppContext& Context() { return context_; }
  SharedState& State() { return state_; }
  PollState& Poll() { return poll_; }
  BusLink& Bus() { return bus_; }
  ZoneTable& Zones() { return *zones_; }
  ZoneControl* Control() { return control_.get(); }
  FtpClient* Ftp() { return ftp_.get(); }
  PlayListStore* Store() { return store_.get(); }
  bool ThreadsRunning() const { return recv_ != nullptr; }
  // The caption of the message boxes ("Kestrel (V1.10)").
  static QString ApplicationTitle();

  // Runs `operation` on a worker thread while the window stays painted but disabled, and
  // returns when it has ended. Installed as the window's operation runner. Called from a
  // running operation it runs at once; while a background operation runs it first waits for
  // that one (the window disabled); on the window thread while another one of its own kind
  // runs, or once the program is closing, it does nothing.
  void RunOperation(const std::function<void()>& operation);
  // Runs `operation` on a worker thread while the window stays in use, and calls `done` on the
  // window thread when it has ended (not once the program is closing). Installed as the
  // window's background runner. Operations run one at a time: one asked for while another
  // runs starts after it, in turn, and RunOperation calls waiting then go first.
  void RunInBackground(std::function<void()> operation, std::function<void()> done);

 private:
  void StartThreads();
  // After the zone list dialog wrote Zone.ini: the zones read anew while the query thread is
  // stopped and no reply is being handed to a zone; the threads start if they did not yet.
  void ReloadZones();
  void ShowUpdateProgressOnWindowThread();

  AppContext& context_;
  SharedState state_;
  PollState poll_;
  BusLink bus_;
  std::unique_ptr<ZoneTable> zones_;
  std::unique_ptr<ui::TMainFrm> frm_;
  std::unique_ptr<ui::QtPrompts> boxes_;
  Prompts* prompts_ = nullptr;  // the boxes or the prompts given
  std::unique_ptr<ui::TfrmSinglePgBar> singlePgBar_;
  std::unique_ptr<ui::UpdateProgress> progress_;
  std::unique_ptr<FtpClient> ftp_;
  std::unique_ptr<PlayListStore> store_;
  std::unique_ptr<ZoneControl> control_;
  std::unique_ptr<TthreadRecLigth> recv_;
  std::unique_ptr<TProgressThread> progressThread_;
  std::unique_ptr<TQueryThread> queryThread_;

  struct Background {
    std::function<void()> operation, done;
  };
  void StartBackground(Background background);
  void BackgroundEnded(const std::function<void()>& done);
  void StartNextBackground();

  // The operations running off the window thread: their worker threads, counted under the
  // lock, so that the shutdown can wait for them.
  std::mutex opMutex_;
  std::condition_variable opEnded_;
  int workers_ = 0;
  bool stopped_ = false;
  // Window thread only: an operation runs (a background one until its `done` has run), which
  // kind, the RunOperation calls waiting for a background one, and the background operations
  // asked for meanwhile, in turn.
  bool busy_ = false;
  bool backgroundRunning_ = false;
  int blockingWaiting_ = 0;
  std::deque<Background> backgroundQueue_;
  std::thread backgroundThread_;
};

}  // namespace kestrel::app
