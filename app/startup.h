#pragma once
// Start-up: one instance per user, the login before any main-window form, then
// the main form and the message loop until the main form closes.

#include <functional>

class QWidget;

// Creates the main form (and whatever long-lived forms go with it) after a
// successful login. The session owns the returned form.
using MainFormFactory = std::function<QWidget*()>;
// Shows the login and tells whether it was accepted.
using LoginStep = std::function<bool()>;

// The exit code of a start-up that found too little memory to go on.
constexpr int kExitNoMemory = 1;

// The whole run of the program; returns its exit code: 0, or kExitNoMemory.
int RunApplication(int argc, char** argv, const MainFormFactory& createMainForm);

// What follows once the application object exists: login, main form, loop.
int RunSession(const LoginStep& login, const MainFormFactory& createMainForm);
// RunSession, with what escapes it shown in the application's error box; memory that
// could not be had is told as such, with the start of the program as the action, also
// on stderr, and ends with kExitNoMemory. Returns the exit code.
int RunSessionGuarded(const LoginStep& login, const MainFormFactory& createMainForm);
// Start-up's work on the files beside the executable that needs the application
// object: the language of the out-of-memory text, and the temporary files of settings
// writers that have died.
void PrepareProgramFiles();

// The login dialog, modally; freed before the function returns. Throws std::bad_alloc
// where too little room is left to build it, or the toolkit's threads did not start.
bool ShowLoginDialog();
