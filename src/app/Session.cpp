#include "app/Session.h"

#include <QApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
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
  frm_->SetCloseQueryHandler([this] { Stop(); });
  // When the window is first shown it lists the play lists, which opens the FTP connection.
  frm_->SetFirstShowHandler([this] {
    frm_->RunOperation([this] { frm_->ListPlayLists(""); });
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

  ftp_ = std::make_unique<FtpClient>(context_);
  store_ = std::make_unique<PlayListStore>(*ftp_, *prompts_);
  frm.AttachStore(*ftp_, *store_);

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
    opEnded_.wait(lock, [this] { return !opRunning_; });
  }

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
  {
    std::lock_guard<std::mutex> lock(opMutex_);
    // One at a time; none once the program is closing.
    if (opRunning_ || stopped_) return;
    opRunning_ = true;
  }
  frm_->setEnabled(false);
  QEventLoop loop;
  std::thread worker([this, &operation, &loop] {
    try {
      operation();
    } catch (...) {
      // The operation tells the user through the prompts; nothing may escape the thread.
    }
    {
      std::lock_guard<std::mutex> lock(opMutex_);
      opRunning_ = false;
    }
    opEnded_.notify_all();
    // Called by name, so that the queued call is made and released by Qt alone.
    QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
  });
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(opMutex_);
      if (!opRunning_) break;
    }
    // Returns early when the program quits; the operation is still waited for.
    loop.exec();
  }
  worker.join();
  frm_->setEnabled(true);
}

}  // namespace kestrel::app
