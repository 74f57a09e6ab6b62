#include "shell/launch.h"

#include <cstdio>
#include <cstdlib>

#include "automation/server.h"
#include "shell/automation_host.h"
#include "shell/window_frontend.h"

namespace kova::shell::launch {

namespace {

void print(std::FILE* to, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), to);
  if (!text.empty() && text.back() != '\n') std::fputc('\n', to);
}

std::unique_ptr<Application> build_application(const LaunchDescription& desc,
                                               const LaunchOptions& options) {
  if (desc.factory) return desc.factory(options);
  if (desc.construct) return desc.construct();
  return nullptr;
}

}  // namespace

int run(const LaunchDescription& desc, std::span<const std::string_view> args) {
  auto options = parse_launch_options(args);
  if (!options) {
    std::fprintf(stderr, "%s\n", options.error().c_str());
    print(stderr, desc.usage);
    return 2;
  }
  if (options->help) {
    print(stdout, desc.usage);
    return 0;
  }
  // Before anything can start a thread, so every thread inherits the mask
  // and the signals reach only the loop's signalfd.
  block_quit_signals();
  auto sources = LoopSources::create();
  if (!sources) {
    std::fprintf(stderr, "cannot start the event loop: %s\n", sources.error().c_str());
    return 1;
  }

  App app;
  if (desc.install_registry) desc.install_registry(app);
  std::unique_ptr<Application> application = build_application(desc, *options);
  if (!application) {
    std::fprintf(stderr, "%s: no application to run\n", desc.app_id.c_str());
    return 1;
  }

  persist::Opened opened = desc.persistence ? desc.persistence(desc.app_id)
                                            : persist::Opened{doc::Store::in_memory(), {}};
  if (opened.notice) {
    std::fprintf(stderr, "%s\n", opened.notice->c_str());
    application->platform_notice(*opened.notice);
  }
  doc::Store& store = opened.store;
  if (auto* host = application->action_host()) {
    host->set_committer([&store](doc::Document&, std::string_view message)
                            -> actions::action::Result<void> {
      auto committed = store.commit(message);
      if (!committed) return std::unexpected(actions::action::ActionError{committed.error().message});
      return {};
    });
  }
  application->set_waker(sources->waker());
  application->document_changed(store.doc());
  commit_pending(store, "");

  const WindowSize size = options->size.value_or(desc.default_size);
  std::unique_ptr<Frontend> frontend;
  if (!options->headless && !options->snapshot) {
    frontend = desc.window_frontend
                   ? desc.window_frontend(*options, size)
                   : open_window_frontend(application->display_name(), size, options->scale.value_or(0));
    if (!frontend) std::fprintf(stderr, "running without a window\n");
  }
  if (!frontend) {
    frontend = std::make_unique<HeadlessFrontend>(size, options->scale.value_or(1.0),
                                                  options->snapshot);
  }
  std::unique_ptr<callstream::DeviceStreamService> devices;
  if (desc.device_service && application->device_stream_port())
    devices = desc.device_service(sources->waker());
  // Automation clients reach the running program through its endpoint; a
  // one-frame snapshot run offers none. Without an endpoint (a second
  // instance, no runtime directory) the program still runs.
  ShellAutomationHost automation_host(*application, store, app.action_registry(), desc.app_id, size);
  std::unique_ptr<automation::Server> endpoint;
  if (!options->snapshot) {
    const auto where = automation::default_server_options(desc.app_id);
    auto started = where ? automation::Server::start(*where)
                         : std::expected<std::unique_ptr<automation::Server>, std::string>(
                               std::unexpected(where.error()));
    if (started) endpoint = std::move(*started);
    else std::fprintf(stderr, "automation endpoint not started: %s\n", started.error().c_str());
  }
  const std::optional<AutomationService> automation =
      endpoint ? std::optional<AutomationService>(AutomationService{*endpoint, automation_host}) : std::nullopt;
  run_loop(*application, store, *sources, *frontend, options->trace, devices.get(),
           automation ? &*automation : nullptr);
  commit_pending(store, "");
  if (const auto error = frontend->error()) {
    std::fprintf(stderr, "%s\n", error->c_str());
    return 1;
  }
  return 0;
}

void run_or_exit(const LaunchDescription& desc, int argc, char** argv) {
  std::vector<std::string_view> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  const int status = run(desc, args);
  std::fflush(stdout);
  std::exit(status);
}

}  // namespace kova::shell::launch
