// qorvel statement: account statements as text or as one HTML page.
#include "statement.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <fstream>
#include <iostream>
#include <sstream>

#include "cli.h"
#include "demo_db.h"
#include "progress.h"
#include "qorvel/database.h"
#include "qorvel/env.h"

namespace qorvel::tool {
namespace {

constexpr std::array<std::pair<Integer, Integer>, 4> kBuckets = {
    {{0, 30}, {30, 60}, {60, 90}, {90, 32767}}};
constexpr const char* kBucketNames[] = {"0-30 days", "30-60 days", "60-90 days", "90+ days"};

// The value of `result`, or its error raised.
template <class T>
T ValueOrRaise(Result<T> result) {
  if (!result.ok()) throw result.error();
  return std::move(result.value());
}

// Equal when the names differ at most in the case of ASCII letters.
bool SameName(TextView a, TextView b) {
  const auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; };
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [&](char16_t x, char16_t y) { return lower(x) == lower(y); });
}

// The client's own fields, read as a report reads its data source: the
// columns of kClientColumns that the database's Client table has.
class DataSource {
 public:
  explicit DataSource(const std::string& path) : database_(ValueOrRaise(Database::Open(FromUtf8(path)))) {
    const std::optional<Table> client = database_.FindTable(u"Client");
    for (const char16_t* name : kClientColumns) {
      bool found = false;
      if (client) {
        for (const Column& column : client->columns) found = found || SameName(column.name, name);
      }
      (found ? present_ : missing_).push_back(name);
    }
  }
  Rows Query(const Text& statement) { return ValueOrRaise(database_.Execute(statement)); }

  // The client's row: the columns the table has, in the order of kClientColumns.
  Rows ClientRow(const Text& id) {
    Text columns;
    for (const Text& name : present_) columns += (columns.empty() ? u"" : u", ") + name;
    return Query(u"Select " + (columns.empty() ? Text(u"PeopleID") : columns) + u" From Client Where PeopleID = " +
                 id);
  }
  // The text of column `name` in the client's row; empty when the table
  // lacks the column or the row is missing.
  Text Field(const Rows& row, const char16_t* name) const {
    for (std::size_t c = 0; c < present_.size(); ++c) {
      if (present_[c] == name) return row.row_count() ? DisplayText(row.at(0, c)) : Text();
    }
    return Text();
  }
  const std::vector<Text>& missing() const { return missing_; }

 private:
  Database database_;
  std::vector<Text> present_;
  std::vector<Text> missing_;
};

// One data source per database file for the life of the process.
DataSource& SourceFor(const std::string& path) {
  static std::map<std::string, std::unique_ptr<DataSource>> sources;
  std::unique_ptr<DataSource>& source = sources[path];
  if (!source) source = std::make_unique<DataSource>(path);
  return *source;
}

Text Number(Long n) {
  const std::string s = std::to_string(n);
  return Text(s.begin(), s.end());
}

// Money with two decimals (four when it has them) and the locale's
// decimal separator, as a statement prints it.
std::string MoneyText(Currency value) {
  const std::string separator = ToUtf8(DecimalSeparator());
  std::string fixed = value.ToFixedString();  // "-12.3400"
  if (fixed.size() >= 2 && fixed.compare(fixed.size() - 2, 2, "00") == 0) fixed.resize(fixed.size() - 2);
  const std::size_t point = fixed.find('.');
  std::string whole = fixed.substr(0, point);
  const std::string frac = fixed.substr(point + 1);
  return whole + separator + frac;
}

std::string Utf8(const Text& text) { return ToUtf8(text); }

std::vector<std::string> Lines(const Text& block) {
  std::vector<std::string> lines;
  std::string current;
  const std::string utf8 = ToUtf8(block);
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    if (utf8[i] == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n') {
      lines.push_back(current);
      current.clear();
      ++i;
    } else {
      current += utf8[i];
    }
  }
  if (!current.empty()) lines.push_back(current);
  return lines;
}

std::string Html(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

// Pads to a width counted in characters, not UTF-8 bytes.
std::string Pad(const std::string& text, std::size_t width, bool right = false) {
  std::size_t chars = 0;
  for (const char c : text) chars += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  if (chars >= width) return text;
  const std::string fill(width - chars, ' ');
  return right ? fill + text : text + fill;
}

}  // namespace

