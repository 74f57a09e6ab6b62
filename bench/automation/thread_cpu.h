// CPU time of a serving thread, so the benchmarks can report what a request
// costs the thread that stands for the UI thread, apart from wall time.
#pragma once

#include <pthread.h>
#include <time.h>

#include <thread>

// In milliseconds; 0 when the thread's clock cannot be read.
inline double thread_cpu_ms(std::thread& thread) {
  clockid_t clock{};
  timespec t{};
  if (::pthread_getcpuclockid(thread.native_handle(), &clock) != 0 || ::clock_gettime(clock, &t) != 0) return 0;
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}
