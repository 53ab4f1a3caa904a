#pragma once
// The notification message WM_STATUSMSG (0x501) with SendMessage semantics:
// sent on the receiver's thread it is a direct call; sent from a worker thread it
// blocks the worker until the receiver's thread has run the handler. Unlike a
// blocking queued connection it can be cancelled, so the user-interface thread may
// stop and join a worker that is blocked in a send without deadlocking.

#include <QString>
#include <cstdint>

class QObject;

constexpr int WM_STATUSMSG = 0x501;

// What travels with one notification; texts are carried by value.
struct StatusMsg {
  int code = 0;
  std::int64_t value = 0;  // a count, or 0
  QString text;            // a path or message text, or empty
  QString first;           // code 1102: the previous record's time text
  QString second;          // code 1102: this record's time text
};

class StatusReceiver {
 public:
  virtual ~StatusReceiver() = default;
  virtual void OnStatusMsg(const StatusMsg& msg) = 0;
};

// The sending end held by one worker (reader, export thread, printer wrapper).
class StatusChannel {
 public:
  StatusChannel();
  ~StatusChannel();
  StatusChannel(const StatusChannel&) = delete;
  StatusChannel& operator=(const StatusChannel&) = delete;

  // The receiver and a QObject living on the receiver's thread (usually the form itself).
  void SetReceiver(StatusReceiver* receiver, QObject* context);

  // What the sender is doing for the user (the file being loaded): memory that runs out
  // in a handler of this channel's messages is reported with it (OutOfMemoryDuring).
  void SetAction(const QString& action);

  // Delivers msg and returns once the handler has run (true), or at once when the
  // channel is cancelled or has no receiver (false).
  bool Send(const StatusMsg& msg);

  // Called on the receiver's thread: every pending and later Send returns false and
  // no handler runs any more, until Reopen.
  void Cancel();
  void Reopen();
  bool Cancelled() const;

 private:
  struct State;
  State* state_;
};
