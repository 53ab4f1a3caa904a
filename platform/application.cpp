#include "platform/application.h"

#include <QCloseEvent>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <exception>

#include "platform/fonts.h"
#include "platform/msgbox.h"

void ShowException(const QString& text) {
  ShowMessageBox(QApplication::activeWindow(), QMessageBox::Critical, QString::fromUtf8(kApplicationTitle),
                 text.isEmpty() ? QStringLiteral("Exception") : text);
}

bool NotifyGuarded(QApplication* app, QObject* receiver, QEvent* event,
                   const ExceptionReporter& report) {
  if (event->type() == QEvent::ToolTip && receiver->isWidgetType()) {
    auto* w = static_cast<QWidget*>(receiver);
    if (w->toolTipDuration() < 0) w->setToolTipDuration(kHintHidePause);
  }
  try {
    return app->QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    report(QString::fromUtf8(e.what()));
  } catch (...) {
    report(QString());
  }
  return false;
}

namespace {

class MainFormWatcher : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Close) {
      // The form may still refuse to close; look once the event has been handled.
      QPointer<QWidget> form = static_cast<QWidget*>(watched);
      QTimer::singleShot(0, QCoreApplication::instance(), [form] {
        if (!form || !form->isVisible()) QCoreApplication::exit(0);
      });
    }
    return false;
  }
};

}  // namespace

void QuitWhenClosed(QWidget* mainForm) {
  auto* watcher = new MainFormWatcher(mainForm);
  mainForm->installEventFilter(watcher);
  QObject::connect(mainForm, &QObject::destroyed, QCoreApplication::instance(),
                   [] { QCoreApplication::exit(0); });
}

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QString::fromUtf8(kApplicationTitle));
  SetUpFontSubstitutes();
  // Only the main form decides when the program ends.
  setQuitOnLastWindowClosed(false);
}

bool Application::notify(QObject* receiver, QEvent* event) {
  return NotifyGuarded(this, receiver, event, &ShowException);
}
