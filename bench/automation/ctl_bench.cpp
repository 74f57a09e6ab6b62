// "ctl connections" as the command-line client runs it (connect, one
// request, the whole reply, indented for printing) against the application's
// own answer for 10,000 saved connections, served by the shell's host on a
// thread that stands for the UI thread.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

#include "action_host/registry.h"
#include "app/remote_app.h"
#include "automation/ctl.h"
#include "automation/endpoint.h"
#include "automation/server.h"
#include "connection_fixtures.h"
#include "document/store.h"
#include "profiles/connections_document.h"
#include "serving_thread.h"
#include "shell/automation_host.h"

namespace {

using namespace remote;

constexpr std::string_view app_id = "bench.remote";

class AppEndpoint {
 public:
  // CPU time the serving thread (the UI thread's stand-in) has used, in ms.
  double serving_cpu_ms() { return serving_->cpu_ms(); }
  explicit AppEndpoint(std::size_t count) {
    char tmpl[] = "/tmp/kova-ctl-bench-XXXXXX";
    dir_ = ::mkdtemp(tmpl);
    ::setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
    for (const auto& p : profiles::bench::make_profiles(count)) profiles::write_profile(store_.doc(), p);
    if (!store_.commit("seed")) throw std::runtime_error("commit failed");
    app_.document_changed(store_.doc());
    auto where = kova::automation::endpoint_path(app_id);
    if (!where) throw std::runtime_error(where.error());
    auto server = kova::automation::Server::start({*where, ::geteuid(), kova::automation::max_client_outbox_bytes});
    if (!server) throw std::runtime_error(server.error());
    serving_.emplace(std::move(*server), host_);
  }
  ~AppEndpoint() {
    serving_.reset();
    std::filesystem::remove_all(dir_);
  }

 private:
  std::filesystem::path dir_;
  kova::doc::Store store_ = kova::doc::Store::in_memory();
  app::RemoteApp app_;
  kova::actions::registry::Registry registry_;
  kova::shell::ShellAutomationHost host_{app_, store_, registry_, std::string(app_id), {1280, 800}};
  std::optional<ServingThread> serving_;
};

void BM_CtlConnectionsOf10000(benchmark::State& state) {
  AppEndpoint endpoint(10000);
  const std::vector<std::string_view> args{"connections"};
  std::size_t bytes = 0;
  const double before = endpoint.serving_cpu_ms();
  for (auto _ : state) {
    const auto result = kova::automation::run_ctl(app_id, args);
    if (result.status != kova::automation::ctl_ok) {
      state.SkipWithError(result.err.c_str());
      break;
    }
    bytes = result.out.size();
  }
  state.counters["printed_bytes"] = static_cast<double>(bytes);
  state.counters["serving_cpu_ms"] =
      (endpoint.serving_cpu_ms() - before) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_CtlConnectionsOf10000)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
