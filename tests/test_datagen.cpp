#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>

#include "support/tempdir.h"


TEST(DataGen, CommandWritesTheFileAndRefusesBadOptions) {
  TempDir dir;
  const std::string out = dir.file("x.qmd");
  // The command is built at the top of the build folder, one level above the tests.
  QString exe = QString::fromLocal8Bit(qgetenv("QUNO_BUILD_DIR")) + "/qmdgen";
  if (!QFile::exists(exe)) exe = QCoreApplication::applicationDirPath() + "/../qmdgen";
  ASSERT_TRUE(QFile::exists(exe)) << exe.toStdString();
  QProcess p;
  p.start(exe, {"--out", QString::fromStdString(out), "--channels", "3", "--records", "7", "--trailing", "2",
                "--alarms", "--power-failures", "1", "--backwards", "1", "--invalid-times"});
  ASSERT_TRUE(p.waitForFinished(10000));
  EXPECT_EQ(p.exitCode(), 0);
  EXPECT_EQ(QFile(QString::fromStdString(out)).size(), 40 + 7 * 15 + 2);
  QProcess bad;
  bad.start(exe, {"--records", "x"});
  ASSERT_TRUE(bad.waitForFinished(10000));
  EXPECT_NE(bad.exitCode(), 0);
}
