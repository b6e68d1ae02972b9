#include "ui/WindowThreadGate.h"

#include <QThread>

namespace kestrel::ui {

bool WindowThreadGate::Enqueue(const std::shared_ptr<Pending>& pending) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) return false;
    queue_.push_back(pending);
  }
  QMetaObject::invokeMethod(this, "RunQueued", Qt::QueuedConnection);
  return true;
}

void WindowThreadGate::RunQueued() {
  for (;;) {
    std::shared_ptr<Pending> next;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (closed_ || queue_.empty()) return;
      next = std::move(queue_.front());
      queue_.pop_front();
    }
    next->work();
    std::lock_guard<std::mutex> lock(mutex_);
    next->done = true;
    wake_.notify_all();
  }
}

bool WindowThreadGate::Call(std::function<void()> work) {
  if (QThread::currentThread() == thread()) {
    if (Closed()) return false;
    work();
    return true;
  }
  auto pending = std::make_shared<Pending>();
  pending->work = std::move(work);
  if (!Enqueue(pending)) return false;
  std::unique_lock<std::mutex> lock(mutex_);
  wake_.wait(lock, [&] { return pending->done || closed_; });
  return pending->done;
}

void WindowThreadGate::Post(std::function<void()> work) {
  auto pending = std::make_shared<Pending>();
  pending->work = std::move(work);
  Enqueue(pending);
}

void WindowThreadGate::Close() {
  std::lock_guard<std::mutex> lock(mutex_);
  closed_ = true;
  queue_.clear();
  wake_.notify_all();
}

bool WindowThreadGate::Closed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return closed_;
}

}  // namespace kestrel::ui
