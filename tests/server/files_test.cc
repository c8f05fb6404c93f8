// QORVEL.dll called as a script host calls it (late bound by name, each
// argument a variable passed by reference) where no data access provider is
// registered, so that the DLL's own engine reads the real files: the en-US
// lookup rows of the shared call table (their results the Linux build's) on
// billing.mdb, on a SQLite file written from its rows, on a copy in a folder
// with a non-ASCII name and on billing-large.mdb, from two client threads at
// once; a file that the component's password does not open, a missing
// file; and a file replaced while a client holds its connection. Each case runs on a thread of its own with its own
// apartment and object, so that the boxes shown once per thread and once
// per object start afresh; the boxes are read from standard error, where
// the test build writes them.
//
//   files_test DLL CALLS.TSV SHARED_DIR
//   (exits with 77, skipped, when SHARED_DIR has no fixtures)
#include <string>
#include <thread>
#include <vector>

#include "cases/calls_table.h"
#include "server/server_test.h"
#include "support/tsv_database.h"

namespace {

using namespace qorvel::server::testing;
using qorvel::cases::Call;

HMODULE g_server = nullptr;

// Calls `method` by name as a script host does: each argument a variable
// holding its text, passed by reference (VT_BYREF|VT_VARIANT), last
// argument first. Returns the result as a report shows it (its text in the
// user locale), or the failure's HRESULT.
std::string CallAsScript(IDispatch* object, const std::string& method, const std::vector<qorvel::Text>& args) {
  std::wstring name(method.begin(), method.end());
  LPOLESTR names = name.data();
  DISPID id = DISPID_UNKNOWN;
  const std::size_t n = args.size();
  std::vector<VariantValue> variables(n);
  std::vector<VARIANTARG> passed(n);
  for (std::size_t k = 0; k < n; ++k) {
    V_VT(variables[k].get()) = VT_BSTR;
    V_BSTR(variables[k].get()) = Bstr(args[k]).Release();
    V_VT(&passed[n - 1 - k]) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&passed[n - 1 - k]) = variables[k].get();
  }
  DISPPARAMS params{passed.data(), nullptr, static_cast<UINT>(n), 0};
  VariantValue result, text;
  HRESULT hr = object->GetIDsOfNames(IID_NULL, &names, 1, LOCALE_USER_DEFAULT, &id);
  if (SUCCEEDED(hr)) {
    hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &params,
                        result.get(), nullptr, nullptr);
  }
  if (SUCCEEDED(hr)) hr = VariantChangeTypeEx(text.get(), result.get(), LOCALE_USER_DEFAULT, 0, VT_BSTR);
  return FAILED(hr) ? "<failed: " + Show(static_cast<long>(hr)) + ">" : qorvel::ToUtf8(FromBstr(V_BSTR(text.get())));
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

std::string Utf8(const std::wstring& s) { return qorvel::server::testing::Utf8(s.c_str()); }

qorvel::Text Path(const std::wstring& file) { return qorvel::Text(file.begin(), file.end()); }

// The en-US lookup rows of `table`, each once for every file its
// placeholder stands for in `databases` (OnDatabases).
std::vector<Call> Rows(const std::vector<Call>& table, const qorvel::cases::Databases& databases) {
  std::string error;
  std::vector<Call> rows;
  for (const Call& call : qorvel::cases::OnDatabases(table, databases, error)) {
    if (call.locale == "en-US" && !call.database.empty()) rows.push_back(call);
  }
  Check(error.empty() && !rows.empty(), "rows of the table", error);
  return rows;
}

// Checks each row's result through `kx`, labelled with `who`.
void CheckRows(::_KX* kx, const std::vector<Call>& rows, const std::string& who) {
  for (const Call& call : rows) {
    CheckEq(CallAsScript(kx, call.method, call.args), qorvel::ToUtf8(call.expected),
            who + " calls.tsv:" + std::to_string(call.line) + " " + call.method + " " + qorvel::ToUtf8(call.database));
  }
}

