// The display formatters: the edge cases, called late bound through Invoke
// with text arguments in every locale of the table; the numeric test where it
// follows the locale's separators; the leading value; the error results; and
// the method handler and the date format probe.
//
// In the tables '·' stands for one blank, so that blanks can be counted.
// The examples of tests/cases/calls.tsv (en-US and en-GB) are not repeated.
#include "kx/formatters.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>

#include "kx/method_styles.h"
#include "qorvel/dispatch.h"
#include "qorvel/kx.h"
#include "support/fakes.h"
#include "support/jet_support.h"

namespace qorvel {
namespace {

using testing::LocaleScope;
using testing::RecordingEnv;

const Text kError = u"Error in QORVEL.DLL";

// A formatter called late bound, with text arguments (Long and Boolean as
// decimal text), as a report host calls it.
Text CallLate(_KX& kx, TextView method, const std::vector<Text>& a) {
  std::vector<Variant> args;
  for (const Text& t : a) args.push_back(Variant::FromText(t));
  const InvokeResult r = Invoke(kx, method, args);
  EXPECT_TRUE(r.ok()) << r.message;
  return r.value.type() == VarType::kText ? r.value.AsText() : Text(u"<not text>");
}

// One call: the arguments separated by '|', and the result; '·' stands for
// a blank in both.
struct Case { const char16_t* method; Text args; Text expected; };

void ExpectResult(const std::string& locale, const Case& c) {
  SCOPED_TRACE(locale + " " + ToUtf8(c.method) + " " + ToUtf8(c.args));
  std::vector<Text> args(1);
  for (const char16_t ch : c.args) {
    if (ch == u'|') args.emplace_back();
    else args.back() += ch == u'\u00B7' ? u' ' : ch;
  }
  Text expected = c.expected;
  for (char16_t& ch : expected) ch = ch == u'\u00B7' ? u' ' : ch;
  RecordingEnv env;
  KX kx(&env);
  EXPECT_EQ(CallLate(kx, c.method, args), expected);
  EXPECT_TRUE(env.boxes.empty());
}

TEST(Formatters, ExamplesAndEdgeCasesInEveryLocale) {
  const Case cases[] = {
      {u"FormatPhone", u"###-###-####|15551234567", u"155-512-3456"},
      // Not numeric: unchanged, not trimmed.
      {u"FormatPhone", u"###-####|·555·1234·", u"·555·1234·"},
      // No placeholder at all; blanks around the digits count.
      {u"FormatPhone", u"N/A|5551234", u"N/A"}, {u"FormatPhone", u"|·5551234·", u"(··5)·551-234·"},
      // A sign is numeric.
      {u"FormatPhone", u"###-####|-5551234", u"-55-5123"},
      // More placeholders than the phone and its filler: right-aligned.
      {u"FormatPhone", Text(40, u'#') + u"|12", Text(8, u' ') + u"12" + Text(30, u' ')},

      {u"FormatZip", u"000000000", u"000000000"}, {u"FormatZip", u"12345ABCD", u"12345-ABCD"},
      {u"FormatZip", u"ABCDE1234", u"ABCDE1234"}, {u"FormatZip", u"1234-5678", u"1234--5678"},
      // Nine characters with a positive leading value (see LeadingValue below).
      {u"FormatZip", u"-12345678", u"-12345678"}, {u"FormatZip", u"\t12345678", u"\t1234-5678"},
      {u"FormatZip", u"&H1234567", u"&H123-4567"},
      // Overflow of the leading value is the one error; other lengths are
      // never read.
      {u"FormatZip", u"1E9999999", kError}, {u"FormatZip", u"1E9999999999", u"1E9999999999"},

      {u"FormatSS", u"··123456789·", u"123-45-6789"}, {u"FormatSS", u"12345678", u"12345678"},
      // Stored forms (c6 c7 c8 - c9 c1 - c2 c3 c4 c5), trimmed first.
      {u"FormatSS", u"·@@@@@@@@@·", u"000-00-0000"},
      // Nine characters that are not a stored form are decoded all the same.
      {u"FormatSS", u"@@@@@@@@J", u"000-10-00000"},
      // Numeric with a sign: cut without decoding.
      {u"FormatSS", u"-12345678", u"-12-34-5678"},

      {u"FormatName", u"John|Quincy|Smith|-1", u"John·Quincy·Smith"}, {u"FormatName", u"|Q|Smith|-1", u"Q.·Smith"},
      {u"FormatName", u"John||Smith|0", u"Smith,·John"},
      // The middle name's length as passed: a blank is an initial.
      {u"FormatName", u"John|·|Smith|-1", u"John··.·Smith"},
      // First-middle-last trims only the ends of the whole name.
      {u"FormatName", u"·John·||·Smith·|-1", u"John···Smith"}, {u"FormatName", u"\tJohn|||-1", u"\tJohn"},

      {u"FormatAddress", u"12·Oak·St|Apt·4|Springfield|IL|627011234|-1", u"12·Oak·St\r\nApt·4\r\nSpringfield,·IL·62701-1234"},
      {u"FormatAddress", u"12·Oak·St|Apt·4|Springfield||627011234|-1", u"12·Oak·St\r\nApt·4\r\nSpringfield·62701-1234"},
      {u"FormatAddress", u"12·Oak·St|Apt·4||IL|627011234|-1", u"12·Oak·St\r\nApt·4\r\n,·IL·62701-1234"},
      {u"FormatAddress", u"12·Oak·St|Apt·4||||-1", u"12·Oak·St\r\nApt·4\r\n"},
      {u"FormatAddress", u"12·Oak·St||Springfield|IL|627011234|0", u"12·Oak·St··Springfield,·IL··62701-1234"},
      // All empty; only some parts.
      {u"FormatAddress", u"|||||0", u""}, {u"FormatAddress", u"||||627011234|-1", u"·62701-1234"},
      {u"FormatAddress", u"||Springfield|||0", u"Springfield"},
      // Blank parts are not empty: one line trims the address's ends; a blank ZIP is no ZIP.
      {u"FormatAddress", u"·12·Oak·St·|Apt·4|Springfield|IL|627011234|0", u"12·Oak·St··Apt·4·Springfield,·IL··62701-1234"},
      {u"FormatAddress", u"12·Oak·St|Apt·4|Springfield|IL|·|0", u"12·Oak·St·Apt·4·Springfield,·IL"},
      // The ZIP part as FormatZip gives it, its error text included.
      {u"FormatAddress", u"12·Oak·St||Springfield|IL|1E9999999|0", u"12·Oak·St··Springfield,·IL··" + kError},

      {u"FormatAddress2", u"12·Oak·St||Bldg·C|Springfield|IL|627011234|-1", u"12·Oak·St\r\nBldg·C\r\nSpringfield,·IL·62701-1234"},

      {u"FormatMinutes", u"-1", u"-1·hr·59·mn"}, {u"FormatMinutes", u"-60", u"-1·hr·00·mn"},
      {u"FormatMinutes", u"2147483647", u"35791394·hr·07·mn"},
      // The lowest input formats as well.
      {u"FormatMinutes", u"-2147483648", u"-35791395·hr·52·mn"},
  };
  for (const std::string& locale : platform::LocaleNames()) {
    LocaleScope scope(locale);
    for (const Case& c : cases) ExpectResult(locale, c);
  }
}

TEST(Formatters, NumberSeparatorsFollowTheLocale) {
  // Numeric (and formatted) only where the separator is the locale's.
  const struct { Case if_numeric; char16_t separator; const char16_t* if_not; } cases[] = {
      {{u"FormatPhone", u"###-####|1,5", u"1,5-····"}, u',', u"1,5"},
      {{u"FormatPhone", u"|555.1234", u"(··5)·55.-1234"}, u'.', u"555.1234"},
      {{u"FormatPhone", u"###-####|1\u00A0234", u"1\u00A02-34··"}, u'\u00A0', u"1\u00A0234"},
      {{u"FormatSS", u"12345.678", u"123-45-.678"}, u'.', u"-18--1-0-9-8-15-14-13-12-11"},
  };
  for (const std::string& locale : platform::LocaleNames()) {
    LocaleScope scope(locale);
    const platform::LocaleInfo& info = platform::UserLocale().info();
    for (const auto& [numeric, separator, if_not] : cases) {
      const bool is_number_separator = info.decimal == Text(1, separator) || info.thousands == Text(1, separator);
      ExpectResult(locale, is_number_separator ? numeric : Case{numeric.method, numeric.args, if_not});
    }
  }
}

TEST(FormatPhone, ARunTimeErrorGivesTheEmptyTextAfterOneLabelledBox) {
  LocaleScope scope(std::make_shared<testing::FaultyLocale>("en-US", testing::Faults{.numeric_fails = true}));
  RecordingEnv env;
  KX kx(&env);
  EXPECT_EQ(kx.FormatPhone(u"", u"5551234567"), u"");
  EXPECT_EQ(CallLate(kx, u"FormatPhone", {u"###-####", u"5551234"}), u"");
  ASSERT_EQ(env.boxes.size(), 1u);
  EXPECT_EQ(env.boxes[0].prompt, u"FormatPhone\r\n7\r\nOut of memory");
  EXPECT_TRUE(kx.ErrorShown(kx::kFormatPhone));

  KX other(&env);  // another object shows its own box
  EXPECT_EQ(other.FormatPhone(u"", u"5551234567"), u"");
  EXPECT_EQ(env.boxes.size(), 2u);
}

TEST(FormatSS, AnErrorFromDecryptSSNGivesTheErrorText) {
  // A double-byte code whose difference from 64 is below the 16-bit range.
  LocaleScope scope(std::make_shared<testing::FaultyLocale>("ja-JP", testing::Faults{.codes = {{u'X', 0x8000}}}));
  RecordingEnv env;
  KX kx(&env);
  EXPECT_EQ(kx.FormatSS(u"ABCDXFGHI"), kError);
  EXPECT_EQ(CallLate(kx, u"FormatSS", {u"ABCDXFGHI"}), kError);
  EXPECT_EQ(kx.FormatSS(u"ABCDEFGHI"), u"678-91-2345");
  EXPECT_TRUE(env.boxes.empty());
}

TEST(LeadingValue, ReadsTheBeginningOfTheText) {
  const std::pair<const char16_t*, double> cases[] = {
      {u"abc", 0},    {u"-5", -5},        {u"+.5E1", 5},  {u"5.", 5},     {u"1.2.3", 1.2},  {u"1 2\t3\n4", 1234},
      {u"1\r2", 1},   {u"1E", 1},         {u"1E+", 1},    {u"1E-2", 0.01}, {u"2E 2", 200},   {u".", 0},
      {u"&h1f", 31},  {u"&O17", 15},      {u"&o8", 0},    {u"&H", 0},     {u"& H 1 0", 16}, {u"0E999999999", 0},
      {u"1E-400", 0}, {u"1E308", 1e308},
  };
  for (const auto& [text, value] : cases) EXPECT_DOUBLE_EQ(kx::LeadingValue(text), value) << ToUtf8(text);
  for (const char16_t* text : {u"-1E309", u"99999E304", u"1E99999999999999999999"}) {
    EXPECT_EQ(jet::testing::ErrorOf([&] { kx::LeadingValue(text); }).number(), kErrOverflow) << ToUtf8(text);
  }
}

// RunMethod: every kind of failure becomes the method's error result with
// its box, even when the box fails. (Each method's error result and the box
// once per method and object are checked through the lookups and the
// formatters above.) GetDateFormat: the pattern of every locale of the
// table, and the date format box when the probe fails.
TEST(RunMethod, EveryKindOfFailureBecomesTheErrorResult) {
  const std::function<Currency()> bodies[] = {
      [] () -> Currency { throw AutomationError(-1, u"database"); },
      [] () -> Currency { throw std::runtime_error("internal"); },
      [] () -> Currency { throw std::bad_alloc(); },
      [] () -> Currency { throw 42; },
      [] () -> Currency { RaiseOverflow(); },
  };
  for (const auto& body : bodies) {
    RecordingEnv env;
    bool flags[kx::kErrorShownFlags] = {};
    EXPECT_EQ(kx::RunMethod<Currency>(env, flags, kx::kCreditAmount, body), Currency::FromRaw(-100));
    ASSERT_EQ(env.boxes.size(), 1u);
    EXPECT_EQ(env.boxes[0].prompt.rfind(u"CreditAmount\r\n", 0), 0u);
  }
  // A box that fails gives the error result all the same.
  class ThrowingEnv : public Env {
   public:
    void ShowMessageBox(const Text&, Long, const std::optional<Text>&) override {
      throw std::runtime_error("no display");
    }
    std::unique_ptr<Connection> CreateConnection() override { return nullptr; }
    std::unique_ptr<Recordset> CreateRecordset() override { return nullptr; }
    DateTime Now() override { return DateTime(); }
  } failing;
  bool flags[kx::kErrorShownFlags] = {};
  EXPECT_EQ(kx::RunMethod<Text>(failing, flags, kx::kLastPaymentDate, [] () -> Text { RaiseTypeMismatch(); }),
            u"Error in QORVEL.DLL");
}

// The pattern follows the locale's order of day and month; a year-first
// locale gives the month-first pattern.
TEST(GetDateFormat, PatternOfEachLocale) {
  const std::pair<const char*, const char16_t*> cases[] = {
      {"en-US", u"MM/dd/yyyy"}, {"sv-SE", u"MM/dd/yyyy"}, {"ja-JP", u"MM/dd/yyyy"}, {"en-GB", u"dd/MM/yyyy"},
      {"de-DE", u"dd/MM/yyyy"}, {"fr-FR", u"dd/MM/yyyy"}, {"nl-NL", u"dd/MM/yyyy"}, {"it-IT", u"dd/MM/yyyy"},
  };
  for (const auto& [locale, pattern] : cases) {
    LocaleScope scope(locale);
    RecordingEnv env;
    EXPECT_EQ(KX(&env).GetDateFormat(), pattern) << locale;
    EXPECT_TRUE(env.boxes.empty());
  }
}

TEST(GetDateFormat, ProbeFailureShowsItsBoxOncePerObject) {
  // A locale that cannot read dates: every probe fails.
  LocaleScope scope(std::make_shared<testing::FaultyLocale>("en-GB", testing::Faults{.dates_fail = true}));
  RecordingEnv env;
  KX first(&env);
  EXPECT_EQ(first.GetDateFormat(), u"MM/dd/yyyy");
  EXPECT_EQ(first.GetDateFormat(), u"MM/dd/yyyy");
  ASSERT_EQ(env.boxes.size(), 1u);
  EXPECT_EQ(env.boxes[0].prompt,
            u"Error Determining Date Format - Defaulting to 'MM/dd/yyyy'.\r\nError Message - Type mismatch");
  EXPECT_TRUE(first.ErrorShown(23));
  EXPECT_EQ(KX(&env).GetDateFormat(), u"MM/dd/yyyy");  // a fresh object shows the box again
  EXPECT_EQ(env.boxes.size(), 2u);
}

}  // namespace
}  // namespace qorvel
