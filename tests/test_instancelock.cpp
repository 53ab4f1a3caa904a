#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <cstdlib>
#include <optional>

#include "app/startup.h"
#include "platform/instancelock.h"
#include "support/tempdir.h"

namespace {

const char* const kName = "Quno-V6.0";
const char* const kChildFlag = "QUNO_LOCK_CHILD";

// Sets an environment variable (or unsets it) for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    value ? setenv(name, value->c_str(), 1) : unsetenv(name);
  }
  ~ScopedEnv() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// Another process of this test program that takes the lock in runtimeDir, reports
// the result as "LOCK:<error>" and, when it got the lock, holds it until killed.
class LockChild {
 public:
  explicit LockChild(const std::string& runtimeDir) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(kChildFlag, "1");
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtimeDir));
    proc_.setProcessEnvironment(env);
    proc_.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=InstanceLockChild.Hold")});
  }
  ~LockChild() {
    proc_.kill();  // SIGKILL: no chance to clean anything up
    proc_.waitForFinished(10000);
  }

  // The child's LastError(), or nullopt when it never said.
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

TEST(InstanceLockChild, Hold) {
  if (!qEnvironmentVariableIsSet(kChildFlag)) GTEST_SKIP() << "runs only as a child process";
  InstanceLock lock(kName);
  std::printf("LOCK:%d\n", lock.LastError());
  std::fflush(stdout);
  if (lock.Held()) {
    for (int i = 0; i < 120; ++i) sleep(1);  // the parent kills it long before
  }
}

TEST(InstanceLock, OneHolderAcrossProcessesAndAKilledHolderLeavesNoStaleLock) {
  TempDir runtime;
  ScopedEnv env("XDG_RUNTIME_DIR", runtime.path());
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

TEST(InstanceLock, ReleasedWhenTheHolderEndsAndFoundWithoutARuntimeFolder) {
  TempDir tmp;
  ScopedEnv env("XDG_RUNTIME_DIR", std::nullopt);
  ScopedEnv tmpdir("TMPDIR", tmp.path());
  auto first = std::make_unique<InstanceLock>(kName);
  ASSERT_TRUE(first->Held());
  // flock conflicts between two opens of the file, even in one process.
  EXPECT_TRUE(InstanceLock(kName).AlreadyRunning());
  first.reset();
  EXPECT_TRUE(InstanceLock(kName).Held());
}

TEST(InstanceLock, NoLockFileMeansStartAnyway) {
  TempDir tmp;
  // A runtime folder that does not exist, and a planted symlink that must not be
  // followed: neither lets the lock be taken, neither counts as a running instance.
  const std::string target = tmp.file("elsewhere");
  ASSERT_EQ(symlink(target.c_str(), tmp.file("Quno-V6.0.lock").c_str()), 0);
  for (const std::string& dir : {tmp.path() + "missing", tmp.path()}) {
    SCOPED_TRACE(dir);
    ScopedEnv env("XDG_RUNTIME_DIR", dir);
    InstanceLock lock(kName);
    EXPECT_FALSE(lock.Held());
    EXPECT_FALSE(lock.AlreadyRunning());
  }
  EXPECT_FALSE(QFile::exists(QString::fromStdString(target)));
}

TEST(Startup, SecondStartEndsAtOnceWithoutAWindow) {
  TempDir runtime;
  ScopedEnv env("XDG_RUNTIME_DIR", runtime.path());
  InstanceLock running(kName);
  ASSERT_TRUE(running.Held());  // otherwise the call below would build a second application

  char arg0[] = "quno";
  char* argv[] = {arg0, nullptr};
  int factoryCalls = 0;
  EXPECT_EQ(RunApplication(1, argv, [&]() -> QWidget* {
              ++factoryCalls;
              return nullptr;
            }),
            0);
  EXPECT_EQ(factoryCalls, 0);
  EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty());
}
