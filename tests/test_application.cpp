#include <gtest/gtest.h>

#include <QApplication>
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
