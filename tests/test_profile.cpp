// The settings file format (sections, keys, GBK, writes that keep the rest of the file), the
// settings the program keeps in it, and damaged settings files.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <cerrno>
#include <climits>
#include <functional>
#include <tuple>
#include <vector>

#include "data/lanchg.h"
#include "data/syspar.h"
#include "platform/colors.h"
#include "platform/gbk.h"
#include "platform/profile.h"
#include "support/fifoguard.h"
#include "support/files.h"
#include "support/mutation.h"

namespace {

QString Read(const std::string& path, const char* section, const char* key, const char* def = "dflt",
             std::size_t buffer = kProfileNoLimit) {
  return GetProfileText(QString::fromUtf8(section), QString::fromUtf8(key), QString::fromUtf8(def), buffer, path);
}

int FilesIn(const TempDir& dir) {
  return QDir(QString::fromStdString(dir.path())).entryList(QDir::Files | QDir::Hidden).size();
}

// A program folder with an optional "system.par" (UTF-8 text here, GBK on disk).
class ParFolder : public ProgramFolder {
 public:
  explicit ParFolder(const std::string& par = {}) {
    if (!par.empty()) WriteBytes(SystemParPath(), gbk::FromUtf8(par));
  }
  std::string Par() const { return ReadBytes(SystemParPath()); }
};

tagSysPar& Par() { return GetPubParam()->SysPar; }

std::string BasePar() {
  std::string s =
      "[par]\r\nLANGESELECT=1\r\nBKCOLOR=16777215\r\nCOPYNAME=华东仪表厂\r\nDEVNAME=锅炉房记录仪\r\n\r\n"
      "[a.qmd]\r\nUP=150\r\nDOWN=-20\r\nfontname=宋体\r\nfontsize=12\r\n";
  for (int i = 0; i < 4; ++i) {
    s += "POS" + std::to_string(i) + "=1\r\n";
    s += "DATAPOS" + std::to_string(i) + "=" + (i < 3 ? "5" : "65") + "\r\n";
  }
  for (int i = 1; i <= 32; ++i) s += "ch" + std::to_string(i) + "=温度" + std::to_string(i) + "\r\n";
  s += "chcolor1=255\r\n";
  return gbk::FromUtf8(s);
}

// Each key of the base file set to each edge value.
std::vector<TextMutant> ParEdges(const std::string& base) {
  const std::vector<std::string> numbers = {
      "", "-", "+", "+-1", " 7 ", "0", "-0", "2147483647", "2147483648", "-2147483648", "-2147483649",
      "99999999999999999999", "1e309", "-1e309", "nan", "inf", "0x10", "16777215.9", "-0.5", "1e-400",
      "12abc", "\"42\"", "'", "\"", "１２"};
  // A lead byte whose trail the 31-byte limit cuts off, a whole character across the limit.
  const std::vector<std::string> texts = {
      "", std::string(31, 'a'), std::string(32, 'a'), std::string(30, 'a') + "\x81",
      std::string(30, 'a') + "\xD6\xD0", std::string(29, 'a') + "\xD6\xD0\xD6", "\x81", "\xFF\xFF\xFF",
      std::string(1000, 'x'), "\"quoted\"", "\"", std::string("a\0b", 3), std::string(31, ' ') + "x"};
  const std::vector<std::string> numberKeys = {"LANGESELECT", "BKCOLOR", "UP", "DOWN", "DATAPOS0", "DATAPOS3"};
  const std::vector<std::string> textKeys = {"COPYNAME", "DEVNAME", "fontname", "ch1", "ch32"};
  std::vector<TextMutant> out;
  auto set = [&](const std::string& key, const std::string& value) {
    const std::string prefix = "\n" + key + "=";
    const std::size_t at = base.find(prefix);
    const std::size_t end = base.find('\r', at + prefix.size());
    std::string bytes = base;
    bytes.replace(at + prefix.size(), end - at - prefix.size(), value);
    out.push_back({key + "=<" + std::to_string(value.size()) + " bytes: " + value.substr(0, 12) + ">", bytes});
  };
  for (const auto& [keys, values] : {std::pair{&numberKeys, &numbers}, std::pair{&textKeys, &texts}})
    for (const std::string& key : *keys)
      for (const std::string& v : *values) set(key, v);
  // Sections and keys repeated, renamed or without their ends.
  out.push_back({"section twice", base + base});
  out.push_back({"no section header", base.substr(base.find("\r\n") + 2)});
  out.push_back({"open bracket", "[a.qmd\r\nUP=1\r\n[par\r\nLANGESELECT=0"});
  out.push_back({"key without =", "[par]\r\nLANGESELECT\r\nBKCOLOR\r\n[a.qmd]\r\nUP\r\n"});
  out.push_back({"upper case names", "[PAR]\r\nlangeselect=1\r\n[A.QMD]\r\nup=5\r\ndown=9\r\n"});
  out.push_back({"bare line ends", "\r\r\r\n\n\n\r"});
  out.push_back({"one long line", std::string(100000, 'z')});
  out.push_back({"NUL bytes", std::string(64, '\0')});
  return out;
}

// What the settings code read, in one comparable value.
struct ParValues {
  int lang;
  TColor bk;
  std::string copy, dev, font;
  int up, down, fontsize;
  std::vector<int> pos, datapos;
  std::vector<std::string> names;
  bool operator==(const ParValues&) const = default;
};

ParValues ReadAll() {
  ReadLangSelect();
  ReadGlobalPar();
  utPubParam* p = GetPubParam();
  p->ReadFilePar("a.qmd");
  const tagSysPar& s = p->SysPar;
  return {p->LANGESELECT, s.BKCOLOR, s.COPYNAME, s.DEVNAME, s.fontname, s.UP, s.DOWN, s.fontsize,
          std::vector<int>(s.POS, s.POS + 4), std::vector<int>(s.DATAPOS, s.DATAPOS + 4),
          std::vector<std::string>(s.ChannelName, s.ChannelName + kMaxChannels)};
}

bool FitsValueBuffer(const std::string& utf8) { return QString::fromStdString(utf8).size() <= 31; }

// A text that a write and a read give back unchanged (fits, nothing trimmed, unquoted or split).
bool RoundTrips(const std::string& utf8) {
  const std::string bytes = gbk::FromUtf8(utf8);
  if (bytes.size() > 31 || bytes.find_first_of("\r\n") != std::string::npos) return false;
  if (!bytes.empty() && (bytes.front() == ' ' || bytes.front() == '\t' || bytes.back() == ' ' || bytes.back() == '\t'))
    return false;
  return bytes.size() < 2 || !((bytes.front() == '"' || bytes.front() == '\'') && bytes.back() == bytes.front());
}

std::string CheckPar(const std::string& path, const std::string& bytes) {
  WriteBytes(path, bytes);
  const ParValues read = ReadAll();
  if (read.down > read.up) return "DOWN above UP";
  for (std::size_t i = 0; i < 3; ++i)
    if (read.datapos[i] < 0 || read.datapos[i] > 100) return "margin";
  if (read.datapos[3] < 1) return "zoom";
  for (const std::string* t : {&read.copy, &read.dev, &read.font})
    if (!FitsValueBuffer(*t)) return "text longer than its buffer";
  for (int i = 0; i < kMaxChannels; ++i) {
    if (!FitsValueBuffer(read.names[static_cast<std::size_t>(i)])) return "channel name longer than its buffer";
    if (GetPubParam()->SysPar.ChannelColor[i] != ChannelPaletteColor(i)) return "channel colour";
  }
  const std::string lang = LangFileFor(read.lang);
  if (!lang.empty() && lang != ProgramDir() + "langchs.ini" && lang != ProgramDir() + "langeng.ini")
    return "language file";

  // Write back what was read; reading again must give the same, other keys included.
  utPubParam* p = GetPubParam();
  p->DataHead.ChannelCount = 2;
  WriteBkColor();
  p->WriteFilePar("a.qmd", 43);
  p->WriteFilePar("a.qmd", 33);
  p->WriteFilePar("a.qmd", -1);
  ParValues again = ReadAll();
  for (auto [was, now] : {std::pair{&read.copy, &again.copy}, std::pair{&read.dev, &again.dev},
                          std::pair{&read.names[0], &again.names[0]}, std::pair{&read.names[1], &again.names[1]}})
    if (!RoundTrips(*was)) *now = *was;
  if (!(again == read)) return "a write changed what is read";
  return {};
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

TEST(ProfileRead, MissingFileMatchingTrimmingQuotesAndTheBufferLimit) {
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

  // The buffer limit cuts on a character boundary.
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

  // Each fault in a child process, which exits 0 when the write failed (2: no fault made).
  const auto writeInChild = [&](const std::function<bool()>& makeFault) {
    const pid_t child = fork();
    if (child == 0) _exit(!makeFault() ? 2 : WriteProfileText("par", "BKCOLOR", "6", path) ? 1 : 0);
    int status = -1;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  // A full disk: the temporary file cannot take the new content.
  EXPECT_EQ(writeInChild([] {
              signal(SIGXFSZ, SIG_IGN);
              const rlimit small{1024, 1024};
              return setrlimit(RLIMIT_FSIZE, &small) == 0;
            }),
            0);
  EXPECT_EQ(ReadBytes(path), old);
  EXPECT_EQ(FilesIn(dir), 1);
  // A read-only folder, written by an ordinary user (the superuser writes anyway).
  ASSERT_EQ(chmod(dir.path().c_str(), 0555), 0);
  EXPECT_EQ(writeInChild([] { return geteuid() != 0 || setuid(65534) == 0; }), 0);
  chmod(dir.path().c_str(), 0700);
  EXPECT_EQ(ReadBytes(path), old);
}

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
  EXPECT_EQ(p->SysPar.DEVNAME, "流量积算仪,温度压力补偿 0042 累");

  QFile::remove(QString::fromStdString(SystemParPath()));
  QDir().mkpath(QString::fromStdString(SystemParPath()));  // a folder in the file's place
  EXPECT_FALSE(p->WriteFilePar("a.qmd", 43));
  EXPECT_FALSE(p->WriteFilePar("a.qmd", 33));
}

// A FIFO in the file's place counts as a file that cannot be read: the defaults, at once;
// a write is refused and leaves it as it was.
TEST(SysParRead, NoRegularFileGivesTheDefaultsAtOnce) {
  ParFolder folder;
  ASSERT_TRUE(MakeFifo(SystemParPath()));
  utPubParam* p = GetPubParam();
  p->LANGESELECT = 5;
  p->SysPar.UP = 7;
  EXPECT_TRUE(DoesNotWaitOn(SystemParPath(), [p] {
    ReadLangSelect();
    ReadGlobalPar();
    p->ReadFilePar("a.qmd");
    EXPECT_FALSE(p->WriteFilePar("a.qmd", 33));
  }));
  EXPECT_EQ(std::tuple(p->LANGESELECT, p->SysPar.UP, p->SysPar.ChannelName[0]), std::tuple(0, 100, std::string("ch1")));
  struct stat st {};
  EXPECT_TRUE(::stat(SystemParPath().c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
  EXPECT_EQ(QDir(QString::fromStdString(folder.path())).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
            QStringList{"system.par"});
}

TEST(SysParMutants, CutChangedAndAtTheirEdges) {
  ProgramFolder folder;
  const std::string base = BasePar();
  std::vector<TextMutant> mutants = Cuts("system.par", base, base.size(), 40, 7000);
  for (auto& part : {Changed("system.par", base, 150, 7001), ParEdges(base)})
    mutants.insert(mutants.end(), part.begin(), part.end());
  MutantRun run;
  for (const TextMutant& mu : mutants) run.Check(mu.name, [&] { return CheckPar(SystemParPath(), mu.bytes); });
  EXPECT_GT(run.count(), 500);
  run.ExpectAllHeld();
}

// A failed write tells why, for each group the user's actions write.
TEST(SysParWrite, FailureTellsWhy) {
  TempDir dir;
  const std::tuple<const char*, std::string, int> cases[] = {
      {"par", dir.file("system.par"), 0},
      {"pa]r", dir.file("system.par"), EINVAL},
      {"par", dir.file("missing/system.par"), ENOENT},
      {"par", dir.path(), EISDIR},  // a folder in the file's place
  };
  for (const auto& [section, path, want] : cases) {
    int error = -1;
    EXPECT_EQ(WriteProfileText(section, "k", "v", path, &error), want == 0) << path;
    EXPECT_EQ(error, want) << section << " " << path;
  }

  ParFolder folder;
  QDir().mkpath(QString::fromStdString(SystemParPath()));
  utPubParam* p = GetPubParam();
  p->DataHead.ChannelCount = 2;
  for (int group : {-1, 1, 33, 43, 32, 0}) {  // the 32nd colour is never written; 0 the background
    int error = -1;
    EXPECT_EQ(group == 0 ? WriteBkColor(&error) : p->WriteFilePar("a.qmd", group, &error), group == 32) << group;
    EXPECT_EQ(error, group == 32 ? 0 : EISDIR) << group;
  }
}
