#include <gtest/gtest.h>

#include <iconv.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <fstream>
#include <sstream>

#include "platform/gbk.h"
#include "platform/profile.h"
#include "support/tempdir.h"

namespace {

void Put(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string Get(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

QString Read(const std::string& path, const char* section, const char* key,
             const char* def = "dflt", std::size_t buffer = kProfileNoLimit) {
  return GetProfileText(QString::fromUtf8(section), QString::fromUtf8(key), QString::fromUtf8(def),
                        buffer, path);
}

}  // namespace

// Whether the system's own GBK table holds the two bytes.
bool IsGbk(const std::string& bytes) {
  iconv_t cd = iconv_open("UTF-8", "GBK");
  char out[16];
  char* o = out;
  std::size_t ol = sizeof out, il = bytes.size();
  char* i = const_cast<char*>(bytes.data());
  const bool ok = iconv(cd, &i, &il, &o, &ol) != static_cast<std::size_t>(-1) && il == 0;
  iconv_close(cd);
  return ok;
}

TEST(Gbk, EveryGbkCharacterRoundTripsByteForByte) {
  int checked = 0;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      const std::string bytes{static_cast<char>(lead), static_cast<char>(trail)};
      if (!IsGbk(bytes)) continue;
      ASSERT_EQ(gbk::Encode(gbk::Decode(bytes)), bytes) << std::hex << lead << " " << trail;
      ++checked;
    }
  }
  EXPECT_GT(checked, 21000);
  const QString euro = QString::fromUtf8("€");  // GBK writes it as the single byte 0x80
  EXPECT_EQ(gbk::Decode(gbk::Encode(euro)), euro);
}

TEST(Gbk, ConversionsAndCuts) {
  EXPECT_EQ(gbk::FromUtf8("宋体"), "\xCB\xCE\xCC\xE5");
  EXPECT_EQ(gbk::ToUtf8("\xCB\xCE\xCC\xE5"), "宋体");
  // A character GBK lacks is kept in its GB18030 form, not dropped.
  const QString emoji = QString::fromUtf8("a😀b");
  EXPECT_EQ(gbk::Decode(gbk::Encode(emoji)), emoji);
  EXPECT_EQ(gbk::ToUtf8("a\xFF" "b"), "a\xEF\xBF\xBD" "b");

  const std::string mixed = "ab\xCB\xCE\xCC\xE5" "c";  // a b 宋 体 c
  struct Case { std::size_t buffer; std::size_t bytes; } cases[] = {
      {0, 0}, {1, 0}, {3, 2}, {4, 2}, {5, 4}, {6, 4}, {7, 6}, {8, 7}, {100, 7}};
  for (auto c : cases) EXPECT_EQ(gbk::FitBuffer(mixed, c.buffer).size(), c.bytes) << c.buffer;
  const std::string four = "x\x81\x30\x81\x30";  // a four-byte sequence is never split
  EXPECT_EQ(gbk::CutAt(four, 4), "x");
  EXPECT_EQ(gbk::CutAt(four, 5), four);
}

TEST(ProfileRead, MissingFileSectionOrKeyGivesDefaultAndCreatesNothing) {
  TempDir dir;
  const std::string path = dir.file("system.par");
  EXPECT_EQ(Read(path, "par", "UP"), "dflt");
  EXPECT_FALSE(QFile::exists(QString::fromStdString(path)));
  EXPECT_EQ(Read("", "par", "UP"), "dflt");
  Put(path, "[par]\nUP=1\n[other]\nX=2\n");
  EXPECT_EQ(Read(path, "nosuch", "UP"), "dflt");
  EXPECT_EQ(Read(path, "par", "X"), "dflt");  // X is in another section
}

TEST(ProfileRead, MatchingTrimmingAndQuotes) {
  TempDir dir;
  const std::string path = dir.file("a.ini");
  Put(path,
      "top=0\r\n"
      "; comment=9\r\n"
      "  [ PaR ]  \r\n"
      "  Up  =  12 \r\n"
      "up=13\r\n"
      "dq=\"  spaced \"\r\n"
      "sq='x'\r\n"
      "mixed=\"x'\r\n"
      "lone=\"\r\n"
      "empty=\r\n"
      "noequals\r\n"
      "[par]\r\n"
      "later=1\r\n"
      "[\xCD\xA8\xB5\xC0]\r\n"  // 通道
      "k=chs\r\n");
  struct Case { const char* section; const char* key; const char* want; } cases[] = {
      {"par", "UP", "12"},       {"PAR", "up", "12"},         {"par", "dq", "  spaced "},
      {"par", "sq", "x"},        {"par", "mixed", "\"x'"},    {"par", "lone", "\""},
      {"par", "empty", ""},      {"par", "noequals", "dflt"}, {"par", "later", "dflt"},
      {"par", "top", "dflt"},    {"par", "; comment", "dflt"}, {"通道", "K", "chs"},
  };
  for (auto c : cases) EXPECT_EQ(Read(path, c.section, c.key), QString::fromUtf8(c.want)) << c.key;

  // Two characters whose trail bytes are 'A' and 'a' are different names.
  Put(path, "[\xB0\x41]\nk=1\n");
  EXPECT_EQ(GetProfileBytes("\xB0\x41", "K", "d", kProfileNoLimit, path), "1");
  EXPECT_EQ(GetProfileBytes("\xB0\x61", "k", "d", kProfileNoLimit, path), "d");
}

