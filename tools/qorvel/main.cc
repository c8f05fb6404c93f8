// qorvel: the command-line host of the QORVEL report functions.
//
// Global options come before the command (--locale NAME, --version,
// --help); each command has its own options and `qorvel COMMAND --help`.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "batch.h"
#include "cli.h"
#include "commands.h"
#include "options.h"

namespace qorvel::tool {
namespace {

struct Command {
  const char* name;
  const char* summary;
  const char* help;  // usage, options and one example
  int (*run)(const std::vector<std::string>& words);
};

int MethodsCommand(const std::vector<std::string>& words) {
  if (!words.empty()) return Fail("methods takes no arguments");
  for (const MethodInfo& m : Methods()) {
    std::printf("%2d  0x%08X  %s\n", m.number, static_cast<unsigned>(m.dispid), Signature(m).c_str());
  }
  return kExitOk;
}

const Command kCommands[] = {
    {"statement", "print an account statement for one client or all (the demo when no DB)",
     "usage: qorvel statement [DB] [--client ID | --all] [--format text|html] [--output FILE]\n"
     "                        [--quiet]\n\n"
     "Prints the account statement of one client (the demo client 1001 by default) or of\n"
     "every client: name, address, phone and SSN; last payment; credits and retainer; the\n"
     "latest invoice and the balance due from earlier ones; the ageing of open balances;\n"
     "payments, write-offs and fees of the last twelve months; benefit flags. Every figure\n"
     "and formatted text comes from the report functions. DB is a .mdb or SQLite file\n"
     "with the tables the lookups read; without one, a fresh demo database is written to\n"
     "a temporary file and used.\n"
     "The client block reads these columns of the Client table where they exist:\n"
     "FirstName, MiddleName, LastName, Address1, Address2, Address3, City, State, Zip,\n"
     "Phone, SSN. Those it lacks are named once on standard error; a field without a\n"
     "value is left out.\n"
     "--format html writes one printable page with a bar chart of the ageing.\n"
     "With --all, progress shows on a terminal while the statements go to a file (not\n"
     "with --quiet).\n\n"
     "example:\n  qorvel statement --format html --output statement.html\n",
     StatementCommand},
    {"methods", "list the 24 functions with their numbers, identifiers and signatures",
     "usage: qorvel methods\n\nexample:\n  qorvel methods\n", MethodsCommand},
    {"call", "call one function with text arguments, as a late-bound caller would",
     "usage: qorvel call [--json] [--encoding NAME] [--output-encoding NAME] METHOD [ARG...]\n\n"
     "Arguments are text, converted to the parameter types as a late-bound caller's are\n"
     "(numbers and dates read in the user locale, True/False or numbers for Booleans).\n"
     "The result is printed as a report shows it; --json prints the method, the typed\n"
     "result, the arguments after the call and any message boxes as one JSON object.\n"
     "The words are UTF-8 unless --encoding names their encoding (any name iconv knows,\n"
     "e.g. windows-1252); words that are not valid in it are an error, never replaced.\n"
     "--output-encoding writes the result in another encoding than UTF-8.\n"
     "Exit status 0 when the call returned, 1 when the result cannot be written in the\n"
     "output encoding, 2 when the call could not be made.\n\n"
     "example:\n  qorvel call FormatPhone \"\" 5551234567\n",
     CallCommand},
    {"batch", "run many calls, one per line, for report generators",
     "usage: qorvel batch [FILE|-] [--json] [--jobs N] [--quiet] [--encoding NAME]\n"
     "                    [--output-encoding NAME]\n\n"
     "Reads calls from FILE (standard input when absent or -), one per line: the method,\n"
     "then its arguments as text, separated by tabs. Writes one result per line in the\n"
     "same order. In plain output backslash, CR, LF and tab in a result are written\n"
     "\\\\, \\r, \\n and \\t, a leading # as \\#, and a line that is not a valid call as\n"
     "\"#error: line N: ...\". --json writes one JSON object per line, as call --json does.\n"
     "All calls of a job share one object and one database connection, as in a report;\n"
     "message boxes go to standard error. --jobs N spreads the lines over N threads.\n"
     "Progress shows on a terminal while the results go to a file (not with --quiet).\n"
     "The input is UTF-8, with or without a byte-order mark; UTF-16 LE or BE (as\n"
     "spreadsheets save \"Unicode text\") with its byte-order mark; or, with --encoding\n"
     "NAME, any encoding iconv knows, e.g. windows-1252 for a file saved in the Windows\n"
     "code page. A byte-order mark decides over --encoding. A line that is not valid in\n"
     "its encoding is an error line, never read with replaced characters. Results are\n"
     "UTF-8 unless --output-encoding NAME asks for another encoding; a result that it\n"
     "cannot represent is an error line.\n"
     "At the end, when any call ended in an error result or a connection failure or a\n"
     "box was shown, one line on standard error counts them by method (nothing else).\n"
     "Exit status 1 when any line failed.\n\n"
     "examples:\n  printf 'CreditAmount\\tbilling.mdb\\t417\\n' | qorvel batch\n"
     "  qorvel batch calls.txt --encoding windows-1252 --output-encoding windows-1252\n",
     BatchCommand},
    {"sql", "run one statement of the lookups' SQL dialect; the rows as a table, CSV or JSON",
     "usage: qorvel sql DB STATEMENT [--format table|csv|json]\n\n"
     "Opens DB as the lookups do (a file with the component's password, or a PostgreSQL\n"
     "database named by a postgresql:// URI) and runs one statement\n"
     "of the dialect the lookups send. --format table (the default, for people) prints a\n"
     "header of column names and types, then one tab-separated line per row (Null for a\n"
     "missing value). --format csv prints a header of names, then the rows with values\n"
     "in exact, locale-free forms (Currency with four decimals, dates as ISO text,\n"
     "true/false; a Null an empty field). --format json prints one JSON object per row,\n"
     "column name to typed value, as call --json does (Currency a four-decimal string).\n"
     "Binary and OLE values are hexadecimal digits, two a byte: whole in csv and json, the\n"
     "first 32 bytes and the size in a table. A statement that names a column of a type\n"
     "the engine cannot read fails with an error that says so.\n"
     "The row count goes to standard error. A statement the engine rejects prints its\n"
     "error number and text.\n\n"
     "examples:\n  qorvel sql billing.mdb \"Select Sum(Balance) From Credit Where Active = 1 And PeopleID = 417\"\n"
     "  qorvel sql billing.mdb \"Select PeopleID, Balance From Credit\" --format csv > credits.csv\n",
     SqlCommand},
    {"convert", "write every table of a database into a SQLite file or a PostgreSQL database",
     "usage: qorvel convert DB OUT.sqlite [--skip-unsupported] [--quiet]\n"
     "       qorvel convert DB postgresql://... [--replace] [--skip-unsupported] [--quiet]\n\n"
     "Copies every table of DB (a .mdb or SQLite file) with its column types into a new\n"
     "SQLite file, which the lookups then read like the original. Binary and OLE columns\n"
     "are copied as BLOBs, byte for byte; calculated columns as the values they hold;\n"
     "extended date/time columns as ISO text with all seven fractional digits. Columns\n"
     "the engine cannot read (attachment, multi-value and version-history columns, and\n"
     "unknown types) are named on standard error and left out. A summary line (tables,\n"
     "rows, columns copied and left out) goes to standard error; a progress bar shows on\n"
     "a terminal for large files (not with --quiet).\n\n"
     "Given a postgresql:// or postgres:// URI instead of a file, copies the tables into\n"
     "that PostgreSQL database in one transaction (lower-case names, Currency as\n"
     "numeric(19,4), an index on each column the lookups test), with the credentials\n"
     "libpq finds (the URI, ~/.pgpass, PGPASSWORD). A database that already has a table\n"
     "of one of the names is refused and keeps what it had, unless --replace, which\n"
     "drops those tables first. Linux builds only.\n\n"
     "Exit status 0 for a complete copy, 3 when columns were left out (0 with\n"
     "--skip-unsupported), 2 when the database cannot be read or the file or server\n"
     "database written (a table already there without --replace).\n\n"
     "examples:\n  qorvel convert billing.mdb billing.sqlite && qorvel call CreditAmount billing.sqlite 417\n"
     "  qorvel convert billing.mdb postgresql://admin@dbhost/billing --replace\n",
     ConvertCommand},
    {"demo-db", "write the demo billing database (a SQLite file)",
     "usage: qorvel demo-db PATH\n\n"
     "Writes a demo billing database as a SQLite file: 300 clients with names, addresses,\n"
     "phones, stored SSNs, activity, invoices, payments, write-offs, credits, contacts and\n"
     "benefits over the three years before today. The same day gives the same file.\n"
     "Client 1001 has every kind of row; client 1300 has none.\n\n"
     "example:\n  qorvel demo-db demo.sqlite && qorvel call CreditAmount demo.sqlite 1001\n",
     DemoDbCommand},
};

const char kMainHelp[] =
    "usage: qorvel [--locale NAME] COMMAND [ARGS...]\n"
    "       qorvel COMMAND --help\n"
    "\n"
    "options:\n"
    "  --locale NAME   the user locale: en-US, en-GB, de-DE, fr-FR, nl-NL, it-IT,\n"
    "                  sv-SE, ja-JP (default from LC_ALL, LC_TIME / LC_NUMERIC, LANG)\n"
    "  --version       print the library's version\n"
    "  --help          this text\n";

void PrintMainHelp(std::ostream& out) {
  out << kMainHelp << "\ncommands:\n";
  for (const Command& c : kCommands) {
    std::string name = c.name;
    name.resize(10, ' ');
    out << "  " << name << c.summary << "\n";
  }
  out << "\nexample:\n  qorvel call FormatPhone \"\" 5551234567\n";
}

int Main(int argc, char** argv) {
  const std::vector<std::string> words(argv + 1, argv + argc);
  bool help = false;
  bool version = false;
  Options options("");
  options.OptionsFirst().FinalFlag("--help", &help).FinalFlag("--version", &version);
  options.Valued("--locale", "--locale needs a name, e.g. --locale en-GB", [](const std::string& name) {
    if (SetUserLocale(name)) return std::string();
    std::string known;
    for (const std::string& n : AvailableLocales()) known += " " + n;
    return "unknown locale \"" + name + "\"; choose one of:" + known;
  });
  const Options::Parsed parsed = options.Parse(words);
  if (!parsed.error.empty()) return Fail(parsed.error);
  if (help) {
    PrintMainHelp(std::cout);
    return kExitOk;
  }
  if (version) {
    std::cout << "qorvel " << kVersion << "\n";
    return kExitOk;
  }
  if (parsed.operands.empty()) {
    PrintMainHelp(std::cerr);
    return kExitUsage;
  }
  const std::string& name = parsed.operands.front();
  const std::vector<std::string> rest(parsed.operands.begin() + 1, parsed.operands.end());
  for (const Command& c : kCommands) {
    if (name != c.name) continue;
    for (const std::string& w : rest) {
      if (w == "--help") {
        std::cout << c.help;
        return kExitOk;
      }
    }
    return c.run(rest);
  }
  return Fail("unknown command \"" + name + "\" (qorvel --help lists the commands)");
}

}  // namespace
}  // namespace qorvel::tool

int main(int argc, char** argv) { return qorvel::tool::Main(argc, argv); }
