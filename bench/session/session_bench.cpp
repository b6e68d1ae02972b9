// Times of the running program: from launch to the first painted main window, the close with
// every zone polled, and the window thread's CPU use while it waits for a play list reload.
// Run by bench/session/run inside network namespaces; prints, never asserts.
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <cstdio>
#include <sys/resource.h>

#include "app/Session.h"
#include "support/PrivateNetns.h"
#include "ui/Main.h"

namespace {

double ThreadCpuMs() {
  rusage u{};
  getrusage(RUSAGE_THREAD, &u);
  return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

void Run(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

// Notes the first paint of a widget.
class FirstPaint : public QObject {
 public:
  explicit FirstPaint(const QElapsedTimer& clock) : clock_(clock) {}
  qint64 at = -1;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && at < 0) at = clock_.elapsed();
    return QObject::eventFilter(watched, event);
  }

 private:
  const QElapsedTimer& clock_;
};

// Messages go to standard output; the bench answers nothing.
class PrintedPrompts : public kestrel::Prompts {
 public:
  void Show(kestrel::PromptKind, const std::string& text) override { std::printf("message: %s\n", text.c_str()); }
  bool Confirm(const std::string&) override { return false; }
};

}  // namespace

int main(int argc, char** argv) {
  QElapsedTimer launch;
  launch.start();
  QApplication app(argc, argv);
  QApplication::setApplicationName("Kestrel");
  FirstPaint paint(launch);
  if (!kestrel::test::InPrivateNetworkNamespace()) {
    std::fprintf(stderr, "session_bench puts the program on the device bus: run it with bench/session/run,\n"
                         "inside the network namespaces that makes.\n");
    return 1;
  }
  PrintedPrompts prompts;
  auto session = std::make_unique<kestrel::app::TSession>(&prompts);
  if (!session->Start()) return 1;
  kestrel::ui::TMainFrm& frm = session->Window();
  frm.installEventFilter(&paint);
  frm.resize(1280, 800);
  frm.show();
  QElapsedTimer listed;
  listed.start();
  while (frm.lvPlayList->rowCount() == 0 && listed.elapsed() < 10000) Run(5);
  std::printf("zones=%zu first_paint_ms=%lld first_listing_ms=%lld\n", session->Zones().Count(),
              static_cast<long long>(paint.at), static_cast<long long>(launch.elapsed()));

  // A reload with the first zone checked: the program waits after each other zone. The
  // window thread's CPU is taken over the first ten seconds of waiting, then the wait is ended.
  Run(1500);
  frm.lvPlayZones->SetChecked(0, true);
  frm.UpdateActions();
  QElapsedTimer wait;
  const double cpu0 = ThreadCpuMs();
  wait.start();
  QTimer::singleShot(10000, [&] { session->Control()->Cancel(); });
  frm.acUpdateZonePlayList->trigger();
  const double cpu = ThreadCpuMs() - cpu0;
  std::printf("reload_wait_ms=%lld window_thread_cpu_ms=%.1f window_thread_cpu_pct=%.2f\n",
              static_cast<long long>(wait.elapsed()), cpu, 100.0 * cpu / std::max<qint64>(1, wait.elapsed()));

  Run(2500);
  QElapsedTimer close;
  close.start();
  frm.close();
  std::printf("close_ms=%.2f\n", close.nsecsElapsed() / 1e6);
  session.reset();
  return 0;
}
