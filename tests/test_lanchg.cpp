// Language lookups and form translation; the language files complete (every literal lookup
// in the English file) and damaged ones read safely.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QTreeWidget>
#include <regex>
#include <set>

#include "data/lanchg.h"
#include "platform/gbk.h"
#include "platform/profile.h"
#include "support/fifoguard.h"
#include "support/files.h"
#include "support/mutation.h"

namespace {

// Writes a GBK language file with the given UTF-8 content and makes it the chosen one.
void UseLangFile(const std::string& path, const std::string& utf8) {
  WriteBytes(path, gbk::FromUtf8(utf8));
  GetLanchg()->SetLangFile(path);
}

template <typename W>
W* Add(QWidget* parent, const char* name, const char* cls, const char* text = "") {
  auto* w = new W(parent);
  w->setObjectName(name);
  if (cls) w->setProperty("componentClass", QString::fromLatin1(cls));
  if constexpr (std::is_base_of_v<QLabel, W> || std::is_base_of_v<QAbstractButton, W>) w->setText(text);
  return w;
}

// A small form with components of the kinds the translation treats differently.
struct Form {
  QWidget form;
  QLabel* lbl1 = Add<QLabel>(&form, "lbl1", "TLabel", "标签");
  QLabel* lblEmpty = Add<QLabel>(&form, "lblEmpty", "TLabel", "设计");
  QLabel* lblDerived = Add<QLabel>(&form, "lblDerived", "TMyLabel", "派生");
  QPushButton* btn1 = Add<QPushButton>(&form, "btn1", "TButton", "按钮");
  QTabWidget* pc1 = Add<QTabWidget>(&form, "pc1", "TPageControl");
  QComboBox* cb1 = Add<QComboBox>(&form, "cb1", "TComboBox");
  QTreeWidget* lv1 = Add<QTreeWidget>(&form, "lv1", "TListView");
  QTableView* lv2 = Add<QTableView>(&form, "lv2", "TListView");
  QGroupBox* grp1 = Add<QGroupBox>(&form, "grp1", "TGroupBox");
  QStandardItemModel model{0, 2};

