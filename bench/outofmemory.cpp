// Linked into every timing program: memory that cannot be had (a limited address space)
// ends the program with a message and exit code 1, not with SIGABRT, wherever it
// happens (in main or on a thread of its own). Any other escaped exception still aborts.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>

namespace {

[[noreturn]] void Terminate() {
  if (const std::exception_ptr e = std::current_exception()) {
    try {
      std::rethrow_exception(e);
    } catch (const std::bad_alloc&) {
      std::fflush(stdout);
      std::fputs("out of memory: the run was stopped\n", stderr);
      std::fflush(stderr);
      std::_Exit(1);
    } catch (...) {
    }
  }
  std::abort();
}

const std::terminate_handler installed = std::set_terminate(&Terminate);

}  // namespace
