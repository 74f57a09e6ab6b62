#include "app/commands.h"

#include <cstdio>
#include <iostream>

#include "action_host/bound_dispatch.h"
#include "app/devices.h"
#include "app/remote_app.h"
#include "app/remote_change.h"
#include "app/sync.h"
#include "automation/ctl.h"
#include "document/json_dump.h"
#include "document/store.h"
#include "profiles/sample.h"
#include "rfb/capture.h"
#include "shell/persist.h"
#include "ssh/commands.h"

namespace remote::app {

namespace {

constexpr std::string_view app_id = "so.kova.remote";

void print_usage(std::FILE* to) { std::fputs(usage_text().c_str(), to); }

std::optional<kova::doc::Store> open_document() {
  const auto path = kova::shell::persist::document_path(app_id);
  if (!path) {
    std::fprintf(stderr, "no state directory: set XDG_STATE_HOME or HOME\n");
    return std::nullopt;
  }
  auto store = kova::doc::Store::open(*path);
  if (!store) {
    std::fprintf(stderr, "cannot use %s: %s\n", path->c_str(), store.error().message.c_str());
    return std::nullopt;
  }
  return std::move(*store);
}

int doc_path(std::span<const std::string_view> args) {
  if (!args.empty()) return print_usage(stderr), 2;
  const auto path = kova::shell::persist::document_path(app_id);
  if (!path) {
    std::fprintf(stderr, "no state directory: set XDG_STATE_HOME or HOME\n");
    return 1;
  }
  std::printf("%s\n", path->c_str());
  return 0;
}

int doc_show(std::span<const std::string_view> args) {
  if (!args.empty()) return print_usage(stderr), 2;
  auto store = open_document();
  if (!store) return 1;
  std::printf("%s\n", kova::doc::dump_json(store->doc()).c_str());
  return 0;
}

int doc_apply(std::span<const std::string_view> args) {
  if (args.size() != 1) return print_usage(stderr), 2;
  // Decode before the file is opened: a change that does not decode must not
  // even create the document.
  kova::shell::App app;
  install_registry(app);
  auto typed = app.action_registry().decode(actions::remote_action_type, args[0]);
  if (!typed) {
    std::fprintf(stderr, "%s\n", typed.error().text().c_str());
    return 1;
  }
  auto store = open_document();
  if (!store) return 1;
  kova::actions::bound_dispatch::ActionHost host;
  host.set_committer([&store](kova::doc::Document&, std::string_view message)
                         -> kova::actions::action::Result<void> {
    if (auto committed = store->commit(message); !committed)
      return std::unexpected(kova::actions::action::ActionError{committed.error().message});
    return {};
  });
  const auto variant = (*typed)->variant_name();
  const kova::actions::context::ActionContext context{
      "org.kova.Remote", "Remote",
      variant ? kova::actions::context::humanize_identifier(*variant) : "Update"};
  const auto record = host.dispatch(store->doc(), **typed, context);
  return record.error ? 1 : 0;
}

int doc_merge(std::span<const std::string_view> args) {
  if (args.size() != 1) return print_usage(stderr), 2;
  auto store = open_document();
  if (!store) return 1;
  const auto merged = store->merge_file(std::filesystem::path(args[0]));
  if (!merged) {
    std::fprintf(stderr, "cannot merge %.*s: %s\n", static_cast<int>(args[0].size()), args[0].data(),
                 merged.error().message.c_str());
    return 1;
  }
  std::printf("%zu commits came in\n", *merged);
  return 0;
}

int doc_seed_sample(std::span<const std::string_view> args) {
  if (!args.empty()) return print_usage(stderr), 2;
  auto store = open_document();
  if (!store) return 1;
  // Exactly what a first start in sample mode does: a document that already
  // holds connections is adopted, an empty one receives the samples.
  RemoteApp app(profiles::sample_profiles(), profiles::sample_devices());
  sync_from_document(app.state(), store->doc());
  if (!store->doc().has_pending()) {
    std::printf("the document already holds connections; nothing written\n");
    return 0;
  }
  if (auto committed = store->commit("Remote: Seed sample machines"); !committed) {
    std::fprintf(stderr, "cannot write the document: %s\n", committed.error().message.c_str());
    return 1;
  }
  std::printf("wrote %zu sample machines\n", app.state().profiles.size());
  return 0;
}

const Command command_table[] = {
    {"doc path", "", "print the document file's path", doc_path},
    {"doc show", "", "print the whole document as JSON", doc_show},
    {"doc apply", "JSON", "apply one remote.action change", doc_apply},
    {"doc merge", "FILE", "merge another replica's document file", doc_merge},
    {"doc seed-sample", "", "write the sample machines into an empty document", doc_seed_sample},
    {"vnc-capture", "HOST PORT OUT.png", "write a VNC server's first picture as PNG",
     remote::rfb::vnc_capture_command},
    {"ssh-fingerprint", "HOST PORT", "print a server's SSH host-key identity without logging in",
     remote::ssh::fingerprint_command},
    {"trust", "list | forget HOST PORT", "list or forget pinned SSH host keys",
     remote::ssh::trust_command},
    {"ctl", "SUBCOMMAND ...", "ask the running program (ctl with no subcommand: usage)",
     kova::automation::ctl_main},
};

// How many leading arguments the words of `command` match; 0 for none.
std::size_t match(const Command& command, std::span<const std::string_view> args) {
  std::size_t n = 0;
  std::string_view words = command.words;
  while (!words.empty()) {
    const auto space = words.find(' ');
    const std::string_view word = words.substr(0, space);
    if (n >= args.size() || args[n] != word) return 0;
    ++n;
    words = space == std::string_view::npos ? std::string_view() : words.substr(space + 1);
  }
  return n;
}

}  // namespace

std::span<const Command> commands() { return command_table; }

std::optional<int> run_command(std::span<const std::string_view> args) {
  if (args.empty() || args[0].starts_with("-")) return std::nullopt;
  bool group_known = false;
  for (const Command& command : commands()) {
    if (const std::size_t n = match(command, args)) return command.run(args.subspan(n));
    group_known = group_known || command.words.substr(0, command.words.find(' ')) == args[0];
  }
  if (!group_known) return std::nullopt;
  std::fprintf(stderr, "unknown command: %.*s\n", static_cast<int>(args[0].size()), args[0].data());
  print_usage(stderr);
  return 2;
}

std::string usage_text() {
  std::string out =
      "usage: kova-remote [--headless] [--review-state NAME] [--size WxH] [--scale F]\n"
      "                   [--snapshot PATH] [--trace]\n";
  for (const Command& c : commands()) {
    std::string line = "       kova-remote " + std::string(c.words);
    if (!c.usage.empty()) line += " " + std::string(c.usage);
    if (line.size() < 44) line.resize(44, ' ');
    out += line + "  " + std::string(c.summary) + "\n";
  }
  out +=
      "\n"
      "  --headless           run without a window (SIGINT or SIGTERM ends it)\n"
      "  --review-state NAME  start in a prepared state (sample mode)\n"
      "  --size WxH           window size in logical pixels (default 1280x800)\n"
      "  --scale F            device pixels per logical pixel\n"
      "  --snapshot PATH      draw one frame headless, write it as PNG, exit\n"
      "  --trace              report ready, document changed and quit on stderr\n"
      "  --help               print this text\n"
      "\n"
      "Environment: KOVA_REMOTE_SAMPLE=1 starts with sample machines.\n";
  return out;
}

kova::shell::launch::LaunchDescription launch_description() {
  kova::shell::launch::LaunchDescription desc;
  desc.app_id = std::string(app_id);
  desc.review_states = review_state_names();
  desc.construct = [] { return std::make_unique<RemoteApp>(); };
  desc.factory = [](const kova::shell::LaunchOptions& options) { return make_remote_app(options); };
  desc.install_registry = install_registry;
  desc.default_size = {1280, 800};
  desc.secondary_callback = [] { return 1; };
  desc.option_flags = {true, false, true, true};
  desc.persistence = kova::shell::persist::open;
  desc.usage = usage_text();
  desc.device_service = make_device_service;
  return desc;
}

}  // namespace remote::app
