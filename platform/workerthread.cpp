#include "platform/workerthread.h"

WorkerThread::WorkerThread(std::function<void(WorkerThread&)> body, bool createSuspended)
    : suspended_(createSuspended), body_(std::move(body)) {
  thread_ = std::thread([this] {
    bool run = true;
    {
      std::unique_lock lock(mutex_);
      if (suspended_) run = ParkLocked(lock);
      else run = !terminated_;
    }
    if (run && body_) body_(*this);
    std::lock_guard lock(mutex_);
    ended_ = true;
    changed_.notify_all();
  });
}

WorkerThread::~WorkerThread() {
  Terminate();
  Join();
}

bool WorkerThread::ParkLocked(std::unique_lock<std::mutex>& lock) {
  if (terminated_) return false;
  suspended_ = true;
  changed_.notify_all();
  changed_.wait(lock, [this] { return !suspended_ || terminated_; });
  suspended_ = false;
  return !terminated_;
}

bool WorkerThread::Park() {
  std::unique_lock lock(mutex_);
  return ParkLocked(lock);
}

void WorkerThread::Resume() {
  std::lock_guard lock(mutex_);
  if (!suspended_) return;
  suspended_ = false;
  changed_.notify_all();
}

bool WorkerThread::Idle() const {
  std::lock_guard lock(mutex_);
  return suspended_;
}

bool WorkerThread::WaitIdle(std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [this] { return suspended_ || ended_; });
}

void WorkerThread::Terminate() {
  std::lock_guard lock(mutex_);
  terminated_ = true;
  changed_.notify_all();
}

bool WorkerThread::Terminated() const {
  std::lock_guard lock(mutex_);
  return terminated_;
}

void WorkerThread::Join() {
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}
