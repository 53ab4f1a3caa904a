// Start-up: one instance per user, the session around the login, and exceptions that
// reach the event loop.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QTimer>
#include <QWidget>
#include <cstdlib>
#include <optional>
#include <stdexcept>

#include "app/startup.h"
#include "platform/application.h"
#include "platform/instancelock.h"
#include "support/tempdir.h"

namespace {

// Throws from its event handler for the two user event types.
class Thrower : public QObject {
 public:
  int delivered = 0;

 protected:
  bool event(QEvent* e) override {
    if (e->type() == QEvent::User) throw std::runtime_error("disk on fire");
    if (e->type() == QEvent::Type(QEvent::User + 1)) throw 42;
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
  RunSession([] { return false; },
             [&]() -> QWidget* {
               ++created;
               return new QWidget;
             });
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
