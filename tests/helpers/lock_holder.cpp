// Stands in for a second instance of the program in the instance-lock test: takes
// the lock named on the command line, reports the result as "LOCK:<error>" and,
// when it got the lock, holds it until it is killed.
#include <unistd.h>

#include <cstdio>

#include "platform/instancelock.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <lock name>\n", argv[0]);
    return 2;
  }
  InstanceLock lock(argv[1]);
  std::printf("LOCK:%d\n", lock.LastError());
  std::fflush(stdout);
  if (lock.Held()) {
    for (int i = 0; i < 120; ++i) sleep(1);  // the test kills it long before
  }
  return 0;
}
