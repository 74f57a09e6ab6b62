#include "sshd_fixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <thread>
#include <vector>

namespace remote::ssh::testing {
namespace {

constexpr const char* sshd_binary = "/usr/sbin/sshd";

bool is_root() {
  return ::geteuid() == 0;
}

// Only root may create the test account and run an sshd that checks passwords.
std::expected<std::string, std::string> root_prefix() {
  if (is_root()) return std::string{};
  return std::unexpected(std::string(
      "password authentication tests must run as root: sshd has to read /etc/shadow and a "
      "dedicated test account is created"));
}

std::uint16_t free_port() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

bool accepts(std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return ok;
}

}  // namespace

std::expected<void, std::string> make_key(const std::filesystem::path& path,
                                          const std::string& type, const std::string& passphrase) {
  std::filesystem::remove(path);
  std::filesystem::remove(path.string() + ".pub");
  const auto made = run_command("ssh-keygen -q -t " + type + " -N " + shell_quote(passphrase) +
                                " -C test -f " + shell_quote(path.string()));
  if (made.status != 0)
    return std::unexpected("ssh-keygen failed with status " + std::to_string(made.status) +
                           " (is openssh-client installed?): " + made.output);
  return {};
}

std::expected<std::pair<std::string, std::string>, std::string> keygen_identity(
    const std::filesystem::path& public_key) {
  const auto listed = run_command("ssh-keygen -l -E sha256 -f " + shell_quote(public_key.string()));
  if (listed.status != 0) return std::unexpected("ssh-keygen -l failed: " + listed.output);
  // "<bits> SHA256:... <comment> (<TYPE>)"; the algorithm comes from the .pub.
  std::istringstream line(listed.output);
  std::string bits, fingerprint;
  line >> bits >> fingerprint;
  std::istringstream pub(read_file(public_key));
  std::string algorithm;
  pub >> algorithm;
  return std::pair{algorithm, fingerprint};
}

std::expected<std::unique_ptr<Sshd>, std::string> Sshd::start(const SshdOptions& options) {
  if (::access(sshd_binary, X_OK) != 0) {
    return std::unexpected(std::string(sshd_binary) +
                           " is missing: install openssh-server (scripts/deps)");
  }
  std::unique_ptr<Sshd> sshd(new Sshd());
  sshd->options_ = options;
  if (auto key = make_key(sshd->host_key(), options.host_key_type); !key) {
    return std::unexpected(key.error());
  }
  // sshd reads authorized_keys with the logging-in user's rights.
  std::filesystem::permissions(sshd->dir(), std::filesystem::perms(0755),
                               std::filesystem::perm_options::replace);
  write_file(sshd->dir() / "authorized_keys", options.authorized_keys, 0644);
  // Root's sshd needs its privilege-separation directory.
  if (is_root()) std::filesystem::create_directories("/run/sshd");
  if (auto launched = sshd->launch(); !launched) return std::unexpected(launched.error());
  return sshd;
}

std::expected<void, std::string> Sshd::launch() {
  for (int attempt = 0; attempt < 5; ++attempt) {
    port_ = free_port();
    const auto d = dir();
    std::ostringstream config;
    config << "Port " << port_ << "\nListenAddress 127.0.0.1\n"
           << "HostKey " << host_key().string() << "\n"
           << "PidFile " << (d / "sshd.pid").string() << "\n"
           << "AuthorizedKeysFile " << (d / "authorized_keys").string() << "\n"
           << "StrictModes no\nPermitRootLogin yes\nPasswordAuthentication yes\n"
           << "KbdInteractiveAuthentication no\nUsePAM no\nPubkeyAuthentication yes\n"
           << "PrintMotd no\nPrintLastLog no\nLogLevel VERBOSE\nMaxStartups 100\n";
    write_file(d / "sshd_config", config.str(), 0600);
    const std::string command = std::string("exec ") + sshd_binary + " -D -e -f " +
                                shell_quote((d / "sshd_config").string()) + " 2>>" +
                                shell_quote((d / "sshd.log").string()) + " </dev/null";
    pid_ = ::fork();
    if (pid_ == 0) {
      ::setpgid(0, 0);
      // The server must not outlive a test that aborts.
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        break;
      }
      if (accepts(port_)) return {};
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (pid_ > 0) kill_now();
    if (log().find("Address already in use") == std::string::npos) break;
  }
  return std::unexpected("sshd did not start:\n" + log());
}

std::expected<void, std::string> Sshd::replace_host_key() {
  kill_now();
  if (auto key = make_key(host_key(), options_.host_key_type); !key) return key;
  return launch();
}

namespace {

// Children of `parent`, from /proc. sshd's per-connection processes start
// their own sessions, so they are found by parentage, not by process group.
std::vector<pid_t> children_of(pid_t parent) {
  std::vector<pid_t> children;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    const std::string stat = read_file(entry.path() / "stat");
    const auto close_paren = stat.rfind(')');
    if (close_paren == std::string::npos) continue;
    std::istringstream fields(stat.substr(close_paren + 2));
    char state = 0;
    pid_t ppid = 0;
    fields >> state >> ppid;
    if (ppid == parent) children.push_back(static_cast<pid_t>(std::stoi(name)));
  }
  return children;
}

void collect_descendants(pid_t parent, std::vector<pid_t>& out) {
  for (pid_t child : children_of(parent)) {
    out.push_back(child);
    collect_descendants(child, out);
  }
}

}  // namespace

void Sshd::kill_now() {
  if (pid_ <= 0) return;
  // The listener and every connection process it forked, as a crash would.
  std::vector<pid_t> ours{pid_};
  collect_descendants(pid_, ours);
  for (pid_t pid : ours)
    ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
}

Sshd::~Sshd() {
  kill_now();
}

std::string Sshd::log() const {
  return read_file(dir() / "sshd.log");
}

std::expected<std::string, std::string> login_user() {
  if (!is_root()) {
    const passwd* self = ::getpwuid(::geteuid());
    if (self == nullptr) return std::unexpected(std::string("cannot find the current user"));
    return std::string(self->pw_name);
  }
  auto account = password_user();
  if (!account) return std::unexpected(account.error());
  return account->name;
}

std::expected<PasswordUser, std::string> password_user() {
  auto prefix = root_prefix();
  if (!prefix) return std::unexpected(prefix.error());
  PasswordUser user{"kovasshtest", "Kova-test-pw-7"};
  // Parallel tests create the account at most once.
  const std::string script = "id " + user.name + " >/dev/null 2>&1 || useradd -m -s /bin/sh " +
                             user.name + "; echo " + shell_quote(user.name + ":" + user.password) +
                             " | chpasswd";
  const auto made =
      run_command(*prefix + "flock /tmp/kova-ssh-test-user.lock sh -c " + shell_quote(script));
  if (made.status != 0)
    return std::unexpected("cannot create the password test user: " + made.output);
  return user;
}

}  // namespace remote::ssh::testing