StatementData BuildStatement(KX& kx, const std::string& db_path, Long people_id, DateTime today) {
  DataSource& source = SourceFor(db_path);
  const Text id = Number(people_id);
  const Rows client = source.ClientRow(id);
  if (client.row_count() == 0) {
    throw AutomationError(kErrInvalidProcedureCall, u"There is no client " + id + u" in the database.");
  }
  const Text path = FromUtf8(db_path);
  const Boolean yes = kTrue;
  StatementData s;
  s.people_id = people_id;
  s.printed_on = DisplayText(Variant::FromDate(today.DatePart()));
  auto field = [&](const char16_t* name) { return source.Field(client, name); };
  s.name = kx.FormatName(field(u"FirstName"), field(u"MiddleName"), field(u"LastName"), yes);
  s.address = kx.FormatAddress2(field(u"Address1"), field(u"Address2"), field(u"Address3"), field(u"City"),
                                field(u"State"), field(u"Zip"), yes);
  s.phone = kx.FormatPhone(Text(), field(u"Phone"));
  s.ssn = kx.FormatSS(field(u"SSN"));
  s.last_modified = kx.LastModified(path, u"Client", people_id);
  s.last_payment_date = kx.LastPaymentDate(path, people_id);
  s.last_payment_amount = kx.LastPaymentAmt(path, people_id);
  s.credits = kx.CreditAmount(path, people_id);
  s.retainer = kx.CreditAmountRetainer(path, people_id);

  const Rows latest = source.Query(u"Select Max (InvoiceNumber) From Invoice Where PeopleID = " + id);
  if (latest.row_count() && !latest.at(0, 0).IsNull()) {
    s.latest_invoice = latest.at(0, 0).AsLong();
    s.invoice_balance = kx.InvoiceBalance(path, s.latest_invoice);
    s.invoice_fee = kx.InvoiceFee(path, s.latest_invoice);
    s.previous_balance_due = kx.PrevBalDue(path, people_id, s.latest_invoice);
    s.previous_invoice_entered = kx.PrevInvDateEntered(path, people_id, s.latest_invoice);
  }
  for (std::size_t b = 0; b < kBuckets.size(); ++b) {
    const auto [start, end] = kBuckets[b];
    s.ageing[b] = {start, end, kx.AgedInvBalances(path, people_id, start, end)};
  }
  const DateTime from(today.DatePart().value() - 365);
  const DateTime to = today.DatePart();
  s.period_from = DisplayText(Variant::FromDate(from));
  s.period_to = DisplayText(Variant::FromDate(to));
  const Text none;
  s.payments = kx.PymtsByDateRange(path, people_id, from, to, none);
  s.write_offs = kx.WOffsByDateRange(path, people_id, from, to, none);
  s.fees = kx.FeesByDateRange(path, people_id, from, to, none);
  // The count's window is on the moment of entry: after the start of the
  // first day, up to the last second of today.
  const Text count_from = DisplayText(Variant::FromDate(DateTime(from.value())));
  const Text count_to = DisplayText(Variant::FromDate(DateTime(to.value() + 86399.0 / 86400.0)));
  s.payment_count = kx.PymtCountByDateRange(path, people_id, count_from, count_to);

  const Rows benefits =
      source.Query(u"Select BenefitType From LTCBenefit Where PeopleID = " + id + u" Order By BenefitType");
  for (std::size_t r = 0; r < benefits.row_count(); ++r) {
    const Text type = DisplayText(benefits.at(r, 0));
    s.benefits.emplace_back(type, kx.LTCBenefitTypeEnabledYN(path, people_id, type));
  }
  return s;
}

std::vector<Text> MissingClientColumns(const std::string& db_path) { return SourceFor(db_path).missing(); }

std::vector<Long> AllClients(const std::string& db_path) {
  DataSource& source = SourceFor(db_path);
  const Rows rows = source.Query(u"Select PeopleID From Client Order By PeopleID");
  std::vector<Long> ids;
  for (std::size_t r = 0; r < rows.row_count(); ++r) {
    if (!rows.at(r, 0).IsNull()) ids.push_back(rows.at(r, 0).AsLong());
  }
  return ids;
}

