#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QCursor>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QRawFont>
#include <QTextLayout>
#include <QDateTime>
#include <QGuiApplication>
#include <QObject>
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <chrono>
#include <memory>
#include <new>
#include <thread>
#include <vector>

#include "platform/appcursor.h"
#include "platform/fonts.h"
#include "platform/datetime.h"
#include "platform/largemem.h"
#include "platform/parallel.h"
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

TEST(LargeMemory, AlignedZeroedAndKeptWhenSmallPagesAreAskedFor) {
  const std::size_t bytes = 3 * kLargePage + 100;
  auto* p = static_cast<unsigned char*>(MapLarge(bytes));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % kLargePage, 0u);
  EXPECT_EQ(p[0] + p[kLargePage] + p[bytes - 1], 0);
  p[10] = 1;
  p[bytes - 1] = 2;
  UseSmallPages(p, bytes);
  EXPECT_EQ(p[10], 1);
  EXPECT_EQ(p[bytes - 1], 2);
  p[2 * kLargePage + 5] = 3;
  EXPECT_EQ(p[2 * kLargePage + 5], 3);
  UnmapLarge(p, bytes);
}

TEST(RunParts, EveryPartOnceAndTheCallerTakesPartZero) {
  EXPECT_GE(UsableCores(), 1);
  EXPECT_LE(MemoryWorkers(), UsableCores());
  for (int parts : {0, 1, 5}) {
    std::vector<std::atomic<int>> runs(5);
    std::thread::id zero;
    RunParts(parts, [&](int p) {
      ++runs[static_cast<std::size_t>(p)];
      if (p == 0) zero = std::this_thread::get_id();
    });
    for (int p = 0; p < 5; ++p) EXPECT_EQ(runs[static_cast<std::size_t>(p)].load(), p < std::max(parts, 1) ? 1 : 0);
    EXPECT_EQ(zero, std::this_thread::get_id());
  }
  EXPECT_THROW(RunParts(3, [](int p) {
                 if (p == 2) throw std::bad_alloc();
               }),
               std::bad_alloc);
}

// The Windows names of the forms and pages draw in installed faces of their kind: "宋体"
// wholly in a Song face with half-width digits, the Latin faces with their Chinese from it.
TEST(FontNames, WindowsNamesDrawInFacesOfTheirKind) {
  const QStringList song = SongFaces();
  auto familiesOf = [](const QFont& font, const QString& text) {
    QTextLayout layout(text, font);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    QStringList families;
    for (const QGlyphRun& run : layout.glyphRuns()) families << run.rawFont().familyName();
    return families;
  };
  auto isSong = [&](const QString& family) { return song.contains(family, Qt::CaseInsensitive); };
  for (const char* name : {"宋体", "MS Sans Serif", "Arial"}) {
    const QFont font(QString::fromUtf8(name), 9);
    EXPECT_TRUE(isSong(familiesOf(font, QString::fromUtf8("用户名")).value(0))) << name;
    const QString latin = familiesOf(font, "Ab09").value(0);
    EXPECT_EQ(isSong(latin), std::string(name) == "宋体") << name << " " << latin.toStdString();
  }
  for (int size : {8, 9, 10, 12}) {
    const QFontMetrics fm(QFont(QString::fromUtf8("宋体"), size));
    EXPECT_NEAR(2 * fm.horizontalAdvance("0123456789") / 10.0, fm.horizontalAdvance(QString::fromUtf8("中")), 1.0) << size;
  }
  // The paper's Latin runs come from a twin face: another name, the same widths.
  const QFont base(QString::fromUtf8("宋体"), 9);
  const QFont twin = LatinTwin(base);
  EXPECT_NE(QFontInfo(twin).family(), QFontInfo(base).family());
  EXPECT_EQ(QFontMetrics(twin).horizontalAdvance("2026-12-07 01:57:31 Ab"),
            QFontMetrics(base).horizontalAdvance("2026-12-07 01:57:31 Ab"));
}

TEST(DateTime, EncodeDecodeRoundTrip) {
  EXPECT_DOUBLE_EQ(EncodeDateTime(2000, 1, 1, 0, 0, 0), 36526.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime(1899, 12, 29, 6, 0, 0), -1.25);  // before the epoch the time still counts up
  int y, mo, d, h, mi, s, ms;
  for (double t : {EncodeDateTime(2024, 2, 29, 23, 59, 59), EncodeDateTime(2100, 3, 1, 0, 0, 1), -1.25}) {
    DecodeDateTime(t, y, mo, d, h, mi, s);
    EXPECT_DOUBLE_EQ(EncodeDateTime(y, mo, d, h, mi, s), t);
  }
  // One millisecond short of midnight stays on its day; a hair under a full second is
  // still that second after rounding.
  DecodeDateTimeMs(EncodeDateTime(2020, 5, 31, 23, 59, 59, 999), y, mo, d, h, mi, s, ms);
  EXPECT_EQ(FormatRecordTime(y, mo, d, h, mi, s), "2020-05-31 23:59:59");
  EXPECT_EQ(ms, 999);
  DecodeDateTime(EncodeDateTime(2020, 5, 31, 10, 0, 5) - 1e-12, y, mo, d, h, mi, s);
  EXPECT_EQ(s, 5);
}

TEST(DateTime, SecondsAndTextsBothWays) {
  const double a = EncodeDateTime(2023, 3, 1, 10, 0, 0);
  double t = a;
  for (int i = 0; i < 1000; ++i) t += 5.0 / 86400.0;  // as a chart or generator builds times
  EXPECT_EQ(SecondsBetween(t, a), 5000);
  EXPECT_EQ(SecondsBetween(a, t), 5000);

  t = EncodeDateTime(2021, 7, 4, 9, 8, 7);
  EXPECT_EQ(FormatRecordTime(t), "2021-07-04 09:08:07");
  EXPECT_EQ(DateToStr(t) + " " + TimeToStr(t), "2021-07-04 09:08:07");
  double v = -1;
  ASSERT_TRUE(StrToDateTime("2021-07-04 09:08:07", v));
  EXPECT_DOUBLE_EQ(v, t);
  for (const char* bad : {"", "2021-02-30 00:00:00", "2021-07-04 24:00:00"}) {
    EXPECT_FALSE(StrToDateTime(bad, v)) << bad;
    EXPECT_DOUBLE_EQ(v, t) << "left as it was";
  }
  EXPECT_DOUBLE_EQ(FromQDateTime(QDateTime(QDate(2000, 1, 1), QTime(0, 0), Qt::UTC)), 36526.0);  // wall clock
}
