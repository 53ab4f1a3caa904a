// The built program started under a real address-space limit (RLIMIT_AS): it reaches its
// login dialog, or it tells on stderr that memory ran out at start-up and then waits in its
// box (only where a screen shows it) or ends with a non-zero code; never does it wait for
// ever on a thread never made.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include "app/startup.h"
#include "platform/headroom.h"
#include "support/tempdir.h"
#include "users/udmData.h"

namespace {

// The main thread waits in poll, in an event loop (a dialog's or a box's), and not on a
// futex for a thread that never comes.
bool InEventLoop(qint64 pid) {
  QFile f(QStringLiteral("/proc/%1/syscall").arg(pid));
  const long nr = f.open(QIODevice::ReadOnly) ? f.readAll().split(' ').value(0).toLong() : -1;
  return nr == SYS_poll || nr == SYS_ppoll;
}

// Starts the program from a folder of its own with mb of address space, once per limit, and
// checks what it came to within 10 s: 150 MB leaves no room even for a box, 300 to 700 MB
// none for the record store beside the toolkit's threads, 1000 MB does or does not (one
// thread per core), 8 GB is plenty. Without a screen a box would wait for nobody: a
// program that told has ended.
void SweepLimits(const QString& platform, const QString& display = {}) {
  const bool screen = platform != QLatin1String("offscreen");
  enum Want { Told, LogIn, Either };
  const std::pair<long, Want> sweep[] = {{150, Told}, {300, Told}, {500, Told}, {700, Told}, {1000, Either}, {8192, LogIn}};
  const QByteArray text = QStringLiteral("内存分配失败-启动程序").toUtf8();
  for (const auto& [mb, want] : sweep) {
    TempDir folder, runtime;
    const QString exe = QString::fromStdString(folder.file("quno"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(QUNO_EXECUTABLE), exe));
    const QString database = QString::fromStdString(folder.file(kUserDbFileName));
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", platform);
    env.insert("DISPLAY", display);
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtime.path()));  // a lock of its own
    p.setProcessEnvironment(env);
    p.setChildProcessModifier([bytes = static_cast<rlim_t>(mb) << 20] {
      const rlimit r{bytes, bytes};
      setrlimit(RLIMIT_AS, &r);
    });
    QElapsedTimer t;
    t.start();
    p.start(exe, {});
    ASSERT_TRUE(p.waitForStarted(5000));
    QByteArray err;
    bool ended = false, waiting = false;
    for (QDeadlineTimer end(10000); !end.hasExpired() && !ended && !waiting;) {
      ended = p.waitForFinished(20);
      err += p.readAllStandardError();
      // The login dialog's constructor opens the database, once the store was had.
      const bool box = screen && err.contains(text);
      waiting = !ended && InEventLoop(p.processId()) && (box || QFile::exists(database));
    }
    const bool told = err.contains(text);
    SCOPED_TRACE(QStringLiteral("%1 at %2 MB, %3 ms").arg(platform).arg(mb).arg(t.elapsed()).toStdString());
    ASSERT_TRUE(ended || waiting) << (told ? "told, then neither ended nor waited in a box a screen shows"
                                           : "neither the login dialog nor the text within 10 s: hung");
    EXPECT_TRUE(want == Either || told == (want == Told));
    EXPECT_TRUE(!ended || (told && p.exitStatus() == QProcess::NormalExit && p.exitCode() == kExitNoMemory))
        << "an end after the text, with its exit code " << p.exitCode();
    EXPECT_TRUE(!told || screen || ended) << "a box that nobody can see";
    EXPECT_TRUE(mb != 150 || ended) << "no room for a box: the text on stderr has to do";
    EXPECT_TRUE(mb < 500 || !ended || !screen) << "room for a box";
  }  // the process is killed with its object
}

}  // namespace

TEST(HeadRoom, RoomThatIsThereIsFoundAndRoomThatIsNotIsNot) {
  EXPECT_TRUE(HasRoom(kToolkitRoom));
  EXPECT_FALSE(HasRoom(std::size_t{1} << 60)) << "more than any address space";
  EXPECT_GT(ThreadRoom(), std::size_t{64} << 20) << "a stack and the heap of a new thread";
}

// Under the sanitizer, which reserves terabytes of shadow memory up front, an address-space
// limit means nothing.
#ifdef __SANITIZE_ADDRESS__
#define SKIP_UNDER_SANITIZER() GTEST_SKIP() << "an address-space limit needs the build without the sanitizer"
#else
#define SKIP_UNDER_SANITIZER() (void)0
#endif

TEST(Startup, UnderAnAddressSpaceLimitTheProgramLogsInOrTellsWithoutADisplay) {
  SKIP_UNDER_SANITIZER();
  SweepLimits("offscreen");
}

// On X11 the toolkit also starts its session-bus thread and waits for it.
TEST(Startup, UnderAnAddressSpaceLimitTheProgramLogsInOrTellsOnX11) {
  SKIP_UNDER_SANITIZER();
  if (QStandardPaths::findExecutable("Xvfb").isEmpty()) GTEST_SKIP() << "no Xvfb to run the program on X11";
  int n = 200 + static_cast<int>(getpid() % 500);
  while (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n))) ++n;
  QProcess server;
  server.start("Xvfb", {QStringLiteral(":%1").arg(n), "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
  for (QDeadlineTimer end(10000); !QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)) && !end.hasExpired();)
    ASSERT_FALSE(server.waitForFinished(50)) << "Xvfb ended";
  SweepLimits("xcb", QStringLiteral(":%1").arg(n));
}
