// Platform pieces (status channel, cursor, large pages, parts, date-times) and start-up: one
// instance per user, the session around the login, and exceptions that reach the event loop.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QRawFont>
#include <QTextLayout>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QTimer>
#include <QPushButton>
#include <QWidget>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <thread>

#include "app/startup.h"
#include "output/utexeclthread.h"
#include "platform/appcursor.h"
#include "platform/application.h"
#include "platform/instancelock.h"
#include "platform/fonts.h"
#include "platform/datetime.h"
#include "platform/largemem.h"
#include "platform/parallel.h"
#include "platform/profile.h"
#include "platform/statusmsg.h"
#include "support/faultchild.h"
#include "support/files.h"
#include "support/statuspump.h"
#include "support/tempdir.h"

using namespace std::chrono_literals;

TEST(StatusChannel, WorkerBlocksUntilTheHandlerRanOnTheReceiverThread) {
  StatusRecorder rec;
  StatusChannel ch;
  ch.SetReceiver(&rec, &rec);
  std::atomic<int> sent{0};
  std::vector<std::size_t> seenAfterSend;
  std::thread worker([&] {
    for (int code : {7, 5, 6}) {
      EXPECT_TRUE(ch.Send({code, 0, QString(300, QChar('p')), {}, {}}));
      seenAfterSend.push_back(rec.msgs.size());
      ++sent;
    }
  });
  ASSERT_TRUE(PumpUntil([&] { return sent == 3; }));
  worker.join();
  EXPECT_EQ(seenAfterSend, (std::vector<std::size_t>{1, 2, 3}));
  EXPECT_EQ(rec.codes(), (std::vector<int>{7, 5, 6}));  // on the receiver's thread: see the reader tests
  for (const StatusMsg& m : rec.msgs) EXPECT_EQ(m.text.size(), 300);  // whole, past any fixed buffer
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
  EXPECT_EQ(p[10] * 10 + p[bytes - 1], 12) << "kept";
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
  const auto failing = [](int p) { if (p == 2) throw std::bad_alloc(); };
  EXPECT_THROW(RunParts(3, failing), std::bad_alloc);
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

TEST(DateTime, EncodeDecodeSecondsAndTexts) {
  EXPECT_DOUBLE_EQ(EncodeDateTime(2000, 1, 1, 0, 0, 0), 36526.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime(1899, 12, 29, 6, 0, 0), -1.25);  // before the epoch the time still counts up
  int y, mo, d, h, mi, s, ms;
  for (double t : {EncodeDateTime(2024, 2, 29, 23, 59, 59), EncodeDateTime(2100, 3, 1, 0, 0, 1), -1.25}) {
    DecodeDateTime(t, y, mo, d, h, mi, s);
    EXPECT_DOUBLE_EQ(EncodeDateTime(y, mo, d, h, mi, s), t);
  }
  // A millisecond short of midnight stays on its day; a hair under a second rounds to it.
  DecodeDateTimeMs(EncodeDateTime(2020, 5, 31, 23, 59, 59, 999), y, mo, d, h, mi, s, ms);
  EXPECT_EQ(FormatRecordTime(y, mo, d, h, mi, s), "2020-05-31 23:59:59");
  EXPECT_EQ(ms, 999);
  DecodeDateTime(EncodeDateTime(2020, 5, 31, 10, 0, 5) - 1e-12, y, mo, d, h, mi, s);
  EXPECT_EQ(s, 5);

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

namespace {

// Throws from its event handler for the user event types: User + 3 and + 4 run out of
// memory, plainly or naming the action.
struct Thrower : QObject {
  int delivered = 0;
  bool event(QEvent* e) override {
    if (e->type() == QEvent::User) throw std::runtime_error("disk on fire");
    if (e->type() == QEvent::Type(QEvent::User + 1)) throw 42;
    if (e->type() == QEvent::Type(QEvent::User + 3)) throw std::bad_alloc();
    if (e->type() == QEvent::Type(QEvent::User + 4)) throw OutOfMemoryDuring("/data/a.qmd");
    ++delivered;
    return true;
  }
};

const char* const kName = "Quno-V6.0";

// Another process (tests/helpers/lock_holder.cpp) that takes the lock in runtimeDir,
// reports the result as "LOCK:<error>" and, when it got the lock, holds it until killed.
class LockChild {
 public:
  explicit LockChild(const std::string& runtimeDir) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtimeDir));
    proc_.setProcessEnvironment(env);
    proc_.start(QStringLiteral(QUNO_LOCK_HOLDER), {QString::fromLatin1(kName)});
  }
  ~LockChild() {
    proc_.kill();  // SIGKILL: no chance to clean anything up
    proc_.waitForFinished(10000);
  }

  std::optional<int> Result() {
    QDeadlineTimer deadline(60000);
    while (!deadline.hasExpired()) {
      out_ += proc_.readAllStandardOutput();
      const int at = out_.indexOf("LOCK:");
      const int end = at < 0 ? -1 : out_.indexOf('\n', at);
      if (end > at) return out_.mid(at + 5, end - at - 5).trimmed().toInt();
      if (proc_.state() == QProcess::NotRunning) break;
      proc_.waitForReadyRead(200);
    }
    return std::nullopt;
  }
  bool EndsSoon() { return proc_.waitForFinished(30000); }

 private:
  QProcess proc_;
  QByteArray out_;
};

}  // namespace

