// A minimal check harness for the Windows test programs (no test framework
// is packaged for mingw-w64): named groups of table-driven cases, one line
// on standard output per failed check, and the exit status CTest reads (0
// all passed, 1 a failure or nothing checked). CHECK and CHECK_EQ name the
// file, line and expression; Check and CheckEq take their own label. Also
// an event between threads, and standard error caught in a file (where a
// test build writes its message boxes) with the text of the boxes.
#ifndef QORVEL_TESTS_WINDOWS_CHECK_H_
#define QORVEL_TESTS_WINDOWS_CHECK_H_

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cstdio>
#include <mutex>
#include <sstream>
#include <string>
#include <type_traits>

#include "qorvel/currency.h"
#include "qorvel/types.h"

namespace qorvel::wintest {

struct Totals {
  int checks = 0;
  int failures = 0;
  std::string group;
};
inline Totals& Current() {
  static Totals totals;
  return totals;
}

// Starts a named group of checks; failures name their group.
inline void Group(const std::string& name) {
  Current().group = name;
  std::printf("-- %s\n", name.c_str());
  std::fflush(stdout);
}

inline std::string Show(const std::string& s) { return "\"" + s + "\""; }
inline std::string Show(const Text& s) { return Show(ToUtf8(s)); }
inline std::string Show(const Currency& c) { return c.ToFixedString(); }
// Numbers (a long, as an HRESULT is, in hexadecimal too), and anything else
// that can be written to a stream.
template <typename T>
std::string Show(const T& value) {
  std::ostringstream out;
  out << value;
  if constexpr (std::is_same_v<T, long> || std::is_same_v<T, unsigned long>) {
    out << " (0x" << std::hex << static_cast<unsigned long>(value) << ")";
  }
  return out.str();
}

// A path as this process sees it: a Unix path is reached through Wine's
// drive Z:.
inline std::string HostPath(std::string path) {
  if (!path.empty() && path.front() == '/') path = "Z:" + path;
  for (char& c : path) c = c == '/' ? '\\' : c;
  return path;
}

// Records one check; `what` says which case it was. Threads may check at
// once.
inline bool Check(bool ok, const std::string& what, const std::string& detail = {}) {
  static std::mutex mutex;
  const std::lock_guard<std::mutex> lock(mutex);
  ++Current().checks;
  if (!ok) {
    ++Current().failures;
    std::printf("FAIL [%s] %s%s%s\n", Current().group.c_str(), what.c_str(), detail.empty() ? "" : ": ",
                detail.c_str());
    std::fflush(stdout);
  }
  return ok;
}

template <typename A, typename E>
bool CheckEq(const A& actual, const E& expected, const std::string& what) {
  return Check(actual == expected, what, "got " + Show(actual) + ", expected " + Show(expected));
}

inline std::string Where(const char* file, int line, const char* expression) {
  return std::string(file) + ":" + std::to_string(line) + " " + expression;
}

// Prints the totals and gives the exit status.
inline int Finish() {
  const Totals& t = Current();
  std::printf("%d checks, %d failed\n", t.checks, t.failures);
  return t.failures == 0 && t.checks > 0 ? 0 : 1;
}

// A manual-reset event of the system, for the steps between threads (the
// system's own, so that the test's synchronisation adds nothing to the
// threads' exit).
class Event {
 public:
  Event() : handle_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  ~Event() { CloseHandle(handle_); }
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;
  void Set() { SetEvent(handle_); }
  void Wait() { WaitForSingleObject(handle_, INFINITE); }

 private:
  HANDLE handle_;
};

// Standard error redirected to the file `path` while it lives.
class StderrToFile {
 public:
  explicit StderrToFile(std::wstring path) : path_(std::move(path)) {
    std::fflush(stderr);
    saved_ = _dup(2);
    const int fd = _wopen(path_.c_str(), _O_CREAT | _O_TRUNC | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
    _dup2(fd, 2);
    _close(fd);
  }
  StderrToFile(const StderrToFile&) = delete;
  StderrToFile& operator=(const StderrToFile&) = delete;
  ~StderrToFile() { Restore(); }
  // What was written so far; standard error is restored.
  std::string Text() {
    Restore();
    std::string content;
    if (FILE* f = _wfopen(path_.c_str(), L"rb")) {
      char buffer[4096];
      for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) content.append(buffer, n);
      std::fclose(f);
    }
    return content;
  }

 private:
  void Restore() {
    if (saved_ < 0) return;
    std::fflush(stderr);
    _dup2(saved_, 2);
    _close(saved_);
    saved_ = -1;
  }
  std::wstring path_;
  int saved_ = -1;
};

// A box as the test build writes it on standard error.
inline std::string BoxText(long buttons, const std::string& prompt) {
  return "[QORVEL] (message box, buttons " + std::to_string(buttons) + ")\n" + prompt + "\n";
}

// The box of a connection to `path` that failed with `failure` (the
// database's description, given twice).
inline std::string ConnectBox(const std::string& path, const std::string& failure) {
  return BoxText(64, "Unable to connect to " + path + ".\nSome report information may be missing or incorrect.\nPlease "
                 "restart your computer or contact support.\n\n" + failure + "\n" + failure);
}

}  // namespace qorvel::wintest

#define CHECK(cond) ::qorvel::wintest::Check(static_cast<bool>(cond), ::qorvel::wintest::Where(__FILE__, __LINE__, #cond))
#define CHECK_EQ(a, b) ::qorvel::wintest::CheckEq((a), (b), ::qorvel::wintest::Where(__FILE__, __LINE__, #a " == " #b))

#endif  // QORVEL_TESTS_WINDOWS_CHECK_H_
