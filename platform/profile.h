#pragma once
// INI ("profile") files such as "system.par" and the language files: GBK on disk,
// QString in the program.
//
// Names of sections and keys match case-insensitively, the first matching section
// and the first matching key in it win; blanks around names and values are
// trimmed and a value wholly inside matching double or single quotes loses them.
// Every call reads the file afresh (nothing is cached) and reading never creates
// a file. A file that is no regular file (a FIFO, a folder, a device) cannot be read:
// the default, at once, and a write is refused. A write goes through a temporary file
// renamed over the old one, so the old file stays whole when the write fails.

#include <QString>
#include <cstddef>
#include <string>
#include <string_view>

constexpr std::size_t kProfileNoLimit = static_cast<std::size_t>(-1);

// The value of [section] key in the file at path, or defaultValue when the file,
// the section or the key is missing. The text returned is what a buffer of
// bufferSize bytes receives: at most bufferSize - 1 GBK bytes, cut on a
// character boundary (the default is cut the same way).
QString GetProfileText(const QString& section, const QString& key, const QString& defaultValue,
                       std::size_t bufferSize, const std::string& path);

// Sets [section] key = value, creating the file and the section when missing,
// replacing the first matching key in place or adding the key at the end of its
// section; every other line stays as it was. Line breaks in value become blanks.
// Returns false, leaving the file as it was, when the names cannot be written
// (empty, or holding a line break, '=' in a key, ']' in a section) or the file
// cannot be written. When error is given it receives why: the errno of the step
// that failed (EINVAL for names that cannot be written), 0 after a success.
bool WriteProfileText(const QString& section, const QString& key, const QString& value,
                      const std::string& path, int* error = nullptr);

// The same on GBK bytes, for callers that hold GBK texts.
std::string GetProfileBytes(std::string_view section, std::string_view key,
                            std::string_view defaultValue, std::size_t bufferSize,
                            const std::string& path);
bool WriteProfileBytes(std::string_view section, std::string_view key, std::string_view value,
                       const std::string& path, int* error = nullptr);
