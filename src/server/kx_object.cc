// The COM object of class KX.
#include "server/kx_object.h"

#include <new>

#include "qorvel/kx.h"
#include "server/com_object.h"
#include "server/dispatcher.h"
#include "server/module.h"
#include "server/thread_cleanup.h"

namespace qorvel::server {
namespace {

// Runs a method's glue; the KX methods never throw, but the conversions
// around them allocate.
template <class Body>
HRESULT Guard(Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

template <class... P>
bool AllSet(P*... pointers) {
  return ((pointers != nullptr) && ...);
}

HRESULT Put(const Text& value, BSTR* result) {
  *result = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(value.data()),
                              static_cast<UINT>(value.size()));
  return *result ? S_OK : E_OUTOFMEMORY;
}
HRESULT Put(Currency value, CY* result) {
  result->int64 = value.raw();
  return S_OK;
}
HRESULT Put(Long value, long* result) {
  *result = value;
  return S_OK;
}

Text In(BSTR value) { return FromBstr(value); }
Text In(BSTR* value) { return FromBstr(*value); }
Long In(long* value) { return static_cast<Long>(*value); }
// Integer and Boolean (VARIANT_BOOL) are both 16-bit.
Integer In(short* value) { return static_cast<Integer>(*value); }
DateTime In(DATE* value) { return DateTime(*value); }

class KxObject final : public ComObject<KxObject, ::_KX, &IID_IDispatch, &IID__KX> {
 public:
  KxObject() { AddObject(); }
  ~KxObject() { ReleaseObject(); }

  HRESULT Init() { return dispatcher_.Load(); }

  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
    return dispatcher_.GetTypeInfo(index, info);
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    return dispatcher_.GetIDsOfNames(iid, names, count, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception,
                                   UINT* arg_error) override {
    return dispatcher_.Invoke(this, id, iid, flags, params, result, exception, arg_error);
  }

  // _KX: display formatters. FormatPhone works on copies of its arguments.
  HRESULT STDMETHODCALLTYPE FormatPhone(BSTR* PhoneFormat, BSTR* Phone, BSTR* Result) override {
    if (!AllSet(PhoneFormat, Phone, Result)) return E_POINTER;
    return Guard([&] { return Put(kx_.FormatPhone(In(PhoneFormat), In(Phone)), Result); });
  }
  HRESULT STDMETHODCALLTYPE FormatZip(BSTR Zip, BSTR* Result) override {
    if (!AllSet(Result)) return E_POINTER;
    return Guard([&] { return Put(kx_.FormatZip(In(Zip)), Result); });
  }
  HRESULT STDMETHODCALLTYPE FormatSS(BSTR SSNumber, BSTR* Result) override {
    if (!AllSet(Result)) return E_POINTER;
    return Guard([&] { return Put(kx_.FormatSS(In(SSNumber)), Result); });
  }
  HRESULT STDMETHODCALLTYPE FormatName(BSTR First, BSTR* Middle, BSTR* Last, VARIANT_BOOL* FML,
                                       BSTR* Result) override {
    if (!AllSet(Middle, Last, FML, Result)) return E_POINTER;
    return Guard(
        [&] { return Put(kx_.FormatName(In(First), In(Middle), In(Last), In(FML)), Result); });
  }
  HRESULT STDMETHODCALLTYPE FormatAddress(BSTR Address1, BSTR* Address2, BSTR* City, BSTR* State,
                                          BSTR* Zip, VARIANT_BOOL* MultiLine,
                                          BSTR* Result) override {
    if (!AllSet(Address2, City, State, Zip, MultiLine, Result)) return E_POINTER;
    return Guard([&] {
      return Put(kx_.FormatAddress(In(Address1), In(Address2), In(City), In(State), In(Zip),
                                   In(MultiLine)),
                 Result);
    });
  }
  HRESULT STDMETHODCALLTYPE FormatAddress2(BSTR Address1, BSTR* Address2, BSTR* Address3,
                                           BSTR* City, BSTR* State, BSTR* Zip,
                                           VARIANT_BOOL* MultiLine, BSTR* Result) override {
    if (!AllSet(Address2, Address3, City, State, Zip, MultiLine, Result)) return E_POINTER;
    return Guard([&] {
      return Put(kx_.FormatAddress2(In(Address1), In(Address2), In(Address3), In(City), In(State),
                                    In(Zip), In(MultiLine)),
                 Result);
    });
  }
  HRESULT STDMETHODCALLTYPE FormatMinutes(long Minutes, BSTR* Result) override {
    if (!AllSet(Result)) return E_POINTER;
    return Guard([&] { return Put(kx_.FormatMinutes(static_cast<Long>(Minutes)), Result); });
  }

