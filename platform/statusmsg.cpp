#include "platform/statusmsg.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QThread>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>

#include "platform/application.h"

namespace {

struct Shared {
  std::mutex mutex;
  std::condition_variable wake;
  StatusReceiver* receiver = nullptr;
  QPointer<QObject> context;
  bool cancelled = false;
  QString action;
  // Raised by every Cancel, so a sender notices a Cancel even when Reopen follows
  // before it wakes up.
  std::uint64_t epoch = 0;
};

// Runs the handler; memory that runs out there is told with the sender's action.
void Deliver(StatusReceiver* receiver, const StatusMsg& msg, const QString& action) {
  try {
    receiver->OnStatusMsg(msg);
  } catch (const OutOfMemoryDuring&) {
    throw;
  } catch (const std::bad_alloc&) {
    if (action.isEmpty()) throw;
    throw OutOfMemoryDuring(action);
  }
}

struct Call {
  bool finished = false;
  bool handled = false;
};

// Owned by the queued functor only. Whether the functor runs or Qt discards it (its
// context object was destroyed first), its destruction wakes the waiting sender.
struct CallGuard {
  CallGuard(std::shared_ptr<Shared> s, std::shared_ptr<Call> c) : shared(std::move(s)), call(std::move(c)) {}
  CallGuard(const CallGuard&) = delete;
  CallGuard& operator=(const CallGuard&) = delete;
  ~CallGuard() {
    std::lock_guard lock(shared->mutex);
    call->finished = true;
    shared->wake.notify_all();
  }
  std::shared_ptr<Shared> shared;
  std::shared_ptr<Call> call;
};

}  // namespace

// The shared part outlives the channel while a queued call still refers to it.
struct StatusChannel::State {
  std::shared_ptr<Shared> shared = std::make_shared<Shared>();
};

StatusChannel::StatusChannel() : state_(new State) {}

StatusChannel::~StatusChannel() { delete state_; }

void StatusChannel::SetReceiver(StatusReceiver* receiver, QObject* context) {
  Shared& s = *state_->shared;
  std::lock_guard lock(s.mutex);
  s.receiver = receiver;
  s.context = context;
}

void StatusChannel::SetAction(const QString& action) {
  Shared& s = *state_->shared;
  std::lock_guard lock(s.mutex);
  s.action = action;
}

bool StatusChannel::Send(const StatusMsg& msg) {
  Shared& s = *state_->shared;
  std::unique_lock lock(s.mutex);
  if (s.cancelled || s.receiver == nullptr) return false;
  StatusReceiver* receiver = s.receiver;
  QObject* context = s.context.data();
  if (context == nullptr || context->thread() == QThread::currentThread()) {
    const QString action = s.action;
    lock.unlock();
    Deliver(receiver, msg, action);
    return true;
  }

  const std::uint64_t epoch = s.epoch;
  auto call = std::make_shared<Call>();
  auto guard = std::make_shared<CallGuard>(state_->shared, call);
  std::shared_ptr<Shared> state = state_->shared;
  lock.unlock();

  const bool posted = QMetaObject::invokeMethod(
      context,
      [state, call, guard, msg, epoch]() {
        StatusReceiver* target = nullptr;
        QString action;
        {
          std::lock_guard inner(state->mutex);
          if (!state->cancelled && state->epoch == epoch) target = state->receiver;
          action = state->action;
        }
        // A call that arrives after Cancel does nothing: its receiver may be gone.
        if (target == nullptr) return;
        Deliver(target, msg, action);
        std::lock_guard inner(state->mutex);
        call->handled = true;
      },
      Qt::QueuedConnection);
  guard.reset();  // from now on only the queued functor keeps the guard alive
  if (!posted) return false;

  lock.lock();
  s.wake.wait(lock, [&] { return call->finished || s.epoch != epoch; });
  return call->handled;
}

void StatusChannel::Cancel() {
  Shared& s = *state_->shared;
  std::lock_guard lock(s.mutex);
  s.cancelled = true;
  ++s.epoch;
  s.wake.notify_all();
}

void StatusChannel::Reopen() {
  Shared& s = *state_->shared;
  std::lock_guard lock(s.mutex);
  s.cancelled = false;
}

bool StatusChannel::Cancelled() const {
  Shared& s = *state_->shared;
  std::lock_guard lock(s.mutex);
  return s.cancelled;
}
