// The demo billing database. Rows are drawn from a small fixed generator
// (not the standard library's distributions, whose results differ between
// implementations), so a seed and a day always give the same file.
#include "demo_db.h"

#include <sqlite3.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>

#include "cli.h"
#include "qorvel/date_time.h"

namespace qorvel::tool {
namespace {

// A 64-bit linear congruential generator; plenty for demo data.
class Random {
 public:
  explicit Random(std::uint32_t seed) : state_(seed * 6364136223846793005ull + 1442695040888963407ull) {}
  std::uint32_t Next() {
    state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<std::uint32_t>(state_ >> 33);
  }
  // A whole number from lo to hi inclusive.
  int Between(int lo, int hi) { return lo + static_cast<int>(Next() % static_cast<std::uint32_t>(hi - lo + 1)); }
  bool Chance(int percent) { return Between(1, 100) <= percent; }
  template <std::size_t N>
  const char* Pick(const char* const (&items)[N]) { return items[Next() % N]; }

 private:
  std::uint64_t state_;
};

const char* const kFirst[] = {"John", "Mary", "Ann", "Robert", "Linda", "James", "Patricia",
                              "Michael", "Barbara", "William", "Elizabeth", "David", "Susan",
                              "Richard", "Jessica", "Joseph", "Sarah", "Thomas", "Karen", "Zoë"};
const char* const kMiddle[] = {"Q", "Ann", "Lee", "J", "Marie", "Paul", "R", "Grace"};
const char* const kLast[] = {"Smith", "Jones", "Brown", "Garcia", "Miller", "Davis", "Wilson",
                             "Anderson", "Taylor", "Thomas", "Moore", "Martin", "Jackson",
                             "White", "Harris", "Clark", "Lewis", "Walker", "Hall", "Young"};
const char* const kStreets[] = {"Oak St", "Elm Rd", "Maple Ave", "Cedar Ln", "Pine St",
                                "Lakeview Dr", "Hill Rd", "Main St", "Park Ave", "River Rd"};
const char* const kCities[] = {"Springfield", "Portland", "Madison", "Franklin", "Clinton",
                               "Georgetown", "Salem", "Fairview", "Riverside", "Greenville"};
const char* const kStates[] = {"IL", "OR", "WI", "TN", "MA", "KY", "NH", "OH", "CA", "SC"};
const char* const kProviders[] = {"HH1", "HH 1", "RN2", "PT3", "OT4"};
const char* const kBenefits[] = {"Respite", "Home Care", "Transport", "Meals"};
const char* const kCategories[] = {"Billing", "Medical", "Client's Family"};

struct Day {
  double serial;  // automation date of midnight
};

std::string DateText(double serial) {
  return DateTime(serial).ToIsoString().replace(10, 1, " ");
}

std::string Money(long long cents) {
  const bool negative = cents < 0;
  const unsigned long long magnitude = negative ? static_cast<unsigned long long>(-cents)
                                                : static_cast<unsigned long long>(cents);
  char buf[40];
  std::snprintf(buf, sizeof buf, "%s%llu.%02llu", negative ? "-" : "", magnitude / 100, magnitude % 100);
  return buf;
}

// The stored form of a Social Security number: the last five digits first,
// then the first four, each digit d as the character 64 + d.
std::string StoredSsn(const std::string& digits) {
  const std::string rotated = digits.substr(4) + digits.substr(0, 4);
  std::string out;
  for (const char c : rotated) out += static_cast<char>('@' + (c - '0'));
  return out;
}

class Writer {
 public:
  explicit Writer(sqlite3* db) : db_(db) {}
  bool Exec(const std::string& sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
      error_ = message ? message : "SQLite failed";
      sqlite3_free(message);
      return false;
    }
    return true;
  }
  // Inserts one row; each value is SQL text already ("NULL", 12, 'text').
  void Row(const std::string& table, const std::vector<std::string>& values) {
    std::string sql = "INSERT INTO " + table + " VALUES (";
    for (std::size_t i = 0; i < values.size(); ++i) sql += (i ? ", " : "") + values[i];
    Exec(sql + ")");
  }
  const std::string& error() const { return error_; }

 private:
  sqlite3* db_;
  std::string error_;
};

std::string Q(const std::string& text) {
  std::string out = "'";
  for (const char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out + "'";
}
std::string N(long long n) { return std::to_string(n); }
const std::string kNull = "NULL";

std::string Guid(long long person, int n) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "{%08llX-%04X-4000-8000-%012llX}", person, n & 0xFFFF,
                static_cast<unsigned long long>(person * 1000 + n));
  return buf;
}

