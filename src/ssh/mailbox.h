// The only objects a session's worker and the user-interface thread share:
// a bounded output queue of byte chunks, a bounded input queue whose arrivals
// wake the worker's poll through an eventfd, and one-shot acknowledgements.
//
// The user-interface side only ever tries; only the worker waits, and only
// for output space, so bytes from the shell are never dropped.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace remote::ssh {

// Chunks of shell output, each the bytes of one read from the channel.
class OutputQueue {
 public:
  explicit OutputQueue(std::size_t capacity) : capacity_(capacity) {}

  // Worker: waits while the queue is full. False when the reader is gone.
  bool push(std::string chunk);
  // Worker: no more chunks will come.
  void close_writer();
  // User-interface thread: never waits.
  std::optional<std::string> try_pop();
  // User-interface thread: the handle is gone; a waiting push returns false.
  void close_reader();

 private:
  std::mutex mutex_;
  std::condition_variable space_;
  std::deque<std::string> chunks_;
  std::size_t capacity_;
  bool reader_closed_ = false;
  bool writer_closed_ = false;
};

// One-shot delivery report of an acknowledged input.
class AckSlot {
 public:
  enum class State { Pending, Delivered, Failed, Closed };
  struct Outcome {
    State state = State::Pending;
    std::string error;  // the write error when Failed
  };
  Outcome peek() const;
  void settle(State state, std::string error);

 private:
  mutable std::mutex mutex_;
  Outcome outcome_;
};

// Sending end, owned by the input in flight. Dropping it unsettled closes the
// channel without a value.
class AckSender {
 public:
  explicit AckSender(std::shared_ptr<AckSlot> slot) : slot_(std::move(slot)) {}
  AckSender(AckSender&&) noexcept = default;
  AckSender& operator=(AckSender&&) noexcept = default;
  AckSender(const AckSender&) = delete;
  AckSender& operator=(const AckSender&) = delete;
  ~AckSender();
  void delivered();
  void failed(std::string error);

 private:
  std::shared_ptr<AckSlot> slot_;
};

// Receiving end, polled by the user-interface thread without waiting.
class AckReceiver {
 public:
  explicit AckReceiver(std::shared_ptr<AckSlot> slot) : slot_(std::move(slot)) {}
  AckSlot::Outcome poll() const { return slot_->peek(); }

 private:
  std::shared_ptr<AckSlot> slot_;
};

// One unit of input to the shell: 1 to max_input_bytes bytes, written
// unchanged, with an optional acknowledgement.
struct SshInput {
  std::optional<AckSender> acknowledgement;
  std::string bytes;
};

class InputQueue {
 public:
  enum class PushResult { Queued, Busy, Closed };

  // The eventfd is created here; `valid()` is false when that failed.
  explicit InputQueue(std::size_t capacity);
  ~InputQueue();
  InputQueue(const InputQueue&) = delete;
  InputQueue& operator=(const InputQueue&) = delete;
  bool valid() const { return event_fd_ >= 0; }
  int creation_errno() const { return creation_errno_; }

  // User-interface thread: never waits. On Busy or Closed the input is
  // dropped here (its acknowledgement closes with it).
  PushResult try_push(SshInput input);
  // User-interface thread: the handle is gone; wakes the worker.
  void close_sender();

  // Worker: the descriptor to poll for readability.
  int event_fd() const { return event_fd_; }
  // Worker: the next input, or nothing. Clears the wake-up when empty.
  std::optional<SshInput> try_pop();
  bool sender_closed();
  // Worker: no more inputs are taken; queued ones are dropped.
  void close_receiver();

 private:
  void wake();

  std::mutex mutex_;
  std::deque<SshInput> inputs_;
  std::size_t capacity_;
  int event_fd_ = -1;
  int creation_errno_ = 0;
  bool sender_closed_ = false;
  bool receiver_closed_ = false;
};

}  // namespace remote::ssh
