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
// Also the small helpers the test programs share: UTF-8 for messages,
// HRESULTs as hex text and Unix paths (as CTest passes them) made into
// Windows paths on Wine's Z: drive.
#ifndef QORVEL_TESTS_SERVER_CHECK_H_
#define QORVEL_TESTS_SERVER_CHECK_H_

#include <cstdio>
#include <sstream>
#include <string>
#include <type_traits>

namespace check {

inline int& Failures() {
  static int failures = 0;
  return failures;
}
inline int& Checks() {
  static int checks = 0;
  return checks;
}
inline std::string& CurrentGroup() {
  static std::string group;
  return group;
}

inline std::string Utf8(const std::u16string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    char32_t cp = s[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[++i] - 0xDC00);
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | cp >> 6));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | cp >> 12));
      out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | cp >> 18));
      out.push_back(static_cast<char>(0x80 | (cp >> 12 & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
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

inline void Fail(const char* file, int line, const std::string& what) {
  ++Failures();
  std::printf("FAIL %s:%d [%s] %s\n", file, line, CurrentGroup().c_str(), what.c_str());
  std::fflush(stdout);
}

inline bool Check(bool ok, const char* file, int line, const char* expr, const std::string& note) {
  ++Checks();
  if (!ok) Fail(file, line, std::string(expr) + (note.empty() ? "" : " -- " + note));
  return ok;
}

template <class A, class B>
bool CheckEq(const A& a, const B& b, const char* file, int line, const char* ea, const char* eb,
             const std::string& note) {
  ++Checks();
  if (a == b) return true;
  Fail(file, line, std::string(ea) + " == " + eb + ": " + Show(a) + " vs " + Show(b) +
                       (note.empty() ? "" : " -- " + note));
  return false;
}

// Prints the totals; the program's exit status (0 when nothing failed).
inline int Finish() {
  std::printf("%d checks, %d failed\n", Checks(), Failures());
  return Failures() == 0 && Checks() > 0 ? 0 : 1;
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

#define GROUP(name) (::check::CurrentGroup() = (name))
#define CHECK(cond) ::check::Check(static_cast<bool>(cond), __FILE__, __LINE__, #cond, "")
#define CHECK_NOTE(cond, note) ::check::Check(static_cast<bool>(cond), __FILE__, __LINE__, #cond, note)
#define CHECK_EQ(a, b) ::check::CheckEq((a), (b), __FILE__, __LINE__, #a, #b, "")
#define CHECK_EQ_NOTE(a, b, note) ::check::CheckEq((a), (b), __FILE__, __LINE__, #a, #b, note)

#endif  // QORVEL_TESTS_SERVER_CHECK_H_
