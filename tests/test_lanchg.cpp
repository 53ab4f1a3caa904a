// Language lookups and form translation; and the language files kept complete: every text
// the program looks up by a literal section and key must be in the English file.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QDirIterator>
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
#include "support/files.h"

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
  QStandardItemModel model{0, 2};

  Form() {
    pc1->addTab(Add<QWidget>(pc1, "ts1", "TTabSheet"), "页一");
    pc1->addTab(Add<QWidget>(pc1, "ts2", "TTabSheet"), "页二");
    cb1->addItems({"甲", "乙", "丙"});
    cb1->setCurrentIndex(2);
    lv1->setHeaderLabels({"时间", "通道", "报警"});
    model.setHorizontalHeaderLabels({"开始", "结束"});
    lv2->setModel(&model);
  }
};

const char* kEnglish =
    "[frmTest]\nlbl1=Label\nlblEmpty=\nlblDerived=Derived\nbtn1=Button\npc1=Pages\nts2=Page two\n"
    "cb1_TC0=A\ncb1_TC2=C\nlv1_TC0=Time\nlv1_TC1=\nlv1_TC2=Alarm\nlv2_TC1=End\n";

// True when the lookup through the real profile reader finds the key (so a key
// hidden behind an earlier section of the same name counts as missing).
bool HasKey(const std::string& section, const std::string& key) {
  const std::string kAbsent = "\x01" "absent" "\x01";
  return GetProfileBytes(gbk::FromUtf8(section), gbk::FromUtf8(key), kAbsent, kProfileNoLimit,
                         SourceFile("lang/langeng.ini")) != kAbsent;
}

// Source text with comments blanked out (string and character literals kept), so
// that calls in comments do not count and line numbers stay right.
std::string StripComments(const std::string& s) {
  std::string out = s;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '"' || s[i] == '\'') {
      const char q = s[i];
      for (++i; i < s.size() && s[i] != q; ++i) {
        if (s[i] == '\\') ++i;
      }
    } else if (s.compare(i, 2, "//") == 0) {
      for (; i < s.size() && s[i] != '\n'; ++i) out[i] = ' ';
    } else if (s.compare(i, 2, "/*") == 0) {
      const std::size_t found = s.find("*/", i + 2);
      const std::size_t end = found == std::string::npos ? s.size() : found + 2;
      for (; i < end; ++i) {
        if (s[i] != '\n') out[i] = ' ';
      }
      --i;
    }
  }
  return out;
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
