#include "platform/profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <vector>

#include "platform/gbk.h"
#include "platform/safefile.h"

namespace {

struct Line {
  std::size_t begin = 0;    // first byte of the line
  std::size_t textEnd = 0;  // first byte of the line ending (or the end of the file)
  std::size_t end = 0;      // first byte after the line ending
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

std::vector<Line> SplitLines(std::string_view data) {
  std::vector<Line> lines;
  std::size_t pos = 0;
  while (pos < data.size()) {
    Line l;
    l.begin = pos;
    std::size_t nl = data.find('\n', pos);
    if (nl == std::string_view::npos) {
      l.textEnd = l.end = data.size();
    } else {
      l.end = nl + 1;
      l.textEnd = (nl > pos && data[nl - 1] == '\r') ? nl - 1 : nl;
    }
    lines.push_back(l);
    pos = l.end;
  }
  return lines;
}

// The name of a section header line, or nothing for any other line.
std::optional<std::string_view> SectionName(std::string_view text) {
  text = Trim(text);
  if (text.empty() || text.front() != '[') return std::nullopt;
  text.remove_prefix(1);
  std::size_t close = text.find(']');
  if (close != std::string_view::npos) text = text.substr(0, close);
  return Trim(text);
}

// Name and value of a key line; comments and lines without '=' hold no key.
bool KeyLine(std::string_view text, std::string_view* name, std::string_view* value) {
  std::string_view t = Trim(text);
  if (t.empty() || t.front() == ';' || t.front() == '[') return false;
  std::size_t eq = t.find('=');
  if (eq == std::string_view::npos) return false;
  *name = Trim(t.substr(0, eq));
  *value = Trim(t.substr(eq + 1));
  return true;
}

std::string_view Unquote(std::string_view v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
    return v.substr(1, v.size() - 2);
  }
  return v;
}

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// ASCII letters match in either case; the bytes of a double-byte character match
// exactly (its trail byte may look like an ASCII letter but is not one).
bool NameMatches(std::string_view fileName, std::string_view wanted) {
  if (fileName.size() != wanted.size()) return false;
  std::size_t i = 0;
  while (i < fileName.size()) {
    const std::size_t len = gbk::CharLength(fileName, i);
    if (len == 1) {
      if (FoldAscii(fileName[i]) != FoldAscii(wanted[i])) return false;
    } else if (fileName.compare(i, len, wanted, i, len) != 0) {
      return false;
    }
    i += len;
  }
  return true;
}

struct Found {
  std::optional<std::size_t> sectionLine;  // index of the header line
  std::optional<std::size_t> keyLine;      // index of the first matching key line
  std::size_t lastContent = 0;             // last non-blank line of the section
};

Found Find(std::string_view data, const std::vector<Line>& lines, std::string_view section,
           std::string_view key) {
  Found f;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string_view text = data.substr(lines[i].begin, lines[i].textEnd - lines[i].begin);
    if (auto name = SectionName(text)) {
      if (f.sectionLine) break;  // the next section ends the first match
      if (NameMatches(*name, section)) f.sectionLine = f.lastContent = i;
      continue;
    }
    if (!f.sectionLine) continue;
    if (!Trim(text).empty()) f.lastContent = i;
    std::string_view name, value;
    if (KeyLine(text, &name, &value) && NameMatches(name, key)) {
      f.keyLine = i;
      break;
    }
  }
  return f;
}

// The whole file, or nothing when it cannot be read (missing counts as empty
// through *missing). Anything but a regular file counts as unreadable, and is never
// waited on.
std::optional<std::string> ReadAll(const std::string& path, bool* missing) {
  *missing = false;
  int fd = OpenRegularForReading(path);
  if (fd < 0) {
    *missing = (errno == ENOENT || errno == ENOTDIR);
    return std::nullopt;
  }
  std::string data;
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    data.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return data;
}

// Replaces the file at path (or the file its links lead to) by data; the old file
// stays whole when anything fails.
bool ReplaceFile(const std::string& path, std::string_view data) {
  bool ok = false;
  int error = 0;
  {
    ReplacingFile file;
    ok = file.Begin(path) && file.Write(data) && file.Finish();
    error = file.Error();
  }
  // The clean-up of a failed write may touch errno: the caller is told the write's own reason.
  if (!ok && error != 0) errno = error;
  return ok;
}