// A copy of `from` at `to` that the test may change.
bool CopyWritable(const std::wstring& from, const std::wstring& to) {
  return CopyFileW(from.c_str(), to.c_str(), FALSE) && SetFileAttributesW(to.c_str(), FILE_ATTRIBUTE_NORMAL);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::printf("usage: files_test DLL CALLS.TSV SHARED_DIR\n");
    return 2;
  }
  const std::wstring fixtures = WindowsPath((std::string(argv[3]) + "/fixtures/").c_str());
  const std::wstring billing = fixtures + L"billing.mdb", large = fixtures + L"billing-large.mdb",
                     other = fixtures + L"billing-otherpassword.mdb";
  for (const std::wstring& file : {billing, large, other}) {
    if (GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES) {
      std::printf("skipped: no %s\n", Utf8(file).c_str());
      return 77;
    }
  }
  Group("load and files");
  std::string error;
  const std::vector<Call> table = qorvel::cases::ReadCalls(argv[2], error);
  g_server = LoadLibraryW(WindowsPath(argv[1]).c_str());
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring folder = temp + (L"qorvel-files-test-" + std::to_wstring(GetCurrentProcessId()) + L"\\");
  const std::wstring office = folder + L"B\u00fcro\\", year = office + L"Abrechnung 2024\\";
  const std::wstring replaced = folder + L"replaced.mdb",
                     sqlite = folder + L"billing.sqlite", copy = year + L"billing.mdb", missing = year + L"missing.mdb";
  if (!Check(error.empty(), "calls table read", error) || !CHECK(g_server) ||
      !CHECK(CreateDirectoryW(folder.c_str(), nullptr) && CreateDirectoryW(office.c_str(), nullptr) &&
             CreateDirectoryW(year.c_str(), nullptr)) ||
      !CHECK(CopyWritable(billing, copy) && CopyWritable(billing, replaced)) ||
      !CHECK_EQ(qorvel::testing::BuildSqliteFromTsv(HostPath(std::string(argv[3]) + "/fixtures/billing"), sqlite),
                std::string())) {
    return Finish();
  }

  Group("the lookup rows from two client threads at once, each with its own object");
  const std::vector<Call> rows =
      Rows(table, {{u"$billing", {Path(billing), Path(sqlite), Path(copy)}}, {u"$large", {Path(large)}}});
  Event started[2];
  auto client = [&](int index) {
    Apartment apartment;
    started[index].Set();
    started[1 - index].Wait();
    const ComPtr<::_KX> kx = CreateKx(g_server);
    if (CHECK(kx)) CheckRows(kx.get(), rows, "thread " + std::to_string(index));
  };
  std::thread one(client, 0), two(client, 1);
  one.join();
  two.join();

  const struct {
    const char* name;
    std::wstring file;
    const char* method;
    std::string shown;  // the result as a report shows it
    std::string boxes;  // what standard error gets
  } cases[] = {
      {"a file that the component's password does not open", other, "CreditAmount", "0",
       ConnectBox(Utf8(other), "The database password given does not open the file '" + Utf8(other) + "'.")},
      {"a missing file in a folder with a non-ASCII name", missing, "CreditAmount", "0",
       ConnectBox(Utf8(missing), "The database file '" + Utf8(missing) + "' does not exist.")},
  };
  for (const auto& c : cases) {
    Group(c.name);
    StderrToFile boxes(folder + L"boxes.txt");
    OnNewThread([&](::_KX* kx) {
      CheckEq(CallAsScript(kx, c.method, {Path(c.file), u"417"}), c.shown, c.method);
    });
    CheckEq(boxes.Text(), c.boxes, "boxes");
  }

  Group("a file replaced while a client holds its connection");
  StderrToFile boxes(folder + L"boxes.txt");
  OnNewThread([&](::_KX* kx) {
    CheckRows(kx, Rows(table, {{u"$billing", {Path(replaced)}}, {u"$large", {}}}), "before");
    if (!Check(CopyWritable(large, replaced), "replaced by billing-large.mdb", std::to_string(GetLastError()))) return;
    // A statement sees a change completed 100 ms before it starts; the
    // bound only ends a test that would never see it.
    const std::vector<Call> after = Rows(table, {{u"$billing", {}}, {u"$large", {Path(replaced)}}});
    if (after.empty()) return;
    const std::string first = qorvel::ToUtf8(after[0].expected);
    for (int k = 0; k < 200 && CallAsScript(kx, after[0].method, after[0].args) != first; ++k) Sleep(25);
    CheckRows(kx, after, "after");
  });
  CheckEq(boxes.Text(), std::string(), "boxes");

  FreeLibrary(g_server);
  for (const std::wstring& file : {replaced, sqlite, copy, folder + L"boxes.txt"}) DeleteFileW(file.c_str());
  for (const std::wstring& dir : {year, office, folder}) RemoveDirectoryW(dir.c_str());
  return Finish();
}
