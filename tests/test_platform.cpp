#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QObject>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/appcursor.h"
#include "platform/statusmsg.h"
#include "platform/workerthread.h"
#include "support/statuspump.h"

using namespace std::chrono_literals;

TEST(StatusChannel, WorkerBlocksUntilTheHandlerRanOnTheReceiverThread) {
  StatusRecorder rec;
  StatusChannel ch;
  ch.SetReceiver(&rec, &rec);
  std::atomic<int> sent{0};
  std::vector<std::size_t> seenAfterSend;
  std::thread worker([&] {
    for (int code : {7, 5, 6}) {
      EXPECT_TRUE(ch.Send({code, 0, QString(300, QChar('p')), {}, {}}));  // longer than any fixed buffer
      seenAfterSend.push_back(rec.msgs.size());
      ++sent;
    }
  });
  ASSERT_TRUE(PumpUntil([&] { return sent == 3; }));
  worker.join();
  EXPECT_EQ(seenAfterSend, (std::vector<std::size_t>{1, 2, 3}));
  EXPECT_EQ(rec.codes(), (std::vector<int>{7, 5, 6}));
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_TRUE(rec.onOwnThread[i]);
    EXPECT_EQ(rec.msgs[i].text.size(), 300);
  }
}

TEST(StatusChannel, CancelOrAGoneContextReleasesABlockedSenderAndDropsTheLateCall) {
  for (bool cancel : {true, false}) {
    SCOPED_TRACE(cancel ? "cancelled" : "context destroyed");
    StatusRecorder rec;
    StatusChannel ch;
    EXPECT_FALSE(ch.Send({1, 0, "x", {}, {}})) << "no receiver yet";
    auto context = std::make_unique<QObject>();
    ch.SetReceiver(&rec, context.get());
    std::atomic<int> result{-1};
    std::thread worker([&] { result = ch.Send({7, 10, {}, {}, {}}) ? 1 : 0; });
    std::this_thread::sleep_for(50ms);  // the worker is (most likely) waiting; no events pumped
    EXPECT_EQ(result, -1);
    cancel ? ch.Cancel() : context.reset();
    worker.join();  // would hang for ever with a blocking queued connection
    EXPECT_EQ(result, 0);
    QCoreApplication::processEvents();
    EXPECT_TRUE(rec.msgs.empty()) << "a call arriving late must not run";
    if (!cancel) continue;
    EXPECT_FALSE(ch.Send({4, 0, {}, {}, {}})) << "same-thread sends are refused too";
    ch.Reopen();
    EXPECT_TRUE(ch.Send({4, 0, {}, {}, {}}));
    EXPECT_EQ(rec.msgs.size(), 1u) << "on its own thread a send is a direct call, without an event loop";
  }
}

TEST(StatusChannel, CancelFromInsideTheHandlerReleasesTheSender) {
  // The form closes while a modal dialog of the handler runs: the sender must not
  // keep waiting for the handler to return.
  StatusRecorder rec;
  StatusChannel ch;
  ch.SetReceiver(&rec, &rec);
  std::atomic<bool> returned{false};
  std::atomic<int> result{-1};
  rec.onMsg = [&](const StatusMsg&) {
    ch.Cancel();
    PumpUntil([&] { return returned.load(); }, 2000);
  };
  std::thread worker([&] {
    result = ch.Send({1102, 0, {}, {}, {}}) ? 1 : 0;
    returned = true;
  });
  ASSERT_TRUE(PumpUntil([&] { return returned.load(); }));
  worker.join();
  EXPECT_EQ(result, 0);
  EXPECT_EQ(rec.msgs.size(), 1u);
}

TEST(WorkerThread, ParksUntilResumedAndTerminateWakesAndJoins) {
  std::atomic<int> passes{0};
  std::mutex gate;
  auto t = std::make_unique<WorkerThread>([&](WorkerThread& self) {
    do {
      { std::lock_guard lock(gate); }
      ++passes;
    } while (self.Park());
  });
  EXPECT_TRUE(t->Idle());
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(passes, 0) << "created suspended: the body has not run";

  gate.lock();  // hold the body inside a pass: it is running, so not idle
  t->Resume();
  std::this_thread::sleep_for(20ms);
  EXPECT_FALSE(t->Idle());
  t->Resume();  // resuming a running thread is a no-op
  gate.unlock();
  ASSERT_TRUE(t->WaitIdle(2s));
  EXPECT_EQ(passes, 1);

  const auto start = std::chrono::steady_clock::now();
  t.reset();  // Terminate wakes the parked body, whose Park returns false; Join
  EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
  EXPECT_EQ(passes, 1);

  std::atomic<bool> ran{false};
  { WorkerThread never([&](WorkerThread&) { ran = true; }); }
  EXPECT_FALSE(ran) << "terminated before it ever ran: the body never starts";
}

TEST(AppCursor, OneValueAppliedOnTheUserInterfaceThread) {
  SetAppCursor(AppCursor::HourGlass);
  SetAppCursor(AppCursor::Cross);
  ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::CrossCursor);
  SetAppCursor(AppCursor::Default);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr) << "never more than one override";

  std::thread([] { SetAppCursor(AppCursor::HourGlass); }).join();
  EXPECT_EQ(CurrentAppCursor(), AppCursor::HourGlass);
  ASSERT_TRUE(PumpUntil([] { return QGuiApplication::overrideCursor() != nullptr; }));
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
  std::thread([] { SetAppCursor(AppCursor::Default); }).join();
  ASSERT_TRUE(PumpUntil([] { return QGuiApplication::overrideCursor() == nullptr; }));
}
