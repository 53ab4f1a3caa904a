#pragma once
// Drives the test's (user-interface) thread while a worker talks to it, and records
// the notifications that arrive there.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QObject>
#include <QThread>
#include <functional>
#include <vector>

#include "platform/statusmsg.h"

// Runs the event loop until done() holds; false after ms milliseconds.
inline bool PumpUntil(const std::function<bool()>& done, int ms = 20000) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

inline std::vector<int> CodesOf(const std::vector<StatusMsg>& msgs) {
  std::vector<int> codes;
  for (const StatusMsg& m : msgs) codes.push_back(m.code);
  return codes;
}

// Stands in for a form: a receiver living on the thread that created it.
struct StatusRecorder : QObject, StatusReceiver {
  std::vector<StatusMsg> msgs;
  std::vector<bool> onOwnThread;
  std::function<void(const StatusMsg&)> onMsg;
  void OnStatusMsg(const StatusMsg& msg) override {
    msgs.push_back(msg);
    onOwnThread.push_back(QThread::currentThread() == thread());
    if (onMsg) onMsg(msg);
  }
  std::vector<int> codes() const { return CodesOf(msgs); }
};
