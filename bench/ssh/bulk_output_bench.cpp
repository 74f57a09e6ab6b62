// Bulk shell output through a real sshd on loopback: our session worker
// feeding the terminal screen, next to OpenSSH's own client (ssh -tt)
// receiving the same output in the same run. Both run
// `head -c N /dev/zero | base64` on a pseudo-terminal.
//
// KOVA_BENCH_SSH_BYTES sets N (default 64 MiB).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>

#include "ssh/session.h"
#include "sshd_fixture.h"
#include "terminal/screen.h"

namespace {

using namespace remote::ssh;
namespace t = remote::ssh::testing;

std::size_t source_bytes() {
  const char* text = std::getenv("KOVA_BENCH_SSH_BYTES");
  return text != nullptr ? std::stoull(text) : std::size_t{64} << 20;
}

// One sshd, one client key and a pinned host key for the whole run.
struct Peer {
  t::TempDir keys;
  t::TempDir store;
  std::unique_ptr<t::Sshd> sshd;
  std::string user;
  std::filesystem::path known_hosts;

  Peer() {
    if (!t::make_key(keys.path() / "id", "ed25519")) throw std::runtime_error("ssh-keygen failed");
    auto started = t::Sshd::start(
        {.host_key_type = "ed25519", .authorized_keys = t::read_file(keys.path() / "id.pub")});
    if (!started) throw std::runtime_error(started.error());
    sshd = std::move(*started);
    auto login = t::login_user();
    if (!login) throw std::runtime_error(login.error());
    user = *login;
    known_hosts = store.path() / "known-hosts.json";
    auto identity = t::keygen_identity(sshd->host_key().string() + ".pub");
    if (!identity || !trust_host_key(known_hosts, "127.0.0.1", sshd->port(),
                                     {identity->first, identity->second})) {
      throw std::runtime_error("cannot pin the server key");
    }
  }
  std::string command() const {
    return "head -c " + std::to_string(source_bytes()) + " /dev/zero | base64; echo END-$((6*7))";
  }
};

Peer& peer() {
  static Peer instance;
  return instance;
}

void BM_SessionIntoScreen(benchmark::State& state) {
  Peer& p = peer();
  std::size_t received = 0;
  for (auto _ : state) {
    auto session = start_ssh_session(SshWorkerConfig{"127.0.0.1", p.user, p.known_hosts,
                                                     KeyCredentials{p.keys.path() / "id", {}},
                                                     p.sshd->port()});
    if (!session) throw std::runtime_error(session.error().message);
    while (session->status().kind == remote::SessionStatus::Kind::Connecting) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (session->status().kind != remote::SessionStatus::Kind::Connected) {
      state.SkipWithError(session->status().text.c_str());
      return;
    }
    terminal::TerminalScreen screen(80, 24);
    std::string tail;
    bool done = false;
    const auto start = std::chrono::steady_clock::now();
    (void)session->send_text(p.command() + "\r");
    while (!done) {
      const bool fed = session->pump_output([&](std::string_view chunk) {
        screen.feed(chunk);
        received += chunk.size();
        tail.append(chunk.substr(chunk.size() > 64 ? chunk.size() - 64 : 0));
        if (tail.find("END-42") != std::string::npos) done = true;
        if (tail.size() > 128) tail.erase(0, tail.size() - 64);
      });
      if (!fed) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(received));
}

void BM_OpenSshClient(benchmark::State& state) {
  Peer& p = peer();
  std::size_t received = 0;
  const std::string command =
      "ssh -tt -q -i " + t::shell_quote((p.keys.path() / "id").string()) +
      " -o StrictHostKeyChecking=no -o UserKnownHostsFile=/dev/null -o BatchMode=yes -p " +
      std::to_string(p.sshd->port()) + " " + p.user + "@127.0.0.1 " + t::shell_quote(p.command()) +
      " </dev/null";
  std::vector<char> buffer(1 << 16);
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) throw std::runtime_error("cannot run ssh");
    std::size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
      received += got;
    ::pclose(pipe);
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(received));
}

BENCHMARK(BM_SessionIntoScreen)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenSshClient)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
