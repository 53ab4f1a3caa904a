#pragma once
// A folder on a small file system of its own (a tmpfs mounted for the test), which a
// test fills up: every write there then fails with "No space left on device". Mounting
// needs root; without it FULL_DISK_OR_UNAVAILABLE fails the test in CI and skips it
// elsewhere (the rule of FAULT_UNAVAILABLE in support/faultchild.h).

#include <sys/mount.h>

#include <QByteArray>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "support/tempdir.h"

class FullDisk {
 public:
  FullDisk() {
    mounted_ = ::mount("tmpfs", dir_.path().c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=256k,mode=0700") == 0;
  }
  ~FullDisk() {
    if (mounted_) ::umount2(dir_.path().c_str(), MNT_DETACH);
  }
  FullDisk(const FullDisk&) = delete;
  FullDisk& operator=(const FullDisk&) = delete;

  bool Mounted() const { return mounted_; }
  const TempDir& Dir() const { return dir_; }
  std::string path() const { return dir_.path(); }
  std::string file(const std::string& name) const { return dir_.file(name); }

  // Takes the rest of the space; true once a write has met a full disk.
  bool Fill() {
    std::FILE* f = std::fopen(file(".filler").c_str(), "wb");
    if (!f) return false;
    const std::vector<char> block(4096, 'x');
    bool full = false;
    for (int i = 0; i < 1024 && !full; ++i)
      full = std::fwrite(block.data(), 1, block.size(), f) != block.size() || std::fflush(f) != 0;
    full = full && errno == ENOSPC;
    std::fclose(f);
    return full;
  }

 private:
  TempDir dir_;
  bool mounted_ = false;
};

#define FULL_DISK_OR_UNAVAILABLE(disk)                                               \
  do {                                                                               \
    if ((disk).Mounted()) break;                                                     \
    if (qgetenv("CI") == "true") FAIL() << "cannot mount a small file system";       \
    else GTEST_SKIP() << "cannot mount a small file system";                         \
  } while (0)
