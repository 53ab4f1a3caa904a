#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>

#include "support/tempdir.h"
#include "tools/datagen.h"

TEST(DataGen, LayoutOfHeaderRecordsAndTail) {
  struct Case { int model, channels, records, trailing, header, record; };
  const Case cases[] = {{0, 4, 10, 0, 40, 18}, {5, 32, 3, 7, 40, 102}, {11, 4, 5, 3, 48, 16}, {12, 1, 0, 0, 40, 9}};
  for (const Case& c : cases) {
    GenOptions o;
    o.model = c.model;
    o.channels = c.channels;
    o.records = c.records;
    o.trailingBytes = c.trailing;
    o.deviceNo = 0x1234;
    o.id34 = 7;
    o.id35 = 9;
    const auto bytes = GenerateDataFile(o);
    ASSERT_EQ(bytes.size(), static_cast<std::size_t>(c.header + c.records * c.record + c.trailing)) << c.model;
    EXPECT_EQ(bytes[0], c.channels);
    EXPECT_EQ(bytes[33], c.model);
    EXPECT_EQ(bytes[34], 7);
    EXPECT_EQ(bytes[35], 9);
    EXPECT_EQ(bytes[36] + 256 * bytes[37], 0x1234);
  }
}

TEST(DataGen, MarkersAndBackwardsRecords) {
  GenOptions o;
  o.channels = 2;
  o.records = 20;
  o.powerFailures = 1;  // at record 10
  o.backwardsAt = {15};
  const auto bytes = GenerateDataFile(o);
  const int R = 12;
  auto rec = [&](int k) { return bytes.data() + 40 + k * R; };
  EXPECT_EQ(rec(10)[R - 1], 0xFF);
  EXPECT_NE(rec(9)[R - 1], 0xFF);
  // The marker repeats the values of the record before it.
  EXPECT_EQ(std::vector<std::uint8_t>(rec(9) + 6, rec(9) + 10), std::vector<std::uint8_t>(rec(10) + 6, rec(10) + 10));
  auto seconds = [&](int k) { return rec(k)[3] * 3600 + rec(k)[4] * 60 + rec(k)[5]; };
  EXPECT_EQ(seconds(15), seconds(14) - 10);
  EXPECT_EQ(seconds(11), seconds(9) + 3600 + 10) << "an hour of outage after the marker";
}

TEST(DataGen, CommandWritesTheFile) {
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
