#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <climits>
#include <vector>

#include "data/syspar.h"
#include "platform/colors.h"
#include "platform/gbk.h"
#include "support/files.h"

namespace {

// A program folder with an optional "system.par" (UTF-8 text here, GBK on disk).
class ParFolder : public ProgramFolder {
 public:
  explicit ParFolder(const std::string& par = {}) {
    if (!par.empty()) WriteBytes(SystemParPath(), gbk::FromUtf8(par));
  }
  std::string Par() const { return ReadBytes(SystemParPath()); }
};

tagSysPar& Par() { return GetPubParam()->SysPar; }

}  // namespace

TEST(SysParRead, NoFileGivesTheDefaultsAndCreatesNone) {
  ParFolder folder;
  Par().BKCOLOR = 7;
  GetPubParam()->LANGESELECT = 5;
  ReadGlobalPar();
  ReadLangSelect();
  GetPubParam()->ReadFilePar("a.qmd");
  EXPECT_EQ(Par().BKCOLOR, 0);
  EXPECT_EQ(GetPubParam()->LANGESELECT, 0);
  EXPECT_EQ(Par().ChannelName[31], "ch32");
  EXPECT_FALSE(QFile::exists(QString::fromStdString(SystemParPath())));
}

TEST(SysParRead, ScaleAndMarginsWithinTheirLimits) {
  const std::pair<const char*, std::vector<int>> cases[] = {  // UP, DOWN, DATAPOS0..3
      {"UP=10\nDOWN=20\n", {21, 20, 5, 5, 5, 65}},
      {"DOWN=2147483647\n", {INT_MAX, INT_MAX - 1, 5, 5, 5, 65}},
      {"UP=12.5\nDOWN=99999999999\n", {0, 0, 5, 5, 5, 65}},
      // Opposite margins leave a fifth of the page: the bottom gets what the top leaves.
      {"DATAPOS0=-1\nDATAPOS1=101\nDATAPOS2=100\nDATAPOS3=0\n", {100, 0, 0, 80, 40, 1}},
      {"DATAPOS0=90\nDATAPOS1=30\nDATAPOS2=41\n", {100, 0, 80, 0, 40, 65}},
      {"DATAPOS0=50\nDATAPOS1=30\nDATAPOS2=40\n", {100, 0, 50, 30, 40, 65}},
      {"DATAPOS0=50\nDATAPOS1=31\n", {100, 0, 50, 30, 5, 65}},
      {"DATAPOS3=2000000000\n", {100, 0, 5, 5, 5, 100}},
  };
  for (const auto& [lines, want] : cases) {
    ParFolder folder(std::string("[a.qmd]\n") + lines);
    GetPubParam()->ReadFilePar("A.QMD");
    const tagSysPar& p = Par();
    EXPECT_EQ((std::vector<int>{p.UP, p.DOWN, p.DATAPOS[0], p.DATAPOS[1], p.DATAPOS[2], p.DATAPOS[3]}), want) << lines;
  }
}

TEST(SysParBkColor, DecimalOnlyAlwaysDefinedAndSystemColoursRoundTrip) {
  struct Case { const char* text; TColor want; } cases[] = {
      {"16777215.9", 16777215}, {"-2147483644", SystemColor(4)}, {"0x00FF00", 0}, {"nan", 0}, {"2147483648", 0}};
  for (const auto& c : cases) {
    ParFolder folder(std::string("[par]\nBKCOLOR=") + c.text + "\n");
    ReadGlobalPar();
    EXPECT_EQ(Par().BKCOLOR, c.want) << c.text;
  }
  ParFolder folder("[par]\nLANGESELECT=1\nBKCOLOR=5\n");
  Par().BKCOLOR = SystemColor(4);
  WriteBkColor();
  EXPECT_NE(folder.Par().find("BKCOLOR=-2147483644"), std::string::npos);
  ReadLangSelect();
  EXPECT_EQ(GetPubParam()->LANGESELECT, 1);
}

TEST(SysParWrite, GroupsKeepTheRestOfTheFile) {
  ParFolder folder("; kept\n[par]\nLANGESELECT=1\n");
  const std::string before = folder.Par();
  utPubParam* p = GetPubParam();
  for (int i = 0; i < kMaxChannels; ++i) p->SysPar.ChannelName[i] = std::string("n").append(std::to_string(i + 1));
  p->DataHead.ChannelCount = 4;
  p->WriteFilePar("a.qmd", -1);
  p->ReadFilePar("a.qmd");
  EXPECT_EQ(p->SysPar.ChannelName[3], "n4");
  EXPECT_EQ(p->SysPar.ChannelName[4], "ch5");

  p->DataHead.ChannelCount = 200;  // never more names than channels exist
  p->SysPar.ChannelName[31] = "m32";
  p->WriteFilePar("a.qmd", -1);
  EXPECT_NE(folder.Par().find("ch32=m32"), std::string::npos);
  EXPECT_EQ(folder.Par().find("ch33"), std::string::npos);

  p->SysPar.ChannelColor[4] = SystemColor(4);
  p->WriteFilePar("a.qmd", 5);
  EXPECT_NE(folder.Par().find("chcolor5=-2147483644"), std::string::npos);
  EXPECT_EQ(folder.Par().find("chcolor1="), std::string::npos);
  EXPECT_EQ(folder.Par().rfind(before, 0), 0u) << "the rest of the file is kept";
}

TEST(SysParWrite, LongValuesWrittenWholeAndFailureTold) {
  ParFolder folder;
  utPubParam* p = GetPubParam();
  const std::string name = "流量积算仪,温度压力补偿 0042 累积流量";  // longer than 31 bytes
  p->SysPar.DEVNAME = name;
  EXPECT_TRUE(p->WriteFilePar("a.qmd", 33));
  EXPECT_NE(folder.Par().find("DEVNAME=" + gbk::FromUtf8(name) + "\r\n"), std::string::npos);
  ReadGlobalPar();  // the 31-byte read limit stays, on a character boundary
  EXPECT_EQ(gbk::FromUtf8(p->SysPar.DEVNAME), gbk::CutAt(gbk::FromUtf8(name), 31));

  QFile::remove(QString::fromStdString(SystemParPath()));
  QDir().mkpath(QString::fromStdString(SystemParPath()));  // a folder in the file's place
  EXPECT_FALSE(p->WriteFilePar("a.qmd", 43));
  EXPECT_FALSE(p->WriteFilePar("a.qmd", 33));
}
