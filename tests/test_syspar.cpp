#include <gtest/gtest.h>

#include <QFile>
#include <climits>
#include <fstream>
#include <sstream>

#include "data/lanchg.h"
#include "data/syspar.h"
#include "platform/appdir.h"
#include "platform/colors.h"
#include "platform/gbk.h"
#include "support/tempdir.h"

namespace {

// A program folder of its own for each test, with an optional "system.par" (UTF-8
// text here, GBK on disk).
class ProgramFolder {
 public:
  explicit ProgramFolder(const std::string& par = {}) {
    SetProgramDir(dir_.path());
    if (!par.empty()) std::ofstream(SystemParPath(), std::ios::binary) << gbk::FromUtf8(par);
  }
  ~ProgramFolder() { SetProgramDir(""); }
  std::string Par() const {
    std::ifstream in(SystemParPath(), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  bool HasPar() const { return QFile::exists(QString::fromStdString(SystemParPath())); }

 private:
  TempDir dir_;
};

tagSysPar& Par() { return GetPubParam()->SysPar; }

}  // namespace

TEST(SysParRead, NoFileGivesEveryDefault) {
  ProgramFolder folder;
  Par().BKCOLOR = 7;
  ReadGlobalPar();
  EXPECT_EQ(Par().BKCOLOR, 0);
  EXPECT_EQ(Par().COPYNAME, "0");
  EXPECT_EQ(Par().DEVNAME, "0");
  EXPECT_EQ(Par().ChannelName[0], "通道1");
  EXPECT_EQ(Par().ChannelName[31], "通道32");
  GetPubParam()->ReadFilePar("a.qmd");
  EXPECT_EQ(Par().UP, 100);
  EXPECT_EQ(Par().DOWN, 0);
  EXPECT_EQ(Par().fontname, "宋体");
  EXPECT_EQ(Par().fontsize, 12);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Par().POS[i], 1);
  EXPECT_EQ(Par().DATAPOS[0], 5);
  EXPECT_EQ(Par().DATAPOS[1], 5);
  EXPECT_EQ(Par().DATAPOS[2], 5);
  EXPECT_EQ(Par().DATAPOS[3], 65);
  for (int i = 0; i < kMaxChannels; ++i) {
    EXPECT_EQ(Par().ChannelName[i], "ch" + std::to_string(i + 1));
    EXPECT_EQ(Par().ChannelShown[i], 1);
  }
  GetPubParam()->LANGESELECT = 5;
  ReadLangSelect();
  EXPECT_EQ(GetPubParam()->LANGESELECT, 0);
  EXPECT_FALSE(folder.HasPar()) << "reading never creates the file";
}

TEST(SysParRead, FileSectionValuesAndTheirLimits) {
  struct Case { const char* lines; int up, down, d0, d1, d2, d3; } cases[] = {
      {"UP=10\nDOWN=20\n", 21, 20, 5, 5, 5, 65},
      {"UP=50\nDOWN=20\n", 50, 20, 5, 5, 5, 65},
      {"UP=5\nDOWN=5\n", 5, 5, 5, 5, 5, 65},
      {"DOWN=2147483647\n", INT_MAX, INT_MAX - 1, 5, 5, 5, 65},
      {"UP=abc\nDOWN=-3\n", 0, -3, 5, 5, 5, 65},
      {"UP=12.5\nDOWN=99999999999\n", 0, 0, 5, 5, 5, 65},
      {"DATAPOS0=-1\nDATAPOS1=101\nDATAPOS2=100\nDATAPOS3=0\n", 100, 0, 0, 100, 100, 1},
      {"DATAPOS0=0\nDATAPOS1=x\nDATAPOS2=40\nDATAPOS3=500\n", 100, 0, 0, 0, 40, 500},
  };
  for (const auto& c : cases) {
    ProgramFolder folder(std::string("[a.qmd]\n") + c.lines);
    GetPubParam()->ReadFilePar("A.QMD");
    EXPECT_EQ(Par().UP, c.up) << c.lines;
    EXPECT_EQ(Par().DOWN, c.down) << c.lines;
    EXPECT_EQ(Par().DATAPOS[0], c.d0) << c.lines;
    EXPECT_EQ(Par().DATAPOS[1], c.d1) << c.lines;
    EXPECT_EQ(Par().DATAPOS[2], c.d2) << c.lines;
    EXPECT_EQ(Par().DATAPOS[3], c.d3) << c.lines;
  }
}

TEST(SysParRead, NamesFontsAndPalette) {
  ProgramFolder folder(
      "[b.qmd]\nch2=温度\nch32=\"quoted\"\nfontname=Arial\nfontsize=9\nPOS2=7\n"
      "chcolor1=255\nch3=通道通道通道通道通道通道通道通道通道通道\n");
  for (TColor& c : Par().ChannelColor) c = 1;
  GetPubParam()->ReadFilePar("b.qmd");
  EXPECT_EQ(Par().ChannelName[0], "ch1");
  EXPECT_EQ(Par().ChannelName[1], "温度");
  EXPECT_EQ(Par().ChannelName[31], "quoted");
  EXPECT_EQ(Par().ChannelName[2], "通道通道通道通道通道通道通道通");  // 30 of 40 bytes
  EXPECT_EQ(Par().fontname, "Arial");
  EXPECT_EQ(Par().fontsize, 9);
  EXPECT_EQ(Par().POS[2], 7);
  // Colours always come from the palette, whatever the file holds.
  EXPECT_EQ(Par().ChannelColor[0], 0x00FF00);
  EXPECT_EQ(Par().ChannelColor[18], Par().ChannelColor[17]);
  EXPECT_EQ(Par().ChannelColor[18], 0x808000);
  for (int i : {7, 19, 30}) EXPECT_EQ(Par().ChannelColor[i], SystemColor(4));
  for (int i = 0; i < kMaxChannels; ++i) EXPECT_EQ(Par().ChannelColor[i], ChannelPaletteColor(i));
}

TEST(SysParBkColor, DecimalOnlyAndAlwaysDefined) {
  struct Case { const char* text; TColor want; } cases[] = {
      {"16777215.9", 16777215}, {"  255 ", 255},      {"-1.9", -1},
      {"-2147483644", SystemColor(4)},                 {"+12", 12},
      {"1e3", 1000},            {"0x00FF00", 0},      {"$FF", 0},
      {"nan", 0},               {"inf", 0},           {"1e20", 0},
      {"2147483648", 0},        {"-2147483649", 0},   {"12abc", 0},
      {"", 0},                  {"--5", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseParColor(QString::fromLatin1(c.text)), c.want) << c.text;
    ProgramFolder folder(std::string("[par]\nBKCOLOR=") + c.text + "\n");
    ReadGlobalPar();
    EXPECT_EQ(Par().BKCOLOR, c.want) << c.text;
  }
}

TEST(SysParBkColor, SystemColourRoundTripsThroughTheFile) {
  ProgramFolder folder("[par]\nLANGESELECT=1\nBKCOLOR=5\n");
  Par().BKCOLOR = SystemColor(4);
  WriteBkColor();
  EXPECT_NE(folder.Par().find("BKCOLOR=-2147483644"), std::string::npos);
  Par().BKCOLOR = 0;
  ReadGlobalPar();
  EXPECT_EQ(Par().BKCOLOR, SystemColor(4));
  ReadLangSelect();
  EXPECT_EQ(GetPubParam()->LANGESELECT, 1);
}

TEST(SysParWrite, Groups) {
  ProgramFolder folder("; kept\n[par]\nLANGESELECT=1\n");
  const std::string before = folder.Par();
  utPubParam* p = GetPubParam();
  for (int i = 0; i < kMaxChannels; ++i) p->SysPar.ChannelName[i] = "n" + std::to_string(i + 1);
  for (int i = 0; i < kMaxChannels; ++i) p->SysPar.ChannelColor[i] = 1000 + i;

  for (int group : {0, 32, 36, 42, 46, -2}) p->WriteFilePar("a.qmd", group);
  EXPECT_EQ(folder.Par(), before) << "codes outside the groups write nothing";

  p->DataHead.ChannelCount = 4;
  p->WriteFilePar("a.qmd", -1);
  p->ReadFilePar("a.qmd");
  EXPECT_EQ(p->SysPar.ChannelName[3], "n4");
  EXPECT_EQ(p->SysPar.ChannelName[4], "ch5");

  p->DataHead.ChannelCount = 200;  // never more names than channels exist
  for (int i = 0; i < kMaxChannels; ++i) p->SysPar.ChannelName[i] = "m" + std::to_string(i + 1);
  p->WriteFilePar("a.qmd", -1);
  EXPECT_NE(folder.Par().find("ch32=m32"), std::string::npos);
  EXPECT_EQ(folder.Par().find("ch33"), std::string::npos);

  p->SysPar.ChannelColor[4] = SystemColor(4);
  p->WriteFilePar("a.qmd", 5);
  EXPECT_NE(folder.Par().find("chcolor5=-2147483644"), std::string::npos);
  EXPECT_EQ(folder.Par().find("chcolor1="), std::string::npos);

  p->SysPar.COPYNAME = "单位";
  p->SysPar.DEVNAME = "设备";
  p->WriteFilePar("a.qmd", 34);
  p->SysPar.COPYNAME = p->SysPar.DEVNAME = "";
  ReadGlobalPar();
  EXPECT_EQ(p->SysPar.COPYNAME, "单位");
  EXPECT_EQ(p->SysPar.DEVNAME, "设备");

  const std::int32_t margins[4] = {10, 20, 30, 80};
  std::copy(std::begin(margins), std::end(margins), p->SysPar.DATAPOS);
  p->WriteFilePar("a.qmd", 43);
  std::fill(std::begin(p->SysPar.DATAPOS), std::end(p->SysPar.DATAPOS), 0);
  p->ReadFilePar("a.qmd");
  for (int i = 0; i < 4; ++i) EXPECT_EQ(p->SysPar.DATAPOS[i], margins[i]);
  EXPECT_EQ(folder.Par().rfind("; kept\n[par]\nLANGESELECT=1\n", 0), 0u);
}

TEST(SysParWrite, LongValuesAreWrittenWhole) {
  ProgramFolder folder;
  utPubParam* p = GetPubParam();
  const std::string name = "流量积算仪,温度压力补偿 0042 累积流量";  // longer than 31 bytes
  p->SysPar.DEVNAME = name;
  p->SysPar.COPYNAME = "x";
  p->WriteFilePar("a.qmd", 33);
  EXPECT_NE(folder.Par().find("DEVNAME=" + gbk::FromUtf8(name) + "\r\n"), std::string::npos);
  ReadGlobalPar();  // the 31-byte read limit stays, on a character boundary
  EXPECT_EQ(gbk::FromUtf8(p->SysPar.DEVNAME), gbk::CutAt(gbk::FromUtf8(name), 31));
}

TEST(Colors, ConversionsAtTheWidgetEdge) {
  EXPECT_EQ(ToQColor(0x0000FF), QColor(255, 0, 0));
  EXPECT_EQ(ToQColor(0xFF0000), QColor(0, 0, 255));
  EXPECT_EQ(ToQColor(0x808000), QColor(0, 128, 128));
  EXPECT_EQ(ToQColor(SystemColor(4)), QColor(0xF0, 0xF0, 0xF0));
  EXPECT_EQ(ToQColor(SystemColor(5)), QColor(Qt::white));
  EXPECT_EQ(ToQColor(SystemColor(200)), QColor(Qt::black));
  EXPECT_EQ(FromQColor(QColor(1, 2, 3)), 0x030201);
  EXPECT_EQ(FromQColor(QColor(1, 2, 3, 4)), 0x030201);
  for (TColor c : {0, 0x123456, 0xFFFFFF}) EXPECT_EQ(FromQColor(ToQColor(c)), c);
}

TEST(LanguageChoice, EnglishChosenInTheSettingsFile) {
  ProgramFolder folder("[par]\nLANGESELECT=1\n");
  const char* source = std::getenv("QUNO_SOURCE_DIR");
  ASSERT_NE(source, nullptr);
  ASSERT_TRUE(QFile::copy(QString::fromStdString(std::string(source) + "/lang/langeng.ini"),
                          QString::fromStdString(ProgramDir() + "langeng.ini")));
  ReadLangSelect();
  const std::string saved = GetLanchg()->LangFile();
  GetLanchg()->SetLangFile(LangFileFor(GetPubParam()->LANGESELECT));
  EXPECT_EQ(GetLanchg()->LangFile(), ProgramDir() + "langeng.ini");
  const QString text = GetLangString("utPubParam", "Error10", QString::fromUtf8("小型蓝屏记录仪"));
  EXPECT_FALSE(text.isEmpty());
  EXPECT_NE(text, QString::fromUtf8("小型蓝屏记录仪"));
  EXPECT_EQ(LangFileFor(0), ProgramDir() + "langchs.ini");
  EXPECT_EQ(LangFileFor(2), "");
  GetLanchg()->SetLangFile(saved);
}
