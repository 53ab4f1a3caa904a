#include "platform/appdir.h"

#include <QCoreApplication>
#include <mutex>

namespace {
std::mutex g_mutex;
std::string g_override;
}  // namespace

std::string ProgramDir() {
  {
    std::lock_guard lock(g_mutex);
    if (!g_override.empty()) return g_override;
  }
  std::string dir = QCoreApplication::applicationDirPath().toStdString();
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

void SetProgramDir(const std::string& dir) {
  std::lock_guard lock(g_mutex);
  g_override = dir;
  if (!g_override.empty() && g_override.back() != '/') g_override += '/';
}
