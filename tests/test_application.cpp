#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QHelpEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <stdexcept>

#include "app/startup.h"
#include "platform/application.h"

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

// A main form that refuses the first close, as a form with unsaved work would.
class StubbornForm : public QWidget {
 public:
  int refusals = 1;

 protected:
  void closeEvent(QCloseEvent* e) override {
    if (refusals > 0) {
      --refusals;
      e->ignore();
    } else {
      e->accept();
    }
  }
};

// Runs the session with a guard that ends a loop that would otherwise never end.
struct SessionRun {
  bool timedOut = false;
  int result = -1;
  void Run(const LoginStep& login, const MainFormFactory& factory) {
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [this] {
      timedOut = true;
      QCoreApplication::exit(1);
    });
    guard.start(10000);
    result = RunSession(login, factory);
  }
};

}  // namespace

TEST(Application, ExceptionFromAHandlerIsReportedAndTheProgramGoesOn) {
  Thrower target;
  QStringList reports;
  auto report = [&](const QString& text) { reports << text; };
  struct Case {
    QEvent::Type type;
    bool handled;
  } cases[] = {
      {QEvent::User, false},
      {QEvent::Type(QEvent::User + 1), false},
      {QEvent::Type(QEvent::User + 2), true},
  };
  for (const Case& c : cases) {
    QEvent e(c.type);
    EXPECT_EQ(NotifyGuarded(qApp, &target, &e, report), c.handled);
  }
  ASSERT_EQ(reports.size(), 2);
  EXPECT_EQ(reports[0], "disk on fire");
  EXPECT_EQ(reports[1], "");  // not a standard exception: no text to show
  EXPECT_EQ(target.delivered, 1);
}

TEST(Application, TooltipsStayTheHintPauseUnlessAWidgetSetsItsOwn) {
  QWidget plain, own;
  plain.setToolTip("plain");
  own.setToolTip("own");
  own.setToolTipDuration(5000);
  for (QWidget* w : {&plain, &own}) {
    QHelpEvent e(QEvent::ToolTip, QPoint(1, 1), QPoint(1, 1));
    NotifyGuarded(qApp, w, &e, [](const QString&) {});
  }
  EXPECT_EQ(plain.toolTipDuration(), kHintHidePause);
  EXPECT_EQ(own.toolTipDuration(), 5000);
}

TEST(Startup, RefusedLoginCreatesNoMainForm) {
  int created = 0;
  EXPECT_EQ(RunSession([] { return false; },
                       [&]() -> QWidget* {
                         ++created;
                         return new QWidget;
                       }),
            0);
  EXPECT_EQ(created, 0);
}

TEST(Startup, LoopEndsWhenTheMainFormClosesWhileAnotherWindowStaysOpen) {
  QWidget logWindow;  // a second top-level window, as the log window is
  QPointer<QWidget> mainForm;
  SessionRun run;
  run.Run([] { return true; },
          [&] {
            mainForm = new QWidget;
            QTimer::singleShot(0, [&] {
              EXPECT_TRUE(mainForm->isVisible());
              logWindow.show();
              QTimer::singleShot(0, mainForm, &QWidget::close);
            });
            return mainForm.data();
          });
  EXPECT_FALSE(run.timedOut);
  EXPECT_EQ(run.result, 0);
  EXPECT_TRUE(mainForm.isNull());  // the session frees it
  EXPECT_TRUE(logWindow.isVisible());
  EXPECT_EQ(QCoreApplication::applicationName(), kApplicationTitle);
}

TEST(Startup, LoopGoesOnWhenTheMainFormRefusesToClose) {
  StubbornForm* form = nullptr;
  bool runningAfterRefusal = false;
  SessionRun run;
  run.Run([] { return true; },
          [&] {
            form = new StubbornForm;
            form->setAttribute(Qt::WA_DeleteOnClose);  // frees itself: no second delete
            QTimer::singleShot(0, form, &QWidget::close);
            QTimer::singleShot(50, form, [&] {
              runningAfterRefusal = form->isVisible();
              form->close();
            });
            return form;
          });
  EXPECT_FALSE(run.timedOut);
  EXPECT_TRUE(runningAfterRefusal);
}
