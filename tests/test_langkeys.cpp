// Keeps the language files complete: every text the program looks up by a literal
// section and key must be in the English file, where the lookup finds it.

#include <gtest/gtest.h>

#include <QDirIterator>
#include <QRegularExpression>
#include <regex>
#include <set>

#include "platform/gbk.h"
#include "platform/profile.h"
#include "support/files.h"

namespace {

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

TEST(LangFiles, AreGbkWithEachSectionOnce) {
  for (const char* name : {"langchs.ini", "langeng.ini"}) {
    SCOPED_TRACE(name);
    const std::string bytes = ReadBytes(SourceFile(std::string("lang/") + name));
    ASSERT_FALSE(bytes.empty()) << "QUNO_SOURCE_DIR unset or file missing";
    EXPECT_NE(bytes.rfind("\xEF\xBB\xBF", 0), 0u) << "starts with a UTF-8 mark";
    const QString text = gbk::Decode(bytes);
    EXPECT_FALSE(text.contains(QChar(0xFFFD))) << "holds bytes that are not GBK (UTF-8 appended?)";
    std::set<QString> sections;
    for (const QString& line : text.split('\n')) {
      const QString t = line.trimmed();
      if (!t.startsWith('[')) continue;
      const QString section = t.mid(1, t.indexOf(']') - 1).trimmed().toLower();
      EXPECT_TRUE(sections.insert(section).second)
          << "section [" << section.toStdString() << "] appears twice; lookups only see the first, so join the two";
    }
  }
}

TEST(LangFiles, EveryChineseKeyHasAnEnglishText) {
  std::string section;
  for (const QString& line : gbk::Decode(ReadBytes(SourceFile("lang/langchs.ini"))).split('\n')) {
    const QString t = line.trimmed();
    if (t.startsWith('[')) section = t.mid(1, t.indexOf(']') - 1).trimmed().toStdString();
    else if (!t.startsWith(';') && t.contains('=') && !section.empty()) {
      const std::string key = t.left(t.indexOf('=')).trimmed().toStdString();
      EXPECT_TRUE(HasKey(section, key)) << "[" << section << "] " << key;
    }
  }
}

TEST(LangFiles, EveryLiteralLookupIsInTheEnglishFile) {
  std::size_t calls = 0;
  for (const char* dir : {"platform", "data", "users", "mainwindow", "output", "app"}) {
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
