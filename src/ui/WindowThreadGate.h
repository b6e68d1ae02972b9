// Runs work on the window thread for another thread and lets that thread wait for the result,
// but never past the gate's closing: at shutdown the window thread closes the gate, every
// waiting thread returns at once (with no result) and later calls are refused. So a thread
// that waits for the window thread can always be stopped and joined by it.
#pragma once

#include <QObject>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace kestrel::ui {

class WindowThreadGate {
 public:
  // `context` lives on the window thread and outlives every call.
  explicit WindowThreadGate(QObject* context) : context_(context) {}
  WindowThreadGate(const WindowThreadGate&) = delete;
  WindowThreadGate& operator=(const WindowThreadGate&) = delete;

  // Runs `work` on the window thread and waits for it. On the window thread itself it runs at
  // once. Returns false, without waiting any longer, when the gate is or becomes closed; `work`
  // then may still run later or not at all, so it must own what it uses (capture by value).
  bool Call(std::function<void()> work);

  // Ends every wait and refuses further calls. Window thread only.
  void Close();
  bool Closed() const;

 private:
  struct Pending {
    std::function<void()> work;
    bool done = false;
  };

  QObject* context_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool closed_ = false;
};

}  // namespace kestrel::ui
