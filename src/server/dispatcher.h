// IDispatch through the embedded type information of _KX.
//
// Names and dispatch identifiers are looked up in the type library (only
// the 24 methods of _KX answer; the inherited IUnknown and IDispatch
// members do not). Invoke coerces each argument, under the user locale, to
// its parameter's type as the type information gives it, into a temporary
// that is passed by value or, for an [in, out] parameter, by reference.
// Callers may therefore pass values of any convertible type, by value or by
// reference (VT_BYREF|VT_VARIANT as script hosts pass variables, or
// VT_BYREF of the parameter's or another type); their arguments are never
// written. The stock ITypeInfo::Invoke then calls the vtable.
//
// Failures of the plumbing come back as the standard codes:
// DISP_E_UNKNOWNNAME, DISP_E_MEMBERNOTFOUND, DISP_E_BADPARAMCOUNT,
// DISP_E_NONAMEDARGS, and DISP_E_TYPEMISMATCH or DISP_E_OVERFLOW with
// *arg_error the index of the argument in rgvarg (last argument first).
#ifndef QORVEL_SERVER_DISPATCHER_H_
#define QORVEL_SERVER_DISPATCHER_H_

#include "server/com.h"

namespace qorvel::server {

class Dispatcher {
 public:
  // Loads the type information of _KX from the DLL's own type library.
  HRESULT Load() noexcept;

  // The IDispatch methods, for an object whose _KX vtable is `object`.
  // Precondition: Load() succeeded.
  HRESULT GetTypeInfo(UINT index, ITypeInfo** info) noexcept;
  HRESULT GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, DISPID* ids) noexcept;
  HRESULT Invoke(::_KX* object, DISPID id, REFIID iid, WORD flags, DISPPARAMS* params,
                 VARIANT* result, EXCEPINFO* exception, UINT* arg_error) noexcept;

 private:
  // The index of the function with identifier `id`, or -1.
  int FindFunction(DISPID id);

  ComPtr<ITypeInfo> dispatch_info_;  // the dispinterface view, for callers
  ComPtr<ITypeInfo> vtable_info_;    // the interface view: the 24 methods
};

}  // namespace qorvel::server

#endif  // QORVEL_SERVER_DISPATCHER_H_
