#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>

#include "platform/gbk.h"
#include "platform/profile.h"
#include "support/files.h"

namespace {

QString Read(const std::string& path, const char* section, const char* key, const char* def = "dflt",
             std::size_t buffer = kProfileNoLimit) {
  return GetProfileText(QString::fromUtf8(section), QString::fromUtf8(key), QString::fromUtf8(def), buffer, path);
}

int FilesIn(const TempDir& dir) {
  return QDir(QString::fromStdString(dir.path())).entryList(QDir::Files | QDir::Hidden).size();
}

}  // namespace

TEST(Gbk, WhatGbkLacksIsKeptAndNoCharacterIsSplit) {
  const QString emoji = QString::fromUtf8("a😀b");  // kept in its GB18030 form, not dropped
  EXPECT_EQ(gbk::Decode(gbk::Encode(emoji)), emoji);
  EXPECT_EQ(gbk::ToUtf8("a\xFF" "b"), "a\xEF\xBF\xBD" "b");
  const std::string four = "x\x81\x30\x81\x30";  // a four-byte sequence
  EXPECT_EQ(gbk::CutAt(four, 4), "x");
  EXPECT_EQ(gbk::CutAt(four, 5), four);
}

TEST(ProfileRead, MissingFileMatchingTrimmingAndQuotes) {
  TempDir dir;
  const std::string path = dir.file("a.ini");
  EXPECT_EQ(Read(path, "par", "UP"), "dflt");
  EXPECT_FALSE(QFile::exists(QString::fromStdString(path))) << "reading creates nothing";
  WriteBytes(path, "top=0\r\n  [ PaR ]  \r\n  Up  =  12 \r\nup=13\r\ndq=\"  spaced \"\r\nsq='x'\r\nmixed=\"x'\r\n"
                   "noequals\r\n[par]\r\nlater=1\r\n[\xCD\xA8\xB5\xC0]\r\nk=chs\r\n");  // the last section is 通道
  struct Case { const char* section; const char* key; const char* want; } cases[] = {
      {"PAR", "up", "12"},        {"par", "dq", "  spaced "},  {"par", "sq", "x"},     {"par", "mixed", "\"x'"},
      {"par", "noequals", "dflt"}, {"par", "later", "dflt"},   {"par", "top", "dflt"}, {"通道", "K", "chs"},
      {"nosuch", "k", "dflt"},     {"par", "k", "dflt"},       // k is in another section
  };
  for (auto c : cases) EXPECT_EQ(Read(path, c.section, c.key), QString::fromUtf8(c.want)) << c.key;

  // Two characters whose trail bytes are 'A' and 'a' are different names.
  WriteBytes(path, "[\xB0\x41]\nk=1\n");
  EXPECT_EQ(GetProfileBytes("\xB0\x41", "K", "d", kProfileNoLimit, path), "1");
  EXPECT_EQ(GetProfileBytes("\xB0\x61", "k", "d", kProfileNoLimit, path), "d");
}

TEST(ProfileRead, BufferLimitCutsOnCharacterBoundary) {
  TempDir dir;
  const std::string path = dir.file("a.ini");
  const std::string chinese40 = gbk::FromUtf8("通道通道通道通道通道通道通道通道通道通道");
  WriteBytes(path, "[s]\nname=" + chinese40 + "\nascii=" + std::string(40, 'a') + "\n");
  EXPECT_EQ(gbk::Encode(Read(path, "s", "name", "", 32)).size(), 30u);
  EXPECT_EQ(Read(path, "s", "ascii", "", 32).size(), 31);
  EXPECT_EQ(Read(path, "s", "missing", "通道通道", 8), QString::fromUtf8("通道通"));
}

TEST(ProfileWrite, CreatesFileAndSectionAndKeepsEveryOtherLine) {
  TempDir dir;
  const std::string path = dir.file("system.par");
  ASSERT_TRUE(WriteProfileText("par", "BKCOLOR", "-2147483644", path));
  EXPECT_EQ(ReadBytes(path), "[par]\r\nBKCOLOR=-2147483644\r\n");

  // The last line has no line end.
  WriteBytes(path, "; settings\n[par]\nunknown = keep me\n\n[a.qmd]\nch1=x\nCh1=second\n\n[last]\nz=1");
  ASSERT_TRUE(WriteProfileText("a.qmd", "CH1", "通道", path));  // first match, in place
  ASSERT_TRUE(WriteProfileText("PAR", "DEVNAME", "dev", path));  // new key: end of its section
  ASSERT_TRUE(WriteProfileText("last", "y", "2", path));
  ASSERT_TRUE(WriteProfileText("new", "k", "two\nlines", path));
  EXPECT_EQ(ReadBytes(path),
            "; settings\n[par]\nunknown = keep me\nDEVNAME=dev\n\n[a.qmd]\nch1=\xCD\xA8\xB5\xC0\nCh1=second\n\n"
            "[last]\nz=1\ny=2\n[new]\nk=two lines\n");
  EXPECT_EQ(FilesIn(dir), 1) << "no temporary file is left behind";
}

TEST(ProfileWrite, FailedWriteLeavesTheOldFileWhole) {
  TempDir dir;
  const std::string path = dir.file("system.par");
  const std::string old = "[par]\nBKCOLOR=5\n" + std::string(4000, ';') + "\n";
  WriteBytes(path, old);

  // A full disk: the temporary file cannot take the new content.
  {
    struct rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct sigaction ignore {}, before {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &before);
    struct rlimit small = saved;
    small.rlim_cur = 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool ok = WriteProfileText("par", "BKCOLOR", "6", path);
    setrlimit(RLIMIT_FSIZE, &saved);
    sigaction(SIGXFSZ, &before, nullptr);
    EXPECT_FALSE(ok);
  }
  EXPECT_EQ(ReadBytes(path), old);
  EXPECT_EQ(FilesIn(dir), 1);

  // A read-only folder (the superuser writes anyway).
  if (geteuid() != 0) {
    ASSERT_EQ(chmod(dir.path().c_str(), 0500), 0);
    EXPECT_FALSE(WriteProfileText("par", "BKCOLOR", "7", path));
    chmod(dir.path().c_str(), 0700);
    EXPECT_EQ(ReadBytes(path), old);
  }
}
