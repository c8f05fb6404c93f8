// IDispatch through the embedded type information, with the coercion of
// arguments that the stock ITypeInfo::Invoke does not do.
#include "server/dispatcher.h"

#include <new>
#include <vector>

#include "server/module.h"

namespace qorvel::server {
namespace {

// A FUNCDESC borrowed from a type info, returned when it goes.
class FuncDesc {
 public:
  FuncDesc(ITypeInfo* info, UINT index) : info_(info) {
    if (FAILED(info->GetFuncDesc(index, &desc_))) desc_ = nullptr;
  }
  FuncDesc(const FuncDesc&) = delete;
  FuncDesc& operator=(const FuncDesc&) = delete;
  ~FuncDesc() {
    if (desc_) info_->ReleaseFuncDesc(desc_);
  }
  const FUNCDESC* get() const { return desc_; }
  const FUNCDESC* operator->() const { return desc_; }

 private:
  ITypeInfo* info_;
  FUNCDESC* desc_ = nullptr;
};

UINT FunctionCount(ITypeInfo* info) {
  TYPEATTR* attr = nullptr;
  if (FAILED(info->GetTypeAttr(&attr))) return 0;
  const UINT count = attr->cFuncs;
  info->ReleaseTypeAttr(attr);
  return count;
}

// The address of the value inside `v`, for passing it by reference.
void* ValueAddress(VARIANT& v) {
  switch (V_VT(&v)) {
    case VT_BSTR: return &V_BSTR(&v);
    case VT_I4: return &V_I4(&v);
    case VT_I2: return &V_I2(&v);
    case VT_BOOL: return &V_BOOL(&v);
    case VT_DATE: return &V_DATE(&v);
    case VT_CY: return &V_CY(&v);
    case VT_R8: return &V_R8(&v);
    default: return &V_BYREF(&v);  // not a parameter type of _KX
  }
}

}  // namespace

HRESULT Dispatcher::Load() noexcept {
  ComPtr<ITypeLib> library;
  HRESULT hr = LoadOwnTypeLib(library);
  if (FAILED(hr)) return hr;
  hr = library->GetTypeInfoOfGuid(IID__KX, dispatch_info_.Receive());
  if (FAILED(hr)) return hr;
  // For a dual interface, implemented type -1 is its vtable interface.
  HREFTYPE ref = 0;
  hr = dispatch_info_->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref);
  if (FAILED(hr)) return hr;
  return dispatch_info_->GetRefTypeInfo(ref, vtable_info_.Receive());
}

HRESULT Dispatcher::GetTypeInfo(UINT index, ITypeInfo** info) noexcept {
  if (!info) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  dispatch_info_->AddRef();
  *info = dispatch_info_.get();
  return S_OK;
}

int Dispatcher::FindFunction(DISPID id) {
  const UINT count = FunctionCount(vtable_info_.get());
  for (UINT i = 0; i < count; ++i) {
    FuncDesc desc(vtable_info_.get(), i);
    if (desc.get() && desc->memid == id) return static_cast<int>(i);
  }
  return -1;
}

HRESULT Dispatcher::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, DISPID* ids) noexcept {
  if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (!names || !ids) return E_POINTER;
  if (count == 0) return S_OK;
  const HRESULT hr = vtable_info_->GetIDsOfNames(names, count, ids);
  if (FAILED(hr)) return hr;
  // The type info also finds the members _KX inherits; only its own
  // methods are callable by name.
  if (FindFunction(ids[0]) < 0) {
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }
  return S_OK;
}

HRESULT Dispatcher::Invoke(::_KX* object, DISPID id, REFIID iid, WORD flags, DISPPARAMS* params,
                           VARIANT* result, EXCEPINFO* exception, UINT* arg_error) noexcept {
  try {
    if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    const int index = FindFunction(id);
    if (index < 0 || !(flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET))) {
      return DISP_E_MEMBERNOTFOUND;
    }
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    if (!params) params = &none;
    if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;

    FuncDesc desc(vtable_info_.get(), static_cast<UINT>(index));
    if (!desc.get()) return E_UNEXPECTED;
    UINT inputs = 0;
    for (SHORT i = 0; i < desc->cParams; ++i) {
      if (!(desc->lprgelemdescParam[i].paramdesc.wParamFlags & PARAMFLAG_FRETVAL)) ++inputs;
    }
    if (params->cArgs != inputs) return DISP_E_BADPARAMCOUNT;

    // temps[k] holds parameter k's value; passed[] is in rgvarg order.
    std::vector<VARIANT> temps(inputs);
    std::vector<VARIANTARG> passed(inputs);
    for (VARIANT& v : temps) VariantInit(&v);
    struct Clear {
      std::vector<VARIANT>& v;
      ~Clear() {
        for (VARIANT& x : v) VariantClear(&x);
      }
    } clear{temps};

    for (UINT k = 0; k < inputs; ++k) {
      const UINT slot = inputs - 1 - k;
      const TYPEDESC& type = desc->lprgelemdescParam[k].tdesc;
      const bool by_reference = type.vt == VT_PTR;
      const VARTYPE target = by_reference ? type.lptdesc->vt : type.vt;
      // VariantCopyInd follows a VT_BYREF argument (also VT_BYREF|VT_VARIANT)
      // to its value; the conversion then works on our own copy.
      VARIANTARG& given = params->rgvarg[slot];
      if (V_ISBYREF(&given) && !V_BYREF(&given)) {
        if (arg_error) *arg_error = slot;
        return E_POINTER;
      }
      HRESULT hr = VariantCopyInd(&temps[k], &given);
      if (SUCCEEDED(hr) && V_ISBYREF(&temps[k])) {
        // A variant by reference to a variant that is itself by reference.
        VariantValue inner;
        hr = VariantCopyInd(inner.get(), &temps[k]);
        if (SUCCEEDED(hr)) hr = VariantCopy(&temps[k], inner.get());
        if (SUCCEEDED(hr) && V_ISBYREF(&temps[k])) hr = DISP_E_TYPEMISMATCH;
      }
      if (SUCCEEDED(hr)) hr = VariantChangeTypeEx(&temps[k], &temps[k], LOCALE_USER_DEFAULT, 0, target);
      if (FAILED(hr)) {
        if (hr == DISP_E_BADVARTYPE) hr = DISP_E_TYPEMISMATCH;
        if (arg_error) *arg_error = slot;
        return hr;
      }
      VariantInit(&passed[slot]);
      if (by_reference) {
        V_VT(&passed[slot]) = static_cast<VARTYPE>(VT_BYREF | target);
        V_BYREF(&passed[slot]) = ValueAddress(temps[k]);
      } else {
        passed[slot] = temps[k];  // borrowed: temps owns the value
      }
    }

    DISPPARAMS call{passed.data(), nullptr, inputs, 0};
    VariantValue ignored;
    return vtable_info_->Invoke(object, id, DISPATCH_METHOD, &call, result ? result : ignored.get(),
                                exception, arg_error);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace qorvel::server