  Form() {
    pc1->addTab(Add<QWidget>(pc1, "ts1", "TTabSheet"), "页一");
    pc1->addTab(Add<QWidget>(pc1, "ts2", "TTabSheet"), "页二");
    cb1->addItems({"甲", "乙", "丙"});
    cb1->setCurrentIndex(2);
    lv1->setHeaderLabels({"时间", "通道", "报警"});
    model.setHorizontalHeaderLabels({"开始", "结束"});
    lv2->setModel(&model);
    grp1->setTitle("组");
  }
};

const char* kEnglish =
    "[frmTest]\nlbl1=Label\nlblEmpty=\nlblDerived=Derived\nbtn1=Button\npc1=Pages\nts2=Page two\n"
    "cb1_TC0=A\ncb1_TC2=C\nlv1_TC0=Time\nlv1_TC1=\nlv1_TC2=Alarm\nlv2_TC1=End\n";

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

// Every lookup fits the 512-byte buffer and no caption of the real forms' sections is emptied.
std::string CheckLang(const std::string& path, const std::string& bytes,
                      const std::vector<std::pair<std::string, std::string>>& keys, Form& sample) {
  WriteBytes(path, bytes);
  GetLanchg()->SetLangFile(path);
  for (const auto& [section, key] : keys) {
    const QString text = GetLangString(section, key, QString::fromUtf8("默认"));
    if (text.size() > 511) return "text of " + section + "/" + key + " longer than its buffer";
  }
  for (const char* section : {"frmusr", "frmQuna", "frmLogin"}) {
    TranslateForm(section, &sample.form);
    // The captions that the real files' sections have keys for.
    const Form& f = sample;
    QStringList captions = {f.lbl1->text(), f.btn1->text(), f.grp1->title(), f.pc1->tabText(0), f.pc1->tabText(1)};
    for (int i = 0; i < 3; ++i) captions << f.lv1->headerItem()->text(i);
    for (const QString& caption : captions)
      if (caption.isEmpty()) return std::string("an empty caption after ") + section;
  }
  return {};
}

// True when the lookup through the real profile reader finds the key (so a key
// hidden behind an earlier section of the same name counts as missing).
bool HasKey(const std::string& section, const std::string& key) {
  const std::string kAbsent = "\x01" "absent" "\x01";
  return GetProfileBytes(gbk::FromUtf8(section), gbk::FromUtf8(key), kAbsent, kProfileNoLimit,
                         SourceFile("lang/langeng.ini")) != kAbsent;
}

// Source text without its comments, line ends kept, so that calls in comments do not count
// (a "//" inside a string literal would cut its line short; the sources hold none).
std::string StripComments(const std::string& s) {
  return std::regex_replace(s, std::regex(R"(//[^\n]*|/\*[^*]*\*/)"), " ");
}

// The text of one literal or of several adjacent ones: "a" "b" gives ab.
std::string Unquote(const std::string& literals) {
  std::string out;
  bool inside = false;
  for (std::size_t i = 0; i < literals.size(); ++i) {
    if (literals[i] == '"') inside = !inside;
    else if (inside) out += literals[i] == '\\' ? literals[++i] : literals[i];
  }
  return out;
}

struct Lookup {
  std::string section, key, where;
};

// Calls GetLangString("section", "key", ...) with literal arguments, across lines; a key
// computed at run time is skipped.
std::vector<Lookup> FindCalls(const std::string& text, const std::string& file) {
  const std::string lit = R"(("(?:[^"\\]|\\.)*"(?:\s*"(?:[^"\\]|\\.)*")*))";
  const std::regex call(R"([^\w]GetLangString\s*\(\s*)" + lit + R"(\s*,\s*)" + lit + R"(\s*,)");
  const std::string s = std::string(" ").append(StripComments(text));
  std::vector<Lookup> found;
  for (std::sregex_iterator m(s.begin(), s.end(), call), end; m != end; ++m) {
    const auto line = 1 + std::count(s.begin(), s.begin() + m->position(0), '\n');
    found.push_back({Unquote((*m)[1]), Unquote((*m)[2]), file + ":" + std::to_string(line)});
  }
  return found;
}

}  // namespace

TEST(LangString, LooksUpTheFileOrGivesTheDefault) {
  GetLanchg()->SetLangFile("");
  EXPECT_EQ(GetLangString("utPubParam", "Error1", "结束时间小于开始时间"), QString::fromUtf8("结束时间小于开始时间"));

  // The file in a folder whose path is longer than a fixed buffer would hold.
  TempDir dir;
  std::string folder = dir.path();
  while (folder.size() < 300) folder += std::string(40, 'd') + "/";
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder)));
  UseLangFile(folder + "lang.ini", "[utPubParam]\nError1=End before start\nError2=记录时间\n");
  EXPECT_EQ(GetLanchg()->LangFile(), folder + "lang.ini");
  EXPECT_EQ(GetLangString("utPubParam", "Error1", "x"), "End before start");
  EXPECT_EQ(GetLangString("UTPUBPARAM", "error2", "x"), QString::fromUtf8("记录时间"));
  EXPECT_EQ(GetLangString("frmQuna", "Error1", "缺省"), QString::fromUtf8("缺省"));

  // A FIFO as the language file: the defaults, at once.
  ASSERT_TRUE(MakeFifo(dir.file("langchs.ini")));
  GetLanchg()->SetLangFile(dir.file("langchs.ini"));
  EXPECT_TRUE(DoesNotWaitOn(dir.file("langchs.ini"), [] {
    EXPECT_EQ(GetLangString("utPubParam", "Error1", "缺省"), QString::fromUtf8("缺省"));
  }));
  GetLanchg()->SetLangFile("");
}

TEST(Translate, CaptionsItemsAndColumnsTakeTheirTextsAndOnlyThose) {
  GetLanchg()->SetLangFile("");  // no language file: every caption as designed
  Form design;
  TranslateForm("frmTest", &design.form);
  EXPECT_EQ(design.lbl1->text(), QString::fromUtf8("标签"));
  EXPECT_EQ(design.cb1->itemText(0), QString::fromUtf8("甲"));

  TempDir dir;
  UseLangFile(dir.file("lang.ini"), kEnglish);
  Form f;
  TranslateForm("frmTest", &f.form);
  const std::pair<QString, const char*> translated[] = {
      {f.lbl1->text(), "Label"}, {f.btn1->text(), "Button"}, {f.pc1->tabText(1), "Page two"},
      // Combo items replaced by position; the selection stays where it was.
      {f.cb1->itemText(0), "A"}, {f.cb1->itemText(1), "乙"}, {f.cb1->currentText(), "C"},
      // List columns: keys lv1_TC0.., an empty value keeps the design text.
      {f.lv1->headerItem()->text(0), "Time"}, {f.lv1->headerItem()->text(1), "通道"},
      {f.model.headerData(0, Qt::Horizontal).toString(), "开始"},
      {f.model.headerData(1, Qt::Horizontal).toString(), "End"},
      // What stays as designed: an empty value, another class name, a tab without a key.
      {f.lblEmpty->text(), "设计"}, {f.lblDerived->text(), "派生"}, {f.pc1->tabText(0), "页一"},
  };
  for (const auto& [got, want] : translated) EXPECT_EQ(got, QString::fromUtf8(want));
  EXPECT_EQ(f.cb1->currentIndex(), 2);
}

