// Cost of following the document as the list grows: a synchronisation that
// finds nothing changed (every remote commit of someone else's unrelated
// data), and one that replaces the list after a rename. Counters give the
// time per connection, so linear code shows the same figure at every size.
#include <benchmark/benchmark.h>

#include <string>

#include "app/remote_app.h"
#include "app/sync.h"
#include "profiles/connections_document.h"

namespace {

using namespace remote;

std::vector<profiles::ConnectionProfile> make_profiles(std::size_t count) {
  std::vector<profiles::ConnectionProfile> out;
  out.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    profiles::ConnectionProfile p;
    p.id = profiles::ConnectionId::random();
    p.name = "Machine " + std::to_string(i) + " in rack";
    p.host = "host-" + std::to_string(i) + ".lab.example";
    p.port = static_cast<std::uint16_t>(22 + i % 1000);
    p.user = "user";
    p.group = i % 2 ? "lab" : "home";
    p.favorite = i % 5 == 0;
    p.last_used = "Never";
    out.push_back(std::move(p));
  }
  return out;
}

benchmark::Counter per_connection(std::size_t count) {
  return benchmark::Counter(static_cast<double>(count),
                            benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The application after its first synchronisation with a document of
// `count` connections.
struct Synced {
  kova::doc::Document document;
  app::RemoteApp application;
  explicit Synced(std::size_t count) {
    for (const auto& p : make_profiles(count)) profiles::write_profile(document, p);
    document.commit("seed");
    app::sync_from_document(application.state(), document);
  }
};

void sync_unchanged(benchmark::State& state) {
  const auto count = static_cast<std::size_t>(state.range(0));
  Synced s(count);
  for (auto _ : state) app::sync_from_document(s.application.state(), s.document);
  state.counters["per_connection"] = per_connection(count);
}
BENCHMARK(sync_unchanged)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

void sync_after_rename(benchmark::State& state) {
  const auto count = static_cast<std::size_t>(state.range(0));
  Synced s(count);
  const auto id = s.application.state().profiles[count / 2].id;
  std::size_t n = 0;
  for (auto _ : state) {
    state.PauseTiming();
    profiles::write_rename(s.document, id, "Renamed " + std::to_string(n++));
    state.ResumeTiming();
    app::sync_from_document(s.application.state(), s.document);
  }
  state.counters["per_connection"] = per_connection(count);
}
BENCHMARK(sync_after_rename)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
