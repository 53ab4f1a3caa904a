// Pictures of the main window for a look by eye: only when QUNO_SCREENSHOT_DIR names a
// folder (run under a display, e.g. xvfb-run with QT_QPA_PLATFORM=xcb).
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QImage>
#include <QTabWidget>

#include "data/lanchg.h"
#include "mainform_support.h"
#include "support/tempdir.h"
#include "tools/datagen.h"
#include "ui_frmQuna.h"

namespace {

void Grab(const char* langFile, const std::string& data, const QString& png, int tab) {
  const char* build = std::getenv("QUNO_BUILD_DIR");
  GetLanchg()->SetLangFile(langFile && build ? std::string(build) + "/" + langFile : std::string());
  TfrmQuna f;
  f.resize(1280, 800);
  f.show();
  ModalWatcher boxes;
  ASSERT_TRUE(f.OpenDataFile(data));
  QElapsedTimer t;
  t.start();
  while (f.IsBusy() && t.elapsed() < 20000) QApplication::processEvents(QEventLoop::AllEvents, 10);
  f.Form()->pgc1->setCurrentIndex(tab);
  for (int i = 0; i < 20; ++i) QApplication::processEvents(QEventLoop::AllEvents, 10);
  EXPECT_TRUE(f.grab().save(png));
}

}  // namespace

TEST(MainFormPicture, ChineseAndEnglish) {
  const char* dir = std::getenv("QUNO_SCREENSHOT_DIR");
  if (!dir) GTEST_SKIP() << "QUNO_SCREENSHOT_DIR is not set";
  TempDir tmp;
  GenOptions opt;
  opt.channels = 8;
  opt.records = 2000;
  opt.powerFailures = 2;
  const std::string data = tmp.file("demo.qmd");
  ASSERT_TRUE(WriteDataFile(data, opt));
  Grab("langchs.ini", data, QString("%1/main_chs.png").arg(dir), 0);
  Grab("langeng.ini", data, QString("%1/main_eng.png").arg(dir), 1);
}
