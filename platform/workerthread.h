#pragma once
// A thread with suspend/resume meaning: the body parks itself and waits for Resume;
// "idle" means exactly "parked". Parking waits on a condition variable; nothing polls.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class WorkerThread {
 public:
  // Starts the thread. Created suspended, it parks before running the body and
  // counts as idle from the start. The body gets the thread itself (for Park and
  // Terminated), usable from its first instruction.
  explicit WorkerThread(std::function<void(WorkerThread&)> body, bool createSuspended = true);
  ~WorkerThread();  // Terminate and Join
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // Wakes a parked thread; does nothing while the thread is running.
  void Resume();
  // True exactly while the thread is parked (or created suspended and not yet resumed).
  bool Idle() const;
  // Waits (no polling) until the thread is parked or has ended; false on timeout.
  bool WaitIdle(std::chrono::milliseconds timeout) const;

  // Asks the body to end and wakes it if parked; the body tests Terminated().
  void Terminate();
  bool Terminated() const;
  void Join();  // waits for the body to return; safe to call more than once

  // Called by the body on its own thread: parks until Resume (true) or
  // Terminate (false, at once when already terminated).
  bool Park();

 private:
  bool ParkLocked(std::unique_lock<std::mutex>& lock);

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  bool suspended_;
  bool terminated_ = false;
  bool ended_ = false;
  std::function<void(WorkerThread&)> body_;
  std::thread thread_;  // last: started once every other member exists
};