  // _KX: account lookups.
  HRESULT STDMETHODCALLTYPE LastModified(BSTR TargetDB, BSTR TableName, long* PeopleID,
                                         BSTR* Result) override {
    if (!AllSet(PeopleID, Result)) return E_POINTER;
    return Guard(
        [&] { return Put(kx_.LastModified(In(TargetDB), In(TableName), In(PeopleID)), Result); });
  }
  HRESULT STDMETHODCALLTYPE LastModifiedCaseClient(BSTR TargetDB, BSTR Category, long* PeopleID,
                                                   BSTR* Result) override {
    if (!AllSet(PeopleID, Result)) return E_POINTER;
    return Guard([&] {
      return Put(kx_.LastModifiedCaseClient(In(TargetDB), In(Category), In(PeopleID)), Result);
    });
  }
  HRESULT STDMETHODCALLTYPE LastPaymentDate(BSTR TargetDB, long* PeopleID, BSTR* Result) override {
    if (!AllSet(PeopleID, Result)) return E_POINTER;
    return Guard([&] { return Put(kx_.LastPaymentDate(In(TargetDB), In(PeopleID)), Result); });
  }
  HRESULT STDMETHODCALLTYPE LastPaymentAmt(BSTR TargetDB, long* PeopleID, CY* Result) override {
    if (!AllSet(PeopleID, Result)) return E_POINTER;
    return Guard([&] { return Put(kx_.LastPaymentAmt(In(TargetDB), In(PeopleID)), Result); });
  }
  HRESULT STDMETHODCALLTYPE CreditAmount(BSTR TargetDB, long* PeopleID, CY* Result) override {
    if (!AllSet(PeopleID, Result)) return E_POINTER;
    return Guard([&] { return Put(kx_.CreditAmount(In(TargetDB), In(PeopleID)), Result); });
  }
  HRESULT STDMETHODCALLTYPE CreditAmountRetainer(BSTR TargetDB, long* PeopleID,
                                                 CY* Result) override {
    if (!AllSet(PeopleID, Result)) return E_POINTER;
    return Guard(
        [&] { return Put(kx_.CreditAmountRetainer(In(TargetDB), In(PeopleID)), Result); });
  }
  HRESULT STDMETHODCALLTYPE PrevBalDue(BSTR TargetDB, long* PeopleID, long* InvNum,
                                       CY* Result) override {
    if (!AllSet(PeopleID, InvNum, Result)) return E_POINTER;
    return Guard(
        [&] { return Put(kx_.PrevBalDue(In(TargetDB), In(PeopleID), In(InvNum)), Result); });
  }
  HRESULT STDMETHODCALLTYPE PrevInvDateEntered(BSTR TargetDB, long* PeopleID, long* InvNum,
                                               BSTR* Result) override {
    if (!AllSet(PeopleID, InvNum, Result)) return E_POINTER;
    return Guard([&] {
      return Put(kx_.PrevInvDateEntered(In(TargetDB), In(PeopleID), In(InvNum)), Result);
    });
  }
  HRESULT STDMETHODCALLTYPE AgedInvBalances(BSTR TargetDB, long* PeopleID, short* StartDays,
                                            short* EndDays, CY* Result) override {
    if (!AllSet(PeopleID, StartDays, EndDays, Result)) return E_POINTER;
    return Guard([&] {
      return Put(kx_.AgedInvBalances(In(TargetDB), In(PeopleID), In(StartDays), In(EndDays)),
                 Result);
    });
  }
  HRESULT STDMETHODCALLTYPE PymtCountByDateRange(BSTR TargetDB, long* PeopleID,
                                                 BSTR* StartDateTime, BSTR* EndDateTime,
                                                 long* Result) override {
    if (!AllSet(PeopleID, StartDateTime, EndDateTime, Result)) return E_POINTER;
    return Guard([&] {
      return Put(kx_.PymtCountByDateRange(In(TargetDB), In(PeopleID), In(StartDateTime),
                                          In(EndDateTime)),
                 Result);
    });
  }
  HRESULT STDMETHODCALLTYPE InvoiceBalance(BSTR TargetDB, long* InvNum, CY* Result) override {
    if (!AllSet(InvNum, Result)) return E_POINTER;
    return Guard([&] { return Put(kx_.InvoiceBalance(In(TargetDB), In(InvNum)), Result); });
  }
  HRESULT STDMETHODCALLTYPE InvoiceFee(BSTR TargetDB, long* InvNum, CY* Result) override {
    if (!AllSet(InvNum, Result)) return E_POINTER;
    return Guard([&] { return Put(kx_.InvoiceFee(In(TargetDB), In(InvNum)), Result); });
  }
  HRESULT STDMETHODCALLTYPE LTCBenefitTypeEnabledYN(BSTR TargetDB, long* PeopleID,
                                                    BSTR* BenefitType, BSTR* Result) override {
    if (!AllSet(PeopleID, BenefitType, Result)) return E_POINTER;
    return Guard([&] {
      return Put(kx_.LTCBenefitTypeEnabledYN(In(TargetDB), In(PeopleID), In(BenefitType)), Result);
    });
  }
  HRESULT STDMETHODCALLTYPE PymtsByDateRange(BSTR TargetDB, long* PeopleID, DATE* StartDate,
                                             DATE* EndDate, BSTR* ProvCode, CY* Result) override {
    if (!AllSet(PeopleID, StartDate, EndDate, ProvCode, Result)) return E_POINTER;
    return Guard([&] {
      return Put(kx_.PymtsByDateRange(In(TargetDB), In(PeopleID), In(StartDate), In(EndDate),
                                      In(ProvCode)),
                 Result);
    });
  }
  HRESULT STDMETHODCALLTYPE WOffsByDateRange(BSTR TargetDB, long* PeopleID, DATE* StartDate,
                                             DATE* EndDate, BSTR* ProvCode, CY* Result) override {
    if (!AllSet(PeopleID, StartDate, EndDate, ProvCode, Result)) return E_POINTER;
    return Guard([&] {
      return Put(kx_.WOffsByDateRange(In(TargetDB), In(PeopleID), In(StartDate), In(EndDate),
                                      In(ProvCode)),
                 Result);
    });
  }
  HRESULT STDMETHODCALLTYPE FeesByDateRange(BSTR TargetDB, long* PeopleID, DATE* StartDate,
                                            DATE* EndDate, BSTR* ProvCode, CY* Result) override {
    if (!AllSet(PeopleID, StartDate, EndDate, ProvCode, Result)) return E_POINTER;
    return Guard([&] {
      return Put(kx_.FeesByDateRange(In(TargetDB), In(PeopleID), In(StartDate), In(EndDate),
                                     In(ProvCode)),
                 Result);
    });
  }

  // _KX: the date pattern.
  HRESULT STDMETHODCALLTYPE GetDateFormat(BSTR* Result) override {
    if (!AllSet(Result)) return E_POINTER;
    return Guard([&] { return Put(kx_.GetDateFormat(), Result); });
  }

 private:
  KX kx_;
  Dispatcher dispatcher_;
};

}  // namespace

HRESULT CreateKxObject(REFIID iid, void** out) noexcept {
  WatchThisThread();
  auto* object = new (std::nothrow) KxObject();
  if (!object) return E_OUTOFMEMORY;
  HRESULT hr = object->Init();
  if (SUCCEEDED(hr)) hr = object->QueryInterface(iid, out);
  object->Release();
  return hr;
}

}  // namespace qorvel::server
