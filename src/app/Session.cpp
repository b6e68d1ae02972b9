#include "app/Session.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEventLoop>
#include <QTableWidget>
#include <QThread>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "core/mGetLocalIP.h"
#include "ui/Main.h"
#include "ui/QtPrompts.h"
#include "ui/UnitSinglePgBar.h"
#include "ui/ZoneListController.h"
#include "zones/ZoneScan.h"

namespace kestrel::app {

namespace {

// How often a reload wait on the window thread looks whether the zone has reported the end.
constexpr int kReloadLookMs = 10;

// Handles the window's events until `done` holds or `maxMs` have passed.
void PumpWindowEvents(int maxMs, const std::function<bool()>& done) {
  QEventLoop loop;
  QTimer look;
  QObject::connect(&look, &QTimer::timeout, &loop, [&] {
    if (done()) loop.quit();
  });
  look.start(kReloadLookMs);
  QTimer::singleShot(maxMs, &loop, &QEventLoop::quit);
  loop.exec();
}

// With KESTREL_MILESTONES=1 in the environment the window tells on standard error when it first
// shows what the window benchmark (bench/window/run) times, a line "milestone NAME NS" with the
// monotonic clock's nanoseconds: "window" (first painted), "playlist-rows" (the play list view
// first painted with rows) and "all-songs" (the store told of a listing and holds the songs of
// every play list). The store calls its listeners on the window thread.
class MilestoneWatcher : public QObject, public PlayListStoreListener {
 public:
  MilestoneWatcher(QWidget& window, PlayListStore& store)
      : QObject(&window), window_(window), store_(store), rows_(window.findChild<QTableWidget*>("lvPlayList")) {
    window.installEventFilter(this);
    if (rows_ != nullptr) rows_->viewport()->installEventFilter(this);
    store.AddListener(this);
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      if (watched == &window_) Note(painted_, "window");
      else if (rows_ != nullptr && rows_->rowCount() > 0) Note(rowsShown_, "playlist-rows");
    }
    return false;
  }
  void PlayListsCleared() override {}
  void PlayListsListed(int) override {
    if (store_.Count() == 0) return;
    for (int row = 0; row < store_.Count(); ++row)
      if (!store_.At(row)->GotSong) return;
    Note(allSongs_, "all-songs");
  }

 private:
  static void Note(std::atomic<bool>& done, const char* name) {
    if (done.exchange(true)) return;
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    std::fprintf(stderr, "milestone %s %lld\n", name, static_cast<long long>(ns.count()));
  }

  QWidget& window_;
  PlayListStore& store_;
  QTableWidget* rows_;
  std::atomic<bool> painted_{false}, rowsShown_{false}, allSongs_{false};
};

}  // namespace

QString TSession::ApplicationTitle() { return QString("Kestrel (%1)").arg(kVersionText); }

TSession::TSession(AppContext& context, Prompts* prompts) : context_(context), bus_(context) {
  zones_ = std::make_unique<ZoneTable>([this] {
    return std::make_pair(poll_.PolledSubnetID.load(), poll_.PolledDeviceID.load());
  });
  frm_ = std::make_unique<ui::TMainFrm>(context_, state_, *zones_);
  boxes_ = std::make_unique<ui::QtPrompts>(frm_->Gate(), ApplicationTitle());
  prompts_ = prompts != nullptr ? prompts : boxes_.get();
  context_.SetPrompts(prompts_);
  // The library asks to end the program (no FTP connection): quit once the current event is done.
  context_.SetTerminationHandler([] { QMetaObject::invokeMethod(qApp, "quit", Qt::QueuedConnection); });
  singlePgBar_ = std::make_unique<ui::TfrmSinglePgBar>(frm_.get());
  progress_ = std::make_unique<ui::UpdateProgress>(*singlePgBar_, state_, *prompts_);

  frm_->SetOperationRunner([this](const std::function<void()>& operation) { RunOperation(operation); });
  frm_->SetBackgroundRunner([this](std::function<void()> operation, std::function<void()> done) {
    RunInBackground(std::move(operation), std::move(done));
  });
  frm_->SetCloseQueryHandler([this] { Stop(); });
  // When the window is first shown it lists the play lists, which opens the FTP connection. In
  // the background: the rows come as they are read, and the window stays usable meanwhile.
  frm_->SetFirstShowHandler([this] {
    RunInBackground([this] { frm_->ListPlayLists(""); }, [] {});
  });
}

