// The qorvel program as it is run: each command with its arguments,
// standard input and environment, checked on standard output, standard
// error and the exit status, its errors included.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "run_qorvel.h"
#include "shared_dir.h"

namespace qorvel::testing {
namespace {

using Env = std::map<std::string, std::string>;

const Env kUs = {{"LC_ALL", "en_US.UTF-8"}};

struct Case {
  const char* name;
  std::vector<std::string> args;  // "@billing", "@types" stand for the fixtures' paths
  std::string input;
  Env env;
  int status;
  std::string out;       // standard output contains this ("" : is empty)
  std::string err;       // standard error contains this ("" : is empty)
  bool needs_billing = false;  // needs the shared fixtures
};

std::string Billing() { return SharedPath("fixtures/billing.mdb").string(); }

std::vector<std::string> Expand(std::vector<std::string> args) {
  for (std::string& a : args) {
    if (a == "@billing") a = Billing();
    if (a == "@types") a = SharedPath("fixtures/types.mdb").string();
  }
  return args;
}

void Check(const Case& c) {
  SCOPED_TRACE(c.name);
  const Outcome run = RunQorvel(Expand(c.args), c.input, c.env);
  EXPECT_EQ(run.status, c.status) << "stdout: " << run.out << "\nstderr: " << run.err;
  if (c.out.empty()) {
    EXPECT_EQ(run.out, "");
  } else {
    EXPECT_NE(run.out.find(c.out), std::string::npos) << "stdout: " << run.out;
  }
  if (c.err.empty()) {
    EXPECT_EQ(run.err, "");
  } else {
    EXPECT_NE(run.err.find(c.err), std::string::npos) << "stderr: " << run.err;
  }
}

void CheckAll(const std::vector<Case>& cases) {
  const bool have_billing =
      std::filesystem::exists(Billing()) && std::filesystem::exists(SharedPath("fixtures/types.mdb"));
  for (const Case& c : cases) {
    if (c.needs_billing && !have_billing) continue;
    Check(c);
  }
  if (!have_billing) GTEST_SKIP() << "cases with the billing fixture skipped: " << Billing() << " not found";
}

TEST(Cli, MainOptionsAndCommands) {
  CheckAll({
      {"help", {"--help"}, "", kUs, 0, "usage: qorvel [--locale NAME] COMMAND", ""},
      {"version", {"--version"}, "", kUs, 0, "qorvel 1.", ""},
      {"no command", {}, "", kUs, 2, "", "usage: qorvel"},
      {"unknown option", {"--bogus"}, "", kUs, 2, "", "qorvel: unknown option --bogus"},
      {"unknown command", {"nope"}, "", kUs, 2, "", "unknown command \"nope\""},
      {"locale without name", {"--locale"}, "", kUs, 2, "", "--locale needs a name"},
      {"unknown locale", {"--locale", "xx-YY", "methods"}, "", kUs, 2, "", "unknown locale \"xx-YY\"; choose one of: "},
      {"command help", {"batch", "--help"}, "", kUs, 0, "usage: qorvel batch", ""},
      {"methods", {"methods"}, "", kUs, 0, "23  0x60030017  ", ""},
      {"methods with an argument", {"methods", "x"}, "", kUs, 2, "", "methods takes no arguments"},
  });
}

TEST(Cli, Call) {
  const Env de = {{"LC_ALL", "de_DE.UTF-8"}};
  CheckAll({
      {"formatter", {"call", "FormatPhone", "", "5551234567"}, "", kUs, 0, "(555) 123-4567\n", ""},
      {"json", {"call", "--json", "FormatZip", "123456789"}, "", kUs, 0,
       "{\"method\": \"FormatZip\", \"result\": {\"type\": \"Text\", \"value\": \"12345-6789\"}, "
       "\"args\": [\"123456789\"], \"boxes\": []}\n",
       ""},
      {"unknown method", {"call", "Nope"}, "", kUs, 2, "", "unknown method name \"Nope\"; did you mean"},
      {"wrong count", {"call", "FormatZip"}, "", kUs, 2, "", "FormatZip takes 1 argument, 0 given"},
      {"unreadable argument", {"call", "FormatMinutes", "abc"}, "", kUs, 2, "", "cannot be read as Long"},
      {"hexadecimal argument", {"call", "FormatMinutes", "&H10"}, "", kUs, 0, "0 hr 16 mn\n", ""},
      {"hexadecimal beyond a Long", {"call", "FormatMinutes", "&H1FFFFFFFF"}, "", kUs, 2, "",
       "is beyond the range of Long"},
      {"#TRUE# for a Boolean", {"call", "FormatName", "John", "Q", "Public", "#TRUE#"}, "", kUs, 0,
       "John Q. Public\n", ""},
      {"no method", {"call"}, "", kUs, 2, "", "call: which method?"},
      {"unknown option", {"call", "--xml", "FormatZip", "1"}, "", kUs, 2, "", "call: unknown option --xml"},
      {"numbers in the locale of LC_ALL", {"call", "FormatMinutes", "1.234"}, "", de, 0, "20 hr 34 mn\n", ""},
      {"dates in the locale of LC_ALL", {"call", "LastPaymentDate", "@billing", "417"}, "", de, 0, "31.03.2011\n", "", true},
      {"LANG when LC_ALL is unset", {"call", "LastPaymentDate", "@billing", "417"}, "", {{"LANG", "en_GB.UTF-8"}}, 0,
       "31/03/2011\n", "", true},
      {"--locale over LC_ALL", {"--locale", "en-GB", "call", "LastPaymentDate", "@billing", "417"}, "", de, 0,
       "31/03/2011\n", "", true},
      {"a lookup", {"call", "CreditAmount", "@billing", "417"}, "", kUs, 0, "330.5\n", "", true},
      {"a lookup's message box goes to stderr", {"call", "CreditAmount", "/nonexistent/x.mdb", "1"}, "", kUs, 0,
       "0\n", "Unable to connect to /nonexistent/x.mdb."},
  });
}

TEST(Cli, Batch) {
  const ScratchDir dir;
  const std::string calls = dir.Write("calls.tsv", "FormatZip\t123456789\nFormatMinutes\t135\n");
  CheckAll({
      {"standard input", {"batch"}, "FormatZip\t123456789\nFormatMinutes\t135\n", kUs, 0, "12345-6789\n2 hr 15 mn\n", ""},
      {"dash for standard input", {"batch", "-"}, "FormatZip\t1\n", kUs, 0, "1\n", ""},
      {"file", {"batch", calls}, "", kUs, 0, "12345-6789\n2 hr 15 mn\n", ""},
      {"failed lines", {"batch"}, "Nope\nFormatZip\t1\n", kUs, 1, "#error: line 1: unknown method name \"Nope\"", ""},
      {"json", {"batch", "--json", "--jobs", "2"}, "FormatZip\t1\n", kUs, 0,
       "{\"method\": \"FormatZip\", \"result\": {\"type\": \"Text\", \"value\": \"1\"}", ""},
      {"bad jobs", {"batch", "--jobs", "0"}, "", kUs, 2, "", "--jobs takes a number from 1 to 256, not \"0\""},
      {"jobs without number", {"batch", "--jobs"}, "", kUs, 2, "", "--jobs needs a number"},
      {"missing file", {"batch", (dir / "none.tsv").string()}, "", kUs, 2, "", "batch: cannot read"},
      {"two files", {"batch", calls, calls}, "", kUs, 2, "", "one input file only"},
      {"unknown option", {"batch", "--xml"}, "", kUs, 2, "", "batch: unknown option --xml"},
      {"box on stderr, result in order", {"batch"}, "CreditAmount\t/nonexistent/x.mdb\t1\nFormatZip\t2\n", kUs, 0,
       "0\n2\n", "Unable to connect to /nonexistent/x.mdb."},
  });
}

// Lines that fail in each way a batch can: a missing database and a wrong
// password (connection failures, one box per thread), a date the database
// rejects twice (the labelled box once per object) and a missing table (an
// error result without a box).
std::string FailingLines() {
  const std::string billing = Billing();
  const std::string other = SharedPath("fixtures/billing-otherpassword.mdb").string();
  return "CreditAmount\t/nonexistent/x.mdb\t1\n"
         "CreditAmount\t" + other + "\t1\n"
         "PymtCountByDateRange\t" + billing + "\t1\tnodate\t1/1/2011\n"
         "PymtCountByDateRange\t" + billing + "\t1\tnodate\t1/1/2011\n"
         "LastModified\t" + billing + "\tNoSuchTable\t1\n"
         "FormatZip\t1\n";
}

TEST(Cli, BatchSummarisesItsErrors) {
  const std::string failing = FailingLines();
  CheckAll({
      {"one line at the end", {"batch"}, failing, kUs, 0, "0\n0\n-1\n-1\nError in QORVEL.DLL\n1\n",
       "\nbatch: 3 calls ended in an error (LastModified 1, PymtCountByDateRange 2); 2 connection failures; "
       "2 message boxes shown (PymtCountByDateRange 1, ConnectToDB 1)\n",
       true},
      {"boxes captured in json count too", {"batch", "--json"}, failing, kUs, 0, "\"boxes\"",
       "batch: 3 calls ended in an error (LastModified 1, PymtCountByDateRange 2); 2 connection failures; "
       "2 message boxes shown (PymtCountByDateRange 1, ConnectToDB 1)\n",
       true},
      {"an empty path is no error", {"batch"}, "CreditAmount\t\t1\nFormatZip\t1\n", kUs, 0, "0\n1\n", ""},
  });
  if (!std::filesystem::exists(Billing())) return;

  // Spread over worker threads, each with its own object and connection:
  // the same results and the same counts of errors and connection failures
  // (the boxes are once per object and thread: how many depends on how
  // many workers got lines).
  std::string many;
  for (int i = 0; i < 60; ++i) many += failing;
  const Outcome one = RunQorvel({"batch", "--jobs", "1"}, many);
  const Outcome four = RunQorvel({"batch", "--jobs", "4"}, many);
  EXPECT_EQ(one.out, four.out);
  const std::string counts = "batch: 180 calls ended in an error (LastModified 60, PymtCountByDateRange 120); "
                             "120 connection failures; ";
  EXPECT_NE(one.err.find(counts + "2 message boxes shown"), std::string::npos) << one.err;
  EXPECT_NE(four.err.find(counts), std::string::npos) << four.err;
}

// Every type of value: Byte, Single, Double, Currency, Date, Text, Boolean,
// Numeric, with Nulls and the extremes.
const char kTypes[] =
    "Select Id, ByteCol, SingleCol, DoubleCol, MoneyCol, DateCol, TextCol, BoolCol, NumericCol From AllTypes "
    "Where Id < 5 Order By Id";

TEST(Cli, SqlAndConvert) {
  const ScratchDir dir;
  const std::string converted = (dir / "billing.sqlite").string();
  CheckAll({
      {"typed table", {"sql", "@billing", "Select Balance, Retainer From Credit Where PeopleID = 417 And Active = 1 Order By Balance"},
       "", kUs, 0, "Balance (Currency)\tRetainer (Integer)\nNull\t0\n-20\t0\n100\t0\n250.5\t1\n", "4 rows\n", true},
      {"rejected statement", {"sql", "@billing", "Select Nope From Credit"}, "", kUs, 2, "",
       "sql: error -2147217904: Unknown column name 'Nope'.", true},
      {"no database", {"sql", (dir / "none.mdb").string(), "Select 1"}, "", kUs, 2, "", "sql: no database at"},
      {"one word", {"sql", "@billing"}, "", kUs, 2, "", "sql takes a database and one statement"},
      {"csv", {"sql", "@types", kTypes, "--format", "csv"}, "", kUs, 0,
       "Id,ByteCol,SingleCol,DoubleCol,MoneyCol,DateCol,TextCol,BoolCol,NumericCol\n"
       "1,7,1.5,0.1,12.3456,2011-03-31T14:15:00,plain ascii,true,1234.5678\n"
       "2,,,,,,,false,\n"
       "3,255,-3.4e+38,-1.7976931348623157e+308,-922337203685477.5808,0100-01-01T00:00:00,,false,-99999999999999.9999\n"
       "4,0,3.4e+38,5e-324,922337203685477.5807,9999-12-31T23:59:59,\"Gr\xC3\xBC\xC3\x9F" "e, \xE6\x97\xA5",
       "4 rows\n", true},
      {"csv quotes", {"sql", "@types", "Select TextCol From AllTypes Where Id = 4", "--format", "csv"}, "", kUs, 0,
       "TextCol\n\"Gr\xC3\xBC\xC3\x9F" "e, \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E \xE2\x80\x94 \xE2\x80\x98quotes\xE2\x80\x99\"\n",
       "1 row\n", true},
      {"csv in every locale the same", {"sql", "@types", kTypes, "--format", "csv"}, "", {{"LC_ALL", "de_DE.UTF-8"}}, 0,
       "1,7,1.5,0.1,12.3456,2011-03-31T14:15:00,plain ascii,true,1234.5678\n", "4 rows\n", true},
      {"json lines", {"sql", "--format", "json", "@types", kTypes}, "", kUs, 0,
       "{\"Id\": 1, \"ByteCol\": 7, \"SingleCol\": 1.5, \"DoubleCol\": 0.10000000000000001, \"MoneyCol\": \"12.3456\", "
       "\"DateCol\": \"2011-03-31T14:15:00\", \"TextCol\": \"plain ascii\", \"BoolCol\": true, \"NumericCol\": \"1234.5678\"}\n"
       "{\"Id\": 2, \"ByteCol\": null, \"SingleCol\": null, \"DoubleCol\": null, \"MoneyCol\": null, \"DateCol\": null, "
       "\"TextCol\": null, \"BoolCol\": false, \"NumericCol\": null}\n",
       "4 rows\n", true},
      {"table by name", {"sql", "@billing", "Select Count(*) From Credit", "--format", "table"}, "", kUs, 0,
       "Expr1000 (Long)\n", "1 row\n", true},
      {"unknown format", {"sql", "@billing", "Select 1", "--format", "xml"}, "", kUs, 2, "", "--format is table, csv or json"},
      {"unknown option", {"sql", "--csv", "@billing", "Select 1"}, "", kUs, 2, "", "sql: unknown option --csv"},
      {"convert", {"convert", "@billing", converted}, "", kUs, 0, "", "wrote 7 tables, ", true},
      {"the converted file answers as the original", {"call", "CreditAmount", converted, "417"}, "", kUs, 0, "330.5\n", "",
       true},
      {"convert onto itself", {"convert", converted, converted}, "", kUs, 2, "", "would replace the database itself", true},
      {"convert without database", {"convert", (dir / "none.mdb").string(), converted}, "", kUs, 2, "",
       "convert: no database at"},
      {"convert one word", {"convert", "x"}, "", kUs, 2, "", "convert takes a database and the SQLite file"},
  });
}

// The sample files with the column types the billing files never use.
TEST(Cli, ConvertAndSqlOnEveryColumnType) {
  const std::string samples = SharedPath("fixtures/access-samples").string();
  if (!std::filesystem::exists(samples + "/complexDataTestV2010.accdb")) GTEST_SKIP() << "no fixtures at " << samples;
  const std::string binary = samples + "/binIdxTestV2010.accdb";
  const std::string complex = samples + "/complexDataTestV2010.accdb";
  const std::string unknown = samples + "/unsupportedFieldsTestV2007.accdb";
  const ScratchDir dir;
  const std::string out = (dir / "out.sqlite").string();
  const std::string alphabet = "6162636465666768696A6B6C6D6E6F707172737475767778797A";
  const std::vector<Case> cases = {
      {"complete copy", {"convert", binary, out}, "", kUs, 0, "", "wrote 1 table, 105 rows, 3 columns to "},
      {"complex columns named, status says incomplete", {"convert", complex, out}, "", kUs, 3, "",
       "qorvel: convert: could not carry column multi-value-data of table Table1: its type is not supported "
       "(attachment, multi-value or version history)\n"
       "qorvel: convert: could not carry column attach-data of table Table1: its type is not supported "
       "(attachment, multi-value or version history)\n"
       "wrote 1 table, 4 rows, 3 columns to " + out + "; 3 columns left out: the copy is incomplete\n"},
      {"unknown types named", {"convert", unknown, out}, "", kUs, 3, "",
       "could not carry column UnknownFix of table Test: its type is not supported (unknown type 71)"},
      {"skipping asked for", {"convert", "--skip-unsupported", complex, out}, "", kUs, 0, "",
       "skipped column attach-data of table Table1: its type is not supported"},
      {"skipping asked for, summary", {"convert", complex, out, "--skip-unsupported"}, "", kUs, 0, "",
       "; 3 columns left out (--skip-unsupported)\n"},
      {"unknown option", {"convert", "--skip", complex, out}, "", kUs, 2, "", "convert: unknown option --skip"},
      {"binary as hex, cut in a table", {"sql", binary, "Select ID, BinAsc From Test Where ID = 204"}, "", kUs, 0,
       "ID (Long)\tBinAsc (Binary)\n204\t" + alphabet + "616263646566... (160 bytes)\n", "1 row\n"},
      {"binary whole in csv", {"sql", binary, "Select BinDsc From Test Where ID = 204", "--format", "csv"}, "", kUs, 0,
       "BinDsc\n" + alphabet + alphabet + alphabet + alphabet + alphabet + alphabet + "61626364\n", "1 row\n"},
      {"short binary whole in a table", {"sql", binary, "Select BinAsc From Test Where ID = 2"}, "", kUs, 0,
       "BinAsc (Binary)\n616263\n", "1 row\n"},
      {"a statement naming an unsupported column", {"sql", complex, "Select [attach-data] From Table1"}, "", kUs, 2, "",
       "sql: error -2147217891: The column 'attach-data' of table 'Table1' has a type the engine does not support "
       "(attachment, multi-value or version history).\n"},
  };
  for (const Case& c : cases) Check(c);
}

TEST(Cli, ConvertProgressOnATerminal) {
  const std::string large = SharedPath("fixtures/billing-large.mdb").string();
  if (!std::filesystem::exists(large)) GTEST_SKIP() << "no fixture at " << large;
  const ScratchDir dir;
  const std::string out = (dir / "large.sqlite").string();
  const Outcome shown = RunQorvel({"convert", large, out}, "", kUs, true);
  EXPECT_EQ(shown.status, 0) << shown.err;
  EXPECT_NE(shown.err.find("7 / 7 tables"), std::string::npos) << shown.err;
  EXPECT_NE(shown.err.find("wrote 7 tables, "), std::string::npos) << shown.err;
  const Outcome quiet = RunQorvel({"convert", large, out, "--quiet"}, "", kUs, true);
  EXPECT_EQ(quiet.err.find("tables  "), std::string::npos) << quiet.err;
  // A small file shows no bar, even on a terminal.
  const Outcome small = RunQorvel({"convert", Billing(), out}, "", kUs, true);
  EXPECT_EQ(small.err.find(" / 7 tables"), std::string::npos) << small.err;
}

TEST(Cli, DemoDbAndStatement) {
  const ScratchDir dir;
  const std::string demo = (dir / "demo.sqlite").string();
  const std::string page = (dir / "page.html").string();
  CheckAll({
      {"demo-db", {"demo-db", demo}, "", kUs, 0, "", ""},
      {"a lookup on the demo", {"call", "CreditAmount", demo, "1001"}, "", kUs, 0, "111.5\n", ""},
      {"demo-db where no file can be", {"demo-db", (dir / "no" / "x.sqlite").string()}, "", kUs, 2, "",
       "demo-db: cannot create "},
      {"statement of the built-in demo", {"statement"}, "", kUs, 0, "John Q. O'Brien", ""},
      {"statement of a client", {"statement", demo, "--client", "1300"}, "", kUs, 0, "Client 1300", ""},
      {"statement as a page", {"statement", demo, "--format", "html", "--output", page}, "", kUs, 0, "", ""},
      {"statement of an unknown client", {"statement", demo, "--client", "99999"}, "", kUs, 2, "",
       "There is no client 99999 in the database."},
      {"statement with a bad client", {"statement", demo, "--client", "x"}, "", kUs, 2, "", "--client needs a client number"},
      {"statement with a bad format", {"statement", "--format", "pdf"}, "", kUs, 2, "", "--format is text or html"},
      {"statement --client and --all", {"statement", "--all", "--client", "1"}, "", kUs, 2, "", "exclude each other"},
      {"statement without database", {"statement", (dir / "none.mdb").string()}, "", kUs, 2, "", "no database at"},
      {"statement in the locale of LC_ALL", {"statement", demo, "--client", "1001"}, "", {{"LC_ALL", "de_DE.UTF-8"}}, 0,
       "  Credits on account                          111,50\n", ""},
  });
  EXPECT_EQ(ReadBytes(page).rfind("<!DOCTYPE html>", 0), 0u);
}

// The batch file of a billing office, as an editor or a spreadsheet saves it:
// each copy must give the results of its UTF-8 twin.
const char kCallsUtf8[] =
    "FormatName\tJos\xC3\xA9\t\tM\xC3\xBCller\tTrue\r\n"
    "FormatZip\t\xE2\x82\xAC 5\r\n"  // the euro sign is 0x80 in windows-1252
    "FormatMinutes\t135\r\n";
const char kResults[] = "Jos\xC3\xA9 M\xC3\xBCller\n\xE2\x82\xAC 5\n2 hr 15 mn\n";

// UTF-8 of the Basic Multilingual Plane as UTF-16 code units.
std::u16string Units(const std::string& utf8) {
  std::u16string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    const std::size_t n = b < 0x80 ? 1 : b < 0xE0 ? 2 : 3;
    char16_t cp = n == 1 ? b : n == 2 ? (b & 0x1F) : (b & 0x0F);
    for (std::size_t k = 1; k < n; ++k) cp = static_cast<char16_t>((cp << 6) | (utf8[i + k] & 0x3F));
    out += cp;
    i += n;
  }
  return out;
}

std::string Utf16(const std::string& utf8, bool big_endian) {
  std::string out = big_endian ? "\xFE\xFF" : "\xFF\xFE";
  for (const char16_t u : Units(utf8)) {
    const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
    out += big_endian ? std::string{hi, lo} : std::string{lo, hi};
  }
  return out;
}

// windows-1252 of text from Latin-1 and the euro sign.
std::string Cp1252(const std::string& utf8) {
  std::string out;
  for (const char16_t u : Units(utf8)) out += u == 0x20AC ? '\x80' : static_cast<char>(u);
  return out;
}

TEST(Cli, BatchFilesInEachEncoding) {
  const ScratchDir dir;
  const struct {
    const char* name;
    std::string bytes;
    std::vector<std::string> options;
  } files[] = {
      {"UTF-8", kCallsUtf8, {}},
      {"UTF-8 with a byte-order mark", std::string("\xEF\xBB\xBF") + kCallsUtf8, {}},
      {"UTF-16LE with a byte-order mark", Utf16(kCallsUtf8, false), {}},
      {"UTF-16BE with a byte-order mark", Utf16(kCallsUtf8, true), {}},
      {"windows-1252", Cp1252(kCallsUtf8), {"--encoding", "windows-1252"}},
      {"windows-1252 by another name", Cp1252(kCallsUtf8), {"--encoding", "CP1252"}},
  };
  for (const auto& f : files) {
    SCOPED_TRACE(f.name);
    std::vector<std::string> args = {"batch", dir.Write("calls.txt", f.bytes)};
    args.insert(args.end(), f.options.begin(), f.options.end());
    const Outcome run = RunQorvel(args);
    EXPECT_EQ(run.out, kResults);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 0);
    // The same through standard input, on several threads.
    args[1] = "-";
    args.insert(args.end(), {"--jobs", "2"});
    EXPECT_EQ(RunQorvel(args, f.bytes).out, kResults);
  }
}