TEST(Application, ExceptionFromAHandlerIsReportedAndTheProgramGoesOn) {
  Thrower target;
  QStringList reports;
  const std::pair<QEvent::Type, bool> cases[] = {
      {QEvent::User, false}, {QEvent::Type(QEvent::User + 1), false}, {QEvent::Type(QEvent::User + 2), true}};
  for (const auto& [type, handled] : cases) {
    QEvent e(type);
    EXPECT_EQ(NotifyGuarded(qApp, &target, &e, [&](const QString& text) { reports << text; }), handled);
  }
  EXPECT_EQ(reports, QStringList({"disk on fire", ""}));  // not a standard exception: no text to show
  EXPECT_EQ(target.delivered, 1);
}

// Memory that runs out in a handler is told with the out-of-memory text and what the user
// was doing: the button's caption, the window's title, or the action the sender named.
TEST(Application, NoMemoryIsToldWithTheAction) {
  QWidget preview;
  preview.setWindowTitle("打印预览");
  QPushButton button("导出到&Excel", &preview);
  Thrower onButton, plain;
  onButton.setParent(&button);
  plain.setParent(&preview);
  const struct { Thrower* target; int type; bool looked; const char* told; } cases[] = {
      {&onButton, QEvent::User + 3, false, "内存分配失败-导出到Excel"},
      {&plain, QEvent::User + 3, false, "内存分配失败-打印预览"},
      {&plain, QEvent::User + 4, false, "内存分配失败-/data/a.qmd"},
      {&onButton, QEvent::User + 3, true, "Out of memory-导出到Excel"},  // the chosen language's text
  };
  for (const auto& c : cases) {
    SetOutOfMemoryLookup(c.looked ? std::function<QString()>([] { return QString("Out of memory"); }) : nullptr);
    QStringList reports;
    QEvent e(QEvent::Type(c.type));
    EXPECT_FALSE(NotifyGuarded(qApp, c.target, &e, [&](const QString& text) { reports << text; }));
    EXPECT_EQ(reports, QStringList{QString::fromUtf8(c.told)});
  }
  SetOutOfMemoryLookup(nullptr);
}

// Start-up with too little address space for the record store (in the fault child, with
// the address space limited for real): the out-of-memory text names the start, and the
// program ends cleanly instead of showing the exception's own text.
TEST(Startup, NoMemoryForTheStoreIsToldAndTheProgramEnds) {
  TempDir dir;
  const QString asan = qEnvironmentVariable("ASAN_OPTIONS");
  const ChildRun run = RunFaultChild({"oom-start", QString::fromStdString(dir.path()), "200"},
                                     {{"ASAN_OPTIONS", (asan.isEmpty() ? "" : asan + ":") + "allocator_may_return_null=1"}});
  ASSERT_TRUE(run.finished && !run.crashed) << "crashed or hung";
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_TRUE(run.err.contains(QStringLiteral("内存分配失败-启动程序\n").toUtf8()));
  // Without a screen no box: nobody could close it.
  EXPECT_EQ(run.get("box") + run.get("dialog") + run.get("ended"), "1") << "a login means the store fitted";
  EXPECT_EQ(run.get("code"), QString::number(kExitNoMemory)) << "the start-up's exit code";
}

