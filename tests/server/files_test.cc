// Real database files through QORVEL.dll where no data access provider is
// registered, so that the DLL's own engine reads them: a file that the
// component's password does not open, a damaged data page, a missing file
// and a copy in a folder with a non-ASCII name, two client threads at once,
// and a file replaced while a client holds its connection. Each case runs
// on a thread of its own with its own apartment and object, so that the
// boxes shown once per thread and once per object start afresh; the boxes
// are read from standard error, where the test build writes them. The
// expected results and box texts are the Linux build's on the same files.
//
//   files_test DLL SHARED_DIR
//   (exits with 77, skipped, when SHARED_DIR has no fixtures)
#include <string>
#include <thread>
#include <vector>

#include "server/server_test.h"

namespace {

using namespace qorvel::server::testing;
using qorvel::server::Bstr;
using qorvel::server::ComPtr;
using qorvel::server::FromBstr;
using qorvel::server::VariantValue;

HMODULE g_server = nullptr;

// Calls `method` (one of the lookups that take a database and a person)
// late bound for person 417 on `path`; its result as a report shows it.
std::string Lookup(::_KX* kx, const std::string& method, const std::wstring& path) {
  std::wstring name(method.begin(), method.end());
  LPOLESTR names = name.data();
  DISPID id = DISPID_UNKNOWN;
  Bstr file(qorvel::Text(path.begin(), path.end()));
  VARIANTARG args[2];  // last argument first
  V_VT(&args[0]) = VT_I4;
  V_I4(&args[0]) = 417;
  V_VT(&args[1]) = VT_BSTR;
  V_BSTR(&args[1]) = file.get();
  DISPPARAMS params{args, nullptr, 2, 0};
  VariantValue result, text;
  if (FAILED(kx->GetIDsOfNames(IID_NULL, &names, 1, LOCALE_USER_DEFAULT, &id)) ||
      FAILED(kx->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result.get(), nullptr, nullptr)) ||
      FAILED(VariantChangeTypeEx(text.get(), result.get(), LOCALE_USER_DEFAULT, 0, VT_BSTR))) {
    return "<failed>";
  }
  return qorvel::ToUtf8(FromBstr(V_BSTR(text.get())));
}

// Runs `body` with a new object on a new thread in its own apartment.
template <class Body>
void OnNewThread(const Body& body) {
  std::thread([&] {
    Apartment apartment;
    const ComPtr<::_KX> kx = CreateKx(g_server);
    if (CHECK(kx)) body(kx.get());
  }).join();
}

struct Call {
  const char* method;
  std::string shown;  // the result as a report shows it
};

struct Case {
  const char* name;
  std::wstring file;
  std::vector<Call> calls;
  std::string boxes;  // what standard error gets
};

std::string Utf8(const std::wstring& s) { return qorvel::server::testing::Utf8(s.c_str()); }

