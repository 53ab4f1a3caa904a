#include "platform/gbk.h"

#include <iconv.h>

#include <cerrno>

namespace gbk {
namespace {

// One conversion descriptor per call: the descriptors are not safe to share
// between threads, and the texts converted here are short.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts as much as it can; returns false at an unconvertible or incomplete
  // sequence, leaving *in at it.
  bool Run(const char** in, std::size_t* inLeft, std::string& out) {
    char buffer[1024];
    while (*inLeft > 0) {
      char* dst = buffer;
      std::size_t dstLeft = sizeof buffer;
      char* src = const_cast<char*>(*in);
      std::size_t r = iconv(cd_, &src, inLeft, &dst, &dstLeft);
      out.append(buffer, sizeof buffer - dstLeft);
      *in = src;
      if (r == static_cast<std::size_t>(-1) && errno != E2BIG) return false;
    }
    return true;
  }

 private:
  iconv_t cd_;
};

bool IsLead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
bool IsDigit(unsigned char c) { return c >= 0x30 && c <= 0x39; }

}  // namespace

QString Decode(std::string_view bytes) {
  if (bytes.empty()) return {};
  Converter conv("UTF-8", "GB18030");
  std::string utf8;
  if (!conv.ok()) return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
  const char* in = bytes.data();
  std::size_t left = bytes.size();
  while (!conv.Run(&in, &left, utf8)) {
    // Byte 0x80 is the euro sign of code page 936 (GBK writes it so); any other
    // bad byte becomes U+FFFD.
    utf8 += (static_cast<unsigned char>(*in) == 0x80) ? "\xE2\x82\xAC" : "\xEF\xBF\xBD";
    ++in;
    --left;
  }
  return QString::fromStdString(utf8);
}

std::string Encode(const QString& text) {
  if (text.isEmpty()) return {};
  const std::string utf8 = text.toStdString();
  Converter conv("GBK", "UTF-8");
  std::string out;
  if (!conv.ok()) return utf8;
  const char* in = utf8.data();
  std::size_t left = utf8.size();
  while (!conv.Run(&in, &left, out)) {
    // A character outside GBK: write it in its four-byte GB18030 form.
    std::size_t len = 1;
    unsigned char c = static_cast<unsigned char>(*in);
    if (c >= 0xF0) len = 4;
    else if (c >= 0xE0) len = 3;
    else if (c >= 0xC0) len = 2;
    if (len > left) len = left;
    Converter wide("GB18030", "UTF-8");
    const char* one = in;
    std::size_t oneLeft = len;
    if (!wide.ok() || !wide.Run(&one, &oneLeft, out)) out += '?';
    in += len;
    left -= len;
  }
  return out;
}

std::string ToUtf8(std::string_view gbkBytes) { return Decode(gbkBytes).toStdString(); }

std::string FromUtf8(std::string_view utf8) {
  return Encode(QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
}

std::size_t CharLength(std::string_view bytes, std::size_t pos) {
  const std::size_t left = bytes.size() - pos;
  const auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[pos + i]); };
  if (!IsLead(at(0)) || left < 2) return 1;
  if (IsDigit(at(1))) {
    if (left >= 4 && IsLead(at(2)) && IsDigit(at(3))) return 4;
    return 1;
  }
  return 2;
}

std::string_view CutAt(std::string_view bytes, std::size_t maxBytes) {
  if (bytes.size() <= maxBytes) return bytes;
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    const std::size_t len = CharLength(bytes, pos);
    if (pos + len > maxBytes) break;
    pos += len;
  }
  return bytes.substr(0, pos);
}

std::string_view FitBuffer(std::string_view bytes, std::size_t bufferSize) {
  if (bufferSize == 0) return {};
  return CutAt(bytes, bufferSize - 1);
}

}  // namespace gbk
