// _KX: the automation interface of the QORVEL report functions.
//
// The 24 methods stand in the order of the interface's slots; a method's
// number is its slot, and its dispatch identifier is 0x60030000 plus that
// number (see dispatch.h). Parameters the automation passes by value are
// C++ values; parameters it passes by reference are const references: the
// methods read them and never write them. Results come back as return
// values.
//
// Every method is noexcept in fact and in contract: an error inside a
// method becomes the method's error result (sometimes after a message box
// shown once per object), never an exception.
#ifndef QORVEL_KX_INTERFACE_H_
#define QORVEL_KX_INTERFACE_H_

#include "qorvel/currency.h"
#include "qorvel/date_time.h"
#include "qorvel/export.h"
#include "qorvel/types.h"

namespace qorvel {

// The name is the one the type library gives the interface; an identifier
// beginning with an underscore and a capital is formally reserved in C++,
// but no implementation defines this one and the name is part of the
// component's published interface.
class QORVEL_API _KX {
 public:
  virtual ~_KX() = default;

  // Display formatters (methods 0 to 6).
  virtual Text FormatPhone(const Text& PhoneFormat, const Text& Phone) noexcept = 0;
  virtual Text FormatZip(Text Zip) noexcept = 0;
  virtual Text FormatSS(Text SSNumber) noexcept = 0;
  virtual Text FormatName(Text First, const Text& Middle, const Text& Last,
                          const Boolean& FML) noexcept = 0;
  virtual Text FormatAddress(Text Address1, const Text& Address2, const Text& City,
                             const Text& State, const Text& Zip,
                             const Boolean& MultiLine) noexcept = 0;
  virtual Text FormatAddress2(Text Address1, const Text& Address2, const Text& Address3,
                              const Text& City, const Text& State, const Text& Zip,
                              const Boolean& MultiLine) noexcept = 0;
  virtual Text FormatMinutes(Long Minutes) noexcept = 0;

  // Account lookups (methods 7 to 22). TargetDB is the database path.
  virtual Text LastModified(Text TargetDB, Text TableName, const Long& PeopleID) noexcept = 0;
  virtual Text LastModifiedCaseClient(Text TargetDB, Text Category,
                                      const Long& PeopleID) noexcept = 0;
  virtual Text LastPaymentDate(Text TargetDB, const Long& PeopleID) noexcept = 0;
  virtual Currency LastPaymentAmt(Text TargetDB, const Long& PeopleID) noexcept = 0;
  virtual Currency CreditAmount(Text TargetDB, const Long& PeopleID) noexcept = 0;
  virtual Currency CreditAmountRetainer(Text TargetDB, const Long& PeopleID) noexcept = 0;
  virtual Currency PrevBalDue(Text TargetDB, const Long& PeopleID,
                              const Long& InvNum) noexcept = 0;
  virtual Text PrevInvDateEntered(Text TargetDB, const Long& PeopleID,
                                  const Long& InvNum) noexcept = 0;
  virtual Currency AgedInvBalances(Text TargetDB, const Long& PeopleID, const Integer& StartDays,
                                   const Integer& EndDays) noexcept = 0;
  virtual Long PymtCountByDateRange(Text TargetDB, const Long& PeopleID,
                                    const Text& StartDateTime,
                                    const Text& EndDateTime) noexcept = 0;
  virtual Currency InvoiceBalance(Text TargetDB, const Long& InvNum) noexcept = 0;
  virtual Currency InvoiceFee(Text TargetDB, const Long& InvNum) noexcept = 0;
  virtual Text LTCBenefitTypeEnabledYN(Text TargetDB, const Long& PeopleID,
                                       const Text& BenefitType) noexcept = 0;
  virtual Currency PymtsByDateRange(Text TargetDB, const Long& PeopleID, const DateTime& StartDate,
                                    const DateTime& EndDate, const Text& ProvCode) noexcept = 0;
  virtual Currency WOffsByDateRange(Text TargetDB, const Long& PeopleID, const DateTime& StartDate,
                                    const DateTime& EndDate, const Text& ProvCode) noexcept = 0;
  virtual Currency FeesByDateRange(Text TargetDB, const Long& PeopleID, const DateTime& StartDate,
                                   const DateTime& EndDate, const Text& ProvCode) noexcept = 0;

  // The locale's date pattern, "dd/MM/yyyy" or "MM/dd/yyyy" (method 23).
  virtual Text GetDateFormat() noexcept = 0;
};

}  // namespace qorvel

#endif  // QORVEL_KX_INTERFACE_H_
