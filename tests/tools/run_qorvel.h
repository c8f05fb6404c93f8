// Runs the built qorvel program as a person or a script does: with
// arguments, a standard input, and an environment of its own, capturing
// standard output, standard error and the exit status.
#ifndef QORVEL_TESTS_TOOLS_RUN_QORVEL_H_
#define QORVEL_TESTS_TOOLS_RUN_QORVEL_H_

#include <map>
#include <string>
#include <vector>

namespace qorvel::testing {

struct Outcome {
  std::string out;
  std::string err;
  int status = -1;  // the exit status; -1 when the program did not exit normally
};

// Runs the qorvel binary (QORVEL_BINARY) with `args`, `input` as its
// standard input and exactly the variables of `env` as its environment
// (none of the test's own, so that LC_ALL and LANG are what the test says).
// Standard output and error go to files, so nothing can block on a pipe;
// with `stderr_terminal`, standard error is a pseudo-terminal instead (for
// progress, which shows only on a terminal), read after the program ends,
// so the program must write less to it than the terminal buffers (4 KB).
Outcome RunQorvel(const std::vector<std::string>& args, const std::string& input = "",
                  const std::map<std::string, std::string>& env = {{"LC_ALL", "en_US.UTF-8"}},
                  bool stderr_terminal = false);

}  // namespace qorvel::testing

#endif  // QORVEL_TESTS_TOOLS_RUN_QORVEL_H_
