// The check macros of the server's test programs, on the shared harness of
// the Windows tests (windows/check.h): a failure names the file, line and
// expression, and the values compared.
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

#include <string>

#include "windows/check.h"

namespace check {

using qorvel::wintest::Finish;

inline std::string Utf8(const std::u16string& s) { return qorvel::ToUtf8(s); }
inline std::string Utf8(const wchar_t* s) {
  return s ? Utf8(std::u16string(reinterpret_cast<const char16_t*>(s))) : std::string("(null)");
}

inline std::string Where(const char* file, int line, const std::string& expression) {
  return std::string(file) + ":" + std::to_string(line) + " " + expression;
}

template <class A, class B>
bool CheckEq(const A& a, const B& b, const std::string& what, const std::string& note) {
  using qorvel::wintest::Show;
  return qorvel::wintest::Check(a == b, what, Show(a) + " vs " + Show(b) + (note.empty() ? "" : " -- " + note));
}

// A Unix path ("/work/x/QORVEL.dll") as a path on Wine's Z: drive; other
// paths unchanged.
inline std::wstring WindowsPath(const char* path) {
  std::wstring out;
  for (const unsigned char c : qorvel::wintest::HostPath(path)) out.push_back(c);
  return out;
}

}  // namespace check

#define GROUP(name) ::qorvel::wintest::Group(name)
#define CHECK(cond) ::qorvel::wintest::Check(static_cast<bool>(cond), ::check::Where(__FILE__, __LINE__, #cond))
#define CHECK_NOTE(cond, note) \
  ::qorvel::wintest::Check(static_cast<bool>(cond), ::check::Where(__FILE__, __LINE__, #cond), note)
#define CHECK_EQ(a, b) ::check::CheckEq((a), (b), ::check::Where(__FILE__, __LINE__, #a " == " #b), "")
#define CHECK_EQ_NOTE(a, b, note) ::check::CheckEq((a), (b), ::check::Where(__FILE__, __LINE__, #a " == " #b), note)

#endif  // QORVEL_TESTS_SERVER_CHECK_H_
