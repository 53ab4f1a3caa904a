#include "platform/instancelock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QDir>
#include <cerrno>
#include <cstdlib>

std::string InstanceLock::LockFilePath(const std::string& name) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime) {
    std::string dir = runtime;
    if (dir.back() != '/') dir += '/';
    return dir + name + ".lock";
  }
  return QDir::tempPath().toStdString() + "/" + name + "-" + std::to_string(getuid()) + ".lock";
}

InstanceLock::InstanceLock(const std::string& name) {
  const std::string path = LockFilePath(name);
  // O_NOFOLLOW: in a shared temp folder the name may be a planted symlink.
  // O_CLOEXEC: programs we start must not inherit the lock.
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    error_ = errno != 0 ? errno : EIO;
    return;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    int err = errno;
    ::close(fd);
    error_ = (err == EWOULDBLOCK) ? kErrorAlreadyExists : err;
    return;
  }
  fd_ = fd;
}

InstanceLock::~InstanceLock() {
  // The file stays: removing it would race with a starting instance that has
  // opened it but not yet locked it.
  if (fd_ >= 0) ::close(fd_);
}
