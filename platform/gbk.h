#pragma once
// GBK (code page 936) at the file edges, UTF-8 / QString inside the program.
// Decoding uses GB18030, the superset, so any GBK text decodes; encoding uses GBK
// so that a GBK text read and written again is the same bytes. A character that
// GBK cannot hold is written in its four-byte GB18030 form rather than lost.

#include <QString>
#include <cstddef>
#include <string>
#include <string_view>

namespace gbk {

// Bytes that are not valid GB18030 decode to U+FFFD, one per bad byte.
QString Decode(std::string_view bytes);
std::string Encode(const QString& text);

std::string ToUtf8(std::string_view gbkBytes);
std::string FromUtf8(std::string_view utf8);

// Length in bytes of the character that starts bytes[pos] (1, 2 or 4); a lead
// byte with its trail missing counts as one byte.
std::size_t CharLength(std::string_view bytes, std::size_t pos);

// The longest prefix of at most maxBytes bytes that ends on a character boundary.
std::string_view CutAt(std::string_view bytes, std::size_t maxBytes);

// What a C buffer of bufferSize bytes receives: at most bufferSize - 1 bytes, cut
// on a character boundary (bufferSize 0 gives an empty text).
std::string_view FitBuffer(std::string_view bytes, std::size_t bufferSize);

}  // namespace gbk
