#include "platform/application.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QCloseEvent>
#include <QMessageBox>
#include <QPointer>
#include <QSemaphore>
#include <QThreadPool>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <exception>
#include <memory>
#include <mutex>
#include <new>

#include "platform/fonts.h"
#include "platform/headroom.h"
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

namespace {

// Memory set aside so that the box telling that memory ran out can still be made: when
// memory runs out the program's data are still held, and the box itself needs memory.
// It goes back to the system just before the box and is taken again after it.
std::unique_ptr<char[]> g_reserve;
constexpr std::size_t kReserveBytes = std::size_t{16} << 20;

void TakeReserve() {
  if (g_reserve) return;
  g_reserve.reset(new (std::nothrow) char[kReserveBytes]);
}

// Tells the user; where even that finds no memory, the event is dropped untold rather
// than the exception ending the program inside the event loop.
void Tell(const ExceptionReporter& report, const std::function<QString()>& text) {
  g_reserve.reset();
  try {
    report(text());
  } catch (const std::bad_alloc&) {
    std::fputs("out of memory: an exception could not be reported\n", stderr);
  }
  TakeReserve();
}

}  // namespace

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
    Tell(report, [&e] { return OutOfMemoryText(e.Action()); });
  } catch (const std::bad_alloc&) {
    Tell(report, [&target] { return OutOfMemoryText(DescribeAction(target.data())); });
  } catch (const std::exception& e) {
    Tell(report, [&e] { return QString::fromUtf8(e.what()); });
  } catch (...) {
    Tell(report, [] { return QString(); });
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

// The toolkit converts and scales large images on its shared thread pool and then waits
// for every piece. A pool thread that cannot be created once memory runs short never
// runs its piece, and that wait never ends: the window froze for good instead of
// telling that memory ran out. So the pool's threads are started here, while memory
// is plentiful, and kept for the life of the program.
//
// The pool does not report a thread it could not create: that thread's task never runs
// and the pool counts it busy for ever. A new thread also takes more than its stack (its
// first allocation reserves a heap of its own, tens of megabytes of address space). So
// the threads start one at a time, each once the one before it runs and only while room
// to go on is left; false tells that they did not all start.
bool KeepImageThreads() {
  QThreadPool* pool = QThreadPool::globalInstance();
  pool->setExpiryTimeout(-1);
  const int threads = pool->maxThreadCount();
  struct Gate {
    QSemaphore running, go;
  };
  const auto gate = std::make_shared<Gate>();
  constexpr int kStartMs = 2000;  // a thread that can be created runs within milliseconds
  bool all = true;
  // Each task holds its thread until all have started, so that every one is a thread
  // of its own.
  for (int i = 0; i < threads && all; ++i) {
    all = HasRoom(kToolkitRoom + ThreadRoom());
    if (!all) break;
    pool->start([gate] {
      gate->running.release();
      gate->go.acquire();
    });
    all = gate->running.tryAcquire(1, kStartMs);
  }
  gate->go.release(threads);
  return all;
}

bool g_busAsked = false;
bool g_threadsStarted = false;

// The toolkit connects its accessibility bridge to the session bus the first time
// anything asks whether accessibility is on (on X11 that is the first window), and then
// waits for the bus's thread without a bound. Asked here, before the program takes its
// room, that thread is made while there is room for it.
bool StartToolkitThreads() {
  if (!HasRoom(kToolkitRoom + ThreadRoom())) return false;
  QAccessible::isActive();
  g_busAsked = true;
  return KeepImageThreads();
}

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
  // Set aside before the threads take their room.
  TakeReserve();
  g_threadsStarted = StartToolkitThreads();
}

bool ToolkitThreadsStarted() { return g_threadsStarted; }

void TellNoMemoryToGoOn(const QString& text) {
  std::fprintf(stderr, "%s\n", text.toUtf8().constData());
  std::fflush(stderr);
  g_reserve.reset();
  // Where the platform has no screen nobody could read the box or close it: it would
  // wait for ever, and the text on stderr is all there is to tell.
  const QString platform = QGuiApplication::platformName();
  if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal") ||
      QGuiApplication::primaryScreen() == nullptr)
    return;
  // Without room for the fonts (and the toolkit's bus thread, if it was not made at
  // start-up) the box would draw empty squares or hang; the text on stderr has to do
  // then. The Chinese face alone maps a file of 21 MB.
  constexpr std::size_t kFontRoom = std::size_t{32} << 20;
  if (!HasRoom(kFontRoom + (g_busAsked ? 0 : ThreadRoom()))) return;
  try {
    ShowException(text);
  } catch (const std::bad_alloc&) {
  }
}

bool Application::notify(QObject* receiver, QEvent* event) {
  return NotifyGuarded(this, receiver, event, &ShowException);
}
