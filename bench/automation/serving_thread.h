// The thread that stands for the UI thread in the automation benchmarks: it
// owns the endpoint's server and serves whatever is ready, waking at least
// every 5 ms to notice that it should stop. Its CPU clock tells what the
// requests cost that thread, apart from wall time.
#pragma once

#include <poll.h>
#include <pthread.h>
#include <time.h>

#include <atomic>
#include <memory>
#include <thread>

#include "automation/host.h"
#include "automation/server.h"

class ServingThread {
 public:
  ServingThread(std::unique_ptr<kova::automation::Server> server,
                kova::automation::AutomationHost& host)
      : server_(std::move(server)), thread_([this, &host] {
          while (!stop_) {
            pollfd p{server_->fd(), POLLIN, 0};
            ::poll(&p, 1, 5);
            server_->serve_ready(host);
          }
        }) {}
  ServingThread(const ServingThread&) = delete;
  ServingThread& operator=(const ServingThread&) = delete;
  ~ServingThread() {
    stop_ = true;
    thread_.join();
  }

  // In milliseconds; 0 when the thread's clock cannot be read.
  double cpu_ms() {
    clockid_t clock{};
    timespec t{};
    if (::pthread_getcpuclockid(thread_.native_handle(), &clock) != 0 ||
        ::clock_gettime(clock, &t) != 0)
      return 0;
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
  }

 private:
  std::unique_ptr<kova::automation::Server> server_;
  std::atomic<bool> stop_ = false;
  std::thread thread_;
};