constexpr char kSchema[] =
    "CREATE TABLE Client (PeopleID LONG, FirstName TEXT, MiddleName TEXT, LastName TEXT, "
    "Address1 TEXT, Address2 TEXT, Address3 TEXT, City TEXT, State TEXT, Zip TEXT, Phone TEXT, "
    "SSN TEXT, DateEntered DATETIME, DateModified DATETIME);"
    "CREATE TABLE ActivityLog (GUID GUID, PeopleID LONG, Active INT, ActivityDate DATETIME, "
    "Fee MONEY, Balance MONEY, InvoiceNumber LONG, InvoiceDate DATETIME, CareProviderID TEXT);"
    "CREATE TABLE Payment (ActivityLogGUID GUID, Active INT, PaymentDate DATETIME, "
    "DateEntered DATETIME, Payment MONEY, WriteOff MONEY);"
    "CREATE TABLE Invoice (InvoiceNumber LONG, PeopleID LONG, Status INT, DateEntered DATETIME);"
    "CREATE TABLE Credit (PeopleID LONG, Balance MONEY, Active INT, Retainer INT);"
    "CREATE TABLE CaseClientContact (PeopleID LONG, Category TEXT, DateEntered DATETIME, "
    "DateModified DATETIME);"
    "CREATE TABLE LTCBenefit (PeopleID LONG, BenefitType TEXT, Enabled INT);";

void WriteClient(Writer& w, Random& r, long id, double today, int* next_invoice) {
  const bool rich = id == kDemoClient;
  const bool empty = id == kDemoClientWithoutRows;
  // The client row.
  const std::string first = rich ? "John" : r.Pick(kFirst);
  const std::string last = rich ? "O'Brien" : r.Pick(kLast);
  const std::string middle = rich ? "Q" : (r.Chance(60) ? r.Pick(kMiddle) : "");
  const int house = r.Between(1, 9999);
  const std::string zip5 = std::to_string(r.Between(10000, 99999));
  const std::string zip = rich || r.Chance(50) ? zip5 + std::to_string(r.Between(1000, 9999)) : zip5;
  std::string ssn_digits;
  for (int i = 0; i < 9; ++i) ssn_digits += static_cast<char>('0' + r.Between(i == 0 ? 1 : 0, 9));
  const double entered = today - r.Between(900, 1095);
  w.Row("Client", {N(id), Q(first), middle.empty() ? kNull : Q(middle), Q(last),
                   Q(std::to_string(house) + " " + r.Pick(kStreets)),
                   rich || r.Chance(30) ? Q("Apt " + std::to_string(r.Between(1, 40))) : kNull,
                   rich ? Q("Bldg C") : kNull, Q(r.Pick(kCities)), Q(r.Pick(kStates)),
                   rich ? Q(zip) : (r.Chance(5) ? Q(" " + zip5 + " ") : Q(zip)),
                   r.Chance(90) || rich ? Q("555" + std::to_string(r.Between(1000000, 9999999))) : kNull,
                   r.Chance(85) || rich ? Q(StoredSsn(ssn_digits)) : (r.Chance(50) ? Q(ssn_digits) : kNull),
                   Q(DateText(entered)),
                   r.Chance(70) || rich ? Q(DateText(entered + r.Between(1, 800) + 0.5)) : kNull});
  if (empty) return;

  // Invoices about monthly, each billing one to four activities. Older
  // invoices are mostly paid; the last months stay partly open, so every
  // ageing bucket has something.
  const int months = rich ? 36 : r.Between(3, 36);
  int activity = 0;
  for (int m = months; m >= 1; --m) {
    const int jitter = r.Between(-3, 3);
    // The demo client's invoices fall in the middle of the ageing buckets.
    const double invoice_date = today - m * 30 + (rich ? 10 : jitter);
    const int number = (*next_invoice)++;
    const bool voided = !rich && r.Chance(4);
    w.Row("Invoice", {N(number), N(id), N(voided ? 0 : 1),
                      Q(DateText(invoice_date + r.Between(8, 17) / 24.0))});
    const int items = r.Between(1, 4);
    for (int k = 0; k < items; ++k) {
      const std::string guid = Guid(id, ++activity);
      const long long fee = r.Between(25, 250) * 100 + r.Between(0, 3) * 25;
      long long balance = 0;
      if (m <= 4) balance = fee - (r.Chance(50) ? r.Between(0, static_cast<int>(fee / 2)) : 0);
      else if (r.Chance(8)) balance = r.Between(1, static_cast<int>(fee));
      const bool active = rich || !r.Chance(3);
      w.Row("ActivityLog", {Q(guid), N(id), N(active ? 1 : 0),
                            Q(DateText(invoice_date - r.Between(5, 25) + r.Between(8, 17) / 24.0)),
                            Q(Money(fee)), balance == 0 && r.Chance(2) ? kNull : Q(Money(balance)),
                            N(number), Q(DateText(invoice_date)), Q(r.Pick(kProviders))});
      const long long paid_and_written = fee - balance;
      if (paid_and_written > 0) {
        const long long written = r.Chance(15) ? std::min<long long>(paid_and_written, r.Between(1, 20) * 100) : 0;
        const double paid_on = invoice_date + r.Between(3, 25) + r.Between(9, 18) / 24.0;
        w.Row("Payment", {Q(guid), N(r.Chance(97) ? 1 : 0), Q(DateText(std::min(paid_on, today - 1))),
                          Q(DateText(std::min(paid_on, today - 1) + 1.0 / 48)),
                          Q(Money(paid_and_written - written)), Q(Money(written))});
      }
    }
  }
  // Activity not invoiced yet.
  if (rich || r.Chance(40)) {
    w.Row("ActivityLog", {Q(Guid(id, ++activity)), N(id), N(1), Q(DateText(today - r.Between(1, 9))),
                          Q(Money(r.Between(25, 120) * 100)), Q(Money(r.Between(25, 120) * 100)),
                          kNull, kNull, Q(r.Pick(kProviders))});
  }
  // An invoice dated in the future, as happens when one is entered early.
  if (rich || r.Chance(5)) {
    const int number = (*next_invoice)++;
    const double future = today + r.Between(5, 20);
    w.Row("Invoice", {N(number), N(id), N(1), Q(DateText(future))});
    w.Row("ActivityLog", {Q(Guid(id, ++activity)), N(id), N(1), Q(DateText(today)),
                          Q(Money(4500)), Q(Money(4500)), N(number), Q(DateText(future)), Q("HH1")});
  }
  // Credits, some of them retainers; a Null balance now and then.
  const int credits = rich ? 3 : (r.Chance(35) ? r.Between(1, 3) : 0);
  for (int c = 0; c < credits; ++c) {
    const bool retainer = rich ? c == 1 : r.Chance(30);
    w.Row("Credit", {N(id), r.Chance(5) && !rich ? kNull : Q(Money(r.Between(10, 500) * 100 + (rich ? 50 : 0))),
                     N(rich || r.Chance(85) ? 1 : 0), N(retainer ? 1 : 0)});
  }
  // Contact entries.
  const int contacts = rich ? 3 : r.Between(0, 3);
  for (int c = 0; c < contacts; ++c) {
    const double on = today - r.Between(10, 1000);
    w.Row("CaseClientContact", {N(id), Q(rich ? kCategories[c] : r.Pick(kCategories)), Q(DateText(on)),
                                r.Chance(60) ? Q(DateText(on + r.Between(1, 9))) : kNull});
  }
  // Benefit flags: 1 is enabled; 0, 2 and Null are not.
  for (const char* benefit : kBenefits) {
    if (!rich && !r.Chance(40)) continue;
    const int pick = r.Between(0, 9);
    const std::string enabled = rich ? N(benefit == kBenefits[0] || benefit == kBenefits[3] ? 1 : 0)
                                     : (pick < 5 ? "1" : pick < 8 ? "0" : pick < 9 ? "2" : kNull);
    w.Row("LTCBenefit", {N(id), Q(benefit), enabled});
  }
}

}  // namespace