// Both files GBK with each section once; every key of the Chinese file in the English one.
TEST(LangFiles, AreGbkWithEachSectionOnceAndEveryChineseKeyInEnglish) {
  for (const std::string name : {"langchs.ini", "langeng.ini"}) {
    SCOPED_TRACE(name);
    const std::string bytes = ReadBytes(SourceFile("lang/" + name));
    ASSERT_FALSE(bytes.empty()) << "QUNO_SOURCE_DIR unset or file missing";
    EXPECT_NE(bytes.rfind("\xEF\xBB\xBF", 0), 0u) << "starts with a UTF-8 mark";
    const QString text = gbk::Decode(bytes);
    EXPECT_FALSE(text.contains(QChar(0xFFFD))) << "holds bytes that are not GBK (UTF-8 appended?)";
    std::set<QString> sections;
    std::string section;
    for (const QString& line : text.split('\n')) {
      const QString t = line.trimmed();
      if (t.startsWith('[')) {
        section = t.mid(1, t.indexOf(']') - 1).trimmed().toStdString();
        EXPECT_TRUE(sections.insert(QString::fromStdString(section).toLower()).second)
            << "section [" << section << "] appears twice; lookups only see the first, so join the two";
      } else if (name == "langchs.ini" && !t.startsWith(';') && t.contains('=') && !section.empty()) {
        const std::string key = t.left(t.indexOf('=')).trimmed().toStdString();
        EXPECT_TRUE(HasKey(section, key)) << "[" << section << "] " << key;
      }
    }
  }
}

// A thing shown in several places (main form, chart paper, report paper, export) reads
// the same in each, in both shipped files, but for the colon and blank of a label.
TEST(LangFiles, EachThingIsNamedOnceInEveryPlace) {
  using Places = std::vector<std::pair<std::string, std::string>>;
  std::vector<Places> things = {
      {{"frmQuna", "lbl10"}, {"frmPrint", "Error4"}, {"frmfaterPrit", "Error4"}},
      {{"frmQuna", "lbl11"}, {"frmPrint", "Error1"}, {"frmfaterPrit", "Error1"}},
      {{"frmQuna", "rbBlack"}, {"frmPrint", "rbBlack"}, {"frmfaterPrit", "rbBlack"}},
      {{"utPubParam", "Error3"}, {"utExeclthread", "Error1"}},
      {{"utPubParam", "Error4"}, {"utExeclthread", "Error4"}, {"frmfaterPrit", "Error17"}},
  };
  for (int a = 0; a < 6; ++a)  // the six alarm texts: screen, export, report paper
    things.push_back({{"utpage", "Error" + std::to_string(4 + a)}, {"utExeclthread", "Error" + std::to_string(8 + a)},
                      {"frmfaterPrit", "Error" + std::to_string(9 + a)}});
  const auto name = [](const std::pair<std::string, std::string>& place) {
    QString t = GetLangString(place.first, place.second, QString());
    while (t.endsWith(' ') || t.endsWith(':') || t.endsWith(QChar(0xFF1A))) t.chop(1);
    return t;
  };
  for (const char* file : {"lang/langchs.ini", "lang/langeng.ini"}) {
    GetLanchg()->SetLangFile(SourceFile(file));
    for (const Places& places : things)
      for (const auto& place : places) {
        const std::string where = std::string(file) + " [" + place.first + "] " + place.second;
        EXPECT_FALSE(name(place).isEmpty()) << where;
        EXPECT_EQ(name(place), name(places[0])) << where;
      }
    // The power meter's channel labels are in both files.
    for (const char* key : {"Error33", "Error34"})
      EXPECT_FALSE(GetLangString("utPubParam", key, QString()).isEmpty()) << file << " " << key;
  }
  GetLanchg()->SetLangFile("");
}

TEST(LangFiles, EveryLiteralLookupIsInTheEnglishFile) {
  std::size_t calls = 0;
  for (const char* dir : {"platform", "data", "reports", "users", "mainwindow", "output", "app"}) {
    QDirIterator it(QString::fromStdString(SourceFile(dir)), {"*.cpp", "*.h"}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
      const std::string path = it.next().toStdString();
      for (const Lookup& l : FindCalls(ReadBytes(path), path)) {
        ++calls;
        EXPECT_TRUE(HasKey(l.section, l.key))
            << "[" << l.section << "] " << l.key << " used at " << l.where << " is missing from lang/langeng.ini";
      }
    }
  }
  EXPECT_GT(calls, 50u) << "the sources were not found";
}

TEST(LangFiles, CutChangedAndOverlongKeepLookupsAndCaptions) {
  ProgramFolder folder;
  Form sample;
  for (auto [file, seed] : {std::pair{"lang/langchs.ini", 9001u}, std::pair{"lang/langeng.ini", 9101u}}) {
    const std::string base = ReadBytes(SourceFile(file));
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
    for (const TextMutant& mu : mutants)
      run.Check(mu.name, [&] { return CheckLang(path, mu.bytes, keys, sample); });
    EXPECT_GT(run.count(), 200);
    run.ExpectAllHeld();
  }
  GetLanchg()->SetLangFile("");
}