bool ValidName(std::string_view name, bool isSection) {
  if (Trim(name).empty()) return false;
  if (name.find_first_of("\r\n") != std::string_view::npos) return false;
  if (isSection) return name.find(']') == std::string_view::npos;
  std::string_view t = Trim(name);
  return name.find('=') == std::string_view::npos && t.front() != '[' && t.front() != ';';
}

}  // namespace

std::string GetProfileBytes(std::string_view section, std::string_view key,
                            std::string_view defaultValue, std::size_t bufferSize,
                            const std::string& path) {
  std::string_view result = defaultValue;
  std::optional<std::string> data;
  if (!path.empty()) {
    bool missing = false;
    data = ReadAll(path, &missing);
  }
  if (data) {
    std::vector<Line> lines = SplitLines(*data);
    Found f = Find(*data, lines, Trim(section), Trim(key));
    if (f.keyLine) {
      const Line& l = lines[*f.keyLine];
      std::string_view name, value;
      KeyLine(std::string_view(*data).substr(l.begin, l.textEnd - l.begin), &name, &value);
      result = Unquote(value);
    }
  }
  return std::string(bufferSize == kProfileNoLimit ? result : gbk::FitBuffer(result, bufferSize));
}

namespace {

bool WriteBytes(std::string_view section, std::string_view key, std::string_view value,
                const std::string& path) {
  if (path.empty() || !ValidName(section, true) || !ValidName(key, false)) return false;
  section = Trim(section);
  key = Trim(key);
  std::string cleanValue(value);
  for (char& c : cleanValue) {
    if (c == '\r' || c == '\n') c = ' ';
  }

  bool missing = false;
  std::optional<std::string> old = ReadAll(path, &missing);
  if (!old && !missing) return false;
  // A file the user may not write stays as it is, although its folder would let it
  // be replaced.
  if (old && ::access(path.c_str(), W_OK) != 0) return false;
  const std::string data = old.value_or(std::string());

  std::string eol = "\r\n";
  if (std::size_t nl = data.find('\n'); nl != std::string::npos) {
    eol = (nl > 0 && data[nl - 1] == '\r') ? "\r\n" : "\n";
  }
  const std::string keyLine = std::string(key) + "=" + cleanValue;
  std::vector<Line> lines = SplitLines(data);
  Found f = Find(data, lines, section, key);

  std::string out;
  out.reserve(data.size() + keyLine.size() + section.size() + 8);
  if (f.keyLine) {
    const Line& l = lines[*f.keyLine];
    std::string_view name, v;
    KeyLine(std::string_view(data).substr(l.begin, l.textEnd - l.begin), &name, &v);
    out.append(data, 0, l.begin);
    out.append(name).append("=").append(cleanValue);
    out.append(data, l.textEnd, std::string::npos);
  } else if (f.sectionLine) {
    const Line& l = lines[f.lastContent];
    out.append(data, 0, l.end);
    if (l.end == l.textEnd) out += eol;  // the section ended the file without a line end
    out.append(keyLine).append(eol);
    out.append(data, l.end, std::string::npos);
  } else {
    out = data;
    if (!out.empty() && out.back() != '\n') out += eol;
    out.append("[").append(section).append("]").append(eol);
    out.append(keyLine).append(eol);
  }
  return ReplaceFile(path, out);
}

}  // namespace

bool WriteProfileBytes(std::string_view section, std::string_view key, std::string_view value,
                       const std::string& path, int* error) {
  // A failed write leaves its own errno (ReplaceFile puts it back after the clean-up);
  // names that cannot be written leave none.
  errno = 0;
  const bool ok = WriteBytes(section, key, value, path);
  if (error) *error = ok ? 0 : errno != 0 ? errno : EINVAL;
  return ok;
}

QString GetProfileText(const QString& section, const QString& key, const QString& defaultValue,
                       std::size_t bufferSize, const std::string& path) {
  return gbk::Decode(GetProfileBytes(gbk::Encode(section), gbk::Encode(key),
                                     gbk::Encode(defaultValue), bufferSize, path));
}

bool WriteProfileText(const QString& section, const QString& key, const QString& value,
                      const std::string& path, int* error) {
  return WriteProfileBytes(gbk::Encode(section), gbk::Encode(key), gbk::Encode(value), path, error);
}
