#pragma once
// Whole-file reads and writes, and a program folder of its own for one test.

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/appdir.h"
#include "support/tempdir.h"

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The folder beside the "executable" (settings, language files, user database).
class ProgramFolder {
 public:
  ProgramFolder() { SetProgramDir(dir_.path()); }
  ~ProgramFolder() { SetProgramDir(""); }
  std::string path() const { return dir_.path(); }
  std::string file(const std::string& name) const { return dir_.file(name); }

 private:
  TempDir dir_;
};

// A file of the source tree (language files, forms).
inline std::string SourceFile(const std::string& relative) {
  const char* dir = std::getenv("QUNO_SOURCE_DIR");
  return dir ? std::string(dir) + "/" + relative : std::string();
}