TEST(Cli, WronglyEncodedInputIsAnErrorNeverReplaced) {
  const std::string cp1252 = Cp1252(kCallsUtf8);
  const std::string undefined = "FormatZip\t\x81\n";  // no character in windows-1252
  CheckAll({
      {"code page read as UTF-8", {"batch"}, cp1252, kUs, 1,
       "#error: line 1: not valid UTF-8 (byte 0xE9 at byte 15 of the line); name its encoding with --encoding, "
       "e.g. --encoding windows-1252\n#error: line 2: not valid UTF-8 (byte 0x80 at byte 11 of the line)",
       ""},
      {"the good line still runs", {"batch"}, cp1252, kUs, 1, "\n2 hr 15 mn\n", ""},
      {"a byte the code page lacks", {"batch", "--encoding", "windows-1252"}, undefined, kUs, 1,
       "#error: line 1: not valid windows-1252 (byte 0x81 at byte 11 of the line); check the name given to --encoding",
       ""},
      {"a JSON error line", {"batch", "--json"}, cp1252, kUs, 1, "{\"line\": 1, \"error\": \"not valid UTF-8", ""},
      {"unknown encoding", {"batch", "--encoding", "klingon"}, "", kUs, 2, "",
       "batch: --encoding: no encoding \"klingon\" is known here"},
      {"encoding without name", {"batch", "--output-encoding"}, "", kUs, 2, "", "--output-encoding needs the name"},
      {"no replacing suffix", {"batch", "--encoding", "ASCII//TRANSLIT"}, "", kUs, 2, "", "is known here"},
      {"call argument in the code page", {"call", "FormatName", "Jos\xE9", "", "X", "True"}, "", kUs, 2, "",
       "call: argument 1 is not valid UTF-8 (byte 0xE9 at byte 4 of the argument); name its encoding with --encoding"},
      {"call argument with its encoding", {"call", "--encoding", "windows-1252", "FormatName", "Jos\xE9", "", "X", "True"},
       "", kUs, 0, "Jos\xC3\xA9 X\n", ""},
  });
}

