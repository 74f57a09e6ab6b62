// Blocking TCP for the session worker, and the switch that lets another
// thread break it off.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "rfb/byte_reader.h"

namespace remote::rfb {

// Shared between the worker, which registers the socket it is blocked on, and
// the handle, which shuts that socket down when it is dropped. Shutting down
// wakes a blocked connect or read without any timeout, so a slow but live
// server is never cut off while the session is wanted.
class SocketCanceller {
 public:
  // False when cancelled already; the caller then closes the socket itself.
  bool attach(int fd);
  // Must be called before the socket is closed, so a late cancel never hits a
  // reused descriptor.
  void detach();
  void cancel();
  bool cancelled() const;

 private:
  mutable std::mutex mutex_;
  int fd_ = -1;
  bool cancelled_ = false;
};

// Resolves `host` and connects to the first address that accepts. The result
// is a connected socket with TCP no-delay switched on.
Result<int> connect_tcp(const std::string& host, std::uint16_t port, SocketCanceller& canceller);

// An error value for the current errno (refused and timed out get their own
// categories and fixed texts).
Error system_error(int errnum);

class SocketStream final : public Stream {
 public:
  SocketStream(int fd, SocketCanceller& canceller);
  ~SocketStream() override;
  SocketStream(const SocketStream&) = delete;
  SocketStream& operator=(const SocketStream&) = delete;

  Result<std::span<const std::uint8_t>> read(std::size_t n) override;
  Result<void> write(std::span<const std::uint8_t> bytes) override;

  // Waits up to `timeout_ms` for a byte; false when none came in time.
  Result<bool> wait_readable(int timeout_ms);

 private:
  Result<void> fill(std::uint8_t* out, std::size_t n);

  int fd_;
  SocketCanceller& canceller_;
  std::vector<std::uint8_t> buffer_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  std::vector<std::uint8_t> large_;  // reads bigger than the buffer
};

}  // namespace remote::rfb
