// A picture of the main window with a loaded file, for a look by eye. It runs only when
// QUNO_SCREENSHOT_DIR names a folder. Under a display, from the source folder, e.g. with
//   export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp QUNO_SCREENSHOT_DIR=/tmp/shots
//   xvfb-run -a env QT_QPA_PLATFORM=xcb build/test/tests/test_mainshot
// it writes main.png there: the curve tab of an 8-channel file with two power failures.
#include <gtest/gtest.h>

#include "data/lanchg.h"
#include "mainform_support.h"

TEST(MainFormPicture, LoadedFile) {
  const char* dir = std::getenv("QUNO_SCREENSHOT_DIR");
  if (!dir) GTEST_SKIP() << "QUNO_SCREENSHOT_DIR is not set";
  TempDir tmp;
  GenOptions opt;
  opt.channels = 8;
  opt.records = 2000;
  opt.powerFailures = 2;
  ASSERT_TRUE(WriteDataFile(tmp.file("demo.qmd"), opt));
  const char* build = std::getenv("QUNO_BUILD_DIR");
  GetLanchg()->SetLangFile(build ? std::string(build) + "/langchs.ini" : std::string());
  TfrmQuna f;
  f.resize(1280, 800);
  f.show();
  ModalWatcher boxes;
  ASSERT_TRUE(f.OpenDataFile(tmp.file("demo.qmd")));
  ASSERT_TRUE(WaitLoaded(f));
  for (int i = 0; i < 20; ++i) QApplication::processEvents(QEventLoop::AllEvents, 10);
  EXPECT_TRUE(f.grab().save(QString("%1/main.png").arg(dir)));
}
