#include "ssh/mailbox.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace remote::ssh {

bool OutputQueue::push(std::string chunk) {
  std::unique_lock lock(mutex_);
  space_.wait(lock, [&] { return reader_closed_ || chunks_.size() < capacity_; });
  if (reader_closed_) return false;
  chunks_.push_back(std::move(chunk));
  return true;
}

void OutputQueue::close_writer() {
  std::lock_guard lock(mutex_);
  writer_closed_ = true;
}

std::optional<std::string> OutputQueue::try_pop() {
  std::optional<std::string> chunk;
  {
    std::lock_guard lock(mutex_);
    if (chunks_.empty()) return std::nullopt;
    chunk = std::move(chunks_.front());
    chunks_.pop_front();
  }
  space_.notify_one();
  return chunk;
}

void OutputQueue::close_reader() {
  {
    std::lock_guard lock(mutex_);
    reader_closed_ = true;
    chunks_.clear();
  }
  space_.notify_all();
}

AckSlot::Outcome AckSlot::peek() const {
  std::lock_guard lock(mutex_);
  return outcome_;
}

void AckSlot::settle(State state, std::string error) {
  std::lock_guard lock(mutex_);
  if (outcome_.state == State::Pending) outcome_ = Outcome{state, std::move(error)};
}

AckSender::~AckSender() {
  if (slot_) slot_->settle(AckSlot::State::Closed, {});
}

void AckSender::delivered() {
  if (slot_) slot_->settle(AckSlot::State::Delivered, {});
}

void AckSender::failed(std::string error) {
  if (slot_) slot_->settle(AckSlot::State::Failed, std::move(error));
}

InputQueue::InputQueue(std::size_t capacity) : capacity_(capacity) {
  event_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (event_fd_ < 0) creation_errno_ = errno;
}

InputQueue::~InputQueue() {
  if (event_fd_ >= 0) ::close(event_fd_);
}

void InputQueue::wake() {
  const std::uint64_t one = 1;
  // A full counter already wakes the poller; without an eventfd the worker
  // has failed and takes nothing, so there is nobody to wake.
  if (event_fd_ < 0) return;
  [[maybe_unused]] const auto written = ::write(event_fd_, &one, sizeof one);
}

InputQueue::PushResult InputQueue::try_push(SshInput input) {
  {
    std::lock_guard lock(mutex_);
    if (receiver_closed_ || sender_closed_) return PushResult::Closed;
    if (inputs_.size() >= capacity_) return PushResult::Busy;
    inputs_.push_back(std::move(input));
  }
  wake();
  return PushResult::Queued;
}

void InputQueue::close_sender() {
  {
    std::lock_guard lock(mutex_);
    sender_closed_ = true;
  }
  wake();
}

std::optional<SshInput> InputQueue::try_pop() {
  std::lock_guard lock(mutex_);
  if (inputs_.empty()) {
    std::uint64_t count = 0;
    [[maybe_unused]] const auto got = ::read(event_fd_, &count, sizeof count);
    return std::nullopt;
  }
  SshInput input = std::move(inputs_.front());
  inputs_.pop_front();
  return input;
}

bool InputQueue::sender_closed() {
  std::lock_guard lock(mutex_);
  return sender_closed_;
}

void InputQueue::close_receiver() {
  std::deque<SshInput> dropped;
  {
    std::lock_guard lock(mutex_);
    receiver_closed_ = true;
    dropped.swap(inputs_);
  }
  // Dropping them outside the lock closes their acknowledgements.
}

}  // namespace remote::ssh
