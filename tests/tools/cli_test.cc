// The qorvel program as it is run: each command with its arguments,
// standard input and environment, checked on standard output, standard
// error and the exit status, its errors included. What the tool's library
// decides (batch lines, the encodings, the statement) and what the engine
// reads (every column type) have their own tests; here each command and
// option is passed through once.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "qorvel/types.h"
#include "shared_dir.h"
#include "support/jet_support.h"

namespace qorvel::testing {
namespace {

// A file descriptor, closed at the end of its scope.
struct Fd {
  int fd;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
  int get() const { return fd; }
};

using Env = std::map<std::string, std::string>;

const Env kUs = {{"LC_ALL", "en_US.UTF-8"}};
const Env kDe = {{"LC_ALL", "de_DE.UTF-8"}};

struct Outcome {
  std::string out;
  std::string err;
  int status = -1;  // the exit status; -1 when the program did not exit normally
};

// Runs the qorvel binary (QORVEL_BINARY) with `args`, `input` as its
// standard input and exactly the variables of `env` as its environment
// (none of the test's own, so that LC_ALL and LANG are what the test says).
// Standard output and error go to files, so nothing can block on a pipe;
// with `stderr_terminal`, standard error is a pseudo-terminal instead (for
// progress, which shows only on a terminal), read after the program ends,
// so the program must write less to it than the terminal buffers (4 KB).
Outcome RunQorvel(const std::vector<std::string>& args, const std::string& input = "", const Env& env = kUs,
                  bool stderr_terminal = false) {
  const jet::testing::TempDir dir;
  const std::string in_path = (dir / "stdin").string();
  jet::testing::WriteFileBytes(in_path, input);
  const std::string out_path = (dir / "stdout").string();
  const std::string err_path = (dir / "stderr").string();
  std::vector<std::string> words = {QORVEL_BINARY}, assignments;
  words.insert(words.end(), args.begin(), args.end());
  for (const auto& [name, value] : env) assignments.push_back(name + "=" + value);
  std::vector<char*> argv, envp;
  for (auto [from, to] : {std::pair{&words, &argv}, std::pair{&assignments, &envp}}) {
    for (std::string& w : *from) to->push_back(w.data());
    to->push_back(nullptr);
  }

  Outcome run;
  const Fd terminal{stderr_terminal ? ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC) : -1};
  if (stderr_terminal && (terminal.get() < 0 || ::grantpt(terminal.get()) != 0 || ::unlockpt(terminal.get()) != 0)) {
    return run;
  }
  // The child opens its own ends, so that once it exits no writer of the
  // terminal is left: the terminal then yields what it holds and EIO.
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_addopen(&actions, 0, in_path.c_str(), O_RDONLY, 0);
  ::posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (stderr_terminal) {
    ::posix_spawn_file_actions_addopen(&actions, 2, ::ptsname(terminal.get()), O_RDWR | O_NOCTTY, 0);
  } else {
    ::posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  }
  pid_t pid = -1;
  const int spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  ::posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return run;
  int wstatus = 0;
  pid_t waited = -1;
  while ((waited = ::waitpid(pid, &wstatus, 0)) < 0 && errno == EINTR) {
  }
  if (waited == pid && WIFEXITED(wstatus)) run.status = WEXITSTATUS(wstatus);
  char buffer[4096];
  for (ssize_t n = 0; stderr_terminal && (n = ::read(terminal.get(), buffer, sizeof buffer)) != 0;) {
    if (n > 0) run.err.append(buffer, static_cast<std::size_t>(n));
    else if (errno != EINTR) break;
  }
  run.out = jet::testing::ReadFileBytes(out_path);
  if (!stderr_terminal) run.err = jet::testing::ReadFileBytes(err_path);
  return run;
}

struct Case {
  const char* name;
  std::vector<std::string> args;  // "@billing", "@types", "@complex", "@binary" stand for the fixtures' paths
  std::string input;
  int status;
  std::string out;  // standard output contains this ("" : is empty)
  std::string err;  // standard error contains this ("" : is empty)
  Env env = kUs;
  bool needs_fixtures = false;
};

// Writes `bytes` to the file `path`; returns its path.
std::string Write(const std::filesystem::path& path, const std::string& bytes) {
  jet::testing::WriteFileBytes(path, bytes);
  return path.string();
}

std::string Billing() { return SharedPath("fixtures/billing.mdb").string(); }

const std::map<std::string, std::string> kFixtures = {
    {"@billing", "fixtures/billing.mdb"},
    {"@types", "fixtures/types.mdb"},
    {"@complex", "fixtures/access-samples/complexDataTestV2010.accdb"},
    {"@binary", "fixtures/access-samples/binIdxTestV2010.accdb"},
};

void Check(const Case& c) {
  SCOPED_TRACE(c.name);
  std::vector<std::string> args = c.args;
  for (std::string& a : args) {
    if (kFixtures.contains(a)) a = SharedPath(kFixtures.at(a)).string();
  }
  const Outcome run = RunQorvel(args, c.input, c.env);
  EXPECT_EQ(run.status, c.status) << "stdout: " << run.out << "\nstderr: " << run.err;
  for (const auto& [got, want] : {std::pair{&run.out, &c.out}, std::pair{&run.err, &c.err}}) {
    if (want->empty()) {
      EXPECT_EQ(*got, "");
    } else {
      EXPECT_NE(got->find(*want), std::string::npos) << *got;
    }
  }
}

void CheckAll(const std::vector<Case>& cases) {
  bool have_fixtures = true;
  for (const auto& [placeholder, path] : kFixtures) have_fixtures = have_fixtures && std::filesystem::exists(SharedPath(path));
  for (const Case& c : cases) {
    if (!c.needs_fixtures || have_fixtures) Check(c);
  }
  if (!have_fixtures) GTEST_SKIP() << "cases with the shared fixtures skipped: " << SharedPath("fixtures") << " incomplete";
}

TEST(Cli, CommandsAndOptions) {
  const jet::testing::TempDir dir;
  const std::string calls = Write(dir / "calls.tsv", "FormatZip\t123456789\nFormatMinutes\t135\n");
  const std::string demo = (dir / "demo.sqlite").string(), page = (dir / "page.html").string();
  const std::string cp1252 = "FormatName\tJos\xE9\t\tM\xFCller\tTrue\r\nFormatZip\t\x80 5\r\n";
  CheckAll({
      {"help", {"--help"}, "", 0, "usage: qorvel [--locale NAME] COMMAND", ""},
      {"version", {"--version"}, "", 0, "qorvel 1.", ""},
      {"no command", {}, "", 2, "", "usage: qorvel"},
      {"unknown option", {"--bogus"}, "", 2, "", "qorvel: unknown option --bogus"},
      {"unknown command", {"nope"}, "", 2, "", "unknown command \"nope\""},
      {"locale without name", {"--locale"}, "", 2, "", "--locale needs a name"},
      {"unknown locale", {"--locale", "xx-YY", "methods"}, "", 2, "", "unknown locale \"xx-YY\"; choose one of: "},
      {"methods", {"methods"}, "", 0, "23  0x60030017  ", ""},
      {"methods with an argument", {"methods", "x"}, "", 2, "", "methods takes no arguments"},
      {"call", {"call", "FormatPhone", "", "5551234567"}, "", 0, "(555) 123-4567\n", ""},
      {"call json", {"call", "--json", "FormatZip", "123456789"}, "", 0, "\"value\": \"12345-6789\"}, ", ""},
      {"unknown method", {"call", "Nope"}, "", 2, "", "unknown method name \"Nope\"; did you mean"},
      {"no method", {"call"}, "", 2, "", "call: which method?"},
      {"the locale of LC_ALL", {"call", "LastPaymentDate", "@billing", "417"}, "", 0, "31.03.2011\n", "", kDe, true},
      {"--locale over LC_ALL", {"--locale", "en-GB", "call", "LastPaymentDate", "@billing", "417"}, "", 0,
       "31/03/2011\n", "", kDe, true},
      {"a lookup's box goes to stderr", {"call", "CreditAmount", "/nonexistent/x.mdb", "1"}, "", 0, "0\n",
       "Unable to connect to /nonexistent/x.mdb."},
      {"standard input", {"batch"}, "FormatZip\t123456789\nFormatMinutes\t135\n", 0, "12345-6789\n2 hr 15 mn\n", ""},
      {"file", {"batch", calls}, "", 0, "12345-6789\n2 hr 15 mn\n", ""},
      {"failed lines", {"batch"}, "Nope\nFormatZip\t1\n", 1, "#error: line 1: unknown method name \"Nope\"", ""},
      {"bad jobs", {"batch", "--jobs", "0"}, "", 2, "", "--jobs takes a number from 1 to 256, not \"0\""},
      {"missing file", {"batch", (dir / "none.tsv").string()}, "", 2, "", "batch: cannot read"},
      {"demo-db", {"demo-db", demo}, "", 0, "", ""},
      {"demo-db where no file can be", {"demo-db", (dir / "no" / "x.sqlite").string()}, "", 2, "",
       "demo-db: cannot create "},
      {"statement of the built-in demo", {"statement"}, "", 0, "John Q. O'Brien", ""},
      {"statement of a client", {"statement", demo, "--client", "1300"}, "", 0, "Client 1300", ""},
      {"statement as a page", {"statement", demo, "--format", "html", "--output", page}, "", 0, "", ""},
      {"statement of an unknown client", {"statement", demo, "--client", "99999"}, "", 2, "",
       "There is no client 99999 in the database."},
      {"statement with a bad format", {"statement", "--format", "pdf"}, "", 2, "", "--format is text or html"},
      {"statement --client and --all", {"statement", "--all", "--client", "1"}, "", 2, "", "exclude each other"},
      {"statement in the locale of LC_ALL", {"statement", demo, "--client", "1001"}, "", 0,
       "  Credits on account                          111,50\n", "", kDe},
      // The encoding options reach the batch's input and output and the call's
      // arguments and result. The reading of lines in an encoding is the tool
      // library's test's (tools_test); the writing of results and the reading
      // of arguments are checked here, where their errors meet the exit status.
      {"a file in a code page, read and written",
       {"batch", Write(dir / "calls.txt", cp1252), "--encoding", "windows-1252", "--output-encoding", "CP1252"}, "", 0,
       "Jos\xE9 M\xFCller\n\x80 5\n", ""},
      {"unknown encoding", {"batch", "--encoding", "klingon"}, "", 2, "", "batch: --encoding: no encoding \"klingon\""},
      {"a line not in its encoding", {"batch"}, "FormatZip\t\xE9\nFormatZip\t1\n", 1, "#error: line 1: not valid UTF-8", ""},
      {"an argument not in its encoding", {"call", "FormatZip", "\xE9"}, "", 2, "",
       "call: argument 1 is not valid UTF-8 (byte 0xE9 at byte 1 of the argument); name its encoding with "
       "--encoding, e.g. --encoding windows-1252"},
      {"call argument with its encoding", {"call", "--encoding", "windows-1252", "FormatName", "Jos\xE9", "", "X", "True"},
       "", 0, "Jos\xC3\xA9 X\n", ""},
      {"UTF-16 has its mark once", {"batch", "--output-encoding", "UTF-16"}, "FormatZip\t1\nFormatZip\t2\n", 0,
       std::string("\xFF\xFE" "1\x00\x0A\x00" "2\x00\x0A\x00", 10), ""},
      {"a result the encoding lacks", {"batch", "--output-encoding", "ISO-8859-1"}, "FormatZip\t\xE2\x82\xAC\nFormatZip\t1\n", 1,
       "#error: line 1: the result has a character that ISO-8859-1 cannot represent; choose another --output-encoding\n1\n",
       ""},
      {"call result the encoding lacks", {"call", "--output-encoding", "ASCII", "FormatZip", "\xC3\xA9"}, "", 1, "",
       "call: the result has a character that ASCII cannot represent"},
  });
  EXPECT_TRUE(std::filesystem::exists(page));
}

TEST(Cli, BatchSummarisesItsErrors) {
  // Lines that fail in each way a batch can: a missing database and a wrong
  // password (connection failures, one box per thread), a date the database
  // rejects twice (the labelled box once per object) and a missing table (an
  // error result without a box).
  const std::string billing = Billing();
  const std::string failing =
      "CreditAmount\t/nonexistent/x.mdb\t1\nCreditAmount\t" +
      SharedPath("fixtures/billing-otherpassword.mdb").string() + "\t1\n" + "PymtCountByDateRange\t" + billing +
      "\t1\tnodate\t1/1/2011\nPymtCountByDateRange\t" + billing + "\t1\tnodate\t1/1/2011\nLastModified\t" + billing +
      "\tNoSuchTable\t1\nFormatZip\t1\n";
  const std::string summary =
      "batch: 3 calls ended in an error (LastModified 1, PymtCountByDateRange 2); 2 connection failures; "
      "2 message boxes shown (PymtCountByDateRange 1, ConnectToDB 1)\n";
  CheckAll({
      {"one line at the end", {"batch"}, failing, 0, "0\n0\n-1\n-1\nError in QORVEL.DLL\n1\n", "\n" + summary, kUs,
       true},
      {"boxes captured in json count too", {"batch", "--json"}, failing, 0, "\"boxes\"", summary, kUs, true},
      {"an empty path is no error", {"batch"}, "CreditAmount\t\t1\nFormatZip\t1\n", 0, "0\n1\n", ""},
  });
  if (!std::filesystem::exists(billing)) return;

  // Spread over workers, each with its own object and connection: the same
  // counts (the boxes are once per object and thread, so their number
  // depends on how many workers got lines; the results in input order:
  // tools_test).
  std::string many;
  for (int i = 0; i < 60; ++i) many += failing;
  const Outcome one = RunQorvel({"batch", "--jobs", "1"}, many);
  const Outcome four = RunQorvel({"batch", "--jobs", "4"}, many);
  const std::string counts = "batch: 180 calls ended in an error (LastModified 60, PymtCountByDateRange 120); "
                             "120 connection failures; ";
  EXPECT_NE(one.err.find(counts + "2 message boxes shown"), std::string::npos) << one.err;
  EXPECT_NE(four.err.find(counts), std::string::npos) << four.err;
}

TEST(Cli, SqlAndConvert) {
  const jet::testing::TempDir dir;
  const std::string converted = (dir / "billing.sqlite").string(), complex = (dir / "complex.sqlite").string();
  const std::string unsupported = ": its type is not supported (attachment, multi-value or version history)\n";
  // A row of values, one of Nulls, and a text that CSV quotes.
  const std::string types = "Select Id, ByteCol, SingleCol, DoubleCol, MoneyCol, DateCol, TextCol, BoolCol, "
                            "NumericCol From AllTypes Where Id < 3 Order By Id";
  const std::string csv = "Id,ByteCol,SingleCol,DoubleCol,MoneyCol,DateCol,TextCol,BoolCol,NumericCol\n"
                          "1,7,1.5,0.1,12.3456,2011-03-31T14:15:00,plain ascii,true,1234.5678\n2,,,,,,,false,\n";
  CheckAll({
      {"typed table", {"sql", "@billing", "Select Balance, Retainer From Credit Where PeopleID = 417 And Active = 1 Order By Balance"},
       "", 0, "Balance (Currency)\tRetainer (Integer)\nNull\t0\n-20\t0\n100\t0\n250.5\t1\n", "4 rows\n", kUs, true},
      {"rejected statement", {"sql", "@billing", "Select Nope From Credit"}, "", 2, "",
       "sql: error -2147217904: Unknown column name 'Nope'.", kUs, true},
      {"no database", {"sql", (dir / "none.mdb").string(), "Select 1"}, "", 2, "", "sql: no database at"},
      {"one word", {"sql", "@billing"}, "", 2, "", "sql takes a database and one statement"},
      {"csv", {"sql", "@types", types, "--format", "csv"}, "", 0, csv, "2 rows\n", kUs, true},
      {"csv in every locale the same", {"sql", "@types", types, "--format", "csv"}, "", 0, csv, "2 rows\n", kDe, true},
      {"csv quotes", {"sql", "@types", "Select TextCol From AllTypes Where Id = 4", "--format", "csv"}, "", 0,
       "TextCol\n\"Gr\xC3\xBC\xC3\x9F" "e, \xE6\x97\xA5", "1 row\n", kUs, true},
      {"json lines", {"sql", "--format", "json", "@types", types}, "", 0,
       "{\"Id\": 1, \"ByteCol\": 7, \"SingleCol\": 1.5, \"DoubleCol\": 0.10000000000000001, \"MoneyCol\": \"12.3456\", "
       "\"DateCol\": \"2011-03-31T14:15:00\", \"TextCol\": \"plain ascii\", \"BoolCol\": true, \"NumericCol\": \"1234.5678\"}\n"
       "{\"Id\": 2, \"ByteCol\": null, \"SingleCol\": null, \"DoubleCol\": null, \"MoneyCol\": null, \"DateCol\": null, "
       "\"TextCol\": null, \"BoolCol\": false, \"NumericCol\": null}\n",
       "2 rows\n", kUs, true},
      {"unknown format", {"sql", "@billing", "Select 1", "--format", "xml"}, "", 2, "", "--format is table, csv or json"},
      {"convert", {"convert", "@billing", converted}, "", 0, "", "wrote 7 tables, ", kUs, true},
      {"convert onto itself", {"convert", converted, converted}, "", 2, "", "would replace the database itself", kUs,
       true},
      {"convert one word", {"convert", "x"}, "", 2, "", "convert takes a database and the SQLite file"},
      // Columns of a type the copy cannot hold: named, and the status says so
      // unless skipping them was asked for.
      {"convert incomplete", {"convert", "@complex", complex}, "", 3, "",
       "could not carry column attach-data of table Table1" + unsupported + "wrote 1 table, 4 rows, 3 columns to " +
           complex + "; 3 columns left out: the copy is incomplete\n", kUs, true},
      {"convert skipping", {"convert", "@complex", complex, "--skip-unsupported"}, "", 0, "",
       "skipped column attach-data of table Table1: its type is not supported", kUs, true},
      {"binary as hex, cut in a table", {"sql", "@binary", "Select BinAsc From Test Where ID = 204"}, "", 0,
       "BinAsc (Binary)\n6162636465666768696A6B6C6D6E6F707172737475767778797A616263646566... (160 bytes)\n",
       "1 row\n", kUs, true},
  });
}

// A billing database whose Client table has only some of the columns the
// client block reads: the demo database with its Client table cut down.
TEST(Cli, StatementOnAClientTableWithOtherColumns) {
  const jet::testing::TempDir dir;
  const std::string demo = (dir / "demo.sqlite").string();
  ASSERT_EQ(RunQorvel({"demo-db", demo}).status, 0);
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(demo.c_str(), &db), SQLITE_OK);
  const int rc = sqlite3_exec(
      db,
      "CREATE TABLE Cut (PeopleID LONG, LastName TEXT, City TEXT, Phone TEXT, DateModified DATETIME);"
      "INSERT INTO Cut SELECT PeopleID, LastName, City, Phone, DateModified FROM Client;"
      "UPDATE Cut SET Phone = NULL WHERE PeopleID = 1001;"
      "DROP TABLE Client; ALTER TABLE Cut RENAME TO Client;",
      nullptr, nullptr, nullptr);
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

