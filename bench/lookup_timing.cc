// Times the sixteen lookups on billing-large.mdb by one procedure on every
// system, so that the Windows DLL under Wine and the Linux library can be
// compared figure by figure (bench/wine_ratio.sh runs both and prints the
// ratios; it is not a test):
//
//   lookup_timing first LOOKUP DB    the first answer of the process: the
//                                    object is made, then one call of
//                                    LOOKUP (for client 1) is timed, which
//                                    opens DB, checks its password, loads
//                                    the tables the statement names and
//                                    builds the indexes it needs. DB should
//                                    be a fresh copy of the file.
//   lookup_timing warm DB [ROUNDS]   each lookup warm: 64 calls, for clients
//                                    1, 313, 625, ... (as the Google
//                                    Benchmark program lookups_bench has
//                                    them), load what it needs; then
//                                    ROUNDS rounds (default 101) of the
//                                    same 64 calls, each round timed whole;
//                                    the median round over 64.
//
// On Windows the calls go to the registered QORVEL.dll: an object of class
// QORVEL.KX made through COM and called early bound through its _KX vtable,
// as a compiled report host calls it (BSTR, long*, CURRENCY; the database
// path is a new BSTR for each call). With --direct, and always on Linux,
// they go to the library's qorvel::KX linked into this program. A Unix
// path given on Windows is read through Wine's drive Z:.
//
// Output, one line per figure: "first LOOKUP MILLISECONDS CREATE_MS" (the
// call, and the making of the object before it) or "warm LOOKUP
// MICROSECONDS CHECKSUM"; the checksum is of the answers of one round,
// equal on every system when the answers are.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "qorvel/host.h"
#include "qorvel/kx.h"

#ifdef _WIN32
#include "platform/windows/com.h"
#include "qorvel_idl.h"
#endif

namespace {

using qorvel::Currency;
using qorvel::DateTime;
using qorvel::Integer;
using qorvel::Long;
using qorvel::Text;
using Clock = std::chrono::steady_clock;

// A running FNV-1a hash of the answers.
struct Checksum {
  std::uint64_t value = 14695981039346656037ull;
  void Add(std::uint64_t x) {
    for (int i = 0; i < 8; ++i) value = (value ^ ((x >> (8 * i)) & 0xff)) * 1099511628211ull;
  }
  void Add(const Text& text) {
    for (char16_t c : text) Add(static_cast<std::uint64_t>(c));
    Add(static_cast<std::uint64_t>(text.size()));
  }
  void Add(Currency c) { Add(static_cast<std::uint64_t>(c.raw())); }
  void Add(Long l) { Add(static_cast<std::uint64_t>(static_cast<std::int64_t>(l))); }
};

#ifdef _WIN32
using qorvel::platform::windows::Bstr;

// The lookups of the registered DLL's _KX vtable, with the library's types.
// A failed call (never expected: the methods return error results instead)
// ends the program.
class ComKX {
 public:
  explicit ComKX(::_KX* kx) : kx_(kx) {}

  Text LastModified(const Text& db, const Text& table, Long id) {
    long p = id;
    Bstr r;
    Check(kx_->LastModified(Bstr(db).get(), Bstr(table).get(), &p, r.Receive()));
    return r.ToText();
  }
  Text LastModifiedCaseClient(const Text& db, const Text& category, Long id) {
    long p = id;
    Bstr r;
    Check(kx_->LastModifiedCaseClient(Bstr(db).get(), Bstr(category).get(), &p, r.Receive()));
    return r.ToText();
  }
  Text LastPaymentDate(const Text& db, Long id) {
    long p = id;
    Bstr r;
    Check(kx_->LastPaymentDate(Bstr(db).get(), &p, r.Receive()));
    return r.ToText();
  }
  Currency LastPaymentAmt(const Text& db, Long id) { return Money(&::_KX::LastPaymentAmt, db, id); }
  Currency CreditAmount(const Text& db, Long id) { return Money(&::_KX::CreditAmount, db, id); }
  Currency CreditAmountRetainer(const Text& db, Long id) { return Money(&::_KX::CreditAmountRetainer, db, id); }
  Currency PrevBalDue(const Text& db, Long id, Long invoice) {
    long p = id, n = invoice;
    CURRENCY r{};
    Check(kx_->PrevBalDue(Bstr(db).get(), &p, &n, &r));
    return Currency::FromRaw(r.int64);
  }
  Text PrevInvDateEntered(const Text& db, Long id, Long invoice) {
    long p = id, n = invoice;
    Bstr r;
    Check(kx_->PrevInvDateEntered(Bstr(db).get(), &p, &n, r.Receive()));
    return r.ToText();
  }
  Currency AgedInvBalances(const Text& db, Long id, Integer start, Integer end) {
    long p = id;
    short s = start, e = end;
    CURRENCY r{};
    Check(kx_->AgedInvBalances(Bstr(db).get(), &p, &s, &e, &r));
    return Currency::FromRaw(r.int64);
  }
  Long PymtCountByDateRange(const Text& db, Long id, const Text& from, const Text& to) {
    long p = id, r = 0;
    Bstr f(from), t(to);
    BSTR fb = f.get(), tb = t.get();
    Check(kx_->PymtCountByDateRange(Bstr(db).get(), &p, &fb, &tb, &r));
    return r;
  }
  Currency InvoiceBalance(const Text& db, Long invoice) { return Money(&::_KX::InvoiceBalance, db, invoice); }
  Currency InvoiceFee(const Text& db, Long invoice) { return Money(&::_KX::InvoiceFee, db, invoice); }
  Text LTCBenefitTypeEnabledYN(const Text& db, Long id, const Text& type) {
    long p = id;
    Bstr t(type), r;
    BSTR tb = t.get();
    Check(kx_->LTCBenefitTypeEnabledYN(Bstr(db).get(), &p, &tb, r.Receive()));
    return r.ToText();
  }
  Currency PymtsByDateRange(const Text& db, Long id, DateTime from, DateTime to, const Text& code) {
    return Range(&::_KX::PymtsByDateRange, db, id, from, to, code);
  }
  Currency WOffsByDateRange(const Text& db, Long id, DateTime from, DateTime to, const Text& code) {
    return Range(&::_KX::WOffsByDateRange, db, id, from, to, code);
  }
  Currency FeesByDateRange(const Text& db, Long id, DateTime from, DateTime to, const Text& code) {
    return Range(&::_KX::FeesByDateRange, db, id, from, to, code);
  }

