// Round trips through a real endpoint socket: a resources request listing
// 10,000 saved connections, and small requests one after another over one
// connection. The server is served on its own thread, as the UI thread
// would between frames; times are wall-clock, since the client's own CPU
// time leaves out the serving thread's work.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include "automation/host.h"
#include "automation/limits.h"
#include "automation/server.h"
#include "serving_thread.h"

namespace {

using namespace kova;
using actions::resource::ActionSpec;
using actions::resource::Resource;

struct ListingHost final : automation::AutomationHost {
  std::vector<Resource> listed;
  std::vector<Resource> resources() override { return listed; }
  actions::operation::Outcome execute(const actions::operation::Invocation&) override { return {}; }
  actions::operation::Outcome start(const actions::operation::Invocation&) override { return {}; }
  actions::operation::Outcome poll(std::string_view, bool) override { return {}; }
  std::expected<void, std::string> change(std::string_view, std::string_view) override { return {}; }
  std::optional<std::string> query(std::string_view) override { return "[]"; }
  std::optional<ui::AccessNode> tree() override { return std::nullopt; }
  bool act(std::string_view, ui::AccessAction, const std::optional<std::string>&) override { return false; }
  std::expected<void, std::string> snapshot(const std::filesystem::path&) override { return {}; }
};

std::vector<Resource> connections(int count) {
  Resource list{"remote.connections", "remote.connection-list", "Remote connections", {}, {}};
  for (int i = 0; i < count; ++i) {
    const std::string id = "remote.connection:" + std::to_string(i);
    list.children.push_back(
        Resource{"remote.connection", id, "Machine " + std::to_string(i), {}, {}}
            .with_action(ActionSpec::encoded("connect", "Connect", {"remote.operation", "{\"Connect\":\"" + id + "\"}"})
                             .with_contract({"network", "session"}))
            .with_action(ActionSpec::encoded("delete", "Delete connection",
                                             {"remote.action", "{\"DeleteConnection\":\"" + id + "\"}"})
                             .destructive()));
  }
  return {std::move(list)};
}

class Endpoint {
 public:
  // CPU time the serving thread (the UI thread's stand-in) has used, in ms.
  double serving_cpu_ms() { return serving_->cpu_ms(); }
  explicit Endpoint(int count) {
    char tmpl[] = "/tmp/kova-automation-bench-XXXXXX";
    dir_ = ::mkdtemp(tmpl);
    host_.listed = connections(count);
    auto server = automation::Server::start({dir_ / "kova" / "bench.sock", ::geteuid(),
                                             automation::max_client_outbox_bytes});
    if (!server) throw std::runtime_error(server.error());
    serving_.emplace(std::move(*server), host_);
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string path = (dir_ / "kova" / "bench.sock").string();
    std::memcpy(addr.sun_path, path.data(), path.size());
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0)
      throw std::runtime_error("connect failed");
  }
  ~Endpoint() {
    ::close(fd_);
    serving_.reset();
    std::filesystem::remove_all(dir_);
  }
  // Sends one line and reads one reply line; its size.
  std::size_t round_trip(const std::string& line) {
    ::send(fd_, line.data(), line.size(), MSG_NOSIGNAL);
    std::size_t got = 0;
    char chunk[1 << 16];
    for (;;) {
      const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
      if (n <= 0) throw std::runtime_error("endpoint closed");
      got += static_cast<std::size_t>(n);
      if (chunk[n - 1] == '\n') return got;
    }
  }

 private:
  std::filesystem::path dir_;
  ListingHost host_;
  std::optional<ServingThread> serving_;
  int fd_ = -1;
};

void BM_ResourcesOf10000Connections(benchmark::State& state) {
  Endpoint endpoint(10000);
  std::size_t bytes = 0;
  const double before = endpoint.serving_cpu_ms();
  for (auto _ : state) bytes = endpoint.round_trip("{\"id\":1,\"method\":\"resources\"}\n");
  state.counters["reply_bytes"] = static_cast<double>(bytes);
  state.counters["serving_cpu_ms"] =
      (endpoint.serving_cpu_ms() - before) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_ResourcesOf10000Connections)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_PingRequestsOverOneConnection(benchmark::State& state) {
  Endpoint endpoint(0);
  const double before = endpoint.serving_cpu_ms();
  for (auto _ : state) benchmark::DoNotOptimize(endpoint.round_trip("{\"id\":1,\"method\":\"ping\"}\n"));
  state.counters["serving_cpu_us"] =
      (endpoint.serving_cpu_ms() - before) * 1e3 / static_cast<double>(state.iterations());
  state.counters["requests_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PingRequestsOverOneConnection)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
