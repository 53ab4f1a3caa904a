// Keeps the language files complete: every text the program looks up by a literal
// section and key must be in the English file, where the lookup finds it.

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QXmlStreamReader>
#include <map>
#include <set>

#include "platform/gbk.h"
#include "platform/profile.h"

namespace {

std::string SourceDir() {
  const char* dir = std::getenv("QUNO_SOURCE_DIR");
  return dir ? std::string(dir) + "/" : std::string();
}

std::string ReadFile(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll().toStdString();
}

std::string LangPath(const char* name) { return SourceDir() + "lang/" + name; }

// True when the lookup through the real profile reader finds the key (so a key
// hidden behind an earlier section of the same name counts as missing).
bool HasKey(const std::string& file, const std::string& section, const std::string& key) {
  const std::string kAbsent = "\x01" "absent" "\x01";
  return GetProfileBytes(gbk::FromUtf8(section), gbk::FromUtf8(key), kAbsent, kProfileNoLimit,
                         file) != kAbsent;
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
      std::size_t end = s.find("*/", i + 2);
      end = end == std::string::npos ? s.size() : end + 2;
      for (; i < end; ++i) {
        if (s[i] != '\n') out[i] = ' ';
      }
      --i;
    }
  }
  return out;
}

void SkipSpace(const std::string& s, std::size_t& i) {
  while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
}

// One string literal, or several adjacent ones joined; false when the text at i
// is not a literal (a variable or a computed key).
bool ReadLiteral(const std::string& s, std::size_t& i, std::string* out) {
  SkipSpace(s, i);
  if (i >= s.size() || s[i] != '"') return false;
  out->clear();
  while (i < s.size() && s[i] == '"') {
    for (++i; i < s.size() && s[i] != '"'; ++i) {
      if (s[i] == '\\' && i + 1 < s.size()) ++i;
      *out += s[i];
    }
    ++i;
    SkipSpace(s, i);
  }
  return true;
}

struct Lookup {
  std::string section, key, where;
};

// Calls name("section", "key", ...) with literal first two arguments, across lines.
std::vector<Lookup> FindCalls(const std::string& text, const std::string& file,
                              const std::string& name, bool withKey) {
  std::vector<Lookup> found;
  const std::string s = StripComments(text);
  for (std::size_t pos = s.find(name); pos != std::string::npos; pos = s.find(name, pos + 1)) {
    if (pos > 0 && (std::isalnum(static_cast<unsigned char>(s[pos - 1])) || s[pos - 1] == '_')) continue;
    std::size_t i = pos + name.size();
    SkipSpace(s, i);
    if (i >= s.size() || s[i] != '(') continue;
    ++i;
    Lookup l;
    if (!ReadLiteral(s, i, &l.section)) continue;
    if (withKey && (i >= s.size() || s[i] != ',' || !ReadLiteral(s, ++i, &l.key))) continue;
    if (withKey && (i >= s.size() || s[i] != ',')) continue;  // a key computed at run time
    l.where = file + ":" + std::to_string(1 + std::count(s.begin(), s.begin() + pos, '\n'));
    found.push_back(l);
  }
  return found;
}

std::vector<std::pair<QString, std::string>> Sources() {
  std::vector<std::pair<QString, std::string>> files;
  for (const char* dir : {"platform", "data", "users", "mainwindow", "output", "app"}) {
    QDirIterator it(QString::fromStdString(SourceDir() + dir), {"*.cpp", "*.h"}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
      const QString path = it.next();
      files.emplace_back(path, ReadFile(path));
    }
  }
  return files;
}

// Captions a translated form carries in its layout, by the key TranslateForm uses.
struct Node {
  std::string name, cls;
  std::map<std::string, std::string> props, attrs;
  std::vector<std::string> items, columns;
};

std::string ReadStringChild(QXmlStreamReader& r) {
  std::string text;
  while (r.readNextStartElement()) {
    if (r.name() == QLatin1String("string") && text.empty()) text = r.readElementText().toStdString();
    else r.skipCurrentElement();
  }
  return text;
}

