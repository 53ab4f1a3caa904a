#pragma once
// The application object: one per process, created by start-up after the
// single-instance check.

#include <QApplication>
#include <QString>
#include <functional>
#include <new>

class QWidget;

constexpr const char* kApplicationTitle = "Quno-V6.0";
// How long a tooltip stays up, in milliseconds.
constexpr int kHintHidePause = 1200;

// Shows the application's standard error box for an exception that nobody handled.
// An empty text stands for an exception that carried no message.
void ShowException(const QString& text);

// Memory that ran out while action was being done (a handler of a file's load, say),
// so that the report names that action rather than the window that got the event.
class OutOfMemoryDuring : public std::bad_alloc {
 public:
  explicit OutOfMemoryDuring(QString action) : action_(std::move(action)) {}
  const QString& Action() const { return action_; }

 private:
  QString action_;
};

// The box text for memory that could not be had while the user's action ran: the
// out-of-memory text, a dash and what was being done (never the exception's own text).
QString OutOfMemoryText(const QString& action);
// Where the out-of-memory text comes from (the language file, once start-up has chosen
// it); the built-in Chinese text until then.
void SetOutOfMemoryLookup(std::function<QString()> lookup);
// What the user was doing when receiver got an event: the caption of the button or
// menu entry, else the title of its window (or of the active one).
QString DescribeAction(QObject* receiver);

// Tells that memory ran out where the program cannot go on (at start-up): the text on
// stderr, then in the error box where the platform has a screen and room for one is
// left. The memory set aside for the box goes back first.
void TellNoMemoryToGoOn(const QString& text);

// Reports an exception that escaped an event handler; replaceable for tests.
using ExceptionReporter = std::function<void(const QString&)>;

// Delivers an event as QApplication does; an exception thrown by the handler is
// handed to report and the event counts as unhandled, so the program goes on. Memory
// that could not be had is reported with OutOfMemoryText of the action.
// Tooltips shown for the receiver stay kHintHidePause ms unless it set its own time.
bool NotifyGuarded(QApplication* app, QObject* receiver, QEvent* event,
                   const ExceptionReporter& report);

// Ends the message loop when mainForm closes or is destroyed, whatever other
// top-level windows (the log window) are still open.
void QuitWhenClosed(QWidget* mainForm);

// False when the threads that the toolkit waits for without a bound (its session-bus
// thread, its image threads) could not all be started with the application object, for
// want of room: start-up does not go on then.
bool ToolkitThreadsStarted();

class Application : public QApplication {
  Q_OBJECT
 public:
  Application(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};
