// Cost of the connections document mapping as the list grows. Counters give
// the time per connection (seconds, shown in ns/us) so that sizes compare
// directly; linear code shows the same figure at every size.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>

#include "actions/apply.h"
#include "connection_fixtures.h"
#include "document/store.h"
#include "profiles/connections_document.h"

namespace remote::profiles::bench {
namespace {

namespace doc = kova::doc;

benchmark::Counter per_connection(std::size_t count) {
  return benchmark::Counter(
      static_cast<double>(count),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void load_all(benchmark::State& state) {
  const auto count = static_cast<std::size_t>(state.range(0));
  const auto document = make_document(make_profiles(count));
  for (auto _ : state)
    benchmark::DoNotOptimize(load_connections(document));
  state.counters["per_connection"] = per_connection(count);
}
BENCHMARK(load_all)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

// Writing every profile into an empty document, as a first sync of a large
// list does.
void write_all_new(benchmark::State& state) {
  const auto count = static_cast<std::size_t>(state.range(0));
  const auto profiles = make_profiles(count);
  for (auto _ : state) {
    state.PauseTiming();
    auto document = std::make_unique<doc::Document>();
    state.ResumeTiming();
    for (const auto& profile : profiles)
      write_profile(*document, profile);
    state.PauseTiming();
    document.reset();
    state.ResumeTiming();
  }
  state.counters["per_connection"] = per_connection(count);
}
BENCHMARK(write_all_new)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

// Re-saving every unchanged profile: only reads and comparisons.
void write_all_unchanged(benchmark::State& state) {
  const auto count = static_cast<std::size_t>(state.range(0));
  const auto profiles = make_profiles(count);
  auto document = make_document(profiles);
  for (auto _ : state) {
    for (const auto& profile : profiles)
      write_profile(document, profile);
  }
  if (document.has_pending()) state.SkipWithError("an unchanged profile was written");
  state.counters["per_connection"] = per_connection(count);
}
BENCHMARK(write_all_unchanged)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

// One rename and its commit in a large document; should not grow with it.
void rename_one(benchmark::State& state) {
  const auto count = static_cast<std::size_t>(state.range(0));
  const auto profiles = make_profiles(count);
  auto document = make_document(profiles);
  const auto& target = profiles[count / 2];
  bool flip = false;
  for (auto _ : state) {
    flip = !flip;
    write_rename(document, target.id, flip ? "Renamed machine" : "Machine renamed");
    benchmark::DoNotOptimize(document.commit("rename"));
  }
}
BENCHMARK(rename_one)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

// An upsert looks its connection up among all keys to keep the stored
// favourite, presence and last use.
void upsert_one(benchmark::State& state) {
  const auto count = static_cast<std::size_t>(state.range(0));
  const auto profiles = make_profiles(count);
  auto document = make_document(profiles);
  const auto& p = profiles[count / 2];
  actions::UpsertConnection upsert{p.id, p.name, p.host, p.port, p.user, p.kind, p.auth, p.group};
  bool flip = false;
  for (auto _ : state) {
    flip = !flip;
    upsert.port = flip ? 2222 : 22;
    benchmark::DoNotOptimize(actions::apply_remote_action(upsert, document));
    benchmark::DoNotOptimize(document.commit("upsert"));
  }
}
BENCHMARK(upsert_one)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

std::uintmax_t size_with_wal(const std::filesystem::path& path) {
  std::error_code error;
  auto bytes = std::filesystem::file_size(path, error);
  if (error) bytes = 0;
  auto wal = std::filesystem::file_size(path.string() + "-wal", error);
  return bytes + (error ? 0 : wal);
}

// Bytes on disk per connection, with one commit for the whole list (a
// seeded document) or one per connection (connections added one by one).
void store_file_size(benchmark::State& state) {
  const auto count = static_cast<std::size_t>(state.range(0));
  const bool commit_each = state.range(1) != 0;
  const auto profiles = make_profiles(count);
  std::string dir_template =
      (std::filesystem::temp_directory_path() / "bench_profiles.XXXXXX").string();
  if (!mkdtemp(dir_template.data())) {
    state.SkipWithError("mkdtemp failed");
    return;
  }
  const std::filesystem::path dir = dir_template;
  std::uintmax_t bytes = 0;
  for (auto _ : state) {
    auto store = doc::Store::open(dir / "connections.sqlite");
    if (!store) {
      state.SkipWithError(store.error().message.c_str());
      break;
    }
    for (const auto& profile : profiles) {
      write_profile(store->doc(), profile);
      if (commit_each) (void)store->commit("add");
    }
    (void)store->commit("seed");
    bytes = size_with_wal(dir / "connections.sqlite");
  }
  std::filesystem::remove_all(dir);
  state.counters["bytes_per_connection"] = static_cast<double>(bytes) / static_cast<double>(count);
}
BENCHMARK(store_file_size)
    ->Args({10000, 0})
    ->Args({1000, 1})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace remote::profiles::bench

BENCHMARK_MAIN();
