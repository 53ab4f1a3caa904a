#pragma once
// The application object: one per process, created by start-up after the
// single-instance check.

#include <QApplication>
#include <QString>
#include <functional>

class QWidget;

constexpr const char* kApplicationTitle = "Quno-V6.0";
// How long a tooltip stays up, in milliseconds.
constexpr int kHintHidePause = 1200;

// Shows the application's standard error box for an exception that nobody handled.
// An empty text stands for an exception that carried no message.
void ShowException(const QString& text);

// Reports an exception that escaped an event handler; replaceable for tests.
using ExceptionReporter = std::function<void(const QString&)>;

// Delivers an event as QApplication does; an exception thrown by the handler is
// handed to report and the event counts as unhandled, so the program goes on.
// Tooltips shown for the receiver stay kHintHidePause ms unless it set its own time.
bool NotifyGuarded(QApplication* app, QObject* receiver, QEvent* event,
                   const ExceptionReporter& report);

// Ends the message loop when mainForm closes or is destroyed, whatever other
// top-level windows (the log window) are still open.
void QuitWhenClosed(QWidget* mainForm);

class Application : public QApplication {
  Q_OBJECT
 public:
  Application(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};
