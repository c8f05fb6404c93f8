// Spawning the qorvel binary for the end-to-end tests.
#include "run_qorvel.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "support/jet_support.h"

namespace qorvel::testing {
namespace {

// A file descriptor, closed at the end of its scope.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

Outcome RunQorvel(const std::vector<std::string>& args, const std::string& input,
                  const std::map<std::string, std::string>& env, bool stderr_terminal) {
  const jet::testing::TempDir dir;
  const std::string in_path = (dir / "stdin").string();
  jet::testing::WriteFileBytes(in_path, input);
  const std::string out_path = (dir / "stdout").string();
  const std::string err_path = (dir / "stderr").string();
  std::vector<std::string> words = {QORVEL_BINARY};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  std::vector<std::string> assignments;
  for (const auto& [name, value] : env) assignments.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (std::string& a : assignments) envp.push_back(a.data());
  envp.push_back(nullptr);

  Outcome run;
  const Fd terminal(stderr_terminal ? ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC) : -1);
  if (stderr_terminal && (terminal.get() < 0 || ::grantpt(terminal.get()) != 0 || ::unlockpt(terminal.get()) != 0)) {
    return run;
  }
  // The child opens its own ends, so that once it exits no writer of the
  // terminal is left: the terminal then yields what it holds and EIO.
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_addopen(&actions, 0, in_path.c_str(), O_RDONLY, 0);
  ::posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (stderr_terminal) {
    ::posix_spawn_file_actions_addopen(&actions, 2, ::ptsname(terminal.get()), O_RDWR | O_NOCTTY, 0);
  } else {
    ::posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  }
  pid_t pid = -1;
  const int spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  ::posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return run;
  int wstatus = 0;
  pid_t waited = -1;
  do {
    waited = ::waitpid(pid, &wstatus, 0);
  } while (waited < 0 && errno == EINTR);
  if (waited == pid && WIFEXITED(wstatus)) run.status = WEXITSTATUS(wstatus);
  char buffer[4096];
  for (ssize_t n = 0; stderr_terminal && (n = ::read(terminal.get(), buffer, sizeof buffer)) != 0;) {
    if (n > 0) run.err.append(buffer, static_cast<std::size_t>(n));
    else if (errno != EINTR) break;
  }
  run.out = jet::testing::ReadFileBytes(out_path);
  if (!stderr_terminal) run.err = jet::testing::ReadFileBytes(err_path);
  return run;
}

}  // namespace qorvel::testing