namespace {

// The labelled figures of a statement, section by section, as both
// renderers print them.
struct Row {
  std::string label;
  std::string value;
  bool indent = false;  // a part of the row above
};

std::vector<Row> AccountRows(const StatementData& s) {
  std::vector<Row> rows = {
      {"Last payment " + (s.last_payment_date.empty() ? std::string("(none)") : Utf8(s.last_payment_date)),
       MoneyText(s.last_payment_amount)},
      {"Credits on account", MoneyText(s.credits)},
      {"of which retainer", MoneyText(s.retainer), true},
  };
  if (s.latest_invoice) {
    const std::string invoice = "Invoice " + std::to_string(s.latest_invoice);
    rows.push_back({invoice + " fees", MoneyText(s.invoice_fee)});
    rows.push_back({invoice + " balance", MoneyText(s.invoice_balance)});
    rows.push_back({"Balance due from earlier invoices", MoneyText(s.previous_balance_due)});
    if (!s.previous_invoice_entered.empty()) {
      rows.push_back({"Previous invoice entered", Utf8(s.previous_invoice_entered)});
    }
  }
  return rows;
}

// "Phone (555) 123-4567    SSN 123-45-6789", with only the fields that
// have a value; empty when neither has.
std::string ContactLine(const StatementData& s, const std::string& separator) {
  const auto blank = [](const Text& text) { return text.find_first_not_of(u' ') == Text::npos; };
  std::string line;
  if (!blank(s.phone)) line += "Phone " + Utf8(s.phone);
  if (!blank(s.ssn)) line += (line.empty() ? "" : separator) + "SSN " + Utf8(s.ssn);
  return line;
}

std::vector<Row> AgeingRows(const StatementData& s) {
  std::vector<Row> rows;
  for (std::size_t b = 0; b < s.ageing.size(); ++b) rows.push_back({kBucketNames[b], MoneyText(s.ageing[b].balance)});
  return rows;
}

std::vector<Row> PeriodRows(const StatementData& s) {
  return {{"Payments", MoneyText(s.payments)},
          {"Write-offs", MoneyText(s.write_offs)},
          {"Fees", MoneyText(s.fees)},
          {"Payments entered", std::to_string(s.payment_count)}};
}

std::vector<Row> BenefitRows(const StatementData& s) {
  std::vector<Row> rows;
  for (const auto& [type, enabled] : s.benefits) rows.push_back({Utf8(type), Utf8(enabled)});
  return rows;
}

}  // namespace

std::string RenderText(const std::vector<StatementData>& statements) {
  std::ostringstream out;
  for (std::size_t i = 0; i < statements.size(); ++i) {
    const StatementData& s = statements[i];
    if (i) out << "\f\n";
    auto row = [&](const std::string& label, const std::string& value) {
      out << "  " << Pad(label, 34) << Pad(value, 16, true) << "\n";
    };
    out << Pad("ACCOUNT STATEMENT", 40) << Pad("Printed " + Utf8(s.printed_on), 32, true) << "\n";
    out << std::string(72, '=') << "\n";
    out << Pad(Utf8(s.name), 40) << Pad("Client " + std::to_string(s.people_id), 32, true) << "\n";
    for (const std::string& line : Lines(s.address)) out << line << "\n";
    if (const std::string contact = ContactLine(s, "    "); !contact.empty()) out << contact << "\n";
    if (!s.last_modified.empty()) out << "Record last changed " << Utf8(s.last_modified) << "\n";
    out << "\nACCOUNT\n";
    for (const Row& r : AccountRows(s)) row(std::string(r.indent ? "  " : "") + r.label, r.value);
    if (!s.latest_invoice) out << "  No invoices yet\n";
    out << "\nAGEING OF OPEN BALANCES\n";
    for (const Row& r : AgeingRows(s)) row(r.label, r.value);
    out << "\nLAST TWELVE MONTHS (" << Utf8(s.period_from) << " - " << Utf8(s.period_to) << ")\n";
    for (const Row& r : PeriodRows(s)) row(r.label, r.value);
    out << "\nBENEFITS\n";
    if (s.benefits.empty()) out << "  None on file\n";
    for (const Row& r : BenefitRows(s)) row(r.label, r.value);
  }
  return out.str();
}

