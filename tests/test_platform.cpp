#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QObject>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "platform/appcursor.h"
#include "platform/statusmsg.h"
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

TEST(AppCursor, OneValueNotAStack) {
  SetAppCursor(AppCursor::HourGlass);
  SetAppCursor(AppCursor::Cross);
  ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::CrossCursor);
  SetAppCursor(AppCursor::Default);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr) << "never more than one override";
  // Set from another thread (the reader's) it is applied on this one: see the reader tests.
}