TEST(Cli, OutputEncodings) {
  CheckAll({
      {"windows-1252", {"batch", "--output-encoding", "windows-1252"}, kCallsUtf8, kUs, 0,
       "Jos\xE9 M\xFCller\n\x80 5\n2 hr 15 mn\n", ""},
      {"UTF-16LE", {"batch", "--output-encoding", "UTF-16LE"}, "FormatZip\t\xC3\xA9\n", kUs, 0,
       std::string("\xE9\x00\x0A\x00", 4), ""},
      {"UTF-16 has its mark once", {"batch", "--output-encoding", "UTF-16"}, "FormatZip\t1\nFormatZip\t2\n", kUs, 0,
       std::string("\xFF\xFE" "1\x00\x0A\x00" "2\x00\x0A\x00", 10), ""},
      {"a result the encoding lacks", {"batch", "--output-encoding", "ISO-8859-1"}, "FormatZip\t\xE2\x82\xAC\nFormatZip\t1\n",
       kUs, 1,
       "#error: line 1: the result has a character that ISO-8859-1 cannot represent; choose another --output-encoding\n1\n",
       ""},
      {"call", {"call", "--output-encoding", "windows-1252", "FormatZip", "\xC3\xA9"}, "", kUs, 0, "\xE9\n", ""},
      {"call result the encoding lacks", {"call", "--output-encoding", "ASCII", "FormatZip", "\xC3\xA9"}, "", kUs, 1, "",
       "call: the result has a character that ASCII cannot represent"},
  });
}

