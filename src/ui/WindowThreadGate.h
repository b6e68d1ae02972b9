// Runs work on the window thread for other threads and lets them wait for it, but never past
// the gate's closing: at shutdown the window thread closes the gate, every waiting thread
// returns at once (with no result) and later work is refused. So a thread that waits for the
// window thread can always be stopped and joined by it.
//
// The work itself travels in the gate's own queue under its own lock; the window thread is only
// woken through Qt's event queue. So the hand-over of everything the work captures is ordered
// by a lock that race detectors see.
#pragma once

#include <QObject>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace kestrel::ui {

class WindowThreadGate : public QObject {
  Q_OBJECT
 public:
  // Create it on the window thread.
  WindowThreadGate() = default;

  // Runs `work` on the window thread and waits for it. On the window thread itself it runs at
  // once. Returns false, without waiting any longer, when the gate is or becomes closed; `work`
  // then may still run later or not at all, so it must own what it uses (capture by value).
  bool Call(std::function<void()> work);
  // Runs `work` on the window thread later, without waiting; refused once the gate has closed.
  void Post(std::function<void()> work);

  // Ends every wait and refuses further work. Window thread only.
  void Close();
  bool Closed() const;

 private:
  struct Pending {
    std::function<void()> work;
    bool done = false;
  };

  // Queues `pending` and wakes the window thread; false when closed.
  bool Enqueue(const std::shared_ptr<Pending>& pending);
  Q_INVOKABLE void RunQueued();

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::shared_ptr<Pending>> queue_;
  bool closed_ = false;
};

}  // namespace kestrel::ui
