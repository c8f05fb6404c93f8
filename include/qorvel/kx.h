// KX: the class that implements the QORVEL report functions.
//
// A KX object holds nothing but its sixteen ErrorShown flags, one for each
// method that shows a labelled error box or the date format box; each flag
// lets its method's box be shown once for the life of the object. The
// database connection belongs to the calling thread, not to the object, and
// serves every object on that thread.
//
// An object is used from one thread at a time (the thread that created it,
// as the automation's apartment model has it).
#ifndef QORVEL_KX_H_
#define QORVEL_KX_H_

#include <array>

#include "qorvel/env.h"
#include "qorvel/export.h"
#include "qorvel/kx_interface.h"

namespace qorvel {

class QORVEL_API KX final : public _KX {
 public:
  // An object on the platform's own environment.
  KX();
  // An object on the given environment (message box, database, clock).
  // Precondition: `env` outlives the object.
  explicit KX(Env* env);

  KX(const KX&) = delete;
  KX& operator=(const KX&) = delete;

  Text FormatPhone(const Text& PhoneFormat, const Text& Phone) noexcept override;
  Text FormatZip(Text Zip) noexcept override;
  Text FormatSS(Text SSNumber) noexcept override;
  Text FormatName(Text First, const Text& Middle, const Text& Last,
                  const Boolean& FML) noexcept override;
  Text FormatAddress(Text Address1, const Text& Address2, const Text& City, const Text& State,
                     const Text& Zip, const Boolean& MultiLine) noexcept override;
  Text FormatAddress2(Text Address1, const Text& Address2, const Text& Address3, const Text& City,
                      const Text& State, const Text& Zip,
                      const Boolean& MultiLine) noexcept override;
  Text FormatMinutes(Long Minutes) noexcept override;

  Text LastModified(Text TargetDB, Text TableName, const Long& PeopleID) noexcept override;
  Text LastModifiedCaseClient(Text TargetDB, Text Category, const Long& PeopleID) noexcept override;
  Text LastPaymentDate(Text TargetDB, const Long& PeopleID) noexcept override;
  Currency LastPaymentAmt(Text TargetDB, const Long& PeopleID) noexcept override;
  Currency CreditAmount(Text TargetDB, const Long& PeopleID) noexcept override;
  Currency CreditAmountRetainer(Text TargetDB, const Long& PeopleID) noexcept override;
  Currency PrevBalDue(Text TargetDB, const Long& PeopleID, const Long& InvNum) noexcept override;
  Text PrevInvDateEntered(Text TargetDB, const Long& PeopleID, const Long& InvNum) noexcept override;
  Currency AgedInvBalances(Text TargetDB, const Long& PeopleID, const Integer& StartDays,
                           const Integer& EndDays) noexcept override;
  Long PymtCountByDateRange(Text TargetDB, const Long& PeopleID, const Text& StartDateTime,
                            const Text& EndDateTime) noexcept override;
  Currency InvoiceBalance(Text TargetDB, const Long& InvNum) noexcept override;
  Currency InvoiceFee(Text TargetDB, const Long& InvNum) noexcept override;
  Text LTCBenefitTypeEnabledYN(Text TargetDB, const Long& PeopleID,
                               const Text& BenefitType) noexcept override;
  Currency PymtsByDateRange(Text TargetDB, const Long& PeopleID, const DateTime& StartDate,
                            const DateTime& EndDate, const Text& ProvCode) noexcept override;
  Currency WOffsByDateRange(Text TargetDB, const Long& PeopleID, const DateTime& StartDate,
                            const DateTime& EndDate, const Text& ProvCode) noexcept override;
  Currency FeesByDateRange(Text TargetDB, const Long& PeopleID, const DateTime& StartDate,
                           const DateTime& EndDate, const Text& ProvCode) noexcept override;

  Text GetDateFormat() noexcept override;

  // Whether the method with this number (0 to 23) has shown its box on this
  // object. Always false for the methods that show no box of their own.
  bool ErrorShown(int method) const;

 private:
  // Runs a method's body, or an account lookup's statement and reading,
  // under the method's handler with this object's environment and flags.
  // Defined beside the methods, in the library.
  template <class R, class Body>
  R Run(int method, Body&& body) noexcept;
  template <class R, class Build, class Read>
  R Lookup(int method, const Text& TargetDB, Build&& build, Read&& read) noexcept;

  Env* env_;
  // One flag per method with a box of its own (style table order).
  std::array<bool, 16> error_shown_{};
};

}  // namespace qorvel

#endif  // QORVEL_KX_H_
