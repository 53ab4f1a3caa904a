#include "app/startup.h"

#include <QPointer>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>

#include "data/lanchg.h"
#include "data/syspar.h"
#include "output/utbmpPrint.h"
#include "output/utfaterPint.h"
#include "platform/application.h"
#include "platform/headroom.h"
#include "platform/instancelock.h"
#include "platform/safefile.h"
#include "users/utLogin.h"

bool ShowLoginDialog() {
  // The first window: without the toolkit's threads or the room for its fonts it would
  // hang or draw empty squares.
  if (!ToolkitThreadsStarted() || !HasRoom(kToolkitRoom)) throw std::bad_alloc();
  TfrmLogin login;
  return login.Execute();
}

int RunSession(const LoginStep& login, const MainFormFactory& createMainForm) {
  if (!login()) return 0;
  QCoreApplication::setApplicationName(QString::fromUtf8(kApplicationTitle));
  QPointer<QWidget> mainForm = createMainForm();
  if (!mainForm) return 0;
  // The print previews live as long as the main form and are reused for every print.
  CreatePrintPreview(mainForm);
  CreateReportPreview(mainForm);
  QuitWhenClosed(mainForm);
  if (!mainForm->isVisible()) mainForm->show();
  QCoreApplication::exec();
  delete mainForm.data();  // unless it freed itself on close
  return 0;
}

int RunApplication(int argc, char** argv, const MainFormFactory& createMainForm) {
  // A file-size limit fails a write like a full disk, which the writers report; the
  // signal's default would end the program with its file half written.
  IgnoreFileSizeSignal();
  InstanceLock lock(kApplicationTitle);
  // Another instance runs: end at once, without a window or a message. Any other
  // failure to take the lock does not stop the program.
  if (lock.AlreadyRunning()) return 0;

  Application app(argc, argv);
  PrepareProgramFiles();
  const int code = RunSessionGuarded(&ShowLoginDialog, createMainForm);
  // The thread pool counts a thread it could not create busy for ever, and on the way
  // out the application object waits for the pool's threads without a bound: a start
  // without its threads ends here.
  if (!ToolkitThreadsStarted()) {
    std::fflush(nullptr);
    std::_Exit(code);
  }
  return code;
}

void PrepareProgramFiles() {
  SetOutOfMemoryLookup([] { return GetLangString("frmQuna", "Error2", QStringLiteral("内存分配失败")); });
  // Only one instance runs, yet a writer of another program may: only the files that
  // no live writer holds are removed.
  RemoveLeftovers(SystemParPath());
}

int RunSessionGuarded(const LoginStep& login, const MainFormFactory& createMainForm) {
  try {
    return RunSession(login, createMainForm);
  } catch (const std::bad_alloc&) {
    TellNoMemoryToGoOn(OutOfMemoryText(GetLangString("utPubParam", "StartUp", QStringLiteral("启动程序"))));
    return kExitNoMemory;
  } catch (const std::exception& e) {
    ShowException(QString::fromUtf8(e.what()));
  } catch (...) {
    ShowException(QString());
  }
  return 0;
}
