#pragma once
// A folder on a small file system of its own (a tmpfs mounted for the test), which a
// test fills up: every write there then fails with "No space left on device". Mounting
// needs root; without it FULL_DISK_OR_UNAVAILABLE fails the test in CI and skips it
// elsewhere (the rule of FAULT_UNAVAILABLE in support/faultchild.h).

#include <sys/mount.h>

#include <QByteArray>
#include <cerrno>
#include <cstdio>
#include <vector>

#include "support/tempdir.h"

class FullDisk : public TempDir {
 public:
  FullDisk() : mounted_(::mount("tmpfs", path().c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=256k,mode=0700") == 0) {}
  ~FullDisk() {
    if (mounted_) ::umount2(path().c_str(), MNT_DETACH);
  }
  bool Mounted() const { return mounted_; }

  // Takes the rest of the space; true once a write has met a full disk.
  bool Fill() const {
    std::FILE* f = std::fopen(file(".filler").c_str(), "wb");
    const std::vector<char> block(4096, 'x');
    bool full = false;
    for (int i = 0; f && i < 1024 && !full; ++i)
      full = std::fwrite(block.data(), 1, block.size(), f) != block.size() || std::fflush(f) != 0;
    full = full && errno == ENOSPC;
    if (f) std::fclose(f);
    return full;
  }

 private:
  const bool mounted_;
};

#define FULL_DISK_OR_UNAVAILABLE(disk)                                         \
  do {                                                                         \
    if ((disk).Mounted()) break;                                               \
    if (qgetenv("CI") == "true") FAIL() << "cannot mount a small file system"; \
    else GTEST_SKIP() << "cannot mount a small file system";                   \
  } while (0)
