#include "platform/application.h"

#include <QAbstractButton>
#include <QAction>
#include <QCloseEvent>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <exception>
#include <mutex>
#include <new>

#include "platform/fonts.h"
#include "platform/msgbox.h"

void ShowException(const QString& text) {
  ShowMessageBox(QApplication::activeWindow(), QMessageBox::Critical, QString::fromUtf8(kApplicationTitle),
                 text.isEmpty() ? QStringLiteral("Exception") : text);
}

namespace {

std::mutex g_lookupMutex;
std::function<QString()> g_outOfMemoryLookup;

QString WithoutMnemonic(QString text) {
  text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
  text.remove(QLatin1Char('&'));
  return text.replace(QLatin1Char('\x01'), QLatin1Char('&'));
}

}  // namespace

void SetOutOfMemoryLookup(std::function<QString()> lookup) {
  std::lock_guard lock(g_lookupMutex);
  g_outOfMemoryLookup = std::move(lookup);
}

QString OutOfMemoryText(const QString& action) {
  std::function<QString()> lookup;
  {
    std::lock_guard lock(g_lookupMutex);
    lookup = g_outOfMemoryLookup;
  }
  QString text = lookup ? lookup() : QString();
  if (text.isEmpty()) text = QStringLiteral("内存分配失败");
  return action.isEmpty() ? text : text + QLatin1Char('-') + action;
}

QString DescribeAction(QObject* receiver) {
  for (QObject* o = receiver; o != nullptr; o = o->parent()) {
    if (auto* b = qobject_cast<QAbstractButton*>(o); b && !b->text().isEmpty()) return WithoutMnemonic(b->text());
    if (auto* a = qobject_cast<QAction*>(o); a && !a->text().isEmpty()) return WithoutMnemonic(a->text());
    if (auto* w = qobject_cast<QWidget*>(o); w && w->isWindow()) return w->windowTitle();
  }
  QWidget* active = QApplication::activeWindow();
  return active ? active->windowTitle() : QString();
}

bool NotifyGuarded(QApplication* app, QObject* receiver, QEvent* event,
                   const ExceptionReporter& report) {
  if (event->type() == QEvent::ToolTip && receiver->isWidgetType()) {
    auto* w = static_cast<QWidget*>(receiver);
    if (w->toolTipDuration() < 0) w->setToolTipDuration(kHintHidePause);
  }
  const QPointer<QObject> target(receiver);  // the handler may have freed it
  try {
    return app->QApplication::notify(receiver, event);
  } catch (const OutOfMemoryDuring& e) {
    report(OutOfMemoryText(e.Action()));
  } catch (const std::bad_alloc&) {
    report(OutOfMemoryText(DescribeAction(target.data())));
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
