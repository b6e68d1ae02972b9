// Times of the running program: from launch to the first painted main window, the idle window
// with every zone polled (CPU and wake-ups of each thread), the window thread's CPU use while it
// waits for a play list reload, and the close.
// Run by bench/session/run inside network namespaces; prints, never asserts.
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

#include "app/Session.h"
#include "support/PrivateNetns.h"
#include "ui/ListView.h"
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

// What one thread of this process has used so far, from /proc/self/task.
struct ThreadUse {
  std::string name;
  double cpuMs = 0;
  long long voluntary = 0;    // the thread went to sleep: each is one wake-up later
  long long involuntary = 0;  // the thread was preempted
};

std::string ReadFirstLine(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

std::map<int, ThreadUse> TakeThreadUse() {
  std::map<int, ThreadUse> all;
  std::error_code ec;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", ec)) {
    ThreadUse use;
    use.name = ReadFirstLine(task.path() / "comm");
    // schedstat: nanoseconds on a processor first; stat's clock ticks where it is missing.
    std::istringstream sched(ReadFirstLine(task.path() / "schedstat"));
    long long ns = -1;
    if (sched >> ns) {
      use.cpuMs = ns / 1e6;
    } else {
      const std::string stat = ReadFirstLine(task.path() / "stat");
      std::istringstream rest(stat.substr(stat.rfind(')') + 2));
      std::string field;
      long long utime = 0, stime = 0;
      for (int i = 3; i <= 13; ++i) rest >> field;
      rest >> utime >> stime;
      use.cpuMs = (utime + stime) * 1e3 / static_cast<double>(sysconf(_SC_CLK_TCK));
    }
    std::ifstream status(task.path() / "status");
    for (std::string line; std::getline(status, line);) {
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0) use.voluntary = std::atoll(line.c_str() + 24);
      if (line.rfind("nonvoluntary_ctxt_switches:", 0) == 0) use.involuntary = std::atoll(line.c_str() + 27);
    }
    all[std::atoi(task.path().filename().c_str())] = use;
  }
  return all;
}

double ProcessCpuMs() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
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
  kestrel::AppContext context;  // the Settings folder bench/session/run lays beside the program
  auto session = std::make_unique<kestrel::app::TSession>(context, &prompts);
  if (!session->Start()) return 1;
  kestrel::ui::TMainFrm& frm = session->Window();
  // The window's components, by the names the layout gives them.
  auto* playLists = frm.findChild<kestrel::ui::TListView*>("lvPlayList");
  auto* zoneRows = frm.findChild<kestrel::ui::TListView*>("lvPlayZones");
  auto* updateZonePlayList = frm.findChild<QAction*>("acUpdateZonePlayList");
  frm.installEventFilter(&paint);
  frm.resize(1280, 800);
  frm.show();
  QElapsedTimer listed;
  listed.start();
  while (playLists->rowCount() == 0 && listed.elapsed() < 10000) Run(5);
  std::printf("zones=%zu first_paint_ms=%lld first_listing_ms=%lld\n", session->Zones().Count(),
              static_cast<long long>(paint.at), static_cast<long long>(launch.elapsed()));

  // The idle window: every zone polled once a second, nobody at the controls.
  Run(1500);
  const int idleMs = 1000 * (argc > 1 ? std::max(1, std::atoi(argv[1])) : 20);
  const auto before = TakeThreadUse();
  const double process0 = ProcessCpuMs();
  QElapsedTimer idle;
  idle.start();
  Run(idleMs);
  const auto after = TakeThreadUse();
  const double seconds = idle.elapsed() / 1e3;
  std::printf("idle_s=%.1f process_cpu_pct=%.3f\n", seconds, (ProcessCpuMs() - process0) / (10.0 * seconds));
  std::printf("%-7s %-16s %9s %12s %14s\n", "tid", "thread", "cpu_pct", "wakeups_per_s", "preempted_per_s");
  for (const auto& [tid, now] : after) {
    const auto was = before.find(tid);
    const ThreadUse start = was != before.end() ? was->second : ThreadUse{};
    std::printf("%-7d %-16s %9.3f %12.2f %14.2f\n", tid, now.name.c_str(), (now.cpuMs - start.cpuMs) / (10.0 * seconds),
                (now.voluntary - start.voluntary) / seconds, (now.involuntary - start.involuntary) / seconds);
  }

  // A reload with the first zone checked: the program waits after each other zone. The
  // window thread's CPU is taken over the first ten seconds of waiting, then the wait is ended.
  zoneRows->SetChecked(0, true);
  frm.UpdateActions();
  QElapsedTimer wait;
  const double cpu0 = ThreadCpuMs();
  wait.start();
  QTimer::singleShot(10000, [&] { session->Control()->Cancel(); });
  updateZonePlayList->trigger();
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
