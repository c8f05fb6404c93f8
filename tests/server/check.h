// A minimal check library for the Windows test programs (there is no
// GoogleTest for mingw-w64 in Debian): named groups, checks that report the
// file, line and values of a failure and count it, and an exit status.
//
//   int main() {
//     GROUP("registration");
//     CHECK(ok);
//     CHECK_EQ(hr, S_OK);
//     return check::Finish();
//   }
//
// Also the small helpers the test programs share: UTF-8 for messages and
// Unix paths (as CTest passes them) made into Windows paths on Wine's Z:
// drive.
#ifndef QORVEL_TESTS_SERVER_CHECK_H_
#define QORVEL_TESTS_SERVER_CHECK_H_

#include <windows.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <type_traits>

namespace check {

struct State {
  int failures = 0;
  int checks = 0;
  std::string group;
};
inline State& Current() {
  static State state;
  return state;
}

inline std::string Utf8(const std::u16string& s) {
  const auto* wide = reinterpret_cast<const wchar_t*>(s.data());
  const int size = static_cast<int>(s.size());
  std::string out(static_cast<std::size_t>(WideCharToMultiByte(CP_UTF8, 0, wide, size, nullptr, 0, nullptr, nullptr)), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, size, out.data(), static_cast<int>(out.size()), nullptr, nullptr);
  return out;
}
inline std::string Utf8(const wchar_t* s) {
  return s ? Utf8(std::u16string(reinterpret_cast<const char16_t*>(s))) : std::string("(null)");
}

// How a checked value is printed in a failure message.
template <class T>
std::string Show(const T& value) {
  std::ostringstream out;
  if constexpr (std::is_same_v<T, std::u16string>) {
    out << '"' << Utf8(value) << '"';
  } else if constexpr (std::is_same_v<T, long> || std::is_same_v<T, unsigned long>) {
    out << value << " (0x" << std::hex << value << ")";
  } else {
    out << value;
  }
  return out.str();
}

inline bool Check(bool ok, const char* file, int line, const std::string& what, const std::string& note) {
  ++Current().checks;
  if (!ok) {
    ++Current().failures;
    std::printf("FAIL %s:%d [%s] %s%s\n", file, line, Current().group.c_str(), what.c_str(),
                note.empty() ? "" : (" -- " + note).c_str());
    std::fflush(stdout);
  }
  return ok;
}

template <class A, class B>
bool CheckEq(const A& a, const B& b, const char* file, int line, const char* ea, const char* eb,
             const std::string& note) {
  const bool ok = a == b;
  return Check(ok, file, line, std::string(ea) + " == " + eb + (ok ? "" : ": " + Show(a) + " vs " + Show(b)), note);
}

// Prints the totals; the program's exit status (0 when nothing failed).
inline int Finish() {
  std::printf("%d checks, %d failed\n", Current().checks, Current().failures);
  return Current().failures == 0 && Current().checks > 0 ? 0 : 1;
}

// A Unix path ("/work/x/QORVEL.dll") as a path on Wine's Z: drive; other
// paths unchanged.
inline std::wstring WindowsPath(const char* path) {
  std::wstring out;
  if (path[0] == '/') out = L"Z:";
  for (const char* p = path; *p; ++p) out.push_back(*p == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(*p)));
  return out;
}

}  // namespace check

#define GROUP(name) (::check::Current().group = (name))
#define CHECK(cond) ::check::Check(static_cast<bool>(cond), __FILE__, __LINE__, #cond, "")
#define CHECK_NOTE(cond, note) ::check::Check(static_cast<bool>(cond), __FILE__, __LINE__, #cond, note)
#define CHECK_EQ(a, b) ::check::CheckEq((a), (b), __FILE__, __LINE__, #a, #b, "")
#define CHECK_EQ_NOTE(a, b, note) ::check::CheckEq((a), (b), __FILE__, __LINE__, #a, #b, note)

#endif  // QORVEL_TESTS_SERVER_CHECK_H_