TSession::~TSession() {
  Stop();
  context_.SetTerminationHandler({});
  context_.SetPrompts(nullptr);
}

bool TSession::Start() {
  ui::TMainFrm& frm = *frm_;
  frm.setWindowTitle(QString("Coral Winds Veltra Play List Management (%1)").arg(kVersionText));

  state_.Reset();
  frm.ResetStartValues();

  const std::string localIP = TakeLocalIP(context_, state_, [&frm](const std::string& ip) {
    frm.SetStatusPanel(0, QString::fromStdString("IP:" + ip));
  });
  if (localIP.empty()) return false;

  if (!bus_.pblInitSocket(localIP)) return false;
  frm.SetStatusPanel(1, "successfully initialize Winsock");

  ftp_ = std::make_unique<FtpClient>(ServerNotes(context_));
  store_ = std::make_unique<PlayListStore>(*ftp_, context_);
  frm.AttachStore(*ftp_, *store_);
  if (const char* milestones = std::getenv("KESTREL_MILESTONES"); milestones && std::strcmp(milestones, "1") == 0)
    new MilestoneWatcher(frm, *store_);  // the window owns it

  control_ = std::make_unique<ZoneControl>(bus_, poll_, *zones_, state_, *prompts_);
  control_->SetPump(PumpWindowEvents);
  control_->SetProgressRunning([this] { return progressThread_ != nullptr && progressThread_->Running(); });
  frm.SetZoneControl(control_.get());

  frm.ZoneList().SetZoneEditing(
      [this]() -> std::unique_ptr<ZoneScanner> {
        if (!recv_) return nullptr;
        return std::make_unique<ZoneScanner>(bus_, *recv_);
      },
      [this] { ReloadZones(); });
  try {
    // A zone left out is told, and the others run.
    if (const std::string skipped = frm.LoadZones(); !skipped.empty()) prompts_->Show(PromptKind::ErrorOk, skipped);
  } catch (const std::exception& e) {
    // The window still runs, with the zones read before the faulty one, but without the
    // threads and without taking dropped files.
    prompts_->Show(PromptKind::ErrorOk, e.what());
    return true;
  }

  StartThreads();
  frm.AcceptFileDrops();
  return true;
}

void TSession::StartThreads() {
  recv_ = std::make_unique<TthreadRecLigth>(zones_.get(), bus_.Endpoint(), poll_, state_);
  // The main window exists from before the threads start until the session stops.
  recv_->SetMainFormExists(true);
  progressThread_ = std::make_unique<TProgressThread>(state_, [this] { ShowUpdateProgressOnWindowThread(); });
  queryThread_ = std::make_unique<TQueryThread>(bus_, poll_, *zones_, state_);
  recv_->Start();
  progressThread_->Start();
  queryThread_->Start();
}

void TSession::ReloadZones() {
  if (queryThread_) queryThread_->Stop();
  std::string why, skipped;
  {
    std::lock_guard<std::mutex> lock(poll_.PollLock);
    why = frm_->ZoneList().ReloadZones(skipped);
  }
  for (const std::string& text : {skipped, why})
    if (!text.empty()) prompts_->Show(PromptKind::ErrorOk, text);
  if (queryThread_) {
    queryThread_ = std::make_unique<TQueryThread>(bus_, poll_, *zones_, state_);
    queryThread_->Start();
  } else if (why.empty() && !stopped_) {
    // The zones could not be read at start-up; now they can.
    StartThreads();
    frm_->AcceptFileDrops();
  }
}

void TSession::ShowUpdateProgressOnWindowThread() {
  frm_->Gate().Call([this] { progress_->ShowUpdateProgress(); });
}

