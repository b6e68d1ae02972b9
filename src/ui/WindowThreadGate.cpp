#include "ui/WindowThreadGate.h"

#include <QThread>

namespace kestrel::ui {

bool WindowThreadGate::Call(std::function<void()> work) {
  if (QThread::currentThread() == context_->thread()) {
    if (Closed()) return false;
    work();
    return true;
  }
  auto pending = std::make_shared<Pending>();
  pending->work = std::move(work);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) return false;
  }
  QMetaObject::invokeMethod(
      context_,
      [this, pending] {
        if (Closed()) return;
        pending->work();
        std::lock_guard<std::mutex> lock(mutex_);
        pending->done = true;
        wake_.notify_all();
      },
      Qt::QueuedConnection);
  std::unique_lock<std::mutex> lock(mutex_);
  wake_.wait(lock, [&] { return pending->done || closed_; });
  return pending->done;
}

void WindowThreadGate::Close() {
  std::lock_guard<std::mutex> lock(mutex_);
  closed_ = true;
  wake_.notify_all();
}

bool WindowThreadGate::Closed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return closed_;
}

}  // namespace kestrel::ui
