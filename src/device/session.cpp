#include "device/session.h"

#include <pthread.h>

#include <system_error>
#include <thread>

namespace remote::device {

std::expected<kova::p2p::EndpointKey, std::string> parse_device_host(std::string_view host) {
  auto key = kova::p2p::EndpointKey::parse(host);
  if (!key) return std::unexpected(invalid_host_text);
  return *key;
}

std::string closed_text(const Closed& closed) {
  switch (closed.reason) {
    case Closed::Reason::RevokedByTarget:
      return "Target revoked workspace control";
    case Closed::Reason::TargetDisconnected:
      return "Target disconnected";
    case Closed::Reason::RelayDisconnected:
      return "Encrypted relay disconnected";
    case Closed::Reason::WorkspaceControlClosed:
      return "Workspace control closed";
    case Closed::Reason::Other:
      break;
  }
  return closed.text;
}

std::expected<DeviceSession, std::string> DeviceSession::start(std::uint64_t stream_request) {
  auto shared = std::make_shared<Shared>();
  auto [sender, receiver] = token_channel();
  try {
    std::thread(decode_loop, shared, std::move(receiver)).detach();
  } catch (const std::system_error& error) {
    return std::unexpected("could not start Kova frame decoder: " + error.code().message());
  }
  return DeviceSession(stream_request, std::move(shared), std::move(sender));
}

void DeviceSession::decode_loop(std::shared_ptr<Shared> shared, TokenReceiver frames) {
  // Thread names are limited to 15 bytes; the full name does not fit.
  pthread_setname_np(pthread_self(), "remote-kova-dec");
  kova::callstream::Decoder decoder;
  std::vector<std::uint8_t> spare;
  while (frames.receive()) {
    auto bytes = shared->encoded.take();
    if (!bytes) continue;
    if (spare.empty()) spare = shared->spare.take().value_or(std::vector<std::uint8_t>{});
    if (auto picture = decoder.decode(*bytes, spare)) shared->decoded.put(std::move(*picture));
  }
  shared->decoder_running.store(false, std::memory_order_release);
}

void DeviceSession::handle(StreamEvent event) {
  if (std::holds_alternative<OtherEvent>(event)) {
    status_ = SessionStatus::connecting();
  } else if (auto* started = std::get_if<Started>(&event)) {
    frame_size_ = {started->width, started->height};
    status_ = SessionStatus::connected();
  } else if (auto* frame = std::get_if<Frame>(&event)) {
    hand_over(std::move(frame->bytes));
  } else if (auto* closed = std::get_if<Closed>(&event)) {
    status_ = SessionStatus::failed(closed_text(*closed));
  }
}

void DeviceSession::hand_over(std::vector<std::uint8_t> bytes) {
  if (!decoder_running()) {
    status_ = SessionStatus::failed("Kova frame decoder is unavailable");
    return;
  }
  shared_->encoded.put(std::move(bytes));
  if (frames_.try_send() == TrySend::Closed) {
    shared_->decoder_running.store(false, std::memory_order_release);
    status_ = SessionStatus::failed("Kova frame decoder stopped");
  }
}

std::optional<DecodedFrame> DeviceSession::take_picture() {
  auto picture = shared_->decoded.take();
  if (picture) frame_size_ = {picture->width, picture->height};
  return picture;
}

void DeviceSession::recycle(DecodedFrame picture) {
  if (!picture.pixels.empty()) shared_->spare.put(std::move(picture.pixels));
}

bool DeviceSession::decoder_running() const {
  return shared_->decoder_running.load(std::memory_order_acquire);
}

}  // namespace remote::device
