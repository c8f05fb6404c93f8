// Spawning the qorvel binary for the end-to-end tests.
#include "run_qorvel.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>

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

ScratchDir::ScratchDir() {
  static std::atomic<int> counter{0};
  path_ = std::filesystem::temp_directory_path() /
          ("qorvel-e2e-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
  std::filesystem::remove_all(path_);
  std::filesystem::create_directories(path_);
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string ScratchDir::Write(const std::string& name, const std::string& bytes) const {
  const std::filesystem::path file = path_ / name;
  std::ofstream(file, std::ios::binary) << bytes;
  return file.string();
}

std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

Outcome RunQorvel(const std::vector<std::string>& args, const std::string& input,
                  const std::map<std::string, std::string>& env, bool stderr_terminal) {
  const ScratchDir dir;
  const std::string in_path = dir.Write("stdin", input);
  const std::string out_path = (dir / "stdout").string();
  const std::string err_path = (dir / "stderr").string();

  // Everything the child needs is built before the fork.
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
  {
    const Fd in(::open(in_path.c_str(), O_RDONLY | O_CLOEXEC));
    const Fd out(::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    const Fd terminal(stderr_terminal ? ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC) : -1);
    if (stderr_terminal && (terminal.get() < 0 || ::grantpt(terminal.get()) != 0 || ::unlockpt(terminal.get()) != 0)) {
      return run;
    }
    std::optional<Fd> err;
    err.emplace(stderr_terminal ? ::open(::ptsname(terminal.get()), O_RDWR | O_NOCTTY | O_CLOEXEC)
                                : ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (in.get() < 0 || out.get() < 0 || err->get() < 0) return run;
    const pid_t pid = ::fork();
    if (pid < 0) return run;
    if (pid == 0) {
      // Only async-signal-safe calls between fork and exec.
      if (::dup2(in.get(), 0) < 0 || ::dup2(out.get(), 1) < 0 || ::dup2(err->get(), 2) < 0) ::_exit(126);
      ::execve(argv[0], argv.data(), envp.data());
      ::_exit(127);
    }
    int wstatus = 0;
    pid_t waited = -1;
    do {
      waited = ::waitpid(pid, &wstatus, 0);
    } while (waited < 0 && errno == EINTR);
    if (waited == pid && WIFEXITED(wstatus)) run.status = WEXITSTATUS(wstatus);
    if (stderr_terminal) {
      // With the last writer's end closed, the terminal yields what it
      // holds and then EIO.
      err.reset();
      char buffer[4096];
      for (;;) {
        const ssize_t n = ::read(terminal.get(), buffer, sizeof buffer);
        if (n > 0) {
          run.err.append(buffer, static_cast<std::size_t>(n));
        } else if (n < 0 && errno == EINTR) {
          continue;
        } else {
          break;
        }
      }
    }
  }
  run.out = ReadBytes(out_path);
  if (!stderr_terminal) run.err = ReadBytes(err_path);
  return run;
}

}  // namespace qorvel::testing
