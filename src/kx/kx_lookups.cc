// KX: the sixteen account lookups. Each is the shared lookup procedure with
// its own statement and its own way of reading the result.
#include "kx/lookup.h"
#include "platform/locale.h"
#include "platform/variant_conversion.h"
#include "qorvel/kx.h"

namespace qorvel {
namespace {

using kx::FieldAsCurrency;
using kx::InDatePattern;
using kx::QuotesDoubled;
using kx::Sql;
using modmain::NullToString;

const platform::Locale& Locale() { return platform::UserLocale(); }

// An aggregate always yields one row: its first field, Null as 0, as money.
Currency SumAsCurrency(Recordset& rs) { return FieldAsCurrency(rs); }

// A statement that may yield no row: 0 then, else the first field as money.
Currency FirstAsCurrencyOrZero(Recordset& rs) { return rs.Eof() ? Currency() : FieldAsCurrency(rs); }

// Of two date texts (either may be empty), the later date. The two are
// compared as dates, not as texts: 9/30/2011 is before 10/1/2011.
Text LaterDate(const Text& entered, const Text& modified) {
  if (modified.empty()) return entered;
  if (entered.empty()) return modified;
  const platform::Locale& locale = Locale();
  return locale.TextToDate(entered).value() < locale.TextToDate(modified).value() ? modified : entered;
}

// The later of the two maxima in columns 0 and 1, in the date pattern.
Text LaterOfMaxima(_KX& self, Recordset& rs) {
  const Text entered = NullToString(rs.Field(0), kFalse);
  const Text modified = NullToString(rs.Field(1), kFalse);
  const Text later = LaterDate(entered, modified);
  return later.empty() ? Text() : InDatePattern(self, later);
}

// A date of the activity totals' period as the statement carries it: the
// locale's short date (and long time when not midnight).
Text DateText(const DateTime& date) { return Locale().DateToText(date); }

// The period applies only from a start date after 1 January 2001.
constexpr double kNoPeriodUntil = 36892.0;  // 2001-01-01

bool HasPeriod(const DateTime& start) {
  return start.IsValid() ? static_cast<double>(start.DayNumber()) > kNoPeriodUntil
                         : start.value() > kNoPeriodUntil;
}

struct TotalsPieces {
  TextView base;
  TextView date_a;
  TextView date_b;
};

constexpr TextView kJoinedBase =
    u"From Payment Inner Join ActivityLog On Payment.ActivityLogGUID = "
    u"ActivityLog.GUID Where Payment.Active = 1 ";

Text TotalsStatement(TextView select, const TotalsPieces& pieces, Long PeopleID,
                     const DateTime& StartDate, const DateTime& EndDate, const Text& ProvCode) {
  Text s = Sql(select, pieces.base);
  if (HasPeriod(StartDate)) {
    s += Sql(pieces.date_a, u">= #", DateText(StartDate), pieces.date_b, DateText(EndDate), u"# ");
  }
  if (PeopleID > 0) s += Sql(u" And PeopleID = ", PeopleID);
  if (!ProvCode.empty()) s += Sql(u" And CareProviderID = '", QuotesDoubled(ProvCode), u"'");
  return s;
}

constexpr TotalsPieces kPaymentPieces = {kJoinedBase, u" And DateValue(Payment.PaymentDate) ",
                                         u"# And DateValue(Payment.PaymentDate) <= #"};
constexpr TotalsPieces kFeePieces = {u"", u" And DateValue(ActivityDate) ",
                                     u"# And DateValue(ActivityDate) <= #"};

// A text placed between # marks must not end the literal early.
const Text& DateLiteralText(const Text& text) {
  if (text.find(u'#') != Text::npos) RaiseInvalidProcedureCall();
  return text;
}

// A table name placed between square brackets must not end the name early:
// no argument may change what a statement selects.
const Text& BracketedName(const Text& name) {
  if (name.find(u']') != Text::npos) RaiseInvalidProcedureCall();
  return name;
}

}  // namespace

// ---- Last modified ---------------------------------------------------------

Text KX::LastModified(Text TargetDB, Text TableName, const Long& PeopleID) noexcept {
  return Lookup<Text>(
      kx::kLastModified, TargetDB,
      [&] {
        return Sql(u"Select Max (DateEntered), Max (DateModified) ", u"From [",
                   BracketedName(TableName), u"] Where PeopleID = ", PeopleID);
      },
      [&](Recordset& rs) { return LaterOfMaxima(*this, rs); });
}

Text KX::LastModifiedCaseClient(Text TargetDB, Text Category, const Long& PeopleID) noexcept {
  return Lookup<Text>(
      kx::kLastModifiedCaseClient, TargetDB,
      [&] {
        return Sql(u"Select Max (DateEntered), Max (DateModified) ",
                   u"From CaseClientContact Where PeopleID = ", PeopleID, u" And Category = '",
                   QuotesDoubled(Category), u"'");
      },
      [&](Recordset& rs) { return LaterOfMaxima(*this, rs); });
}

// ---- Payments --------------------------------------------------------------

namespace {
constexpr TextView kQualifyingPayment =
    u"Payment.ActivityLogGUID = ActivityLog.GUID Where ActivityLog.Active = 1 And "
    u"Payment.Active = 1 And Payment > 0 And PeopleID = ";
}  // namespace

Text KX::LastPaymentDate(Text TargetDB, const Long& PeopleID) noexcept {
  return Lookup<Text>(
      kx::kLastPaymentDate, TargetDB,
      [&] {
        return Sql(u"Select Max (PaymentDate) From Payment Inner Join ActivityLog On ",
                   kQualifyingPayment, PeopleID);
      },
      [&](Recordset& rs) {
        const Text date = NullToString(rs.Field(0), kFalse);
        return date.empty() ? Text() : InDatePattern(*this, date);
      });
}

Currency KX::LastPaymentAmt(Text TargetDB, const Long& PeopleID) noexcept {
  return Lookup<Currency>(
      kx::kLastPaymentAmt, TargetDB,
      [&] {
        return Sql(u"Select Payment From Payment Inner Join ActivityLog On ", kQualifyingPayment,
                   PeopleID, u" Order By PaymentDate Desc");
      },
      FirstAsCurrencyOrZero);
}

// ---- Credits ---------------------------------------------------------------

Currency KX::CreditAmount(Text TargetDB, const Long& PeopleID) noexcept {
  return Lookup<Currency>(
      kx::kCreditAmount, TargetDB,
      [&] {
        return Sql(u"Select Sum(Balance) From Credit Where Active = 1 And ", u"PeopleID = ",
                   PeopleID);
      },
      SumAsCurrency);
}

Currency KX::CreditAmountRetainer(Text TargetDB, const Long& PeopleID) noexcept {
  return Lookup<Currency>(
      kx::kCreditAmountRetainer, TargetDB,
      [&] {
        return Sql(u"Select Sum(Balance) From Credit Where Active = 1 And Retainer = 1 And ",
                   u"PeopleID = ", PeopleID);
      },
      SumAsCurrency);
}

// ---- Prior invoices --------------------------------------------------------

Currency KX::PrevBalDue(Text TargetDB, const Long& PeopleID, const Long& InvNum) noexcept {
  return Lookup<Currency>(
      kx::kPrevBalDue, TargetDB,
      [&] {
        return Sql(u"Select Sum(Balance) From ActivityLog Where Active = 1 And InvoiceNumber ",
                   u"Is Not Null And InvoiceNumber < ", InvNum, u" And PeopleID = ", PeopleID);
      },
      SumAsCurrency);
}

Text KX::PrevInvDateEntered(Text TargetDB, const Long& PeopleID, const Long& InvNum) noexcept {
  return Lookup<Text>(
      kx::kPrevInvDateEntered, TargetDB,
      [&] {
        return Sql(u"Select Max (DateEntered) From Invoice Where Status = 1 And ",
                   u"InvoiceNumber < ", InvNum, u" And PeopleID = ", PeopleID);
      },
      [](Recordset& rs) { return NullToString(rs.Field(0), kFalse); });
}

// ---- Invoice totals --------------------------------------------------------

Currency KX::InvoiceBalance(Text TargetDB, const Long& InvNum) noexcept {
  return Lookup<Currency>(
      kx::kInvoiceBalance, TargetDB,
      [&] {
        return Sql(u"Select Sum(Balance) From ActivityLog Where Active = 1 And ",
                   u"InvoiceNumber = ", InvNum);
      },
      SumAsCurrency);
}

Currency KX::InvoiceFee(Text TargetDB, const Long& InvNum) noexcept {
  return Lookup<Currency>(
      kx::kInvoiceFee, TargetDB,
      [&] {
        return Sql(u"Select Sum(Fee) From ActivityLog Where Active = 1 And ", u"InvoiceNumber = ",
                   InvNum);
      },
      SumAsCurrency);
}

// ---- Aged balances ---------------------------------------------------------

Currency KX::AgedInvBalances(Text TargetDB, const Long& PeopleID, const Integer& StartDays,
                             const Integer& EndDays) noexcept {
  return Lookup<Currency>(
      kx::kAgedInvBalances, TargetDB,
      [&] {
        return Sql(u"Select Balance, DateDiff('d', InvoiceDate, Now()) As Age ",
                   u"From ActivityLog Where Active = 1 And InvoiceDate ",
                   u"Is Not Null And PeopleID = ", PeopleID);
      },
      [&](Recordset& rs) {
        // Every invoiced entry of the person comes back; the window is
        // applied here. A Null age compares as Null, which never qualifies.
        const platform::Locale& locale = Locale();
        Currency total;
        while (!rs.Eof()) {
          const Variant age = rs.Field(1);
          if (!age.IsNull()) {
            const double days = platform::ChangeType(age, VarType::kDouble, locale).AsDouble();
            if (days >= StartDays && days < EndDays) total += FieldAsCurrency(rs, 0);
          }
          rs.MoveNext();
        }
        return total;
      });
}

// ---- Payment count ---------------------------------------------------------

Long KX::PymtCountByDateRange(Text TargetDB, const Long& PeopleID, const Text& StartDateTime,
                              const Text& EndDateTime) noexcept {
  return Lookup<Long>(
      kx::kPymtCountByDateRange, TargetDB,
      [&] {
        return Sql(u"Select Count(*) ",
                   u"From Payment Inner Join ActivityLog On Payment.ActivityLogGUID = ",
                   u"ActivityLog.GUID Where Payment.Active = 1 And Payment.DateEntered ", u"> #",
                   DateLiteralText(StartDateTime), u"# And Payment.DateEntered <= #",
                   DateLiteralText(EndDateTime), u"# And PeopleID = ", PeopleID);
      },
      [](Recordset& rs) { return rs.Eof() ? Long{0} : FieldAsCurrency(rs).ToLong(); });
}

// ---- Benefit flag ----------------------------------------------------------

Text KX::LTCBenefitTypeEnabledYN(Text TargetDB, const Long& PeopleID,
                                 const Text& BenefitType) noexcept {
  return Lookup<Text>(
      kx::kLTCBenefitTypeEnabledYN, TargetDB,
      [&] {
        return Sql(u"Select Enabled From LTCBenefit Where PeopleID = ", PeopleID, u" And ",
                   u"BenefitType = '", QuotesDoubled(BenefitType), u"'");
      },
      [](Recordset& rs) {
        if (rs.Eof()) return Text(u"No");
        const double enabled = Locale().TextToDouble(NullToString(rs.Field(0), kTrue));
        return Text(enabled == 1.0 ? u"Yes" : u"No");
      });
}

// ---- Activity totals by date range -----------------------------------------

// The three totals share their steps; only the sum and its pieces differ.

Currency KX::PymtsByDateRange(Text TargetDB, const Long& PeopleID, const DateTime& StartDate,
                              const DateTime& EndDate, const Text& ProvCode) noexcept {
  return Lookup<Currency>(
      kx::kPymtsByDateRange, TargetDB,
      [&] {
        return TotalsStatement(u"Select Sum(Payment) ", kPaymentPieces, PeopleID, StartDate, EndDate,
                               ProvCode);
      },
      FirstAsCurrencyOrZero);
}

Currency KX::WOffsByDateRange(Text TargetDB, const Long& PeopleID, const DateTime& StartDate,
                              const DateTime& EndDate, const Text& ProvCode) noexcept {
  return Lookup<Currency>(
      kx::kWOffsByDateRange, TargetDB,
      [&] {
        return TotalsStatement(u"Select Sum(WriteOff) ", kPaymentPieces, PeopleID, StartDate, EndDate,
                               ProvCode);
      },
      FirstAsCurrencyOrZero);
}

Currency KX::FeesByDateRange(Text TargetDB, const Long& PeopleID, const DateTime& StartDate,
                             const DateTime& EndDate, const Text& ProvCode) noexcept {
  return Lookup<Currency>(
      kx::kFeesByDateRange, TargetDB,
      [&] {
        return TotalsStatement(u"Select Sum(Fee) From ActivityLog Where Active = 1 ", kFeePieces,
                               PeopleID, StartDate, EndDate, ProvCode);
      },
      FirstAsCurrencyOrZero);
}

}  // namespace qorvel
