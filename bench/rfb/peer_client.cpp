#include "peer_client.h"

#include <rfb/rfbclient.h>

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace remote::rfb::bench {
namespace {

int update_counter_tag;

void quiet_log(const char*, ...) {}

void count_update(rfbClient* client) {
  auto* updates = static_cast<std::uint64_t*>(rfbClientGetClientData(client, &update_counter_tag));
  ++*updates;
}

}  // namespace

std::optional<PeerRun> peer_replay(std::uint16_t port, std::vector<std::uint8_t>* picture) {
  rfbClientLog = quiet_log;
  PeerRun run;
  const auto start = std::chrono::steady_clock::now();
  // 8 bits per channel, 4 bytes per pixel; red at bit 16 and blue at bit 0,
  // little-endian, as our client asks for.
  rfbClient* client = rfbGetClient(8, 3, 4);
  client->format.redShift = 16;
  client->format.greenShift = 8;
  client->format.blueShift = 0;
  client->format.bigEndian = FALSE;
  client->appData.encodingsString = "copyrect rre raw";
  client->appData.useRemoteCursor = FALSE;
  client->FinishedFrameBufferUpdate = count_update;
  rfbClientSetClientData(client, &update_counter_tag, &run.updates);
  client->serverHost = strdup("127.0.0.1");
  client->serverPort = port;
  // rfbInitClient frees the client itself when it fails.
  if (!rfbInitClient(client, nullptr, nullptr)) return std::nullopt;
  for (;;) {
    const int ready = WaitForMessage(client, 1'000'000);
    if (ready < 0) break;
    if (ready > 0 && !HandleRFBServerMessage(client)) break;
  }
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (picture != nullptr) {
    const std::size_t size =
        static_cast<std::size_t>(client->width) * static_cast<std::size_t>(client->height) * 4;
    picture->assign(client->frameBuffer, client->frameBuffer + size);
  }
  std::free(client->frameBuffer);
  client->frameBuffer = nullptr;
  rfbClientCleanup(client);
  return run;
}

}  // namespace remote::rfb::bench