std::string ReadItemText(QXmlStreamReader& r) {
  std::string text;
  while (r.readNextStartElement()) {
    if (r.name() == QLatin1String("property") &&
        r.attributes().value("name") == QLatin1String("text")) {
      text = ReadStringChild(r);
    } else {
      r.skipCurrentElement();
    }
  }
  return text;
}

void ParseUi(QXmlStreamReader& r, std::vector<Node>& out, Node* owner) {
  while (r.readNextStartElement()) {
    const QStringView name = r.name();
    if (name == QLatin1String("widget") || name == QLatin1String("action")) {
      Node n;
      n.name = r.attributes().value("name").toString().toStdString();
      const std::size_t at = out.size();
      out.emplace_back();
      ParseUi(r, out, &n);
      out[at] = n;
    } else if (owner && name == QLatin1String("property")) {
      const std::string p = r.attributes().value("name").toString().toStdString();
      owner->props[p] = ReadStringChild(r);
    } else if (owner && name == QLatin1String("attribute")) {
      const std::string p = r.attributes().value("name").toString().toStdString();
      owner->attrs[p] = ReadStringChild(r);
    } else if (owner && name == QLatin1String("item")) {
      owner->items.push_back(ReadItemText(r));
    } else if (owner && name == QLatin1String("column")) {
      owner->columns.push_back(ReadItemText(r));
    } else {
      ParseUi(r, out, nullptr);
    }
  }
}

bool NeedsText(const std::string& s) {
  return std::any_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

std::vector<Lookup> UiKeys(const QString& path, std::string* section) {
  QFile f(path);
  std::vector<Node> nodes;
  if (f.open(QIODevice::ReadOnly)) {
    QXmlStreamReader r(&f);
    ParseUi(r, nodes, nullptr);
  }
  std::vector<Lookup> keys;
  if (nodes.empty()) return keys;
  *section = nodes.front().name;
  const std::set<std::string> captions = {"TMenuItem", "TLabel",  "TButton",   "TRadioButton",
                                          "TBitBtn",   "TSpeedButton", "TCheckBox", "TPanel",
                                          "TGroupBox", "TAction"};
  const std::string file = QFileInfo(path).fileName().toStdString();
  for (std::size_t k = 1; k < nodes.size(); ++k) {
    const Node& n = nodes[k];
    const std::string cls = n.props.count("componentClass") ? n.props.at("componentClass") : "";
    auto need = [&](const std::string& text, const std::string& key) {
      if (NeedsText(text)) keys.push_back({*section, key, file + " " + n.name});
    };
    if (captions.count(cls)) {
      need(n.props.count("text") ? n.props.at("text") : n.props.count("title") ? n.props.at("title") : "", n.name);
    } else if (cls == "TTabSheet") {
      need(n.attrs.count("title") ? n.attrs.at("title") : "", n.name);
    } else if (cls == "TComboBox" || cls == "TComboBoxEx") {
      for (std::size_t j = 0; j < n.items.size(); ++j) need(n.items[j], n.name + "_TC" + std::to_string(j));
    } else if (cls == "TListView") {
      for (std::size_t j = 0; j < n.columns.size(); ++j) need(n.columns[j], n.name + "_TC" + std::to_string(j));
    }
  }
  return keys;
}

}  // namespace

TEST(LangFiles, AreGbkWithEachSectionOnce) {
  ASSERT_FALSE(SourceDir().empty()) << "QUNO_SOURCE_DIR is not set";
  for (const char* name : {"langchs.ini", "langeng.ini"}) {
    const std::string bytes = ReadFile(QString::fromStdString(LangPath(name)));
    ASSERT_FALSE(bytes.empty()) << name;
    EXPECT_NE(bytes.rfind("\xEF\xBB\xBF", 0), 0u) << name << " starts with a UTF-8 mark";
    const QString text = gbk::Decode(bytes);
    EXPECT_FALSE(text.contains(QChar(0xFFFD))) << name << " holds bytes that are not GBK (UTF-8 appended?)";
    if (std::string(name) == "langeng.ini") {
      for (const QChar c : text) {
        EXPECT_FALSE(c.unicode() >= 0x4E00 && c.unicode() <= 0x9FFF)
            << "langeng.ini holds Chinese text near: "
            << text.mid(std::max<qsizetype>(0, text.indexOf(c) - 20), 40).toStdString();
        if (c.unicode() >= 0x4E00 && c.unicode() <= 0x9FFF) break;
      }
    }
    std::set<QString> sections;
    for (const QString& line : text.split('\n')) {
      const QString t = line.trimmed();
      if (!t.startsWith('[')) continue;
      const QString section = t.mid(1, t.indexOf(']') - 1).trimmed().toLower();
      EXPECT_TRUE(sections.insert(section).second)
          << name << ": section [" << section.toStdString()
          << "] appears twice; lookups only see the first, so join the two";
    }
  }
}