  const Outcome all = RunQorvel({"statement", demo, "--all"});
  EXPECT_EQ(all.status, 0);
  EXPECT_EQ(all.err.find("the Client table has no"), all.err.rfind("the Client table has no")) << "said once";
  EXPECT_NE(all.out.find("Phone (555) "), std::string::npos) << "other clients keep their phone";
}

TEST(Cli, ProgressOnlyOnATerminal) {
  const jet::testing::TempDir dir;
  const std::string demo = (dir / "demo.sqlite").string();
  ASSERT_EQ(RunQorvel({"demo-db", demo}).status, 0);
  const std::string page = (dir / "all.txt").string(), copy = (dir / "copy.sqlite").string();
  const std::string large = SharedPath("fixtures/billing-large.mdb").string();
  const struct {
    std::vector<std::string> args;
    const char* text;  // on standard error, or not
    bool shows;
  } cases[] = {
      {{"statement", demo, "--all", "--output", page}, "300 / 300 clients", true},
      {{"statement", demo, "--all", "--output", page, "--quiet"}, "300 / 300 clients", false},
      {{"statement", demo, "--client", "1001", "--output", page}, "300 / 300 clients", false},
      {{"convert", large, copy}, "7 / 7 tables", true},
      {{"convert", large, copy, "--quiet"}, "tables  ", false},
      {{"convert", Billing(), copy}, " / 7 tables", false},  // a small file shows no bar
  };
  for (const auto& c : cases) {
    if (c.args[0] == "convert" && !std::filesystem::exists(c.args[1])) continue;
    const Outcome run = RunQorvel(c.args, "", kUs, true);
    EXPECT_EQ(run.status, 0) << c.args.back();
    EXPECT_EQ(run.err.find(c.text) != std::string::npos, c.shows) << c.args.back() << ": " << run.err;
  }
  EXPECT_EQ(RunQorvel({"statement", demo, "--all", "--output", page}).err, "");  // no terminal
}

}  // namespace
}  // namespace qorvel::testing