// A billing database whose Client table has only some of the columns the
// client block reads: the demo database with its Client table cut down.
TEST(Cli, StatementOnAClientTableWithOtherColumns) {
  const ScratchDir dir;
  const std::string demo = (dir / "demo.sqlite").string();
  ASSERT_EQ(RunQorvel({"demo-db", demo}).status, 0);
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(demo.c_str(), &db), SQLITE_OK);
  const char* cut =
      "CREATE TABLE Cut (PeopleID LONG, LastName TEXT, City TEXT, Phone TEXT, DateModified DATETIME);"
      "INSERT INTO Cut SELECT PeopleID, LastName, City, Phone, DateModified FROM Client;"
      "UPDATE Cut SET Phone = NULL WHERE PeopleID = 1001;"
      "DROP TABLE Client; ALTER TABLE Cut RENAME TO Client;";
  char* error = nullptr;
  const int rc = sqlite3_exec(db, cut, nullptr, nullptr, &error);
  sqlite3_free(error);
  sqlite3_close(db);
  ASSERT_EQ(rc, SQLITE_OK);

  const Outcome one = RunQorvel({"statement", demo, "--client", "1001"});
  EXPECT_EQ(one.status, 0) << one.err;
  EXPECT_EQ(one.err,
            "qorvel: statement: the Client table has no FirstName, MiddleName, Address1, Address2, Address3, State, "
            "Zip, SSN; the statements leave those fields out\n");
  EXPECT_NE(one.out.find("O'Brien"), std::string::npos) << one.out;
  EXPECT_EQ(one.out.find("Phone"), std::string::npos) << "no bare labels";
  EXPECT_EQ(one.out.find("SSN"), std::string::npos) << "no bare labels";
  EXPECT_NE(one.out.find("  Credits on account                          111.50\n"), std::string::npos);

  const Outcome all = RunQorvel({"statement", demo, "--all"});
  EXPECT_EQ(all.status, 0);
  std::size_t pages = 0;
  for (std::size_t at = 0; (at = all.out.find("ACCOUNT STATEMENT", at)) != std::string::npos; ++at) ++pages;
  EXPECT_EQ(pages, 300u);
  EXPECT_EQ(all.err.find("the Client table has no"), all.err.rfind("the Client table has no")) << "said once";
  EXPECT_NE(all.out.find("Phone (555) "), std::string::npos) << "other clients keep their phone";
}

