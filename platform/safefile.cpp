#include "platform/safefile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <chrono>
#include <random>

namespace {

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

TargetKind KindOf(mode_t mode) {
  if (S_ISREG(mode)) return TargetKind::Regular;
  if (S_ISDIR(mode)) return TargetKind::Directory;
  if (S_ISFIFO(mode)) return TargetKind::Fifo;
  if (S_ISCHR(mode) || S_ISBLK(mode)) return TargetKind::Device;
  if (S_ISSOCK(mode)) return TargetKind::Socket;
  return TargetKind::Other;
}

// The errno a refused target is reported with.
int RefusalError(TargetKind kind) { return kind == TargetKind::Directory ? EISDIR : EINVAL; }

std::string RandomSuffix() {
  static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  thread_local std::mt19937_64 random(std::random_device{}() ^
                                      static_cast<std::uint64_t>(::getpid()) ^
                                      static_cast<std::uint64_t>(
                                          std::chrono::steady_clock::now().time_since_epoch().count()));
  std::string s(8, 'x');
  for (char& c : s) c = kChars[random() % (sizeof kChars - 1)];
  return s;
}

}  // namespace

void IgnoreFileSizeSignal() {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  ::sigaction(SIGXFSZ, &ignore, nullptr);
}

FileTarget ResolveTarget(const std::string& path) {
  FileTarget t;
  std::string p = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(p.c_str(), &st) != 0) {
      t.path = p;
      if (errno != ENOENT) t.error = errno;
      return t;
    }
    if (!S_ISLNK(st.st_mode)) {
      t.path = p;
      t.kind = KindOf(st.st_mode);
      t.mode = st.st_mode & 07777;
      return t;
    }
    std::string link(4096, '\0');
    const ssize_t n = ::readlink(p.c_str(), link.data(), link.size());
    if (n < 0 || static_cast<std::size_t>(n) >= link.size()) {
      t.path = p;
      t.error = n < 0 ? errno : ENAMETOOLONG;
      return t;
    }
    link.resize(static_cast<std::size_t>(n));
    p = link.front() == '/' ? link : FolderOf(p) + "/" + link;
  }
  t.path = p;
  t.error = ELOOP;
  return t;
}

ReplacingFile::ReplacingFile() = default;

ReplacingFile::~ReplacingFile() { Abort(); }

void ReplacingFile::SetError(int error) {
  if (error_ == 0) error_ = error;
}

bool ReplacingFile::Begin(const std::string& target) {
  IgnoreFileSizeSignal();
  spool_ = false;
  target_ = ResolveTarget(target);
  if (target_.error != 0) {
    SetError(target_.error);
    return false;
  }
  if (target_.kind != TargetKind::Missing && target_.kind != TargetKind::Regular) {
    refused_ = true;
    SetError(RefusalError(target_.kind));
    return false;
  }
  // A hidden name of its own beside the target (the name cut to stay below the limit).
  std::string stem(1, '.');
  stem.append(NameOf(target_.path), 0, 200);
  stem += '.';
  return Create(FolderOf(target_.path), stem);
}

bool ReplacingFile::BeginSpool(const std::string& folder) {
  IgnoreFileSizeSignal();
  spool_ = true;
  target_ = FileTarget();
  return Create(folder.empty() ? std::string(".") : folder, "quno-spool-");
}

bool ReplacingFile::Create(const std::string& folder, const std::string& stem) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = folder;
    name.append("/").append(stem).append(RandomSuffix()).append(".tmp");
    // Exclusive: never an existing file, a link or a FIFO planted at the name.
    fd_ = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                 spool_ ? 0600 : 0666);
    if (fd_ >= 0) {
      temp_ = name;
      return true;
    }
    if (errno != EEXIST) break;
  }
  SetError(errno);
  return false;
}

bool ReplacingFile::Write(std::string_view bytes) {
  if (fd_ < 0 || error_ != 0) {
    SetError(EBADF);
    return false;
  }
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      SetError(n < 0 ? errno : ENOSPC);
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

void ReplacingFile::Close() {
  if (fd_ < 0) return;
  if (::close(fd_) != 0 && errno != EINTR) SetError(errno);
  fd_ = -1;
}

bool ReplacingFile::Finish() {
  if (fd_ < 0 && temp_.empty()) {
    SetError(EBADF);
    return false;
  }
  if (error_ == 0 && !spool_) {
    // The replacement keeps the permissions of the file it replaces.
    if (HadEarlierFile()) ::fchmod(fd_, target_.mode);
    if (::fsync(fd_) != 0) SetError(errno);
  }
  Close();
  if (error_ == 0 && !spool_) {
    // Whatever took the target's place meanwhile must not be replaced either.
    const FileTarget now = ResolveTarget(target_.path);
    if (now.path != target_.path || (now.kind != TargetKind::Missing && now.kind != TargetKind::Regular)) {
      refused_ = true;
      SetError(RefusalError(now.kind));
    } else if (::rename(temp_.c_str(), target_.path.c_str()) != 0) {
      SetError(errno);
    } else {
      temp_.clear();
      const int dir = ::open(FolderOf(target_.path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      if (dir >= 0) {
        ::fsync(dir);  // the new name on disk too; a folder that cannot be synced is no failure
        ::close(dir);
      }
    }
  }
  if (error_ != 0) Abort();
  return error_ == 0;
}

void ReplacingFile::Abort() {
  Close();
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
}

qint64 ReplacingDevice::writeData(const char* data, qint64 len) {
  return file_.Write(std::string_view(data, static_cast<std::size_t>(len))) ? len : -1;
}
