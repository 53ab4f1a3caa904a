#pragma once
// Work split over the cores this process may run on. Used where a job is a set of
// independent parts over memory (reading and decoding a long file, a chart fill).

#include <functional>

// Cores the process may run on now (its CPU affinity, e.g. under taskset), at least 1.
int UsableCores();
// Threads worth starting for work bound by memory: the usable cores, at most 16 (more
// add nothing once the memory bus is busy).
int MemoryWorkers();

// Runs body(0) .. body(parts - 1), each part on its own thread; the calling thread
// runs part 0 and returns when every part has returned. parts < 2 runs on the caller
// only. An exception of a part is thrown again here once all have ended.
void RunParts(int parts, const std::function<void(int part)>& body);

// Runs body(0) .. body(jobs - 1) on up to `threads` threads, each taking the next job
// when it is done with one: a thread that the system holds back delays only its own job.
void RunJobs(int jobs, int threads, const std::function<void(int job)>& body);