std::string LocalToday() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buf[16];
  std::strftime(buf, sizeof buf, "%Y-%m-%d", &local);
  return buf;
}

std::string WriteDemoDatabase(const std::string& path, const std::string& today, std::uint32_t seed) {
  int y = 0, m = 0, d = 0;
  if (std::sscanf(today.c_str(), "%d-%d-%d", &y, &m, &d) != 3 || !DateTime::FromParts(y, m, d)) {
    return "not a date: " + today;
  }
  const double day = DateTime::FromParts(y, m, d)->value();
  std::error_code ignored;
  std::filesystem::remove(path, ignored);
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
    const std::string message = db ? sqlite3_errmsg(db) : "cannot open";
    sqlite3_close(db);
    return "cannot create " + path + ": " + message;
  }
  Writer w(db);
  Random r(seed);
  int next_invoice = 5000;
  if (w.Exec("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; BEGIN") && w.Exec(kSchema)) {
    for (long id = 1001; id <= kDemoClientWithoutRows; ++id) WriteClient(w, r, id, day, &next_invoice);
    w.Exec("COMMIT");
  }
  std::string error = w.error();
  if (sqlite3_close(db) != SQLITE_OK && error.empty()) error = "cannot close " + path;
  return error;
}

int DemoDbCommand(const std::vector<std::string>& words) {
  if (words.size() != 1 || words[0].rfind("-", 0) == 0) {
    return Fail("demo-db takes the path of the file to write, e.g. qorvel demo-db demo.sqlite");
  }
  const std::string error = WriteDemoDatabase(words[0], LocalToday());
  if (!error.empty()) return Fail("demo-db: " + error);
  return kExitOk;
}

}  // namespace qorvel::tool
