#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <cstdlib>
#include <optional>

#include "platform/instancelock.h"
#include "support/tempdir.h"

namespace {

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
