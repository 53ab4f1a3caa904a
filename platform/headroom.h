#pragma once
// Room left in the address space, for a process run under a limit on it (ulimit -v).
// The toolkit fails badly where that room is gone: a thread it cannot create leaves it
// waiting for that thread for ever (its session-bus connection, its image threads), and
// a font file it cannot map draws every character as an empty square. So the program
// looks for room before the steps that need it, and tells that memory ran out instead.

#include <cstddef>

// The room the program needs beyond what it has, to go on with its windows: the login
// dialog and then the main form take some tens of megabytes, their fonts included.
constexpr std::size_t kToolkitRoom = std::size_t{64} << 20;

// The address space one more thread may take: its stack and guard page, and the heap
// that the C library reserves for the allocations of a new thread (64 MB on 64-bit
// Linux) for as long as address space is left.
std::size_t ThreadRoom();

// True when bytes of address space can be had now and, while they are held, one more
// thread can be created. Nothing is kept.
bool HasRoom(std::size_t bytes);
