// Cost of following the document as the list grows: a synchronisation that
// finds nothing changed (every remote commit of someone else's unrelated
// data), and one that replaces the list after a rename. Counters give the
// time per connection, so linear code shows the same figure at every size.
#include <benchmark/benchmark.h>

#include <string>

#include "app/remote_app.h"
#include "app/sync.h"
#include "connection_fixtures.h"
#include "profiles/connections_document.h"

namespace {

using namespace remote;

benchmark::Counter per_connection(std::size_t count) {
  return benchmark::Counter(static_cast<double>(count),
                            benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The application after its first synchronisation with a document of
// `count` connections.
struct Synced {
  kova::doc::Document document;
  app::RemoteApp application;
  explicit Synced(std::size_t count)
      : document(profiles::bench::make_document(profiles::bench::make_profiles(count))) {
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
