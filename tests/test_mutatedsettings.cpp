// Damaged settings and language files through the real settings code, language
// lookup and form translation: cut short, with bytes changed (line ends, brackets,
// '=', quotes, half GBK characters, NUL) and with values at their edges. Every read
// gives a value within its limits, every write loses nothing else, every lookup fits
// its buffer and a translated caption is never emptied.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "data/lanchg.h"
#include "data/syspar.h"
#include "platform/gbk.h"
#include "support/files.h"
#include "support/mutation.h"

namespace {

struct TextMutant {
  std::string name;
  std::string bytes;
};

// Bytes that mean something to the file format or to GBK.
const std::vector<std::uint8_t> kNastyBytes = {0,   '\r', '\n', '[', ']', '=', ';', '"', '\'', ' ', '\t', '-', '+',
                                               '.', 'e',  '9',  '0', 0x7F, 0x80, 0x81, 0xA1, 0xFE, 0xFF, 0x40};

std::vector<TextMutant> Changed(const std::string& label, const std::string& base, int count, std::uint32_t seed) {
  Mutator m(seed);
  std::vector<TextMutant> out;
  for (int i = 0; i < count; ++i) {
    TextMutant mu{label + " changed", base};
    const std::size_t edits = 1 + m.Below(6);
    for (std::size_t e = 0; e < edits; ++e) {
      const std::size_t pos = m.Below(mu.bytes.size());
      const std::uint8_t v = m.Below(3) ? m.Pick(kNastyBytes) : m.Byte();
      mu.bytes[pos] = static_cast<char>(v);
      mu.name += " [" + std::to_string(pos) + "]=" + std::to_string(v);
    }
    out.push_back(std::move(mu));
  }
  return out;
}

// The file cut around line ends (the last byte of a value: half a GBK character or the
// carriage return of a CRLF; the line end; the start of the next line), lineCuts of
// those spread by the seed, and at `anywhere` more lengths.
std::vector<TextMutant> Cuts(const std::string& label, const std::string& base, std::size_t lineCuts,
                             std::size_t anywhere, std::uint32_t seed) {
  std::vector<std::size_t> around, at;
  for (std::size_t i = 1; i < base.size(); ++i)
    if (base[i] == '\n') around.insert(around.end(), {i - 1, i, i + 1});
  Mutator m(seed);
  while (at.size() < lineCuts && !around.empty()) {
    const std::size_t i = m.Below(around.size());
    at.push_back(around[i]);
    around.erase(around.begin() + static_cast<std::ptrdiff_t>(i));
  }
  for (std::size_t i = 0; i < anywhere; ++i) at.push_back(m.Below(base.size()));
  std::vector<TextMutant> out;
  for (std::size_t n : at)
    if (n <= base.size()) out.push_back({label + " cut to " + std::to_string(n) + " bytes", base.substr(0, n)});
  return out;
}

// ---- system.par

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

// A text that a write and a read give back unchanged: it fits the read limit and
// nothing that reading trims, unquotes or splits.
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

// ---- language files

std::string SourceBytes(const std::string& relative) { return ReadBytes(SourceFile(relative)); }

// The lines of a file without their '\n' (a '\r' stays), and where each key's '=' is.
std::vector<std::pair<std::string, std::size_t>> Lines(const std::string& bytes) {
  std::vector<std::pair<std::string, std::size_t>> out;
  for (std::size_t pos = 0, end; pos < bytes.size(); pos = end + 1) {
    end = std::min(bytes.find('\n', pos), bytes.size());
    std::string line = bytes.substr(pos, end - pos);
    const std::size_t eq = line.empty() || line[0] == ';' || line[0] == '[' ? std::string::npos : line.find('=');
    out.emplace_back(std::move(line), eq);
  }
  return out;
}

// Sections and keys of a language file, and a few that no file holds.
std::vector<std::pair<std::string, std::string>> KeysOf(const std::string& bytes) {
  std::vector<std::pair<std::string, std::string>> keys = {{"frmQuna", "NoSuchKey"}, {"NoSuchSection", "Caption"}};
  std::string section;
  for (const auto& [line, eq] : Lines(bytes)) {
    if (line.size() > 2 && line.front() == '[') section = line.substr(1, line.find(']') - 1);
    else if (eq != std::string::npos) keys.emplace_back(section, line.substr(0, eq));
  }
  return keys;
}

// Values made longer than the 512-byte lookup buffer, with a GBK character across the limit.
std::vector<TextMutant> LongValues(const std::string& label, const std::string& base) {
  std::vector<TextMutant> out;
  for (std::size_t ascii : {509u, 510u, 511u, 512u}) {
    const std::string value = std::string(ascii, 'v') + "\xD6\xD0\xCE\xC4";
    std::string bytes;
    for (const auto& [line, eq] : Lines(base))
      bytes += (eq == std::string::npos ? line : line.substr(0, eq + 1) + value) + "\n";
    out.push_back({label + " values of " + std::to_string(ascii) + " bytes and two characters", bytes});
  }
  return out;
}

// A form with a component of each translated kind, named after keys of the files.
class SampleForm {
 public:
  SampleForm() {
    auto* layout = new QVBoxLayout(&form);
    auto add = [&]<class W>(W* w, const char* name, const char* cls) {
      w->setObjectName(name);
      w->setProperty("componentClass", cls);
      layout->addWidget(w);
      return w;
    };
    for (const char* name : {"lbl1", "lbl2", "Label1", "lbStatus"}) add(new QLabel("design"), name, "TLabel");
    for (const char* name : {"btnLogin", "btnadd", "btnRefresh", "btn1"})
      add(new QPushButton("design"), name, "TButton");
    add(new QGroupBox("design"), "grp1", "TGroupBox");
    add(combo_, "cbbpage", "TComboBox")->addItems({"design", "design", "design"});
    add(tree_, "lv1", "TListView")->setHeaderLabels({"design", "design", "design"});
    auto* buddy = new QLabel("design");
    buddy->setBuddy(add(new QLineEdit, "edtuser", "TLabeledEdit"));
    layout->addWidget(buddy);
  }

