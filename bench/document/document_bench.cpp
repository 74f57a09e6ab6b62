// Rates of the document store: local edits and commits, applying another
// replica's commits, durable commits to the file, and loading a file of
// 10,000 small commits (with the file size per commit).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "document/document.h"
#include "document/sqlite_file.h"
#include "document/store.h"

namespace {

using namespace kova::doc;
namespace fs = std::filesystem;

fs::path temp_dir() {
  std::string tmpl = (fs::temp_directory_path() / "kova-doc-bench-XXXXXX").string();
  if (!::mkdtemp(tmpl.data())) std::abort();
  return tmpl;
}

// One small commit like the application makes: a field of a connection.
void small_edit(Document& d, ObjId conn, std::int64_t i) {
  (void)d.put(conn, "port", i);
}

ObjId seed_connection(Document& d) {
  const ObjId conns = *d.put_object(root, "connections", ObjType::Map);
  const ObjId conn = *d.put_object(conns, "0f8fad5b-d9cb-469f-a165-70867728950e", ObjType::Map);
  const ObjId name = *d.put_object(conn, "name", ObjType::Text);
  (void)d.splice_text(name, 0, 0, "Build server");
  d.commit("seed");
  return conn;
}

void BM_EditAndCommitInMemory(benchmark::State& state) {
  Document d;
  const ObjId conn = seed_connection(d);
  std::int64_t i = 0;
  for (auto _ : state) {
    small_edit(d, conn, ++i);
    benchmark::DoNotOptimize(d.commit("edit"));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EditAndCommitInMemory);

void BM_ApplyCommits(benchmark::State& state) {
  Document source;
  const ObjId conn = seed_connection(source);
  for (std::int64_t i = 0; i < state.range(0); ++i) {
    small_edit(source, conn, i);
    source.commit("edit");
  }
  for (auto _ : state) {
    Document d;
    benchmark::DoNotOptimize(d.apply(source.history()));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(source.history().size()));
}
BENCHMARK(BM_ApplyCommits)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_DiffedSpliceOfAName(benchmark::State& state) {
  Document d;
  const ObjId conns = *d.put_object(root, "c", ObjType::Map);
  const ObjId name = *d.put_object(conns, "name", ObjType::Text);
  bool flip = false;
  for (auto _ : state) {
    flip = !flip;
    (void)splice_text_diffed(d, name, flip ? "Build server (east)" : "Build server (west)");
    d.commit("rename");
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DiffedSpliceOfAName);

// Every iteration is one durable (synced) commit to the file.
void BM_DurableCommitToFile(benchmark::State& state) {
  const fs::path dir = temp_dir();
  {
    auto store = Store::open(dir / "doc.sqlite");
    if (!store) std::abort();
    const ObjId conn = seed_connection(store->doc());
    std::int64_t i = 0;
    for (auto _ : state) {
      small_edit(store->doc(), conn, ++i);
      benchmark::DoNotOptimize(store->commit("edit"));
    }
  }
  state.SetItemsProcessed(state.iterations());
  fs::remove_all(dir);
}
BENCHMARK(BM_DurableCommitToFile)->Unit(benchmark::kMicrosecond);

// Loads a file of 10,000 small commits, written in one transaction.
void BM_LoadStoreOf10kCommits(benchmark::State& state) {
  const fs::path dir = temp_dir();
  const fs::path file = dir / "doc.sqlite";
  {
    auto store = Store::open(file);
    if (!store) std::abort();
    Document d;
    const ObjId conn = seed_connection(d);
    for (std::int64_t i = 1; i < 10000; ++i) {
      small_edit(d, conn, i);
      d.commit("edit");
    }
    auto raw = SqliteFile::open_store(file);
    if (!raw || !raw->start_writing() || !raw->insert_commits(d.history())) std::abort();
  }
  for (auto _ : state) {
    auto store = Store::open(file);
    if (!store || store->doc().history().size() != 10000) std::abort();
  }
  std::uintmax_t bytes = fs::file_size(file);
  if (fs::exists(file.string() + "-wal")) bytes += fs::file_size(file.string() + "-wal");
  state.counters["file_bytes_per_commit"] = static_cast<double>(bytes) / 10000.0;
  state.SetItemsProcessed(state.iterations() * 10000);
  fs::remove_all(dir);
}
BENCHMARK(BM_LoadStoreOf10kCommits)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