std::string RenderHtml(const std::vector<StatementData>& statements) {
  std::ostringstream out;
  out << "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n"
         "<title>Account statements</title>\n<style>\n"
         "body{font-family:Georgia,serif;color:#222;margin:0;background:#f4f4f0}\n"
         ".page{background:#fff;max-width:46em;margin:1.5em auto;padding:2em 2.5em;"
         "box-shadow:0 1px 4px rgba(0,0,0,.15)}\n"
         "h1{font-size:1.3em;letter-spacing:.08em;margin:0 0 .2em}\n"
         "h2{font-size:1em;letter-spacing:.06em;border-bottom:1px solid #999;margin:1.4em 0 .5em}\n"
         ".head{display:flex;justify-content:space-between;align-items:flex-start}\n"
         ".muted{color:#666;font-size:.9em}\n"
         "table{border-collapse:collapse;width:100%}\n"
         "td{padding:.15em .3em}td.num{text-align:right;font-variant-numeric:tabular-nums}\n"
         "svg text{font-family:Georgia,serif;font-size:11px}\n"
         "@media print{body{background:#fff}.page{box-shadow:none;margin:0;max-width:none;"
         "page-break-after:always}}\n"
         "</style></head><body>\n";
  for (const StatementData& s : statements) {
    out << "<section class=\"page\">\n<div class=\"head\"><div><h1>ACCOUNT STATEMENT</h1>"
        << "<div class=\"muted\">Client " << s.people_id << "</div></div>"
        << "<div class=\"muted\">Printed " << Html(Utf8(s.printed_on)) << "</div></div>\n";
    out << "<p><strong>" << Html(Utf8(s.name)) << "</strong><br>";
    for (const std::string& line : Lines(s.address)) out << Html(line) << "<br>";
    out << Html(ContactLine(s, " \xC2\xB7 ")) << "</p>\n";  // a middle dot between
    auto row = [&](const std::string& label, const std::string& value) {
      out << "<tr><td>" << Html(label) << "</td><td class=\"num\">" << Html(value) << "</td></tr>\n";
    };
    out << "<h2>ACCOUNT</h2><table>\n";
    for (const Row& r : AccountRows(s)) row(r.label, r.value);
    out << "</table>\n<h2>AGEING OF OPEN BALANCES</h2>\n";
    // A bar per bucket, scaled to the largest.
    double largest = 0;
    for (const AgeingBucket& b : s.ageing) largest = std::max(largest, b.balance.ToDouble());
    out << "<svg width=\"420\" height=\"150\" viewBox=\"0 0 420 150\" role=\"img\" "
           "aria-label=\"Ageing of open balances\">\n";
    for (std::size_t b = 0; b < s.ageing.size(); ++b) {
      const double value = std::max(0.0, s.ageing[b].balance.ToDouble());
      const double height = largest > 0 ? 100.0 * value / largest : 0.0;
      const double x = 20 + 100.0 * static_cast<double>(b);
      char bar[256];
      std::snprintf(bar, sizeof bar,
                    "<rect x=\"%.0f\" y=\"%.1f\" width=\"70\" height=\"%.1f\" fill=\"%s\"/>\n",
                    x, 115 - height, height, b == 3 ? "#b5523b" : "#4f7a9a");
      out << bar << "<text x=\"" << x + 35 << "\" y=\"" << 110 - height
          << "\" text-anchor=\"middle\">" << Html(MoneyText(s.ageing[b].balance)) << "</text>\n"
          << "<text x=\"" << x + 35 << "\" y=\"135\" text-anchor=\"middle\">" << kBucketNames[b]
          << "</text>\n";
    }
    out << "<line x1=\"10\" y1=\"115.5\" x2=\"410\" y2=\"115.5\" stroke=\"#999\"/></svg>\n<table>\n";
    for (const Row& r : AgeingRows(s)) row(r.label, r.value);
    out << "</table>\n<h2>LAST TWELVE MONTHS</h2><p class=\"muted\">" << Html(Utf8(s.period_from))
        << " &ndash; " << Html(Utf8(s.period_to)) << "</p><table>\n";
    for (const Row& r : PeriodRows(s)) row(r.label, r.value);
    out << "</table>\n<h2>BENEFITS</h2><table>\n";
    if (s.benefits.empty()) out << "<tr><td>None on file</td></tr>\n";
    for (const Row& r : BenefitRows(s)) row(r.label, r.value);
    out << "</table>\n</section>\n";
  }
  out << "</body></html>\n";
  return out.str();
}