TEST(ProfileRead, BufferLimitCutsOnCharacterBoundary) {
  TempDir dir;
  const std::string path = dir.file("a.ini");
  const std::string chinese40 = gbk::FromUtf8("通道通道通道通道通道通道通道通道通道通道");
  ASSERT_EQ(chinese40.size(), 40u);
  Put(path, "[s]\nname=" + chinese40 + "\nascii=" + std::string(40, 'a') + "\n");
  EXPECT_EQ(gbk::Encode(Read(path, "s", "name", "", 32)).size(), 30u);
  EXPECT_EQ(Read(path, "s", "ascii", "", 32).size(), 31);
  EXPECT_EQ(Read(path, "s", "missing", "通道通道", 8), QString::fromUtf8("通道通"));
}

TEST(ProfileWrite, CreatesFileAndSectionAndKeepsEveryOtherLine) {
  TempDir dir;
  const std::string path = dir.file("system.par");
  ASSERT_TRUE(WriteProfileText("par", "BKCOLOR", "-2147483644", path));
  EXPECT_EQ(Get(path), "[par]\r\nBKCOLOR=-2147483644\r\n");

  Put(path,
      "; settings\n"
      "[par]\n"
      "BKCOLOR=1\n"
      "unknown = keep me\n"
      "\n"
      "[a.qmd]\n"
      "ch1=x\n"
      "Ch1=second\n"
      "\n"
      "[last]\n"
      "z=1");  // no line end at the end of the file
  ASSERT_TRUE(WriteProfileText("a.qmd", "CH1", "通道", path));  // first match, in place
  ASSERT_TRUE(WriteProfileText("PAR", "DEVNAME", "dev", path));  // new key: end of its section
  ASSERT_TRUE(WriteProfileText("last", "y", "2", path));
  ASSERT_TRUE(WriteProfileText("new", "k", "two\nlines", path));
  EXPECT_EQ(Get(path),
            "; settings\n"
            "[par]\n"
            "BKCOLOR=1\n"
            "unknown = keep me\n"
            "DEVNAME=dev\n"
            "\n"
            "[a.qmd]\n"
            "ch1=\xCD\xA8\xB5\xC0\n"
            "Ch1=second\n"
            "\n"
            "[last]\n"
            "z=1\n"
            "y=2\n"
            "[new]\n"
            "k=two lines\n");
  EXPECT_EQ(Read(path, "a.qmd", "ch1"), QString::fromUtf8("通道"));
  EXPECT_EQ(QDir(QString::fromStdString(dir.path())).entryList(QDir::Files | QDir::Hidden).size(), 1)
      << "no temporary file is left behind";
}

TEST(ProfileWrite, RefusesNamesThatWouldBreakTheFile) {
  TempDir dir;
  const std::string path = dir.file("a.ini");
  Put(path, "[s]\nk=1\n");
  EXPECT_FALSE(WriteProfileText("s]x", "k", "v", path));
  EXPECT_FALSE(WriteProfileText("s\nx", "k", "v", path));
  EXPECT_FALSE(WriteProfileText("s", "k=1", "v", path));
  EXPECT_FALSE(WriteProfileText("s", "[k", "v", path));
  EXPECT_FALSE(WriteProfileText("", "k", "v", path));
  EXPECT_FALSE(WriteProfileText("s", " ", "v", path));
  EXPECT_EQ(Get(path), "[s]\nk=1\n");
}

TEST(ProfileWrite, FailedWriteLeavesTheOldFileWhole) {
  TempDir dir;
  const std::string path = dir.file("system.par");
  const std::string old = "[par]\nBKCOLOR=5\n" + std::string(4000, ';') + "\n";
  Put(path, old);

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
  EXPECT_EQ(Get(path), old);
  EXPECT_EQ(QDir(QString::fromStdString(dir.path())).entryList(QDir::Files | QDir::Hidden).size(), 1);

  // A read-only folder (the superuser writes anyway, so only checked for others).
  if (geteuid() != 0) {
    ASSERT_EQ(chmod(dir.path().c_str(), 0500), 0);
    EXPECT_FALSE(WriteProfileText("par", "BKCOLOR", "7", path));
    chmod(dir.path().c_str(), 0700);
    EXPECT_EQ(Get(path), old);
  }
  // A file made read-only is not replaced behind the user's back.
  if (geteuid() != 0) {
    ASSERT_EQ(chmod(path.c_str(), 0400), 0);
    EXPECT_FALSE(WriteProfileText("par", "BKCOLOR", "8", path));
    EXPECT_EQ(Get(path), old);
  }
}

TEST(ProfileWrite, KeepsPermissionsAndWritesThroughLinks) {
  TempDir dir;
  const std::string real = dir.file("real.par");
  const std::string link = dir.file("system.par");
  Put(real, "[par]\nA=1\n");
  ASSERT_EQ(chmod(real.c_str(), 0640), 0);
  ASSERT_EQ(symlink(real.c_str(), link.c_str()), 0);
  ASSERT_TRUE(WriteProfileText("par", "A", "2", link));
  struct stat st {};
  ASSERT_EQ(lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_EQ(stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(Get(real), "[par]\nA=2\n");
}
