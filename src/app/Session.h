// The running program: everything that runs and the order it is started and stopped in. The
// session owns the shared state, the poll lock, the bus endpoint, the zones, the FTP client
// with its store, the main window with its progress window, and the receive, progress and
// query threads, and hands each to those who use it, together with the program's context.
#pragma once

#include <QString>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

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
  // running operation it runs at once; on the window thread while another one runs, or once
  // the program is closing, it does nothing.
  void RunOperation(const std::function<void()>& operation);

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

  // The operation running off the window thread, if any.
  std::mutex opMutex_;
  std::condition_variable opEnded_;
  bool opRunning_ = false;
  bool stopped_ = false;
};

}  // namespace kestrel::app