TEST(Cli, StatementProgressOnATerminal) {
  const ScratchDir dir;
  const std::string demo = (dir / "demo.sqlite").string();
  ASSERT_EQ(RunQorvel({"demo-db", demo}).status, 0);
  const std::string page = (dir / "all.txt").string();
  const struct {
    const char* name;
    std::vector<std::string> args;
    bool shows;
  } cases[] = {
      {"to a file", {"statement", demo, "--all", "--output", page}, true},
      {"quiet", {"statement", demo, "--all", "--output", page, "--quiet"}, false},
      {"one client", {"statement", demo, "--client", "1001", "--output", page}, false},
  };
  for (const auto& c : cases) {
    const Outcome run = RunQorvel(c.args, "", kUs, true);
    EXPECT_EQ(run.status, 0) << c.name;
    EXPECT_EQ(run.err.find("300 / 300 clients") != std::string::npos, c.shows) << c.name << ": " << run.err;
  }
  // Without a terminal, nothing but the results.
  const Outcome piped = RunQorvel({"statement", demo, "--all", "--output", page});
  EXPECT_EQ(piped.err, "");
}

TEST(Cli, StatementOfEveryClientOfTheLargeDatabase) {
  QORVEL_REQUIRE_SHARED("fixtures/billing-large.mdb");
  const ScratchDir dir;
  const std::string page = (dir / "all.txt").string();
  const Outcome run =
      RunQorvel({"statement", SharedPath("fixtures/billing-large.mdb").string(), "--all", "--output", page});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err,
            "qorvel: statement: the Client table has no FirstName, MiddleName, Address1, Address2, Address3, City, "
            "State, Zip, Phone, SSN; the statements leave those fields out\n");
  const std::string text = ReadBytes(page);
  std::size_t pages = 0;
  for (std::size_t at = 0; (at = text.find("ACCOUNT STATEMENT", at)) != std::string::npos; ++at) ++pages;
  EXPECT_EQ(pages, 20000u);
  EXPECT_NE(text.find("Client20000 "), std::string::npos);
  EXPECT_EQ(text.find("Phone"), std::string::npos);
}

}  // namespace
}  // namespace qorvel::testing