 private:
  static void Check(HRESULT hr) {
    if (FAILED(hr)) {
      std::fprintf(stderr, "lookup_timing: a call failed with 0x%08lx\n", static_cast<unsigned long>(hr));
      std::exit(1);
    }
  }
  Currency Money(HRESULT (STDMETHODCALLTYPE ::_KX::*method)(BSTR, long*, CURRENCY*), const Text& db, Long id) {
    long p = id;
    CURRENCY r{};
    Check((kx_->*method)(Bstr(db).get(), &p, &r));
    return Currency::FromRaw(r.int64);
  }
  Currency Range(HRESULT (STDMETHODCALLTYPE ::_KX::*method)(BSTR, long*, DATE*, DATE*, BSTR*, CURRENCY*),
                 const Text& db, Long id, DateTime from, DateTime to, const Text& code) {
    long p = id;
    DATE f = from.value(), t = to.value();
    Bstr c(code);
    BSTR cb = c.get();
    CURRENCY r{};
    Check((kx_->*method)(Bstr(db).get(), &p, &f, &t, &cb, &r));
    return Currency::FromRaw(r.int64);
  }

  ::_KX* kx_;
};
#endif

const DateTime kFrom(40179.0);  // 2010-01-01
const DateTime kTo(40908.0);    // 2011-12-31

// One lookup: its name and one call for a client (or an invoice of it).
template <typename K>
struct Lookup {
  const char* name;
  void (*call)(K& kx, const Text& db, Long id, Checksum& sum);
};

template <typename K>
const Lookup<K> kLookups[] = {
    {"LastModified", [](K& kx, const Text& db, Long id, Checksum& s) { s.Add(kx.LastModified(db, u"Client", id)); }},
    {"LastModifiedCaseClient",
     [](K& kx, const Text& db, Long id, Checksum& s) { s.Add(kx.LastModifiedCaseClient(db, u"Billing", id)); }},
    {"LastPaymentDate", [](K& kx, const Text& db, Long id, Checksum& s) { s.Add(kx.LastPaymentDate(db, id)); }},
    {"LastPaymentAmt", [](K& kx, const Text& db, Long id, Checksum& s) { s.Add(kx.LastPaymentAmt(db, id)); }},
    {"CreditAmount", [](K& kx, const Text& db, Long id, Checksum& s) { s.Add(kx.CreditAmount(db, id)); }},
    {"CreditAmountRetainer",
     [](K& kx, const Text& db, Long id, Checksum& s) { s.Add(kx.CreditAmountRetainer(db, id)); }},
    {"PrevBalDue", [](K& kx, const Text& db, Long id, Checksum& s) { s.Add(kx.PrevBalDue(db, id, Long{40000})); }},
    {"PrevInvDateEntered",
     [](K& kx, const Text& db, Long id, Checksum& s) { s.Add(kx.PrevInvDateEntered(db, id, Long{40000})); }},
    {"AgedInvBalances",
     [](K& kx, const Text& db, Long id, Checksum& s) {
       s.Add(kx.AgedInvBalances(db, id, Integer{0}, Integer{32767}));
     }},
    {"PymtCountByDateRange",
     [](K& kx, const Text& db, Long id, Checksum& s) {
       s.Add(kx.PymtCountByDateRange(db, id, u"1/1/2010", u"12/31/2011 23:59:59"));
     }},
    {"InvoiceBalance", [](K& kx, const Text& db, Long id, Checksum& s) { s.Add(kx.InvoiceBalance(db, 1000 + id)); }},
    {"InvoiceFee", [](K& kx, const Text& db, Long id, Checksum& s) { s.Add(kx.InvoiceFee(db, 1000 + id)); }},
    {"LTCBenefitTypeEnabledYN",
     [](K& kx, const Text& db, Long id, Checksum& s) { s.Add(kx.LTCBenefitTypeEnabledYN(db, id, u"Respite")); }},
    {"PymtsByDateRange",
     [](K& kx, const Text& db, Long id, Checksum& s) { s.Add(kx.PymtsByDateRange(db, id, kFrom, kTo, u"")); }},
    {"WOffsByDateRange",
     [](K& kx, const Text& db, Long id, Checksum& s) { s.Add(kx.WOffsByDateRange(db, id, kFrom, kTo, u"")); }},
    {"FeesByDateRange",
     [](K& kx, const Text& db, Long id, Checksum& s) { s.Add(kx.FeesByDateRange(db, id, kFrom, kTo, u"")); }},
};

constexpr int kClients = 64;
Long Client(int i) { return 1 + i * 313; }

double Milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

template <typename K>
int First(K& kx, std::string_view name, const Text& db, double create_ms) {
  for (const Lookup<K>& lookup : kLookups<K>) {
    if (name != lookup.name) continue;
    Checksum sum;
    const Clock::time_point start = Clock::now();
    lookup.call(kx, db, Client(0), sum);
    const double ms = Milliseconds(Clock::now() - start);
    std::printf("first %s %.3f %.3f\n", lookup.name, ms, create_ms);
    return 0;
  }
  std::fprintf(stderr, "lookup_timing: no lookup %.*s\n", static_cast<int>(name.size()), name.data());
  return 2;
}

template <typename K>
int Warm(K& kx, const Text& db, int rounds) {
  for (const Lookup<K>& lookup : kLookups<K>) {
    Checksum sum;
    for (int i = 0; i < kClients; ++i) lookup.call(kx, db, Client(i), sum);
    std::vector<double> per_call;
    for (int r = 0; r < rounds; ++r) {
      Checksum round;
      const Clock::time_point start = Clock::now();
      for (int i = 0; i < kClients; ++i) lookup.call(kx, db, Client(i), round);
      per_call.push_back(Milliseconds(Clock::now() - start) * 1000.0 / kClients);
      if (round.value != sum.value) {
        std::fprintf(stderr, "lookup_timing: %s answered differently in round %d\n", lookup.name, r);
        return 1;
      }
    }
    std::nth_element(per_call.begin(), per_call.begin() + rounds / 2, per_call.end());
    std::printf("warm %s %.3f %016llx\n", lookup.name, per_call[rounds / 2],
                static_cast<unsigned long long>(sum.value));
    std::fflush(stdout);
  }
  return 0;
}

// Calls `body` with the object to time (made inside, its making timed).
template <typename Body>
int WithObject(bool direct, Body body) {
  if (direct) {
    const Clock::time_point start = Clock::now();
    qorvel::KX kx;
    return body(kx, Milliseconds(Clock::now() - start));
  }
#ifdef _WIN32
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  int status = 1;
  {
    const Clock::time_point start = Clock::now();
    CLSID clsid;
    ::_KX* object = nullptr;
    if (FAILED(CLSIDFromProgID(L"QORVEL.KX", &clsid)) ||
        FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID__KX, reinterpret_cast<void**>(&object)))) {
      std::fprintf(stderr, "lookup_timing: no object of class QORVEL.KX (is QORVEL.dll registered?)\n");
    } else {
      ComKX kx(object);
      status = body(kx, Milliseconds(Clock::now() - start));
      object->Release();
    }
  }
  CoUninitialize();
  return status;
#else
  return 2;
#endif
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  bool direct = true;
#ifdef _WIN32
  direct = false;
#endif
  if (auto it = std::find(args.begin(), args.end(), "--direct"); it != args.end()) {
    direct = true;
    args.erase(it);
  }
  const bool first = args.size() == 3 && args[0] == "first";
  const bool warm = (args.size() == 2 || args.size() == 3) && args[0] == "warm";
  if (!first && !warm) {
    std::fprintf(stderr,
                 "usage: lookup_timing first LOOKUP DB [--direct]\n"
                 "       lookup_timing warm DB [ROUNDS] [--direct]\n");
    return 2;
  }
  std::string path = first ? args[2] : args[1];
#ifdef _WIN32
  if (!path.empty() && path.front() == '/') path = "Z:" + path;
  std::replace(path.begin(), path.end(), '/', '\\');
#else
  qorvel::SetUserLocale("en-US");
#endif
  const Text db = qorvel::FromUtf8(path);
  const int rounds = warm && args.size() == 3 ? std::max(1, std::atoi(args[2].c_str())) : 101;
  return WithObject(direct, [&](auto& kx, double create_ms) {
    return first ? First(kx, args[1], db, create_ms) : Warm(kx, db, rounds);
  });
}