TEST(LangFiles, EveryChineseKeyHasAnEnglishText) {
  const std::string chs = ReadFile(QString::fromStdString(LangPath("langchs.ini")));
  std::string section;
  for (const QString& line : gbk::Decode(chs).split('\n')) {
    const QString t = line.trimmed();
    if (t.startsWith('[')) section = t.mid(1, t.indexOf(']') - 1).trimmed().toStdString();
    else if (!t.startsWith(';') && t.contains('=') && !section.empty()) {
      const std::string key = t.left(t.indexOf('=')).trimmed().toStdString();
      EXPECT_TRUE(HasKey(LangPath("langeng.ini"), section, key)) << "[" << section << "] " << key;
    }
  }
}

TEST(LangFiles, EveryLiteralLookupIsInTheEnglishFile) {
  ASSERT_FALSE(SourceDir().empty()) << "QUNO_SOURCE_DIR is not set";
  int count = 0;
  for (const auto& [path, text] : Sources()) {
    for (const Lookup& l : FindCalls(text, path.toStdString(), "GetLangString", true)) {
      ++count;
      EXPECT_TRUE(HasKey(LangPath("langeng.ini"), l.section, l.key))
          << "[" << l.section << "] " << l.key << " used at " << l.where
          << " is missing from lang/langeng.ini";
    }
  }
  RecordProperty("lookups", count);
}

TEST(LangFiles, TranslatedFormCaptionsAreInTheEnglishFile) {
  std::set<std::string> translated;
  for (const auto& [path, text] : Sources()) {
    for (const char* call : {"TranslateForm", "TranslateOnShow"}) {
      for (const Lookup& l : FindCalls(text, path.toStdString(), call, false)) translated.insert(l.section);
    }
  }
  QDirIterator it(QString::fromStdString(SourceDir() + "forms"), {"*.ui"}, QDir::Files);
  while (it.hasNext()) {
    std::string section;
    const std::vector<Lookup> keys = UiKeys(it.next(), &section);
    if (!translated.count(section)) continue;  // a form that keeps its layout's texts
    for (const Lookup& l : keys) {
      EXPECT_TRUE(HasKey(LangPath("langeng.ini"), l.section, l.key))
          << "[" << l.section << "] " << l.key << " (" << l.where << ") is missing from lang/langeng.ini";
    }
  }
}

TEST(LangFiles, TheScanFindsCallsOverSeveralLines) {
  const std::string text =
      "auto a = GetLangString(\"frmQuna\",\n      \"Error5\", tr(\"x\"));\n"
      "// GetLangString(\"commented\", \"out\", x);\n"
      "/* GetLangString(\"also\", \"out\", x); */\n"
      "QString b = GetLangString( \"utPubParam\" , \"Err\" \"or\" \"7\" ,\n \"d\");\n"
      "auto c = GetLangString(section, \"dynamic\", x);\n"
      "auto d = MyGetLangString(\"no\", \"match\", x);\n"
      "TranslateForm(\"frmLogin\", this);\n";
  const auto calls = FindCalls(text, "f.cpp", "GetLangString", true);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].section, "frmQuna");
  EXPECT_EQ(calls[0].key, "Error5");
  EXPECT_EQ(calls[1].section, "utPubParam");
  EXPECT_EQ(calls[1].key, "Error7");
  EXPECT_EQ(calls[1].where, "f.cpp:5");
  const auto forms = FindCalls(text, "f.cpp", "TranslateForm", false);
  ASSERT_EQ(forms.size(), 1u);
  EXPECT_EQ(forms[0].section, "frmLogin");
}
