#include "platform/safefile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
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

constexpr std::size_t kSuffixLength = 8;
constexpr char kSuffixChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
constexpr char kTempEnd[] = ".tmp";
constexpr char kSpoolStem[] = "quno-spool-";

// A hidden name of its own beside the target (the name cut to stay below the limit).
std::string TempStem(const std::string& target) {
  std::string stem(1, '.');
  stem.append(NameOf(target), 0, 200);
  stem += '.';
  return stem;
}

bool IsTempName(std::string_view name, std::string_view stem) {
  const std::size_t end = sizeof kTempEnd - 1;
  if (name.size() != stem.size() + kSuffixLength + end || name.substr(0, stem.size()) != stem ||
      name.substr(name.size() - end) != kTempEnd)
    return false;
  const std::string_view suffix = name.substr(stem.size(), kSuffixLength);
  return suffix.find_first_not_of(kSuffixChars) == std::string_view::npos;
}

// The new files of stem in folder that nobody holds locked: their writers have died.
// A file is removed only while this holds its lock and only when the name still leads to
// it, so a writer that has just created its file (and not yet locked it) notices the loss
// and takes another name.
int RemoveUnheld(const std::string& folder, std::string_view stem) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return 0;
  const int dirFd = ::dirfd(dir);
  int removed = 0;
  while (const dirent* e = ::readdir(dir)) {
    if (!IsTempName(e->d_name, stem)) continue;
    const int fd = ::openat(dirFd, e->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;  // another user's, or gone meanwhile
    struct stat held {}, named {};
    if (::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        ::fstatat(dirFd, e->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 && named.st_dev == held.st_dev &&
        named.st_ino == held.st_ino && ::unlinkat(dirFd, e->d_name, 0) == 0)
      ++removed;
    ::close(fd);
  }
  ::closedir(dir);
  return removed;
}

std::string RandomSuffix() {
  thread_local std::mt19937_64 random(std::random_device{}() ^
                                      static_cast<std::uint64_t>(::getpid()) ^
                                      static_cast<std::uint64_t>(
                                          std::chrono::steady_clock::now().time_since_epoch().count()));
  std::string s(kSuffixLength, 'x');
  for (char& c : s) c = kSuffixChars[random() % (sizeof kSuffixChars - 1)];
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

int OpenRegularForReading(const std::string& path) {
  // Looked at first, so that nothing but a regular file is ever opened (opening a device
  // can act on it); the open itself does not wait, and what it opened is checked again,
  // in case another kind of file took the name in between.
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return -1;
  const auto refuse = [](mode_t mode) {
    errno = S_ISDIR(mode) ? EISDIR : EINVAL;
    return -1;
  };
  if (!S_ISREG(st.st_mode)) return refuse(st.st_mode);
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const int error = errno;
    const mode_t mode = st.st_mode;
    ::close(fd);
    if (!S_ISREG(mode)) return refuse(mode);
    errno = error;
    return -1;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

int RemoveLeftovers(const std::string& target) {
  const FileTarget t = ResolveTarget(target);
  if (t.error != 0) return 0;
  return RemoveUnheld(FolderOf(t.path), TempStem(t.path));
}

ReplacingFile::ReplacingFile() = default;

ReplacingFile::~ReplacingFile() { Abort(); }

void ReplacingFile::SetError(int error) {
  if (error_ == 0) error_ = error;
}

bool ReplacingFile::WritableOrMissing(const FileTarget& target) {
  if (target.kind != TargetKind::Regular) return true;
  // The mode alone, since access() lets the superuser write whatever the mode says.
  if (keep_ == Keep::ReadOnly && (target.mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    SetError(EACCES);
    return false;
  }
  // A file removed since it was examined leaves the name free.
  if (::access(target.path.c_str(), W_OK) == 0 || errno == ENOENT) return true;
  SetError(errno);
  return false;
}

bool ReplacingFile::Begin(const std::string& target, Keep keep) {
  IgnoreFileSizeSignal();
  spool_ = false;
  keep_ = keep;
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
  // The rename would replace a file whatever its mode: one the user may not write (or
  // one made read-only, where keep says so) is refused here, before anything is written.
  if (!WritableOrMissing(target_)) return false;
  const std::string folder = FolderOf(target_.path), stem = TempStem(target_.path);
  RemoveUnheld(folder, stem);
  return Create(folder, stem);
}

bool ReplacingFile::BeginSpool(const std::string& folder) {
  IgnoreFileSizeSignal();
  spool_ = true;
  target_ = FileTarget();
  const std::string in = folder.empty() ? std::string(".") : folder;
  RemoveUnheld(in, kSpoolStem);
  return Create(in, kSpoolStem);
}

bool ReplacingFile::Create(const std::string& folder, const std::string& stem) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = folder;
    name.append("/").append(stem).append(RandomSuffix()).append(".tmp");
    // Exclusive: never an existing file, a link or a FIFO planted at the name.
    fd_ = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                 spool_ ? 0600 : 0666);
    if (fd_ < 0) {
      if (errno != EEXIST) break;
      continue;
    }
    // Locked before anything is written; a file that a cleaner took first (it found
    // it not yet locked) is given up for another name. Where the file system has no
    // locks, nobody can take the file either: it is written unlocked.
    struct stat st {};
    const bool taken = ::flock(fd_, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    if (taken || ::fstat(fd_, &st) != 0 || st.st_nlink == 0) {
      ::close(fd_);
      fd_ = -1;
      continue;
    }
    // The lock lives as long as any descriptor of this open file: it outlasts the close
    // that Finish checks, up to the rename.
    lockFd_ = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
    if (lockFd_ < 0) {
      const int error = errno;
      ::close(fd_);
      fd_ = -1;
      ::unlink(name.c_str());
      SetError(error);
      return false;
    }
    temp_ = name;
    return true;
  }
  SetError(errno != 0 ? errno : EEXIST);
  return false;
}

void ReplacingFile::Unlock() {
  if (lockFd_ < 0) return;
  ::close(lockFd_);
  lockFd_ = -1;
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
    } else if (!WritableOrMissing(now)) {
      // It was made read-only while the new file was written: it stays.
    } else if (::rename(temp_.c_str(), target_.path.c_str()) != 0) {
      SetError(errno);
    } else {
      temp_.clear();
      Unlock();
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
  Unlock();  // only once the file is gone: a cleaner could take it otherwise
}

qint64 ReplacingDevice::writeData(const char* data, qint64 len) {
  return file_.Write(std::string_view(data, static_cast<std::size_t>(len))) ? len : -1;
}
