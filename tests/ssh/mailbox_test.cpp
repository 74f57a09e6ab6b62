// The output queue's back-pressure: the worker waits at capacity and nothing
// is dropped; a dropped handle releases a waiting worker.
#include "ssh/mailbox.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "ssh/limits.h"

namespace remote::ssh {
namespace {

using namespace std::chrono_literals;

TEST(OutputQueue, WorkerWaitsAtCapacityAndLosesNothing) {
  OutputQueue queue(output_queue_capacity);
  for (std::size_t i = 0; i < output_queue_capacity; ++i) {
    ASSERT_TRUE(queue.push(std::to_string(i)));
  }
  std::atomic<bool> pushed{false};
  std::thread worker([&] {
    EXPECT_TRUE(queue.push("last"));
    pushed = true;
  });
  std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(pushed.load());  // still waiting for space

  std::vector<std::string> taken;
  while (taken.size() < output_queue_capacity + 1) {
    if (auto chunk = queue.try_pop()) {
      taken.push_back(std::move(*chunk));
    } else {
      std::this_thread::yield();
    }
  }
  worker.join();
  EXPECT_TRUE(pushed.load());
  for (std::size_t i = 0; i < output_queue_capacity; ++i)
    EXPECT_EQ(taken[i], std::to_string(i));
  EXPECT_EQ(taken.back(), "last");
  EXPECT_EQ(queue.try_pop(), std::nullopt);
}

TEST(OutputQueue, DroppedReaderReleasesAWaitingWorker) {
  OutputQueue queue(1);
  ASSERT_TRUE(queue.push("a"));
  std::thread worker([&] { EXPECT_FALSE(queue.push("b")); });
  queue.close_reader();
  worker.join();
  EXPECT_FALSE(queue.push("c"));
}

TEST(InputQueue, AcknowledgementsCloseWhenInputsAreDropped) {
  InputQueue queue(2);
  ASSERT_TRUE(queue.valid());
  auto slot = std::make_shared<AckSlot>();
  EXPECT_EQ(queue.try_push(SshInput{AckSender(slot), "x"}), InputQueue::PushResult::Queued);
  EXPECT_EQ(slot->peek().state, AckSlot::State::Pending);
  queue.close_receiver();
  EXPECT_EQ(slot->peek().state, AckSlot::State::Closed);
  EXPECT_EQ(queue.try_push(SshInput{std::nullopt, "y"}), InputQueue::PushResult::Closed);

  // A settled acknowledgement keeps its first outcome.
  auto delivered = std::make_shared<AckSlot>();
  {
    AckSender sender(delivered);
    sender.failed("broken pipe");
  }
  EXPECT_EQ(delivered->peek().state, AckSlot::State::Failed);
  EXPECT_EQ(delivered->peek().error, "broken pipe");
}

}  // namespace
}  // namespace remote::ssh
