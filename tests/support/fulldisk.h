#pragma once
// A folder on a file system of one page (a tmpfs mounted for the test): the first file
// written there fills it, and every write after fails with "No space left on device".
// Mounting needs root: FULL_DISK_OR_UNAVAILABLE.

#include <sys/mount.h>

#include "support/faultchild.h"
#include "support/tempdir.h"

class FullDisk : public TempDir {
 public:
  FullDisk() : mounted_(::mount("tmpfs", path().c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=4k,mode=0700") == 0) {}
  ~FullDisk() {
    if (mounted_) ::umount2(path().c_str(), MNT_DETACH);
  }
  bool Mounted() const { return mounted_; }

 private:
  const bool mounted_;
};

#define FULL_DISK_OR_UNAVAILABLE(disk) \
  if ((disk).Mounted()) {} else FAULT_UNAVAILABLE("cannot mount a small file system")