int StatementCommand(const std::vector<std::string>& words) {
  std::string db;
  std::string format = "text";
  std::string output;
  bool all = false;
  bool quiet = false;
  long client = kDemoClient;
  bool client_given = false;
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string& w = words[i];
    auto value = [&]() -> std::optional<std::string> {
      if (i + 1 >= words.size()) return std::nullopt;
      return words[++i];
    };
    if (w == "--all") {
      all = true;
    } else if (w == "--quiet") {
      quiet = true;
    } else if (w == "--client") {
      const auto v = value();
      char* end = nullptr;
      if (!v || (client = std::strtol(v->c_str(), &end, 10), *end != '\0' || v->empty())) {
        return Fail("statement: --client needs a client number, e.g. --client 1001");
      }
      client_given = true;
    } else if (w == "--format") {
      const auto v = value();
      if (!v || (*v != "text" && *v != "html")) return Fail("statement: --format is text or html");
      format = *v;
    } else if (w == "--output") {
      const auto v = value();
      if (!v) return Fail("statement: --output needs a file name");
      output = *v;
    } else if (w.rfind("-", 0) == 0) {
      return Fail("statement: unknown option " + w + " (see qorvel statement --help)");
    } else if (db.empty()) {
      db = w;
    } else {
      return Fail("statement: one database only; \"" + w + "\" is a second one");
    }
  }
  if (all && client_given) return Fail("statement: --client and --all exclude each other");
  std::string temporary;
  if (db.empty()) {
    // The built-in demo: a fresh demo database in a temporary file.
    temporary = (std::filesystem::temp_directory_path() /
                 ("qorvel-demo-" + std::to_string(::getpid()) + ".sqlite")).string();
    const std::string error = WriteDemoDatabase(temporary, LocalToday());
    if (!error.empty()) return Fail("statement: cannot write the demo database: " + error);
    db = temporary;
  } else if (!std::filesystem::exists(db)) {
    return Fail("statement: no database at \"" + db + "\"; give the path of a .mdb or SQLite file, "
                "or no path for the built-in demo");
  }
  int status = kExitOk;
  try {
    KX kx;
    const DateTime today = Env::Default()->Now();
    const std::vector<Text> missing = MissingClientColumns(db);
    if (!missing.empty()) {
      std::string names;
      for (const Text& name : missing) names += (names.empty() ? "" : ", ") + ToUtf8(name);
      std::cerr << "qorvel: statement: the Client table has no " << names
                << "; the statements leave those fields out\n";
    }
    const std::vector<Long> ids = all ? AllClients(db) : std::vector<Long>{static_cast<Long>(client)};
    Progress progress(all && !quiet && ShowProgress(!output.empty(), ids.size(), 100), ids.size(), "clients");
    std::vector<StatementData> statements;
    statements.reserve(ids.size());
    for (const Long id : ids) {
      statements.push_back(BuildStatement(kx, db, id, today));
      progress.Update(statements.size());
    }
    progress.Update(statements.size(), true);
    const std::string page = format == "html" ? RenderHtml(statements) : RenderText(statements);
    if (output.empty()) {
      std::cout << page;
    } else {
      std::ofstream file(output, std::ios::binary);
      file << page;
      if (!file) status = Fail("statement: cannot write \"" + output + "\"");
    }
  } catch (const AutomationError& e) {
    status = Fail("statement: " + ToUtf8(e.description()));
  }
  if (!temporary.empty()) std::filesystem::remove(temporary);
  return status;
}

}  // namespace qorvel::tool