  QStringList Captions() const {
    QStringList all;
    for (QLabel* l : form.findChildren<QLabel*>()) all << l->text();
    for (QAbstractButton* b : form.findChildren<QAbstractButton*>()) all << b->text();
    all << form.findChild<QGroupBox*>()->title();
    for (int i = 0; i < combo_->count(); ++i) all << combo_->itemText(i);
    for (int i = 0; i < tree_->columnCount(); ++i) all << tree_->headerItem()->text(i);
    return all;
  }

  QWidget form;

 private:
  QComboBox* combo_ = new QComboBox;
  QTreeWidget* tree_ = new QTreeWidget;
};

std::string CheckLang(const std::string& path, const std::string& bytes,
                      const std::vector<std::pair<std::string, std::string>>& keys, SampleForm& sample) {
  WriteBytes(path, bytes);
  GetLanchg()->SetLangFile(path);
  for (const auto& [section, key] : keys) {
    const QString text = GetLangString(section, key, QString::fromUtf8("默认"));
    if (text.size() > 511) return "text of " + section + "/" + key + " longer than its buffer";
  }
  for (const char* section : {"frmusr", "frmQuna"}) {
    TranslateForm(section, &sample.form);
    for (const QString& caption : sample.Captions())
      if (caption.isEmpty()) return std::string("an empty caption after ") + section;
  }
  return {};
}

class MutatedSettings : public ::testing::Test {
 protected:
  ProgramFolder folder;
  void TearDown() override { GetLanchg()->SetLangFile(""); }
};

}  // namespace

TEST_F(MutatedSettings, SystemParCutChangedAndAtItsEdges) {
  const std::string base = BasePar();
  std::vector<TextMutant> mutants = Cuts("system.par", base, base.size(), 40, 7000);
  for (auto& part : {Changed("system.par", base, 150, 7001), ParEdges(base)})
    mutants.insert(mutants.end(), part.begin(), part.end());
  MutantRun run;
  for (const TextMutant& mu : mutants) run.Check(mu.name, [&] { return CheckPar(SystemParPath(), mu.bytes); });
  EXPECT_GT(run.count(), 500);
  run.ExpectAllHeld();
}

TEST_F(MutatedSettings, LanguageFilesCutChangedAndOverlong) {
  SampleForm sample;
  for (auto [file, seed] : {std::pair{"lang/langchs.ini", 9001u}, std::pair{"lang/langeng.ini", 9101u}}) {
    const std::string base = SourceBytes(file);
    ASSERT_GT(base.size(), 1000u) << file;
    // A spread of the file's keys: every lookup reads and decodes the file afresh.
    std::vector<std::pair<std::string, std::string>> keys;
    const auto all = KeysOf(base);
    for (std::size_t i = 0; i < all.size(); i += 5) keys.push_back(all[i]);
    std::vector<TextMutant> mutants = Cuts(file, base, 120, 0, seed);
    for (auto& part : {Changed(file, base, 120, seed + 1), LongValues(file, base)})
      mutants.insert(mutants.end(), part.begin(), part.end());
    const std::string path = folder.file(file + 5);  // the name without "lang/"
    MutantRun run;
    for (const TextMutant& mu : mutants) run.Check(mu.name, [&] { return CheckLang(path, mu.bytes, keys, sample); });
    EXPECT_GT(run.count(), 200);
    run.ExpectAllHeld();
  }
}