// Writers killed with SIGKILL leave their new files unlocked: start-up removes those of the
// settings file, and the next write to a name (the settings, an export, a PDF) those of that
// name, while the file of a writer still at work, and every other name, stays.
TEST(SafeFile, WhatDeadWritersLeftGoesAndALiveWritersFileStays) {
  ProgramFolder dir;
  const std::string par = dir.file("system.par"), xls = dir.file("r.xls"), pdf = dir.file("c.pdf");
  const std::set<std::string> others = {".system.par.ABCDEFGH.tmp", ".other.abcdefgh.tmp", "system.par", "r.xls", "c.pdf"};
  for (const std::string& name : others) WriteBytes(dir.file(name), "not ours");
  const auto newFiles = [&] {
    std::set<std::string> names = FolderNames(dir.path());
    for (const std::string& name : others) names.erase(name);
    return names;
  };
  HeldChild dead(par), deadToo(par), live(par), deadXls(xls), deadPdf(pdf);
  ASSERT_TRUE(dead.Held() && deadToo.Held() && live.Held() && deadXls.Held() && deadPdf.Held());
  const std::set<std::string> all = newFiles();
  ASSERT_EQ(all.size(), 5u);
  dead.Kill();
  deadToo.Kill();
  PrepareProgramFiles();
  EXPECT_EQ(newFiles().size(), 3u);
  deadXls.Kill();
  deadPdf.Kill();
  EXPECT_EQ(RunFaultChild({"export", QString::fromStdString(xls), "3"}).get("code"), QString::number(kStatusExportDone));
  EXPECT_EQ(RunFaultChild({"pdf", QString::fromStdString(pdf)}).get("printed"), "1");
  ASSERT_TRUE(WriteProfileText("par", "BKCOLOR", "2", par));
  const std::set<std::string> held = newFiles();
  ASSERT_EQ(held.size(), 1u);
  EXPECT_TRUE(all.count(*held.begin()) && held.begin()->starts_with(".system.par.")) << "a live writer's file stays";
  live.Kill();
  ASSERT_TRUE(WriteProfileText("par", "BKCOLOR", "3", par));
  EXPECT_EQ(newFiles(), std::set<std::string>{});
}

TEST(Startup, RefusedLoginCreatesNoMainForm) {
  QCoreApplication::setApplicationName("before login");
  const QWidgetList windowsBefore = QApplication::topLevelWidgets();
  bool loopRan = false;
  // Runs only inside a message loop, and ends a loop that should never have begun.
  QTimer::singleShot(0, [&] {
    loopRan = true;
    QCoreApplication::exit(1);
  });
  int created = 0;
  RunSession([] { return false; }, [&]() -> QWidget* { return ++created, new QWidget; });
  EXPECT_EQ(created, 0);
  EXPECT_FALSE(loopRan) << "no message loop without a login";
  EXPECT_EQ(QApplication::topLevelWidgets(), windowsBefore);
  EXPECT_EQ(QCoreApplication::applicationName(), "before login") << "the title is set only after a login";
  QCoreApplication::processEvents();  // the pending timer, so it cannot end a later test's loop
  EXPECT_TRUE(loopRan);
}

TEST(Startup, LoopEndsWhenTheMainFormClosesWhileAnotherWindowStaysOpen) {
  QTimer guard;  // ends a loop that would otherwise never end
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
  guard.start(10000);
  QWidget logWindow;  // a second top-level window, as the log window is
  QPointer<QWidget> mainForm;
  EXPECT_EQ(RunSession([] { return true; },
                       [&] {
                         mainForm = new QWidget;
                         QTimer::singleShot(0, [&] {
                           EXPECT_TRUE(mainForm->isVisible());
                           logWindow.show();
                           QTimer::singleShot(0, mainForm, &QWidget::close);
                         });
                         return mainForm.data();
                       }),
            0);
  EXPECT_TRUE(guard.isActive()) << "the loop ran until the guard ended it";
  EXPECT_TRUE(mainForm.isNull());  // the session frees it
  EXPECT_TRUE(logWindow.isVisible());
  EXPECT_EQ(QCoreApplication::applicationName(), kApplicationTitle);
}

TEST(InstanceLock, OneHolderAcrossProcessesAndAKilledHolderLeavesNoStaleLock) {
  TempDir runtime;
  setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);  // for the lock taken here
  {
    LockChild first(runtime.path());
    ASSERT_EQ(first.Result(), 0);
    InstanceLock here(kName);
    EXPECT_FALSE(here.Held());
    EXPECT_TRUE(here.AlreadyRunning());
    EXPECT_EQ(here.LastError(), kErrorAlreadyExists);
    LockChild second(runtime.path());
    EXPECT_EQ(second.Result(), kErrorAlreadyExists);
    EXPECT_TRUE(second.EndsSoon());
  }  // the first is killed
  EXPECT_TRUE(QFile::exists(QString::fromStdString(runtime.file("Quno-V6.0.lock"))));
  LockChild third(runtime.path());
  EXPECT_EQ(third.Result(), 0);
}

// The program started while another instance holds the lock ends at once, with code 0,
// before it shows anything (no login, no message).
TEST(Startup, ASecondStartOfTheProgramEndsAtOnce) {
  TempDir runtime;
  LockChild first(runtime.path());
  ASSERT_EQ(first.Result(), 0);
  QProcess second;  // offscreen, as the test
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtime.path()));
  second.setProcessEnvironment(env);
  second.start(QStringLiteral(QUNO_EXECUTABLE), {});
  ASSERT_TRUE(second.waitForFinished(20000)) << "still running (in its login dialog)";
  EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second.exitCode(), 0);
  EXPECT_EQ(second.readAllStandardOutput() + second.readAllStandardError(), QByteArray());
}