// A copy of `from` at `to` that the test may change.
bool CopyWritable(const std::wstring& from, const std::wstring& to) {
  return CopyFileW(from.c_str(), to.c_str(), FALSE) && SetFileAttributesW(to.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Zeroes page `page` (4 KB pages) of the file `path`.
bool ZeroPage(const std::wstring& path, long page) {
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const std::string zeros(4096, '\0');
  DWORD written = 0;
  const bool ok = SetFilePointer(file, page * 4096, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
                  WriteFile(file, zeros.data(), 4096, &written, nullptr) && written == 4096;
  CloseHandle(file);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::printf("usage: files_test DLL SHARED_DIR\n");
    return 2;
  }
  const std::wstring fixtures = WindowsPath((std::string(argv[2]) + "/fixtures/").c_str());
  const std::wstring billing = fixtures + L"billing.mdb", large = fixtures + L"billing-large.mdb",
                     other = fixtures + L"billing-otherpassword.mdb";
  for (const std::wstring& file : {billing, large, other}) {
    if (GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES) {
      std::printf("skipped: no %s\n", Utf8(file).c_str());
      return 77;
    }
  }
  Group("load and files");
  g_server = LoadLibraryW(WindowsPath(argv[1]).c_str());
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring folder = temp + (L"qorvel-files-test-" + std::to_wstring(GetCurrentProcessId()) + L"\\");
  const std::wstring office = folder + L"B\u00fcro\\", year = office + L"Abrechnung 2024\\";
  const std::wstring damaged = folder + L"damaged.mdb", replaced = folder + L"replaced.mdb",
                     copy = year + L"billing.mdb", missing = year + L"missing.mdb";
  // Page 44 is a data page of the table Credit.
  if (!CHECK(g_server) ||
      !CHECK(CreateDirectoryW(folder.c_str(), nullptr) && CreateDirectoryW(office.c_str(), nullptr) &&
             CreateDirectoryW(year.c_str(), nullptr)) ||
      !CHECK(CopyWritable(billing, damaged) && ZeroPage(damaged, 44) && CopyWritable(billing, copy) &&
             CopyWritable(billing, replaced))) {
    return Finish();
  }

  const Case cases[] = {
      {"a file that the component's password does not open",
       other,
       {{"CreditAmount", "0"}, {"LastPaymentDate", ""}, {"CreditAmount", "0"}},
       ConnectBox(Utf8(other), "The database password given does not open the file '" + Utf8(other) + "'.")},
      {"a damaged data page: the error result, its box once",
       damaged,
       {{"CreditAmount", "-0.01"}, {"CreditAmount", "-0.01"}, {"LastPaymentDate", "03/31/2011"}},
       BoxText(0, "CreditAmount\n-2147286775\nThe database file '" + Utf8(damaged) +
                      "' is damaged: page 44, listed in the page map of table 'Credit', is not one of its data "
                      "pages.")},
      {"a missing file in a folder with a non-ASCII name",
       missing,
       {{"CreditAmount", "0"}, {"LastPaymentAmt", "0"}},
       ConnectBox(Utf8(missing), "The database file '" + Utf8(missing) + "' does not exist.")},
      {"a copy in a folder with a non-ASCII name",
       copy,
       {{"CreditAmount", "330.5"}, {"LastPaymentDate", "03/31/2011"}},
       ""},
  };
  for (const Case& c : cases) {
    Group(c.name);
    StderrToFile boxes(folder + L"boxes.txt");
    OnNewThread([&](::_KX* kx) {
      for (const Call& call : c.calls) CheckEq(Lookup(kx, call.method, c.file), call.shown, call.method);
    });
    CheckEq(boxes.Text(), c.boxes, "boxes");
  }

  Group("two client threads at once, each with its own object");
  const std::vector<Call> calls = {
      {"CreditAmount", "330.5"}, {"CreditAmountRetainer", "250.5"}, {"LastPaymentAmt", "10"},
      {"LastPaymentDate", "03/31/2011"}};
  std::string expected, got[2];
  for (int round = 0; round < 3; ++round) {
    for (const Call& call : calls) expected += call.shown + ";";
  }
  Event started[2];
  auto client = [&](int index) {
    Apartment apartment;
    started[index].Set();
    started[1 - index].Wait();
    const ComPtr<::_KX> kx = CreateKx(g_server);
    for (int round = 0; kx && round < 3; ++round) {
      for (const Call& call : calls) got[index] += Lookup(kx.get(), call.method, billing) + ";";
    }
  };
  std::thread one(client, 0), two(client, 1);
  one.join();
  two.join();
  CheckEq(got[0], expected, "the first thread");
  CheckEq(got[1], expected, "the second thread");

  Group("a file replaced while a client holds its connection");
  StderrToFile boxes(folder + L"boxes.txt");
  OnNewThread([&](::_KX* kx) {
    CheckEq(Lookup(kx, "CreditAmount", replaced), std::string("330.5"), "before");
    if (!Check(CopyWritable(large, replaced), "replaced by billing-large.mdb", std::to_string(GetLastError()))) return;
    // A statement sees a change completed 100 ms before it starts; the
    // bound only ends a test that would never see it.
    std::string now;
    for (int k = 0; k < 200 && (now = Lookup(kx, "CreditAmount", replaced)) != "762.25"; ++k) Sleep(25);
    CheckEq(now, std::string("762.25"), "after");
  });
  CheckEq(boxes.Text(), std::string(), "boxes");

  FreeLibrary(g_server);
  for (const std::wstring& file : {damaged, replaced, copy, folder + L"boxes.txt"}) DeleteFileW(file.c_str());
  for (const std::wstring& dir : {year, office, folder}) RemoveDirectoryW(dir.c_str());
  return Finish();
}