void TSession::Stop() {
  if (stopped_) return;
  stopped_ = true;
  // A zone list dialog goes first: its scan uses the bus and the receive thread.
  frm_->ZoneList().EndZoneEditing();
  // From here on no thread waits for the window thread: prompts, store notices and the
  // progress hand-over return at once, and a reload wait or progress sweep on the window
  // thread ends.
  frm_->Gate().Close();
  progress_->Cancel();
  if (control_) control_->Cancel();

  if (recv_) {
    recv_->SetMainFormExists(false);  // the window is closing
    recv_->Stop();
  }
  if (progressThread_) progressThread_->RequestStop();
  if (queryThread_) queryThread_->RequestStop();
  if (progressThread_) progressThread_->Stop();
  if (queryThread_) queryThread_->Stop();
  {
    std::unique_lock<std::mutex> lock(opMutex_);
    if (workers_ > 0) {
      // An exchange with a server that stopped answering ends only with the client's time-out:
      // the window goes now.
      lock.unlock();
      frm_->hide();
      lock.lock();
    }
    opEnded_.wait(lock, [this] { return workers_ == 0; });
  }
  if (backgroundThread_.joinable()) backgroundThread_.join();
  backgroundQueue_.clear();

  // Nothing runs any more that uses the poll lock, the zones, the store or the FTP client.
  try {
    frm_->SetZoneControl(nullptr);
    frm_->DetachStore();
    store_.reset();
    zones_->Clear();
    if (ftp_) {
      ftp_->Disconnect();
      ftp_.reset();
    }
    state_.ShutdownFlag = true;
  } catch (...) {
    state_.ShutdownFlag = false;
  }
  bus_.pblCloseSocket();
}

void TSession::RunOperation(const std::function<void()>& operation) {
  // An operation that starts another one already runs off the window thread.
  if (QThread::currentThread() != frm_->thread()) {
    operation();
    return;
  }
  // One at a time; none once the program is closing.
  if (stopped_ || (busy_ && !backgroundRunning_)) return;
  if (backgroundRunning_) {
    // The background operation uses the FTP client too: wait for it, painting the window.
    frm_->setEnabled(false);
    ++blockingWaiting_;
    while (backgroundRunning_ && !stopped_) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    --blockingWaiting_;
    if (stopped_) return;
  }
  busy_ = true;
  frm_->setEnabled(false);
  {
    std::lock_guard<std::mutex> lock(opMutex_);
    ++workers_;
  }
  bool ended = false;
  QEventLoop loop;
  std::thread worker([this, &operation, &loop, &ended] {
    try {
      operation();
    } catch (...) {
      // The operation tells the user through the prompts; nothing may escape the thread.
    }
    {
      std::lock_guard<std::mutex> lock(opMutex_);
      --workers_;
      ended = true;
    }
    opEnded_.notify_all();
    // Called by name, so that the queued call is made and released by Qt alone.
    QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
  });
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(opMutex_);
      if (ended) break;
    }
    // Returns early when the program quits; the operation is still waited for.
    loop.exec();
  }
  worker.join();
  busy_ = false;
  frm_->setEnabled(true);
  StartNextBackground();
}

void TSession::RunInBackground(std::function<void()> operation, std::function<void()> done) {
  if (QThread::currentThread() != frm_->thread()) {
    frm_->Gate().Post([this, operation = std::move(operation), done = std::move(done)]() mutable {
      RunInBackground(std::move(operation), std::move(done));
    });
    return;
  }
  if (stopped_) return;
  backgroundQueue_.push_back({std::move(operation), std::move(done)});
  StartNextBackground();
}

void TSession::StartNextBackground() {
  if (stopped_ || busy_ || blockingWaiting_ > 0 || backgroundQueue_.empty()) return;
  Background next = std::move(backgroundQueue_.front());
  backgroundQueue_.pop_front();
  StartBackground(std::move(next));
}

void TSession::StartBackground(Background background) {
  busy_ = true;
  backgroundRunning_ = true;
  {
    std::lock_guard<std::mutex> lock(opMutex_);
    ++workers_;
  }
  if (backgroundThread_.joinable()) backgroundThread_.join();  // ended: only its last steps were left
  backgroundThread_ = std::thread([this, operation = std::move(background.operation),
                                   done = std::move(background.done)]() mutable {
    try {
      operation();
    } catch (...) {
    }
    // `done` goes to the window thread; once the gate has closed it is dropped here.
    frm_->Gate().Post([this, done = std::move(done)] { BackgroundEnded(done); });
    {
      std::lock_guard<std::mutex> lock(opMutex_);
      --workers_;
    }
    opEnded_.notify_all();
  });
}

void TSession::BackgroundEnded(const std::function<void()>& done) {
  if (backgroundThread_.joinable()) backgroundThread_.join();
  busy_ = false;
  backgroundRunning_ = false;
  if (done) done();
  StartNextBackground();
}

}  // namespace kestrel::app
